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

# Several checkouts of one machine share compiled objects when ccache is there.
if command -v ccache >/dev/null; then
  options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
fi

build="$root/build/$flavour"
cmake -S "$root" -B "$build" -G Ninja "${options[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
echo "$build"
