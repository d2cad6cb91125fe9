#!/usr/bin/env bash
# kestimg against ImageMagick on files ImageMagick writes: GIF (still and animated), BMP (every header
# version ImageMagick writes, RLE8), Targa (plain and run-length), Photoshop (raw and RLE, colour and
# grey), each decoded at 32 bits to the same pixels as ImageMagick decodes them. Skipped (status 77) where
# ImageMagick is not installed.
set -uo pipefail
kestimg=$1
im=$(command -v convert-im6.q16 || true)
if [ -z "$im" ]; then
    echo "ImageMagick (convert-im6.q16) is not installed: skipped"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

# Pictures of 8-bit colours: a plasma (many colours) and its 200-colour palette version.
"$im" -size 61x37 plasma:fractal -seed 7 -depth 8 src.png && "$im" src.png -colors 200 -depth 8 pal.png || exit 1
"$im" -size 64x37 plasma:fractal -seed 9 -depth 8 src64.png || exit 1
make() { "$im" "$@" 2>/dev/null || { echo "FAIL: ImageMagick could not write ${*: -1}"; failures=$((failures + 1)); }; }
make pal.png still.gif
make -delay 10 src.png pal.png -loop 0 anim.gif
make src.png BMP2:os2.bmp
make src.png BMP3:v3.bmp
make src.png v5.bmp
make pal.png -type Palette -compress RLE BMP3:rle8.bmp
make src.png -colors 16 -type Palette -compress RLE BMP3:rle16.bmp
# Targa rows must fill the offscreen's rows exactly: 24-bit files of a width that is a multiple of 4.
make src64.png plain.tga
make src64.png -compress RLE rle.tga
make src.png raw.psd
make src.png -compress RLE rle.psd
make src.png -colorspace Gray grey.psd

# kestimg's picture and ImageMagick's (Targa oriented by its origin, which ImageMagick only records).
check() {
    local file=$1 frame=$2 options=()
    [ "$frame" = - ] || options=(--frame "$frame")
    if ! "$kestimg" convert "$file" ours.ppm "${options[@]}" 2>err.txt; then
        echo "FAIL: kestimg could not convert $file: $(cat err.txt)"
        failures=$((failures + 1))
        return
    fi
    "$im" "$file[${frame/-/0}]" -auto-orient -alpha off -depth 8 ppm:theirs.ppm
    if ! cmp -s ours.ppm theirs.ppm; then
        echo "FAIL: $file${options[*]:+ ${options[*]}}: the pixels differ from ImageMagick's"
        failures=$((failures + 1))
    fi
}
for file in still.gif os2.bmp v3.bmp v5.bmp rle8.bmp rle16.bmp plain.tga rle.tga raw.psd rle.psd grey.psd; do
    check "$file" -
done
check anim.gif 0  # the later frame's colours may merge into the first's palette: only the first is exact

[ $failures -eq 0 ] && echo "kestimg decodes every ImageMagick file as ImageMagick does"
[ $failures -eq 0 ]
