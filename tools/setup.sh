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
# A mirror caught mid-sync fails one index file or another; apt keeps the rest, and the install below
# still fails loudly if a package cannot be found.
$sudo apt-get update -qq || echo "setup: apt-get update reported a failure; installing from the indexes it has"
if ! $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
  # The 32-bit wine must match the 64-bit packages' versions exactly, which an i386 index left behind by a
  # mirror sync breaks. Without it the Windows suite runs the 64-bit twin and says so.
  [[ " ${missing[*]} " == *" wine32:i386 "* ]] || exit 1
  echo "setup: wine32:i386 could not be installed with the rest; installing without it"
  rest=()
  for p in "${missing[@]}"; do
    [ "$p" = "wine32:i386" ] || rest+=("$p")
  done
  ((${#rest[@]} == 0)) || $sudo apt-get install -y -qq --no-install-recommends "${rest[@]}"
fi
