#!/usr/bin/env bash
# Checks Quillet as it is installed, in three stages:
#   1. "cmake --install" into a staging folder: exactly the files we mean to ship, run paths
#      that work wherever the tree lies, the desktop files and man pages as their own tools see
#      them, and the staged programs running from there for a user who has never run Quillet;
#   2. the Debian package that CPack makes: its contents and its dependencies;
#   3. that package installed with apt-get on this machine: two users record with the installed
#      quillet-cli from an empty home, without any set-up step, each into a registry of their
#      own; then "apt-get purge" leaves nothing of ours behind.
# It needs root (apt-get, a second user) and the release build, which it makes when missing.
# Prints "check-install: N passed, M failed" and exits 1 when anything failed.
# Usage: scripts/check-install.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/release"
app_id=io.github.quillet.Quillet
icon_sizes=(16 22 24 32 48 64 128 256)

if [ "$(id -u)" -ne 0 ]; then
  echo "check-install: run as root (it installs and removes the package)" >&2
  exit 2
fi
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" release >/dev/null

# Everything lives under one folder that the second user may enter.
scratch="$(mktemp -d "${TMPDIR:-/tmp}/quillet-install.XXXXXX")"
chmod 755 "$scratch"
stage="$scratch/stage"
cleanup() {
  local dir
  for dir in $(cat "$scratch/servers" 2>/dev/null); do
    QUILLET_AUDIO_SERVER_DIR="$dir" bash "$scratch/audio-test-server.sh" stop || true
  done
  # A package that this run installed and did not get to remove goes again.
  if [ -f "$scratch/installed" ] && dpkg-query -W quillet >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq quillet >/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
# A copy the second user can read, wherever this checkout lies.
cp "$root/scripts/audio-test-server.sh" "$scratch/"
chmod 755 "$scratch/audio-test-server.sh"

passed=0
failed=0
# check NAME FUNCTION: runs one check, and shows its output only when it fails. The function
# runs in a background subshell, the one place where "set -e" holds inside a function that a
# condition tests; what a check hands on to later ones goes through files in $scratch.
check() {
  local name="$1"
  shift
  ( set -e; "$@" ) >"$scratch/check.log" 2>&1 &
  if wait $!; then
    passed=$((passed + 1))
    echo "ok: $name"
  else
    failed=$((failed + 1))
    echo "FAIL: $name"
    sed 's/^/    /' "$scratch/check.log"
  fi
}
fail() {
  echo "$*"
  exit 1
}
# No "producer | grep -q" below: grep -q leaves at its first match, the producer may then die of
# SIGPIPE, and pipefail would report that as a failed check.

# The files that an installation holds, relative to the prefix.
expected_files() {
  echo bin/Vellox
  echo bin/quillet-cli
  echo lib/quillet/libcorvane.so
  echo lib/quillet/libquillet-media.so
  echo lib/quillet/libquillet-platform.so
  echo share/applications/$app_id.desktop
  echo share/doc/quillet/Vellox.html
  for size in "${icon_sizes[@]}"; do
    echo "share/icons/hicolor/${size}x${size}/apps/$app_id.png"
  done
  echo share/icons/hicolor/scalable/apps/$app_id.svg
  echo share/man/man1/Vellox.1.gz
  echo share/man/man1/quillet-cli.1.gz
  echo share/metainfo/$app_id.metainfo.xml
  echo share/quillet/screenshots/main-window.png
}

# Starts a private audio server in DIR as USER (root when empty) and prints its environment.
start_audio_server() {
  local dir="$1" user="${2:-}"
  local as=()
  if [ -n "$user" ]; then
    mkdir -p "$dir"
    chown "$user" "$dir"
    as=(setpriv --reuid="$(id -u "$user")" --regid="$(id -g "$user")" --clear-groups)
  fi
  # Listed in a file: checks run in subshells, and the cleanup must stop every server.
  echo "$dir" >>"$scratch/servers"
  "${as[@]}" env QUILLET_AUDIO_SERVER_DIR="$dir" bash "$scratch/audio-test-server.sh" start >&2
  QUILLET_AUDIO_SERVER_DIR="$dir" bash "$scratch/audio-test-server.sh" env
}

# Runs a program as a person who has never run Quillet would: a clean environment with an
# empty home of their own, no QUILLET_REGISTRY_DIR and no XDG_CONFIG_HOME.
# Usage: as_new_user USER HOME SERVER_ENV_FILE PROGRAM ARGUMENTS...
as_new_user() {
  local user="$1" home="$2" server_env="$3"
  shift 3
  local pulse_server pulse_config
  pulse_server="$(sed -n 's/^export PULSE_SERVER=//p' "$server_env")"
  pulse_config="$(sed -n 's/^export PULSE_CLIENTCONFIG=//p' "$server_env")"
  setpriv --reuid="$(id -u "$user")" --regid="$(id -g "$user")" --clear-groups \
    env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 PULSE_SERVER="$pulse_server" \
    PULSE_CLIENTCONFIG="$pulse_config" "$@"
}

new_home() {
  local home="$1" user="$2"
  mkdir -p "$home"
  chown "$user" "$home"
}

# The registered module of the engine in a user's registry.
registered_engine() {
  grep -A3 -i 'InprocServer32\]' "$1/.config/quillet/classes.reg" | sed -n 's/^@="\(.*\)"$/\1/p' |
    sort -u
}

# --- 1. The staged tree --------------------------------------------------------------------

stage_tree() {
  DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
}

files_are_exactly_ours() {
  diff <(expected_files | sort) <(cd "$stage/usr" && find . -type f -o -type l | sed 's|^\./||' | sort)
}

# Every ELF file resolves all its libraries, its run path is relative to itself, and nothing
# points back into the build folder (which would work here and nowhere else).
libraries_resolve() {
  local status=0 file
  for file in "$stage"/usr/bin/* "$stage"/usr/lib/quillet/*.so; do
    local libraries
    libraries="$(ldd "$file")"
    if [[ "$libraries" == *"not found"* ]]; then
      echo "$file: $(grep 'not found' <<<"$libraries")"
      status=1
    fi
    local runpath
    runpath="$(readelf -d "$file" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p;s/.*(RPATH).*\[\(.*\)\]/\1/p')"
    case "$runpath" in
      '$ORIGIN' | '$ORIGIN/../lib/quillet') ;;
      *) echo "$file: run path '$runpath'"; status=1 ;;
    esac
  done
  return $status
}

icons_have_their_sizes() {
  local size file status=0
  for size in "${icon_sizes[@]}"; do
    file="$stage/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
    [[ "$(file -b "$file")" == "PNG image data, $size x $size,"* ]] || {
      echo "$file: $(file -b "$file")"
      status=1
    }
  done
  cmp "$root/app/res/icons/quillet.svg" "$stage/usr/share/icons/hicolor/scalable/apps/$app_id.svg" ||
    status=1
  return $status
}

desktop_files_validate() {
  desktop-file-validate "$stage/usr/share/applications/$app_id.desktop"
  appstreamcli validate --no-net "$stage/usr/share/metainfo/$app_id.metainfo.xml"
}

# What the desktop entry and the metainfo name is there: the program, the icon, the desktop
# id, and the screenshot, whose address is this repository's copy, of the size it states.
desktop_files_agree() {
  local desktop="$stage/usr/share/applications/$app_id.desktop"
  local metainfo="$stage/usr/share/metainfo/$app_id.metainfo.xml"
  local exec icon
  exec="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
  icon="$(sed -n 's/^Icon=//p' "$desktop")"
  [ -x "$stage/usr/bin/$exec" ] || fail "Exec=$exec is not an installed program"
  [ "$icon" = "$app_id" ] || fail "Icon=$icon is not the installed icon's name"
  grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $app_id.desktop"
  grep -q "<binary>$exec</binary>" "$metainfo" || fail "the metainfo does not provide $exec"
  local url path
  url="$(sed -n 's|.*<image type="source"[^>]*>\(https://[^<]*\)</image>.*|\1|p' "$metainfo")"
  path="${url#https://raw.githubusercontent.com/quillet/quillet/main/}"
  [ -n "$url" ] && [ "$path" != "$url" ] || fail "screenshot address '$url' is not in the repository"
  cmp "$root/$path" "$stage/usr/share/quillet/screenshots/main-window.png" ||
    fail "the installed screenshot is not the repository's $path"
  local width height
  width="$(sed -n 's|.*<image type="source" width="\([0-9]*\)".*|\1|p' "$metainfo")"
  height="$(sed -n 's|.*<image type="source"[^>]* height="\([0-9]*\)".*|\1|p' "$metainfo")"
  [[ "$(file -b "$root/$path")" == "PNG image data, $width x $height,"* ]] ||
    fail "the screenshot is $(file -b "$root/$path"), the metainfo says ${width}x$height"
}

man_pages_format() {
  local page output status=0
  for page in "$stage"/usr/share/man/man1/*.1.gz; do
    # man-db's own warnings, as Debian's lintian asks for them.
    output="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)"
    [ -z "$output" ] || { echo "$page: $output"; status=1; }
    local name
    name="$(basename "$page" .1.gz)"
    [[ "$(zcat "$page" | grep -A1 '^\.SH NAME' | tail -1)" == "$name "* ]] ||
      { echo "$page does not name $name"; status=1; }
  done
  return $status
}

# The window program looks for its help page at bin/../share/doc/quillet once installed.
help_page_where_program_looks() {
  [ -s "$stage/usr/bin/../share/doc/quillet/Vellox.html" ]
  cmp "$root/app/help/Vellox.html" "$stage/usr/share/doc/quillet/Vellox.html"
}

# A new user runs the staged quillet-cli: it registers the staged engine into the user's own
# registry and lists profiles and sources, writing nothing into the tree.
staged_programs_run() {
  local home="$scratch/home-root"
  new_home "$home" root
  local before after
  before="$(cd "$stage" && find . | sort)"
  as_new_user root "$home" "$scratch/server-root.env" "$stage/usr/bin/quillet-cli" profiles \
    >"$scratch/profiles.out"
  grep -q $'^[0-9]*\t{[0-9A-F-]*}\t[0-9]*\t' "$scratch/profiles.out" ||
    fail "no profile listed: $(cat "$scratch/profiles.out")"
  as_new_user root "$home" "$scratch/server-root.env" "$stage/usr/bin/quillet-cli" sources \
    >"$scratch/sources.out"
  grep -q 'Quillet Test' "$scratch/sources.out" ||
    fail "the test server's sources are not listed: $(cat "$scratch/sources.out")"
  [ "$(registered_engine "$home")" = "$stage/usr/lib/quillet/libcorvane.so" ] ||
    fail "registered engine: $(registered_engine "$home")"
  after="$(cd "$stage" && find . | sort)"
  [ "$before" = "$after" ] || fail "the programs wrote into the installed tree"
}

# The staged window program comes up in an X server for a new user with its engine: the
# window's title is what a person sees, and no error box says the engine is missing.
staged_window_opens() {
  local home="$scratch/home-window"
  new_home "$home" root
  as_new_user root "$home" "$scratch/server-root.env" \
    xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
      QT_QPA_PLATFORM=xcb "$1" & program=$!
      for _ in $(seq 1 150); do
        # The engine is created while the window is built: a failure shows its box first.
        if xdotool search --onlyvisible --name "^Error" >/dev/null 2>&1; then
          kill "$program"; echo "an error box is open"; exit 1
        fi
        if xdotool search --onlyvisible --name "^Quillet$" >/dev/null 2>&1; then
          sleep 1
          error="$(xdotool search --onlyvisible --name "^Error" 2>/dev/null || true)"
          kill "$program"; wait "$program" || true
          [ -z "$error" ] || { echo "an error box is open"; exit 1; }
          exit 0
        fi
        kill -0 "$program" 2>/dev/null || { echo "the program ended"; exit 1; }
        sleep 0.1
      done
      echo "no window"; kill "$program"; exit 1' window "$stage/usr/bin/Vellox"
  [ "$(registered_engine "$home")" = "$stage/usr/lib/quillet/libcorvane.so" ] ||
    fail "the window program did not register its engine: $(registered_engine "$home")"
}

echo "check-install: staging the install into $stage"
check "cmake --install into a staging folder" stage_tree
check "the staged tree holds exactly the files we ship" files_are_exactly_ours
check "programs and libraries resolve every library through \$ORIGIN run paths" libraries_resolve
check "hicolor icons: the SVG of icon 128 and PNGs of every size" icons_have_their_sizes
check "desktop-file-validate and appstreamcli validate" desktop_files_validate
check "desktop entry, metainfo, icon and screenshot agree" desktop_files_agree
check "man pages format without warnings" man_pages_format
check "the help page is where the installed program looks" help_page_where_program_looks

start_audio_server "$scratch/pulse-root" >"$scratch/server-root.env"
check "a new user runs the staged quillet-cli (profiles, sources)" staged_programs_run
check "the staged window opens for a new user" staged_window_opens

# --- 2. The Debian package -----------------------------------------------------------------

make_package() {
  local deb
  deb="$(bash "$root/scripts/package.sh")"
  [ "$(dpkg-deb -f "$deb" Package)" = quillet ] || fail "$deb is not the quillet package"
  echo "$deb" >"$scratch/deb"
}

package_holds_the_tree() {
  diff <(expected_files | sed 's|^|/usr/|' | sort) \
    <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./|/|' | sort)
}

# Every system library that a packaged file links directly comes from a package named in
# Depends, or from one that such a package depends on in turn (libtag1v5 brings
# libtag1v5-vanilla, which holds the library); the SVG plug-in, which no linker record shows,
# is named too.
package_depends_on_what_it_links() {
  local depends status=0
  depends="$(dpkg-deb -f "$deb" Depends)"
  echo "Depends: $depends"
  local named=() name
  for name in $(echo "$depends" | tr ',|' '\n\n' | awk '{print $1}' | sort -u); do
    named+=("$name")
    named+=($(dpkg-query -W -f='${Depends}' "$name" 2>/dev/null | tr ',|' '\n\n' | awk '{print $1}' || true))
  done
  local file library path real owner
  for file in "$stage"/usr/bin/* "$stage"/usr/lib/quillet/*.so; do
    for library in $(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
      path="$(ldd "$file" | awk -v l="$library" '$1 == l {print $3}')"
      case "$path" in "$stage"/* | "") continue ;; esac
      # dpkg knows a file by the path its package ships, which after the /usr merge may be
      # either spelling. A library that no package owns is the machine's own, not for Depends.
      real="$(readlink -f "$path")"
      owner="$(dpkg -S "$real" "${real#/usr}" 2>/dev/null | head -1 | cut -d: -f1 || true)"
      [ -n "$owner" ] || continue
      [[ " ${named[*]} " == *" $owner "* ]] ||
        { echo "$(basename "$file") links $library ($owner), which Depends does not bring"; status=1; }
    done
  done
  [[ " ${named[*]} " == *" libqt6svg6 "* ]] || { echo "libqt6svg6 is not in Depends"; status=1; }
  return $status
}

check "cpack -G DEB makes the quillet package" make_package
deb="$(cat "$scratch/deb" 2>/dev/null || true)"
if [ -n "$deb" ]; then
  check "the package holds the staged tree" package_holds_the_tree
  check "the package depends on every library it links" package_depends_on_what_it_links
fi

# The staged tree goes, as a local installation would be removed; the first user's registry
# still names its engine.
rm -rf "$stage"

# --- 3. The package on this machine --------------------------------------------------------

install_package() {
  if [ "$(dpkg-query -W -f='${Status}' quillet 2>/dev/null || true)" = "install ok installed" ]; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq quillet
  fi
  touch "$scratch/installed"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb"
  [ -x /usr/bin/quillet-cli ] && [ -x /usr/bin/Vellox ] || fail "the programs are not in /usr/bin"
}

# Records two seconds as USER from their server and checks the clip by decoding it: its length,
# and a signal in it (the test server's sine, not silence).
record_and_decode() {
  local user="$1" home="$2" server_env="$3"
  local clip="$home/first clip.wma"
  as_new_user "$user" "$home" "$server_env" /usr/bin/quillet-cli record --seconds 2 "$clip" \
    >"$home/record.out"
  [[ "$(tail -1 "$home/record.out")" == $'recorded\t'* ]] || fail "record: $(tail -3 "$home/record.out")"
  local seconds
  seconds="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$clip")"
  awk -v s="$seconds" 'BEGIN { exit !(s >= 1.8 && s <= 2.6) }' || fail "the clip lasts $seconds s"
  local mean
  mean="$(ffmpeg -nostdin -v info -i "$clip" -af volumedetect -f null - 2>&1 |
    sed -n 's/.*mean_volume: \(-*[0-9.]*\) dB/\1/p')"
  awk -v m="$mean" 'BEGIN { exit !(m != "" && m > -50) }' || fail "the clip is silent (mean $mean dB)"
  [ "$(registered_engine "$home")" = /usr/lib/quillet/libcorvane.so ] ||
    fail "registered engine: $(registered_engine "$home")"
  [ "$(stat -c %U "$home/.config/quillet/classes.reg")" = "$user" ] ||
    fail "the registry is not the user's own"
}

# The first user ran the staged programs, whose tree is gone: the installed program replaces
# that stale registration by its own.
first_user_records() {
  local stale="$stage/usr/lib/quillet/libcorvane.so"
  [ "$(registered_engine "$scratch/home-root")" = "$stale" ] && [ ! -e "$stale" ] ||
    fail "the first user's registry does not name the removed staged engine"
  record_and_decode root "$scratch/home-root" "$scratch/server-root.env"
}

# A second, unprivileged user who has never run Quillet, with a sound server of their own;
# recording leaves the first user's registry as it was.
second_user_records() {
  local sum
  sum="$(sha256sum <"$scratch/home-root/.config/quillet/classes.reg")"
  new_home "$scratch/home-nobody" nobody
  start_audio_server "$scratch/pulse-nobody" nobody >"$scratch/server-nobody.env"
  record_and_decode nobody "$scratch/home-nobody" "$scratch/server-nobody.env"
  [ "$(sha256sum <"$scratch/home-root/.config/quillet/classes.reg")" = "$sum" ] ||
    fail "the second user's start changed the first user's registry"
}

purge_leaves_nothing() {
  local files
  files="$(dpkg -L quillet | sort)"
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq quillet
  rm -f "$scratch/installed"
  [ -z "$(dpkg -L quillet 2>/dev/null)" ] || fail "dpkg still lists files of quillet"
  local path status=0
  for path in $files; do
    [ -f "$path" ] || [ -L "$path" ] || continue
    echo "left behind: $path"
    status=1
  done
  local leftovers
  leftovers="$(find /usr \( -iname '*quillet*' -o -name 'Vellox*' -o -name 'libcorvane*' \) 2>/dev/null)"
  [ -z "$leftovers" ] || { echo "left under /usr: $leftovers"; status=1; }
  return $status
}

if [ -n "$deb" ]; then
  check "apt-get install the package" install_package
  check "a user whose registry names a removed engine records with the installed quillet-cli" \
    first_user_records
  check "a second user records from an empty home, apart from the first" second_user_records
  check "apt-get purge leaves nothing of ours under /usr" purge_leaves_nothing
fi

echo "check-install: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
