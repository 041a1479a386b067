#!/usr/bin/env bash
# Installs whatever is missing, cross-builds the engine, the batch command and
# their tests for Windows with mingw-w64, and runs every test under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/deps.sh
ensure_packages cmake ninja-build g++-mingw-w64-x86-64-posix wine wine64 googletest

# A wine prefix of the build's own, made on first use; quiet wine.
export WINEPREFIX="$PWD/build/windows/wine"
export WINEDEBUG=-all
mkdir -p "$WINEPREFIX"

jobs=$(nproc)
cmake --preset windows
cmake --build --preset windows -j "$jobs"
ctest --preset windows -j "$jobs"
