#!/bin/sh
# Draws the busy spinner app/icons/loader.gif: twelve dots on a ring, the bright one going round
# once a second. Run by hand when the drawing changes; the GIF itself is committed.
#
#   tools/icons/make_loader_gif.sh [output.gif]
#
# Needs ImageMagick's convert. Frames are drawn at four times the size and scaled down for smooth
# edges; the edges are blended onto white, the light background the spinner is shown on, and the
# white itself becomes transparent.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-"$here/../../app/icons/loader.gif"}

size=48     # final picture, pixels
scale=4     # drawing oversampling
dots=12
ring=16     # ring radius at the final size
dot=3.6     # dot radius at the final size

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM

big=$((size * scale))
frame=0
while [ "$frame" -lt "$dots" ]; do
    # Dot k is drawn at angle k; its age (how far it trails the head) sets its colour.
    draw=$(awk -v n="$dots" -v f="$frame" -v c="$((big / 2))" -v R="$((ring * scale))" \
        -v r="$dot" -v s="$scale" 'BEGIN {
        pi = atan2(0, -1)
        for (k = 0; k < n; k++) {
            age = (f - k + n) % n
            t = age / (n - 1)            # 0 head ... 1 tail
            w = (1 - t) ^ 2.4            # weight of the accent colour
            red = int(255 * w + 214 * (1 - w) + 0.5)
            grn = int(62 * w + 219 * (1 - w) + 0.5)
            blu = int(168 * w + 225 * (1 - w) + 0.5)
            rad = r * s * (0.72 + 0.28 * (1 - t))
            a = 2 * pi * k / n - pi / 2
            x = c + R * cos(a); y = c + R * sin(a)
            printf "fill rgb(%d,%d,%d) circle %.2f,%.2f %.2f,%.2f ", red, grn, blu, x, y, x + rad, y
        }
    }')
    convert -size "${big}x${big}" xc:white -draw "$draw" -filter Lanczos -resize "${size}x${size}" \
        "$tmp/frame$(printf %02d "$frame").png"
    frame=$((frame + 1))
done

convert -delay 8 -loop 0 -dispose Background "$tmp"/frame*.png \
    -fuzz 1% -transparent white -strip "$tmp/loader.gif"
mv "$tmp/loader.gif" "$out"
echo "wrote $out"
