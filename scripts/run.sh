#!/usr/bin/env bash
# Installs what is missing, builds Quillet (release) and starts the recorder's window on the
# desktop's own audio server (PulseAudio, or PipeWire's PulseAudio service). With arguments it
# starts the command-line front end instead: scripts/run.sh record --seconds 10 clip.wma
# Usage: scripts/run.sh [QUILLET-CLI COMMAND [ARGUMENTS...]]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

bash "$root/scripts/install-deps.sh" >&2
bash "$root/scripts/build.sh" release >&2
if [ "$#" -eq 0 ]; then
  exec "$root/build/release/bin/Vellox"
fi
exec "$root/build/release/bin/quillet-cli" "$@"
