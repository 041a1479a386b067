#!/usr/bin/env bash
# Installs whatever is missing, builds a release build and starts the tool.
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}"

cmake --preset release
cmake --build --preset release -j "$(nproc)"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/release/app/extractinsert
fi
echo "No display found: the window needs a desktop session."
echo "Start it there with: build/release/app/extractinsert"
