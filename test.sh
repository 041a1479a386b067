#!/usr/bin/env bash
# Installs whatever is missing, builds with AddressSanitizer and UBSan, and runs
# every test through ctest (the window tests on Qt's offscreen platform).
set -euo pipefail
cd "$(dirname "$0")"
source tools/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}"

jobs=$(nproc)
cmake --preset asan
cmake --build --preset asan -j "$jobs"
export QT_QPA_PLATFORM=offscreen
ctest --preset asan -j "$jobs"
