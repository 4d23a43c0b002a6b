#!/usr/bin/env bash
# Builds the release flavour and makes the Debian package from it with CPack; prints the
# package's path. Its dependencies come from dpkg-shlibdeps (package dpkg-dev).
# Usage: scripts/package.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/release"

bash "$root/scripts/build.sh" release >&2
rm -rf "$build/package"
(cd "$build" && cpack -G DEB -B "$build/package" >&2)
deb="$(ls "$build"/package/quillet_*.deb)"
echo "$deb"
