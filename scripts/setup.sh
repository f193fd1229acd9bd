#!/usr/bin/env bash
# Sets Quillbox up on a fresh Debian 12 machine.
#   scripts/setup.sh run    install what is missing, build, start Quillbox
#   scripts/setup.sh test   install what is missing, build, run every test
#   scripts/setup.sh package   install what is missing, build the Debian
#                              package build-deb/quillbox_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-run}
jobs=$(nproc 2>/dev/null || echo 2)

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev qt6-qpa-plugins
  libcanberra-dev sound-theme-freedesktop adwaita-icon-theme fonts-dejavu-core
  libzint-dev libsimdjson-dev
)
# dpkg-shlibdeps computes the package's dependencies; CPack finds the
# program's ELF files with file.
package_packages=(dpkg-dev file)
# cups and fonts-urw-base35: the tests run on the fonts of a desktop that
# prints (the rendering tests load their own font from fonts-dejavu-core).
test_packages=(xvfb xauth openbox x11-utils xdotool poppler-utils netcat-openbsd python3 clang libclang-rt-14-dev libzxing-dev
  "${package_packages[@]}" lintian appstream desktop-file-utils man-db cups fonts-urw-base35 systemd)

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}

# Builds the package the way Debian builds its own: the distribution's
# compiler and linker hardening flags, stripped, for the /usr prefix that the
# program then knows as the place it is installed to.
buildflags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
build_package() {
  cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
    -DQUILLBOX_TESTS=OFF -DQUILLBOX_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$(buildflags CPPFLAGS) $(buildflags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(buildflags LDFLAGS)"
  rm -f build-deb/quillbox_*.deb
  cmake --build build-deb -j"$jobs" --target package
}

case "$mode" in
  run)
    install_missing "${packages[@]}"
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLBOX_TESTS=OFF -DQUILLBOX_BENCH=OFF
    cmake --build build -j"$jobs" --target quillbox
    exec build/quillbox
    ;;
  test)
    install_missing "${packages[@]}" "${test_packages[@]}"
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build -j"$jobs"
    ctest --test-dir build --output-on-failure -j"$jobs"
    # The Debian package: its contents, its metadata checked by the
    # distribution's validators, then installed for real and removed again.
    build_package
    tests/package/run.sh build-deb
    # The same tests once more under AddressSanitizer and
    # UndefinedBehaviorSanitizer, but for the long runs against many copies of
    # the program (label heavy), which the plain build has run. Leak reports
    # are off: the toolkit's and the font library's one-time allocations at
    # exit would drown them.
    cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLBOX_SANITIZE=ON -DQUILLBOX_BENCH=OFF
    cmake --build build-sanitize -j"$jobs"
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --test-dir build-sanitize --output-on-failure -j"$jobs" -LE heavy
    # A short, bounded and repeatable run of every fuzz target over its
    # checked-in corpus (fixed seed and count; longer runs: fuzz/run.sh).
    if [ -x fuzz/run.sh ]; then
      QUILLBOX_FUZZ_RUNS=${QUILLBOX_FUZZ_RUNS:-50000} fuzz/run.sh "${QUILLBOX_FUZZ_SECONDS:-60}"
    fi
    ;;
  package)
    install_missing "${packages[@]}" "${package_packages[@]}"
    build_package
    ls build-deb/quillbox_*.deb
    ;;
  *)
    echo "usage: $0 run|test|package" >&2
    exit 2
    ;;
esac
