#!/bin/sh
# The processor share of `kvr-panel live` showing the head-on scenario at 60 frames a second, scale 2, in a
# virtual X display: user + system time over wall time, as a percentage of one core.
# Usage: bench/live_cpu.sh [KVR_PANEL] [SECONDS]    (default build/default/bin/kvr-panel, 20 s)
set -eu
panel=${1:-build/default/bin/kvr-panel}
seconds=${2:-20}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$here"/scenarios/head_on.toml "$here"/scenarios/panel.cfg "$work"/
sed -i '/^durationS/a frameRateHz = 60' "$work"/head_on.toml
display=:$(( 90 + $$ % 100 ))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
DISPLAY=$display SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null /usr/bin/time -f '%U %S %e' -o "$work"/time \
  "$panel" live "$work"/head_on.toml --scale 2 --seconds "$seconds" >/dev/null 2>&1 || true
read -r user system wall < "$work"/time
echo "kvr-panel live, 60 fps, scale 2: user ${user} s, system ${system} s, wall ${wall} s"
awk -v u="$user" -v s="$system" -v w="$wall" 'BEGIN { printf "processor share: %.1f %% of a core\n", 100 * (u + s) / w }'
