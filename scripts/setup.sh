#!/usr/bin/env bash
# Installs what each purpose needs and is not there yet, and nothing else:
#   build  compilers, CMake, libdeflate, MinGW-w64 and its zlib: all that make install needs
#   test   what make check and make demo add: GoogleTest, Wine and Xvfb, the peer archivers,
#          valgrind, clang for the fuzz targets, the signing tools; and 32-bit Wine where it runs
#   bench  what make bench adds: Google Benchmark, zlib, the timed peers, ImageMagick for the chart
# Usage: scripts/setup.sh [build] [test] [bench]; no word: all three. Idempotent: on a machine
# that has everything it only checks.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

build_packages=(
  g++ binutils cmake ninja-build make python3 libdeflate-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev
  liblzma-dev libssl-dev nettle-dev
)
test_packages=(
  googletest libgtest-dev zlib1g-dev
  wine64 wine xvfb xdotool imagemagick x11-utils
  zip unzip p7zip-full osslsigncode openssl valgrind bc
  clang libclang-rt-dev
  icoutils python3-pefile libarchive-tools
)
bench_packages=(
  libbenchmark-dev zlib1g-dev
  zip unzip p7zip-full libarchive-tools time imagemagick
)

purposes=("$@")
[ ${#purposes[@]} -gt 0 ] || purposes=(build test bench)
wanted=()
for purpose in "${purposes[@]}"; do
  case "$purpose" in
    build) wanted+=("${build_packages[@]}") ;;
    test) wanted+=("${test_packages[@]}") ;;
    bench) wanted+=("${bench_packages[@]}") ;;
    *) echo "usage: $0 [build] [test] [bench]" >&2; exit 2 ;;
  esac
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for p in "${wanted[@]}"; do
  if ! installed "$p" && [[ " ${missing[*]-} " != *" $p "* ]]; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup (${purposes[*]}): installing ${missing[*]}"
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "setup (${purposes[*]}): everything is installed"
fi

# --- 32-bit Wine, for the Wine tests of the i686 stub -------------------------------------
# Installed only where a 32-bit program runs, and kept only where Wine still starts with it:
# once wine32:i386 is there, Debian's wine wrapper starts its 32-bit loader for every program,
# and on a kernel that cannot execute 32-bit programs no Windows program starts at all, the
# x86_64 ones included.

wine_runs() {
  wine --version >/dev/null 2>&1
}

i386_packages() {
  dpkg-query -W -f='${binary:Package} ${Status}\n' 2>/dev/null |
    awk '$1 ~ /:i386$/ && $4 != "not-installed" && $4 != "config-files" { print $1 }' | sort
}

remove_wine32() {
  local present=()
  for p in wine32:i386 libwine:i386; do
    if installed "$p"; then present+=("$p"); fi
  done
  if [ ${#present[@]} -gt 0 ]; then
    $SUDO apt-get remove -y -qq "${present[@]}" >/dev/null
  fi
}

setup_wine32() {
  local probe
  if ! probe=$("$here/can_run_32bit.sh"); then
    if installed wine32:i386 || installed libwine:i386; then
      remove_wine32
      echo "setup: $probe: removed wine32:i386 and libwine:i386, with which no Windows program started; 64-bit Wine only, the i686 stub's Wine tests are skipped"
    else
      echo "setup: $probe: 64-bit Wine only, the i686 stub's Wine tests are skipped"
    fi
    return
  fi

  if installed wine32:i386; then
    if wine_runs; then
      echo "setup: 32-bit Wine is installed and starts: the Wine tests run the i686 stub too"
    else
      remove_wine32
      echo "setup: Wine did not start with wine32:i386: removed it and libwine:i386; 64-bit Wine only, the i686 stub's Wine tests are skipped"
    fi
    return
  fi

  # A trial: what it installs is taken back, architecture included, unless Wine starts after it.
  local before added_architecture="" added
  before=$(i386_packages)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    if $SUDO dpkg --add-architecture i386; then
      added_architecture=1
    fi
  fi
  if $SUDO apt-get update -qq && $SUDO apt-get install -y -qq --no-install-recommends wine32:i386 &&
     wine_runs; then
    echo "setup: 32-bit Wine installed and starts: the Wine tests run the i686 stub too"
    return
  fi
  added=$(comm -13 <(echo "$before") <(i386_packages))
  if [ -n "$added" ]; then
    # shellcheck disable=SC2086 # one package name a line
    $SUDO apt-get purge -y -qq $added >/dev/null
  fi
  if [ -n "$added_architecture" ] && [ -z "$(i386_packages)" ]; then
    $SUDO dpkg --remove-architecture i386
  fi
  echo "setup: 32-bit Wine could not be installed here or Wine did not start with it: took back what the trial installed; 64-bit Wine only, the i686 stub's Wine tests are skipped"
}

for purpose in "${purposes[@]}"; do
  if [ "$purpose" = test ]; then
    setup_wine32
  fi
done
