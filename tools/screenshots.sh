#!/usr/bin/env bash
# Takes the screenshots in docs/: the window under Xvfb at scale 1 and 2.
#   tools/screenshots.sh   (needs xvfb, x11-utils, x11-apps and imagemagick)
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/release/app/extractinsert
[ -x "$program" ] || { cmake --preset release >/dev/null && cmake --build --preset release >/dev/null; }

display=:71
Xvfb "$display" -screen 0 2048x1536x24 >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
sleep 1

shoot() {  # scale, output
  DISPLAY=$display QT_SCALE_FACTOR=$1 "$program" >/dev/null 2>&1 &
  local app=$!
  sleep 2
  # The window's place and size on the screen, from the window system.
  local geometry
  geometry=$(DISPLAY=$display xwininfo -name 'Extract\Insert Tool' | awk '
    /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /Width:/ {w=$NF} /Height:/ {h=$NF} END {print w "x" h "+" x "+" y}')
  DISPLAY=$display xwd -root -silent | /usr/bin/convert xwd:- -crop "$geometry" +repage "$2"
  kill "$app"
  wait "$app" 2>/dev/null || true
  echo "$2: $geometry"
}
shoot 1 docs/window.png
shoot 2 docs/window-scale2.png
