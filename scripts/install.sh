#!/usr/bin/env bash
# Installs Quillet on this Debian machine: the missing build packages, a release build, the
# Debian package made from it, and that package through apt-get (with sudo when you are not
# root), which brings in what the programs need at run time. "apt-get purge quillet" removes it.
# Usage: scripts/install.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

bash "$root/scripts/install-deps.sh" >&2
deb="$(bash "$root/scripts/package.sh")"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y "$deb"
echo "install: Quillet is installed; start it from the menu (Quillet) or as Vellox"
