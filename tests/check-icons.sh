#!/bin/sh
# The committed icons are what tools/draw-icons draws today, so the tray's pictures and the
# desktop icons that the build draws from the same pixel art cannot drift apart.
#   check-icons.sh SOURCE_DIR
set -eu
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$1/tools/draw-icons" "$work"
for icon in nomail.ico newmail.ico; do
    cmp "$work/$icon" "$1/res/$icon" || { echo "res/$icon differs from tools/draw-icons: run it again"; exit 1; }
done
echo "res/nomail.ico and res/newmail.ico are as tools/draw-icons draws them"
