#!/usr/bin/env bash
# Installs whatever the build and the tests need and is not there yet. Idempotent: on a machine
# that has everything it only checks.
set -euo pipefail

packages=(
  g++ cmake ninja-build make python3
  googletest libgtest-dev libbenchmark-dev zlib1g-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine64 wine xvfb xdotool imagemagick x11-utils
  zip unzip p7zip-full libarchive-tools libdeflate-dev time osslsigncode valgrind bc
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
