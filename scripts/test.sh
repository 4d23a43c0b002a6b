#!/usr/bin/env bash
# Installs what is missing, builds Quillet and runs the whole test suite.
# Usage: scripts/test.sh [release|asan|tsan]   (default: release)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
flavour="${1:-release}"

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$flavour"
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
# Nor do they meet the machine's D-Bus buses: a recording under test must not inhibit the
# developer's own session, and CI machines differ in which buses run. The tests that need a bus
# start one of their own.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$scratch/no-session-bus"
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$scratch/no-system-bus"

# Media tests record from a private PulseAudio server; CI must not pass by skipping them.
if [ "${CI:-}" = true ]; then
  export QUILLET_REQUIRE_AUDIO_SERVER=1
fi
audio_server="$root/scripts/audio-test-server.sh"
QUILLET_STOP_SERVERS="${QUILLET_STOP_SERVERS:+$QUILLET_STOP_SERVERS; }bash '$audio_server' stop"
if bash "$audio_server" start; then
  eval "$(bash "$audio_server" env)"
else
  echo "test: the private audio server did not start; tests that need it will skip or fail" >&2
fi

case "$flavour" in
  asan)
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
    ;;
  tsan)
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp"
    ;;
esac

echo "test: running the $flavour suite"
ctest --test-dir "$build" --output-on-failure --timeout 300 -j "$(nproc)"
