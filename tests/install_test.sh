#!/usr/bin/env bash
# cmake --install into an empty folder: the programs, the desktop entry, the
# icons, the AppStream file and the man pages, and the validators pass.
#   install_test.sh BUILD_DIR APP_ID
set -euo pipefail
build=$1
id=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(bin/extractinsert bin/extractinsert-batch
  "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml"
  share/man/man1/extractinsert.1 share/man/man1/extractinsert-batch.1)
for size in 16 32 48 64 128 256; do expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png"); done
status=0
for file in "${expected[@]}"; do
  [ -s "$prefix/$file" ] || { echo "missing: $file"; status=1; }
done
desktop-file-validate "$prefix/share/applications/$id.desktop" || status=1
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" || status=1
grep -q "^Categories=.*Graphics;" "$prefix/share/applications/$id.desktop" || { echo "not under Graphics"; status=1; }
"$prefix/bin/extractinsert-batch" --version | grep -q "^extractinsert-batch [0-9]" || status=1
exit $status
