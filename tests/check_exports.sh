#!/usr/bin/env bash
# Usage: check_exports.sh LIBRARY PATTERN [NAME...]
# Fails when the library exports a function that does not match PATTERN (a
# prefix) or, when names are given, exports anything but exactly those names.
set -eu
lib=$1; prefix=$2; shift 2
defined=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWw]$/ {print $3}' | sort)
[ -n "$defined" ] || { echo "no exported functions in $lib"; exit 1; }
bad=$(echo "$defined" | grep -v "^$prefix" || true)
if [ -n "$bad" ]; then echo "unexpected exports in $lib:"; echo "$bad"; exit 1; fi
if [ $# -gt 0 ]; then
  want=$(printf '%s\n' "$@" | sort)
  if [ "$defined" != "$want" ]; then
    echo "exports of $lib differ:"; diff <(echo "$want") <(echo "$defined") || true; exit 1
  fi
fi
echo "$(echo "$defined" | wc -l) exports, all as expected"
