#!/usr/bin/env bash
# Configures and builds one flavour of Quillet: release (default), asan or tsan.
# Usage: scripts/build.sh [release|asan|tsan]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
flavour="${1:-release}"

case "$flavour" in
  release) options=(-DCMAKE_BUILD_TYPE=Release) ;;
  asan) options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_SANITIZE=ON) ;;
  tsan) options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_TSAN=ON) ;;
  *) echo "build: unknown flavour '$flavour' (release, asan or tsan)" >&2; exit 2 ;;
esac

build="$root/build/$flavour"
cmake -S "$root" -B "$build" -G Ninja "${options[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
echo "$build"
