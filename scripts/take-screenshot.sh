#!/usr/bin/env bash
# Takes the screenshot that the AppStream metainfo shows: the real recorder window of the
# release build in Xvfb, recording from the private test audio server, captured with
# ImageMagick's import. Writes app/desktop/screenshots/main-window.png; commit it and update the
# width and height in the metainfo when they change.
# Needs root, for the private /home, and ImageMagick (Debian package imagemagick).
# Usage: scripts/take-screenshot.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/release"
out="$root/app/desktop/screenshots/main-window.png"

work="$(mktemp -d "${TMPDIR:-/tmp}/quillet-shot.XXXXXX")"
export QUILLET_AUDIO_SERVER_DIR="$work/pulse"
trap 'bash "$root/scripts/audio-test-server.sh" stop; rm -rf "$work"' EXIT
bash "$root/scripts/audio-test-server.sh" start >&2
eval "$(bash "$root/scripts/audio-test-server.sh" env)"

export QUILLET_REGISTRY_DIR="$work/registry"
mkdir -p "$QUILLET_REGISTRY_DIR"
cp "$build/registry/classes.reg" "$QUILLET_REGISTRY_DIR/"
cat >"$QUILLET_REGISTRY_DIR/user.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Hollenby\\Vellox]
"OutputPath"="/home/ann/Music/interview.wma"
"WndX"=dword:00000000
"WndY"=dword:00000000

REG

export BIN="$build/bin" SHOT="$work/shot.png"
# The clip goes to a person's music folder, /home/ann/Music, on a /home of its own that only
# this command sees (a private mount namespace), so the picture shows no scratch path.
unshare --mount --propagation private bash -c '
  mount -t tmpfs quillet-shot /home && mkdir -p /home/ann/Music && exec "$@"' home \
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  set -euo pipefail
  QT_QPA_PLATFORM=xcb "$BIN/Vellox" & program=$!
  window=""
  for _ in $(seq 1 150); do
    window="$(xdotool search --onlyvisible --name "^Quillet$" 2>/dev/null | head -n 1 || true)"
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "the window did not appear" >&2; kill "$program"; exit 1; }
  sleep 1
  xdotool windowfocus --sync "$window"
  # Record: from the source list, Tab walks to the Record button.
  xdotool key --delay 80 Tab Tab Tab Tab Tab Tab Tab space
  sleep 4
  import -window "$window" "$SHOT"
  xdotool key --delay 80 Tab Tab space
  sleep 1
  kill "$program"; wait "$program" || true'
cp "$work/shot.png" "$out"
file "$out"
