#!/usr/bin/env bash
# The desktop entry and the AppStream metainfo pass the desktop's own validators.
# Usage: DesktopFilesValid.sh FOLDER
set -euo pipefail
folder="$1"
for tool in desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null; then
    if [ "${CI:-}" = true ]; then
      echo "FAIL: $tool is not installed" >&2
      exit 1
    fi
    echo "SKIP: $tool is not installed" >&2
    exit 77
  fi
done
desktop-file-validate "$folder/io.github.quillet.Quillet.desktop"
# No network: the validator must not depend on reaching any address.
appstreamcli validate --no-net "$folder/io.github.quillet.Quillet.metainfo.xml"
echo "1 passed, 0 failed"
