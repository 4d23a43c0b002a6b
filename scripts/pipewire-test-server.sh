#!/usr/bin/env bash
# Runs a private PipeWire with its PulseAudio service, as current desktops serve sound, for the
# tests that show Quillet records and plays there too. Never touches a user's own session.
# Usage: scripts/pipewire-test-server.sh start|stop|env
#
# Everything lives in $QUILLET_PIPEWIRE_DIR: a session bus of its own (WirePlumber wants one),
# pipewire, wireplumber and pipewire-pulse with their runtime and state folders, and two null
# sinks: quillet_tone, into which a 440 Hz tone plays, and quillet_out, the default output.
# "start" fails with a line naming what did not come up; its logs are in the folder.
set -euo pipefail
# A step that fails otherwise ends the script without a word.
trap 'echo "pipewire-test-server: \"$BASH_COMMAND\" failed" >&2' ERR

dir="${QUILLET_PIPEWIRE_DIR:?set QUILLET_PIPEWIRE_DIR to a private folder}"
runtime="$dir/runtime"
socket="$runtime/pulse/native"

print_env() {
  echo "export PULSE_SERVER=unix:$socket"
  echo "export PULSE_CLIENTCONFIG=$dir/client.conf"
}

# The processes of this server, one per line in "pids", stopped last to first.
launch() {
  local name="$1"
  shift
  setsid "$@" </dev/null >"$dir/$name.log" 2>&1 &
  echo $! >>"$dir/pids"
}

wait_for() {
  local what="$1" check="$2"
  for _ in $(seq 1 100); do
    if bash -c "$check" >/dev/null 2>&1; then
      return 0
    fi
    sleep 0.1
  done
  echo "pipewire-test-server: $what did not come up; logs in $dir" >&2
  return 1
}

start() {
  for program in dbus-daemon pipewire wireplumber pipewire-pulse pactl pacat ffmpeg; do
    if ! command -v "$program" >/dev/null; then
      echo "pipewire-test-server: $program is not installed" >&2
      return 1
    fi
  done
  mkdir -p "$runtime" "$dir/home" "$dir/config" "$dir/state"
  chmod 700 "$runtime"
  : >"$dir/pids"
  cat >"$dir/client.conf" <<CONF
autospawn = no
default-server = unix:$socket
CONF
  export XDG_RUNTIME_DIR="$runtime" HOME="$dir/home" XDG_CONFIG_HOME="$dir/config"
  export XDG_STATE_HOME="$dir/state" PULSE_SERVER="unix:$socket"
  export PULSE_CLIENTCONFIG="$dir/client.conf"
  unset DISPLAY WAYLAND_DISPLAY

  dbus-daemon --session --fork --print-address=1 --print-pid=3 >"$dir/bus.address" \
    3>"$dir/bus.pid"
  export DBUS_SESSION_BUS_ADDRESS="$(head -1 "$dir/bus.address")"
  launch pipewire pipewire
  wait_for pipewire "test -S '$runtime/pipewire-0'" || return 1
  launch wireplumber wireplumber
  launch pipewire-pulse pipewire-pulse
  wait_for pipewire-pulse "pactl info" || return 1

  pactl load-module module-null-sink sink_name=quillet_tone rate=48000 channels=2 \
    sink_properties=device.description=Quillet-Tone >/dev/null
  pactl load-module module-null-sink sink_name=quillet_out rate=48000 channels=2 \
    sink_properties=device.description=Quillet-Output >/dev/null
  # The default output lives in WirePlumber's metadata, which may not be there yet.
  wait_for "the default output" \
    "pactl set-default-sink quillet_out && [ \"\$(pactl get-default-sink)\" = quillet_out ]" ||
    return 1
  launch tone bash -c "ffmpeg -nostdin -v error -re -f lavfi \
    -i sine=frequency=440:sample_rate=48000 -ac 2 -f s16le - |
    pacat --raw --device=quillet_tone --rate=48000 --channels=2 --format=s16le"
  # WirePlumber links the tone to its sink; until then the monitor is silent.
  wait_for "the tone" "pactl list short sink-inputs | grep -q ." || return 1
  echo "pipewire-test-server: running in $dir"
}

stop() {
  if [ -f "$dir/pids" ]; then
    tac "$dir/pids" | while read -r pid; do
      kill -- "-$pid" 2>/dev/null || true
    done
    rm -f "$dir/pids"
  fi
  if [ -f "$dir/bus.pid" ]; then
    kill "$(cat "$dir/bus.pid")" 2>/dev/null || true
    rm -f "$dir/bus.pid"
  fi
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  env) print_env ;;
  *)
    echo "usage: $0 start|stop|env" >&2
    exit 2
    ;;
esac
