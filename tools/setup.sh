#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the demo need. Safe to run again: it only
# calls apt-get when something is missing. Runs as root (as CI does) or through sudo.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev libtomlplusplus-dev
  libcairo2-dev libpng-dev libgif-dev fontconfig fonts-dejavu-core fonts-dseg
  libopenal-dev libopenal1 libsdl2-dev
  espeak-ng sox
  xvfb xdotool
  parallel
  g++-mingw-w64-i686-win32 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64 zip libstb-dev
  python3-markdown
  clang libclang-rt-dev clang-format clang-tidy
)
# 32-bit wine only where the kernel runs 32-bit code: elsewhere it would install but run nothing.
if tools/probe-32bit kernel; then
  packages+=(wine32:i386)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
foreign=""
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  foreign=i386
fi

if ((${#missing[@]} == 0)); then
  echo "setup: all ${#packages[@]} packages present"
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
[ -z "$foreign" ] || $sudo dpkg --add-architecture "$foreign"
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
