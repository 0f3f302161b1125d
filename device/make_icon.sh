#!/usr/bin/env sh
# The status program's icon, from its text images (XPM, drawn for it), with
# netpbm: each size with its transparency as one RGB_ALPHA image, the
# sizes together as a Windows icon (pamtowinicon writes each as a BMP of
# the fewest colours it needs: 16 colours here), and the largest, four
# times enlarged, as a PNG for the documentation.
#
# usage: make_icon.sh ICO PNG IMAGE.xpm...   (the largest first)
set -eu
if [ $# -lt 3 ]; then
    echo "usage: make_icon.sh ICO PNG IMAGE.xpm..." >&2
    exit 2
fi
for tool in xpmtoppm pamdepth pamstack pamtowinicon pamenlarge pamtopng; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "make_icon: $tool not found; install netpbm (apt-get install netpbm)" >&2; exit 1; }
done
ico=$1 png=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
n=0
for xpm in "$@"; do
    n=$((n + 1))
    xpmtoppm --alphaout="$work/$n.alpha" "$xpm" >"$work/$n.ppm" 2>/dev/null
    pamdepth 255 "$work/$n.alpha" >"$work/$n.pgm" 2>/dev/null
    pamstack -tupletype=RGB_ALPHA "$work/$n.ppm" "$work/$n.pgm" >"$work/$n.pam" 2>/dev/null
    cat "$work/$n.pam" >>"$work/all.pam"
done
mkdir -p "$(dirname "$ico")" "$(dirname "$png")"
pamtowinicon "$work/all.pam" >"$work/icon.ico" 2>/dev/null
pamenlarge 4 "$work/1.pam" 2>/dev/null | pamtopng >"$work/icon.png" 2>/dev/null
mv "$work/icon.ico" "$ico"
mv "$work/icon.png" "$png"
