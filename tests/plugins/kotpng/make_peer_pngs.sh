#!/usr/bin/env bash
# Writes PNG files of every layout with two other programs into folder $1:
# Python's imaging library (8-bit colour, grey and palettes with and without
# tRNS, 16-bit grey) and ImageMagick (16-bit colour and grey, low-depth grey,
# interlacing). The names say the layout; the PNG writer tests read them.
set -eu
cd "$1"
S=(-size 23x17 -seed 3 plasma:fractal)
A=(\( -size 23x17 gradient: \) -alpha off -compose copy_opacity -composite)
convert "${S[@]}" "${A[@]}" -depth 16 PNG64:rgba16.png
convert "${S[@]}" -depth 16 PNG48:rgb16.png
convert "${S[@]}" -colorspace gray -depth 16 -define png:color-type=0 -define png:bit-depth=16 g16.png
convert "${S[@]}" -colorspace gray "${A[@]}" -depth 16 -define png:color-type=4 \
  -define png:bit-depth=16 ga16.png
for bits in 1 2 4; do
  convert "${S[@]}" -colorspace gray -colors $((1 << bits)) -depth "$bits" \
    -define png:color-type=0 -define png:bit-depth="$bits" "g$bits.png"
done
convert "${S[@]}" "${A[@]}" -interlace PNG PNG32:rgba8i.png
convert "${S[@]}" -depth 16 -interlace PNG PNG48:rgb16i.png
/usr/bin/python3 - <<'PY'
from PIL import Image
W, H = 23, 17
def px(x, y):
    return ((x * 11 + y * 3) % 256, (x * y * 7) % 256, (255 - x * 9) % 256, (x * 17 + y * 13) % 256)
every = [(x, y) for y in range(H) for x in range(W)]
rgba = Image.new('RGBA', (W, H)); rgba.putdata([px(x, y) for x, y in every]); rgba.save('rgba8.png')
rgba.convert('RGB').save('rgb8.png')
rgba.convert('RGB').save('rgb8key.png', transparency=px(5, 6)[:3])
g = Image.new('L', (W, H)); g.putdata([px(x, y)[0] for x, y in every]); g.save('g8.png')
g.save('g8key.png', transparency=px(3, 4)[0])
la = Image.new('LA', (W, H)); la.putdata([(px(x, y)[0], px(x, y)[3]) for x, y in every]); la.save('ga8.png')
i16 = Image.new('I;16', (W, H)); i16.putdata([(x * 2851 + y * 1013) % 65536 for x, y in every])
i16.save('g16pil.png')
p = Image.new('P', (W, H)); pal = []
for i in range(256): pal += [(i * 37) % 256, (i * 91) % 256, (255 - i) % 256]
p.putpalette(pal); p.putdata([(x * 7 + y * 5) % 200 for x, y in every])
p.save('p8.png')
p.save('p8a.png', transparency=bytes([(i * 13) % 256 for i in range(200)]))
for bits in (1, 2, 4):
    n = 1 << bits
    p = Image.new('P', (W, H)); pal = []
    for i in range(n): pal += [(i * 97 + 13) % 256, (i * 59) % 256, 255 - (i * 31) % 256]
    p.putpalette(pal); p.putdata([(x * 3 + y * 5) % n for x, y in every])
    p.save('p%d.png' % bits, bits=bits)
    p.save('p%da.png' % bits, bits=bits, transparency=bytes([(i * 85) % 256 for i in range(n)]))
PY
