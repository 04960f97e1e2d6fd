#!/usr/bin/env bash
# Installs whatever the build and the tests need and is not there yet. Idempotent: on a machine
# that has everything it only checks.
set -euo pipefail

packages=(
  g++ cmake ninja-build make python3
  googletest libgtest-dev libbenchmark-dev zlib1g-dev
  libdeflate-dev libz-mingw-w64-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine64 wine xvfb xdotool imagemagick x11-utils
  zip unzip p7zip-full libarchive-tools libdeflate-dev time osslsigncode openssl valgrind bc
  clang libclang-rt-dev
)

missing=()
for p in "${packages[@]}"; do
  [ -n "$p" ] || continue
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "setup: everything is installed"
fi

# 32-bit Wine runs the i686 stub, the one that runs everywhere; the Wine tests take it when it is
# there. It needs the i386 architecture, which not every machine can add: say so and go on.
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  if $SUDO dpkg --add-architecture i386 && $SUDO apt-get update -qq &&
     $SUDO apt-get install -y -qq --no-install-recommends wine32:i386; then
    echo "setup: 32-bit Wine installed: the Wine tests run the i686 stub too"
  else
    echo "setup: 32-bit Wine (wine32:i386) could not be installed here; the Wine tests of the i686 stub are skipped"
  fi
fi
