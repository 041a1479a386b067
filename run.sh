#!/usr/bin/env bash
# Installs whatever is missing, builds a release build and starts the tool. On a
# machine without a display it converts the bundled sample font instead.
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}"

cmake --preset release
cmake --build --preset release -j "$(nproc)"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/release/app/extractinsert
fi

echo
echo "No display found, so the window cannot open here."
echo "Converting the bundled sample font with the batch command instead:"
build/release/app/extractinsert-batch -o out samples/dejavu-sans.metrics
echo
echo "The files went to $(pwd)/out:"
ls -l out
echo
echo "To open the window, run ./run.sh in a desktop session"
echo "(or start build/release/app/extractinsert there)."
