#!/usr/bin/env bash
# Installs what is missing, builds Quillet and runs the whole test suite.
# Usage: scripts/test.sh [release|asan|tsan]   (default: release)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
flavour="${1:-release}"

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$flavour" >/dev/null
build="$root/build/$flavour"

# Tests write their registry, recordings and audio server state under one private folder.
scratch="$(mktemp -d "${TMPDIR:-/tmp}/quillet-tests.XXXXXX")"
cleanup() {
  if [ -n "${QUILLET_STOP_SERVERS:-}" ]; then
    eval "$QUILLET_STOP_SERVERS" || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
export QUILLET_REGISTRY_DIR="$scratch/registry"
export QUILLET_TEST_SCRATCH="$scratch"

case "$flavour" in
  asan)
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    ;;
  tsan)
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
    ;;
esac

echo "test: running the $flavour suite"
ctest --test-dir "$build" --output-on-failure --timeout 300 -j "$(nproc)"
