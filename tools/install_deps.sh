#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the editor need,
# only when one of them is missing (apt-get update runs once, then).
set -eu
packages=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev libjpeg-dev xvfb xauth x11-utils xdotool fonts-ipafont-gothic
          fonts-dejavu-core imagemagick clang libclang-rt-14-dev python3
          libspng-dev python3-pil libhwy-dev
          librsvg2-bin desktop-file-utils dpkg-dev file)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
