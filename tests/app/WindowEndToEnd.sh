#!/usr/bin/env bash
# Starts the real window program in a real X server (Xvfb) against the private test audio
# server, records about three seconds with the keyboard as a user would, plays the clip back
# inside the program, gives it a title through the Clip menu, closes the window through its
# menu, and checks the file and the settings the program saved.
# Usage: WindowEndToEnd.sh BIN_DIR   (QUILLET_REGISTRY_DIR names a registry with the engine)
# Set QUILLET_E2E_SCREENSHOT=FILE to keep a picture of the window while it records.
set -euo pipefail
bin="$1"

skip() {
  if [ "${QUILLET_REQUIRE_AUDIO_SERVER:-}" = 1 ]; then
    echo "FAIL: $*" >&2
    exit 1
  fi
  echo "SKIP: $*" >&2
  exit 77
}
command -v xvfb-run >/dev/null || skip "xvfb-run is not installed"
command -v xdotool >/dev/null || skip "xdotool is not installed"
[ -n "${PULSE_SERVER:-}" ] || skip "the private test audio server is not set up"
[ -f "${QUILLET_REGISTRY_DIR:-}/classes.reg" ] || skip "no registry with the engine in it"

work="$(mktemp -d "${TMPDIR:-/tmp}/quillet-e2e.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cp "$QUILLET_REGISTRY_DIR/classes.reg" "$work/"
clip="$work/window take.wma"
cat > "$work/user.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Hollenby\\Vellox]
"OutputPath"="$clip"
"WndX"=dword:00000064
"WndY"=dword:00000050

REG

# What runs inside the X server: the program, and the keys a user presses.
cat > "$work/session.sh" <<'SESSION'
set -euo pipefail
QT_QPA_PLATFORM=xcb "$BIN/Vellox" &
program=$!
window=""
for _ in $(seq 1 100); do
  window="$(xdotool search --onlyvisible --name '^Quillet$' 2>/dev/null | head -n 1 || true)"
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "the window did not appear" >&2; kill "$program"; exit 1; }
sleep 1
xdotool windowfocus --sync "$window"
sleep 0.5
# From the source list, Tab walks to Record: pin, version, profile, file, limit, size, Record.
xdotool key --delay 80 Tab Tab Tab Tab Tab Tab Tab space
sleep 5
if [ -n "${SHOT:-}" ]; then import -window root "$SHOT" || true; fi
# Record keeps the focus; Pause and Stop follow it.
xdotool key --delay 80 Tab Tab space
sleep 1.5
# Stopping moved the focus on to the record level; Play comes right before it now.
streams_before="$(pactl list short sink-inputs | wc -l)"
xdotool key --delay 100 shift+Tab space
sleep 1
streams_playing="$(pactl list short sink-inputs | wc -l)"
[ "$streams_playing" -gt "$streams_before" ] ||
  { echo "the clip is not playing inside the program" >&2; kill "$program"; exit 1; }
# The clip plays to its end.
sleep 5
# Clip, Edit attributes: the dialog opens on the Title field; Return is its OK.
xdotool key --delay 200 alt+c Down Return
dialog=""
for _ in $(seq 1 50); do
  dialog="$(xdotool search --onlyvisible --name '^Clip attributes$' 2>/dev/null | head -n 1 || true)"
  [ -n "$dialog" ] && break
  sleep 0.1
done
[ -n "$dialog" ] || { echo "the attributes dialog did not appear" >&2; kill "$program"; exit 1; }
# Without a window manager a new window does not take the focus by itself.
sleep 0.5
xdotool windowfocus --sync "$dialog"
xdotool type --delay 30 "Window title"
xdotool key Return
sleep 1
xdotool windowfocus --sync "$window"
xdotool key --delay 150 alt+f x
for _ in $(seq 1 100); do
  kill -0 "$program" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$program" 2>/dev/null; then
  echo "the program did not close from its menu" >&2
  kill "$program"
  exit 1
fi
wait "$program"
SESSION

export BIN="$bin" SHOT="${QUILLET_E2E_SCREENSHOT:-}" QUILLET_REGISTRY_DIR="$work"
# In a sanitizer build: xkbcommon's X11 keymap reader hands strndup strings that are not
# terminated within the size it reads, which the strict string checks take for an overflow.
if [ -n "${ASAN_OPTIONS:-}" ]; then
  export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
timeout 120 xvfb-run -a -s "-screen 0 1280x800x24" bash "$work/session.sh"

[ -f "$clip" ] || { echo "FAIL: no clip was recorded" >&2; exit 1; }
duration="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$clip")"
echo "recorded $duration s"
awk -v d="$duration" 'BEGIN { exit !(d > 2.0 && d < 6.5) }' ||
  { echo "FAIL: the clip lasts $duration s" >&2; exit 1; }
# The whole file decodes.
ffmpeg -nostdin -v error -i "$clip" -f null - || { echo "FAIL: the clip does not decode" >&2; exit 1; }
# The title typed into the attributes dialog is in the file's header.
title="$(ffprobe -v error -show_entries format_tags=title -of default=nw=1:nk=1 "$clip")"
[ "$title" = "Window title" ] || { echo "FAIL: the clip's title is '$title'" >&2; exit 1; }
# The choices that made the take and the window's place were saved.
grep -q '"SourceFilterName"="Monitor of Quillet Test Output"' "$work/user.reg" ||
  { echo "FAIL: the source was not saved" >&2; cat "$work/user.reg" >&2; exit 1; }
grep -q '"EncodingProfile"="{' "$work/user.reg" ||
  { echo "FAIL: the profile was not saved" >&2; exit 1; }
grep -q '"WndX"=dword:' "$work/user.reg" || { echo "FAIL: the position was not saved" >&2; exit 1; }
echo "1 passed, 0 failed"
