#!/usr/bin/env bash
# Installs every package that Quillet needs to build, run, test and package, from Debian's
# archive: librsvg2-bin renders the desktop icons, dpkg-dev (dpkg-shlibdeps) and file serve
# CPack's Debian package, man-db checks the manual pages.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libqt6svg6 xvfb xauth xdotool desktop-file-utils appstream
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  libtag1-dev libpulse-dev
  pulseaudio pulseaudio-utils ffmpeg xdg-utils
  dbus-daemon pipewire pipewire-pulse wireplumber
  librsvg2-bin
  dpkg-dev file man-db
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# The package lists of a fresh machine are empty or stale.
if [ -z "$(ls -A /var/lib/apt/lists 2>/dev/null | grep -v -e lock -e partial)" ] ||
   [ -n "$(find /var/lib/apt/lists -maxdepth 0 -mmin +1440 2>/dev/null)" ]; then
  "${sudo[@]}" apt-get update -qq
fi
if ! "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
