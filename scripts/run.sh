#!/usr/bin/env bash
# Installs what is missing, builds Quillet (release) and starts the recorder's command-line front
# end with the given arguments, on the desktop's own audio server.
# Usage: scripts/run.sh [COMMAND [ARGUMENTS...]]   (no command: record ten seconds to clip.wma)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

bash "$root/scripts/install-deps.sh" >&2
bash "$root/scripts/build.sh" release >&2
if [ "$#" -eq 0 ]; then
  set -- record --seconds 10 clip.wma
fi
exec "$root/build/release/bin/quillet-cli" "$@"
