#!/usr/bin/env bash
# Runs the private PulseAudio server of the test suite, never a user's own server.
# Usage: scripts/audio-test-server.sh start|stop|env
#
# The server lives in its own folder: $QUILLET_AUDIO_SERVER_DIR if set, else
# $QUILLET_TEST_SCRATCH/pulse, else a per-user folder under $TMPDIR. It listens on a unix socket
# there, loads nothing but what is listed below, never exits when idle and runs as root too (CI
# runs as root without a display or a session bus). It offers three capture sources, in order:
#   quillet_null.monitor  the monitor of a null sink fed by a 440 Hz sine; a live source that
#                         honours short fragments, so timing tests record from it;
#   quillet_pipe          a pipe source, s16le 48000 Hz stereo, that tests feed with exact PCM
#                         through the FIFO named by QUILLET_TEST_PIPE_SOURCE;
#   quillet_sine          a 1000 Hz sine source, which always delivers 2-second bursts.
# QUILLET_AUDIO_SERVER_DEVICES=none starts a server without those devices (tests start such
# throwaway servers to kill them or to see an empty device list).
#
# Left alone, a null sink renders in blocks of its 2-second default latency, so the first client
# of its monitor waits up to 2 s for sound, which no real device does. A keeper stream of 20 ms
# on the monitor holds the sink at short latency for as long as the server runs;
# QUILLET_AUDIO_SERVER_IDLE_SINK=1 leaves it out, for tests that show how clients cope with an
# idle sink.
# "env" prints the export lines that point clients at this server; eval them.
set -euo pipefail

if [ -n "${QUILLET_AUDIO_SERVER_DIR:-}" ]; then
  dir="$QUILLET_AUDIO_SERVER_DIR"
elif [ -n "${QUILLET_TEST_SCRATCH:-}" ]; then
  dir="$QUILLET_TEST_SCRATCH/pulse"
else
  dir="${TMPDIR:-/tmp}/quillet-pulse-$(id -u)"
fi
socket="$dir/native"
fifo="$dir/pipe-source.fifo"
pidfile="$dir/server.pid"
keeperPidfile="$dir/keeper.pid"
log="$dir/server.log"
pipeFormat="s16le 48000 2"

# Clients of this server: no autospawn of a session server, no cookie of the user's.
write_client_config() {
  cat >"$dir/client.conf" <<EOF
autospawn = no
default-server = unix:$socket
cookie-file = $dir/cookie
EOF
}

print_env() {
  echo "export PULSE_SERVER=unix:$socket"
  echo "export PULSE_CLIENTCONFIG=$dir/client.conf"
  echo "export QUILLET_TEST_PIPE_SOURCE=$fifo"
  echo "export QUILLET_TEST_PIPE_FORMAT='$pipeFormat'"
}

running() {
  [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null
}

start() {
  if running; then
    echo "audio-test-server: already running in $dir" >&2
    return 0
  fi
  mkdir -p "$dir/runtime" "$dir/state" "$dir/config" "$dir/home"
  chmod 700 "$dir" "$dir/runtime"
  rm -f "$socket" "$fifo"
  write_client_config

  # daemon.conf is read from PULSE_CONFIG only, so nothing of the machine's or a user's applies.
  cat >"$dir/daemon.conf" <<EOF
daemonize = no
exit-idle-time = -1
high-priority = no
realtime-scheduling = no
flat-volumes = no
default-sample-format = s16le
default-sample-rate = 48000
default-sample-channels = 2
EOF

  # No X11, dbus, udev, ALSA or restore modules: the server holds exactly these devices.
  echo "load-module module-native-protocol-unix socket=$socket auth-anonymous=1" >"$dir/server.pa"
  if [ "${QUILLET_AUDIO_SERVER_DEVICES:-}" != none ]; then
    cat >>"$dir/server.pa" <<EOF
load-module module-null-sink sink_name=quillet_null rate=48000 channels=2 sink_properties="device.description='Quillet Test Output'"
load-module module-sine sink=quillet_null frequency=440
load-module module-pipe-source source_name=quillet_pipe file=$fifo format=s16le rate=48000 channels=2 source_properties="device.description='Quillet Test Pipe'"
load-module module-sine-source source_name=quillet_sine rate=48000 frequency=1000 source_properties="device.description='Quillet Test Sine'"
set-default-sink quillet_null
set-default-source quillet_null.monitor
EOF
  fi

  # setsid detaches the server from the caller's terminal and pipes, so "start" returns.
  env -u PULSE_SERVER -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS \
    HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/config" \
    XDG_STATE_HOME="$dir/state" PULSE_RUNTIME_PATH="$dir/runtime" PULSE_STATE_PATH="$dir/state" \
    PULSE_CONFIG="$dir/daemon.conf" PULSE_CLIENTCONFIG="$dir/client.conf" \
    setsid pulseaudio -n -F "$dir/server.pa" --daemonize=no --system=no --exit-idle-time=-1 \
    --use-pid-file=no --log-target=stderr --log-level=notice \
    </dev/null >"$log" 2>&1 &
  echo $! >"$pidfile"

  # The server is ready once a client sees the last of its sources (the socket comes first).
  ready="pactl info"
  if [ "${QUILLET_AUDIO_SERVER_DEVICES:-}" != none ]; then
    ready="pactl list short sources | grep -q quillet_sine"
  fi
  for _ in $(seq 1 100); do
    if ! running; then
      break
    fi
    if PULSE_SERVER="unix:$socket" PULSE_CLIENTCONFIG="$dir/client.conf" \
      bash -c "$ready" >/dev/null 2>&1; then
      if [ "${QUILLET_AUDIO_SERVER_DEVICES:-}" != none ] &&
        [ "${QUILLET_AUDIO_SERVER_IDLE_SINK:-}" != 1 ]; then
        start_keeper
      fi
      echo "audio-test-server: running in $dir"
      return 0
    fi
    sleep 0.1
  done
  echo "audio-test-server: the server did not start; its log follows" >&2
  cat "$log" >&2 || true
  stop
  return 1
}

start_keeper() {
  # The sink switches to the short latency when it finishes the block it was rendering; the
  # server counts as started once the keeper has its first bytes.
  rm -f "$dir/keeper.ready"
  PULSE_SERVER="unix:$socket" PULSE_CLIENTCONFIG="$dir/client.conf" setsid bash -c \
    "parec --raw --format=s16le --rate=48000 --channels=2 --latency-msec=20 \
      --device=quillet_null.monitor --client-name=quillet-keeper 2>>'$log' |
      { head -c 1 >/dev/null; : >'$dir/keeper.ready'; exec cat >/dev/null; }" \
    </dev/null >/dev/null 2>&1 &
  echo $! >"$keeperPidfile"
  for _ in $(seq 1 50); do
    [ -f "$dir/keeper.ready" ] && return 0
    sleep 0.1
  done
  echo "audio-test-server: the null sink's keeper stream got no sound in 5 s" >&2
}

stop() {
  if [ -f "$keeperPidfile" ]; then
    kill -- "-$(cat "$keeperPidfile")" 2>/dev/null || true
    rm -f "$keeperPidfile"
  fi
  if [ -f "$pidfile" ]; then
    pid="$(cat "$pidfile")"
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 1 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
      done
      kill -9 "$pid" 2>/dev/null || true
    fi
    rm -f "$pidfile"
  fi
  rm -f "$socket" "$fifo"
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
