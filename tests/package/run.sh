#!/usr/bin/env bash
# Checks the Debian package built in BUILD (default build-deb): its files, its
# control fields and the distribution's validators; then installs it on this
# machine, runs the installed program once (offscreen, with its own
# configuration folder) and removes the package again.
#   tests/package/run.sh [BUILD]
# Installing needs root, or sudo. Exits non-zero when any check fails.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-deb}

passed=0
failed=0
check() { # check <what> <command...>: one named check, counted
  local what=$1
  shift
  if "$@"; then
    echo "PASS: $what"
    passed=$((passed + 1))
  else
    echo "FAIL: $what"
    failed=$((failed + 1))
  fi
}
finish() {
  echo "package: $passed passed, $failed failed"
  exit $((failed > 0))
}

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
tmp=$(mktemp -d)
pid=
installed_here=
# What a faulty installed copy would leave beside itself; whichever of these
# this run creates is removed again, after the checks have seen it.
strays=()
for f in /usr/bin/quillbox.ini /usr/bin/quillbox.inc /usr/bin/quillbox.exc /usr/bin/audit /usr/bin/wavs; do
  [ -e "$f" ] || strays+=("$f")
done
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
  [ -n "$installed_here" ] && "${sudo[@]}" dpkg -r quillbox >/dev/null 2>&1 || true
  "${sudo[@]}" rm -rf "${strays[@]}"
  rm -rf "$tmp"
}
trap cleanup EXIT

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
deb=$build/quillbox_${version}_${arch}.deb
echo "Package: $deb"
if [ -z "$version" ] || [ ! -f "$deb" ]; then
  check "the package quillbox_<version>_<arch>.deb was built" false
  finish
fi

# --- The files ---------------------------------------------------------------
dpkg-deb -c "$deb" | awk '{ print $6 }' >"$tmp/entries"
grep -v '/$' "$tmp/entries" | sort >"$tmp/files"
metainfo=$(grep '^\./usr/share/metainfo/.*\.metainfo\.xml$' "$tmp/files" || true)
sort >"$tmp/expected" <<EOF
./usr/bin/quillbox
./usr/lib/systemd/system/quillbox-headless@.service
./usr/share/applications/quillbox.desktop
./usr/share/doc/quillbox/README.md
./usr/share/doc/quillbox/changelog.gz
./usr/share/doc/quillbox/copyright
./usr/share/icons/hicolor/256x256/apps/quillbox.png
./usr/share/icons/hicolor/48x48/apps/quillbox.png
./usr/share/icons/hicolor/scalable/apps/quillbox.svg
./usr/share/man/man1/quillbox.1.gz
${metainfo:-./usr/share/metainfo/(missing).metainfo.xml}
EOF
check "the package holds exactly the expected files" diff -u "$tmp/expected" "$tmp/files"
check "everything lies under /usr, nothing under /usr/local" \
  bash -c '! grep -v -e "^\./$" -e "^\./usr/" "$1" && ! grep "^\./usr/local" "$1"' _ "$tmp/entries"

dpkg-deb -x "$deb" "$tmp/root"
r=$tmp/root
check "the program is stripped" bash -c 'file -L "$1" | grep -q ", stripped"' _ "$r/usr/bin/quillbox"
for size in 48 256; do
  check "the ${size}-pixel icon is ${size} x ${size}" \
    bash -c 'file "$1" | grep -q "PNG image data, $2 x $2,"' _ \
    "$r/usr/share/icons/hicolor/${size}x${size}/apps/quillbox.png" "$size"
done
check "the copyright file is machine-readable" \
  grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$r/usr/share/doc/quillbox/copyright"

# --- The control fields ------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
check "Package: quillbox" test "$(field Package)" = quillbox
check "Version: $version" test "$(field Version)" = "$version"
check "Architecture: $arch" test "$(field Architecture)" = "$arch"
check "Section: utils" test "$(field Section)" = utils
check "Priority: optional" test "$(field Priority)" = optional
check "Maintainer is a name and an address" \
  bash -c '[[ $1 == ?*" <"?*@?*">" ]]' _ "$(field Maintainer)"
check "Description has a synopsis and a long text" \
  bash -c '[ "$(printf "%s\n" "$1" | wc -l)" -gt 2 ]' _ "$(field Description)"
depends=$(field Depends)
for lib in libc6 libqt6core6 libqt6widgets6 libqt6printsupport6 libqt6svg6 libcanberra0; do
  check "Depends names $lib" grep -Eq "(^|, )$lib( |,|$)" <<<"$depends"
done
check "Recommends the sound and icon themes" \
  test "$(field Recommends)" = "sound-theme-freedesktop, adwaita-icon-theme"

# --- The validators ----------------------------------------------------------
check "appstreamcli validate --no-net" appstreamcli validate --no-net "$r/${metainfo#./}"
check "the metainfo names this release and its date" \
  grep -Eq "<release version=\"$version\" date=\"[0-9]{4}-[0-9]{2}-[0-9]{2}\"" "$r/${metainfo#./}"
check "desktop-file-validate" desktop-file-validate "$r/usr/share/applications/quillbox.desktop"
check "the manual page formats without warnings" \
  bash -c '[ -z "$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$1" 2>&1 >/dev/null)" ]' _ \
  "$r/usr/share/man/man1/quillbox.1.gz"
# The service unit, as an instance on a port, with the program from the
# package; its manual page is looked for once the package is installed.
unit=$r/usr/lib/systemd/system/quillbox-headless@.service
verify_unit() { # verify_unit <unit file> <program> [systemd-analyze options]: no complaint at all
  local file=$1 program=$2 out
  shift 2
  mkdir -p "$tmp/units"
  sed "s|^ExecStart=/usr/bin/quillbox |ExecStart=$program |" "$file" >"$tmp/units/quillbox-headless@9100.service"
  out=$(systemd-analyze verify "$@" "$tmp/units/quillbox-headless@9100.service" 2>&1) && [ -z "$out" ] ||
    { printf '%s\n' "$out"; return 1; }
}
if command -v systemd-analyze >/dev/null; then
  check "systemd-analyze verify accepts the service unit" verify_unit "$unit" "$r/usr/bin/quillbox" --man=no
else
  echo "SKIP: systemd-analyze verify (systemd is not installed on this machine)"
fi
check "the unit runs the headless program on its instance's port, in its state folder" \
  grep -qx 'ExecStart=/usr/bin/quillbox --headless --port %i --folder /var/lib/quillbox/%i' "$unit"
for key in DynamicUser=yes StateDirectory=quillbox/%i ProtectSystem=strict NoNewPrivileges=yes PrivateTmp=yes \
  ProtectHome=yes; do
  check "the unit sets $key" grep -qx "$key" "$unit"
done

# Tags below "error" are listed, not fatal.
check "lintian reports no errors" lintian --fail-on error --display-info --pedantic "$deb"

# --- Installed for real ------------------------------------------------------
# Another run of this test on the same machine installs and removes the same
# package: wait for it to finish first. Another dpkg or apt run holds dpkg's
# own lock for a while: wait for that too instead of failing.
exec 9>"${TMPDIR:-/tmp}/quillbox-package-test.lock"
flock 9
dpkg_waiting() {
  local tries
  for tries in $(seq 600); do
    "${sudo[@]}" dpkg "$@" 2>"$tmp/dpkg.err" && return 0
    grep -q 'lock' "$tmp/dpkg.err" || { cat "$tmp/dpkg.err" >&2; return 1; }
    sleep 1
  done
  return 1
}
if dpkg-query -W -f='${Status}' quillbox 2>/dev/null | grep -q 'install ok installed'; then
  echo "SKIP: quillbox is already installed on this machine; the install checks would replace"
  echo "      and remove it. Remove it (dpkg -r quillbox) to run them."
  finish
fi
installed_here=1
check "dpkg -i installs the package" dpkg_waiting -i "$deb"
check "/usr/bin/quillbox --version prints the version" \
  test "$(/usr/bin/quillbox --version 2>&1)" = "Quillbox $version"
if [ -e /usr/share/man/man1/quillbox.1.gz ]; then
  check "man finds the manual page" test "$(man -w quillbox 2>/dev/null)" = /usr/share/man/man1/quillbox.1.gz
else
  echo "SKIP: man finds the manual page (this machine's dpkg leaves manual pages out)"
fi

if command -v systemd-analyze >/dev/null; then
  check "systemd-analyze verify accepts the installed unit, its manual page included" \
    verify_unit /usr/lib/systemd/system/quillbox-headless@.service /usr/bin/quillbox
fi

# The installed program, started offscreen with a configuration folder of
# its own that already names a free port and switches auditing on.
config=$tmp/config/quillbox
mkdir -p "$config" "$tmp/home" "$tmp/cwd"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("", 0)); print(s.getsockname()[1])')
printf '[Defaults]\r\nPort=%s\r\nAuditing=1\r\n' "$port" >"$config/quillbox.ini"
touch "$tmp/started"
env -C "$tmp/cwd" QT_QPA_PLATFORM=offscreen QUILLBOX_NO_SOUND=1 XDG_CONFIG_HOME="$tmp/config" \
  HOME="$tmp/home" /usr/bin/quillbox >"$tmp/program.log" 2>&1 &
pid=$!

report=$'Sent to the installed program\r\n\xe9 and a second line\r\n'
printf '%s' "$report" >"$tmp/report"
send() { # one report, once the program listens; false after 30 s
  local tries
  for tries in $(seq 150); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port" && printf '%s' "$report" >&3) 2>/dev/null; then
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}
audited() { # the report's audit file, complete, within 30 s
  local tries f
  for tries in $(seq 150); do
    for f in "$config"/audit/*.txt; do
      [ -f "$f" ] && cmp -s "$f" "$tmp/report" && return 0
    done
    sleep 0.2
  done
  return 1
}
check "the installed program accepts a report on its port" send
check "its audit file holds the report, under XDG_CONFIG_HOME" audited

kill -TERM "$pid"
for _ in $(seq 150); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.2
done
status=0
if kill -0 "$pid" 2>/dev/null; then
  status=timeout
else
  wait "$pid" || status=$?
fi
pid=
check "SIGTERM ends it with status 0 (got $status)" test "$status" = 0
check "its settings were written to XDG_CONFIG_HOME" grep -q '^WindowState=' "$config/quillbox.ini"
check "its include and exclude lists were written there too" \
  test -f "$config/quillbox.inc" -a -f "$config/quillbox.exc"
check "nothing was written to ~/.config or the working folder" \
  test ! -e "$tmp/home/.config/quillbox" -a -z "$(ls -A "$tmp/cwd")"
check "nothing was written beside /usr/bin/quillbox" \
  test ! -e /usr/bin/quillbox.ini -a ! -e /usr/bin/quillbox.inc -a ! -e /usr/bin/quillbox.exc \
  -a ! -e /usr/bin/audit -a ! -e /usr/bin/wavs
check "nothing of the program's was written anywhere under /usr" \
  test -z "$(find /usr -xdev -newer "$tmp/started" \( -iname '*quillbox*' -o -name audit -o -name wavs \) -print)"
[ "$status" = 0 ] || { echo "--- program output"; cat "$tmp/program.log"; }

# The installed program without a window, as the README's test script runs
# it: no display at all, a fresh folder of its own, the port it chose read
# from its first line, one report through it, and what arrived compared.
headless_round_trip() {
  local folder=$tmp/headless hpid hport="" tries
  mkdir -p "$folder"
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -C "$tmp/cwd" HOME="$tmp/home" \
    /usr/bin/quillbox --headless --port 0 --count 1 --output - --folder "$folder" \
    >"$tmp/headless.out" 2>"$tmp/headless.log" &
  hpid=$!
  for tries in $(seq 150); do
    hport=$(sed -n 's/^listening on 0\.0\.0\.0://p' "$tmp/headless.log")
    [ -n "$hport" ] || ! kill -0 "$hpid" 2>/dev/null && break
    sleep 0.2
  done
  [ -n "$hport" ] && (exec 3<>"/dev/tcp/127.0.0.1/$hport" && printf '%s' "$report" >&3) &&
    wait "$hpid" && cmp -s "$tmp/headless.out" "$tmp/report" ||
    { kill -KILL "$hpid" 2>/dev/null; cat "$tmp/headless.log"; return 1; }
}
check "the installed program runs without a display (--headless) and passes a report through" headless_round_trip
check "it wrote nothing but into its folder" test -z "$(ls -A "$tmp/cwd")" -a ! -e "$tmp/headless/quillbox.ini"

check "dpkg -r removes the package" dpkg_waiting -r quillbox
installed_here=
check "the program is gone" test ! -e /usr/bin/quillbox
finish
