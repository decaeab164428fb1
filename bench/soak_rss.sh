#!/usr/bin/env bash
# Peak memory of a long run: flies a cruise of MINUTES simulated minutes (with an encounter every ten
# minutes, pictures and audio on, as `kvr-panel run` writes them) and prints the run's maximum resident
# set size. Usage: bench/soak_rss.sh MINUTES [KVR_PANEL] [SCENARIO]   (default build/default/bin/kvr-panel)
# With SCENARIO (a shipped scenario such as scenarios/hundred_intruders.toml), that scenario is flown for
# MINUTES instead of the cruise.
set -euo pipefail
minutes=${1:?minutes}
root="$(cd "$(dirname "$0")/.." && pwd)"
panel_bin=${2:-$root/build/default/bin/kvr-panel}
scenario=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/scenarios/panel.cfg" "$work/panel.cfg"
if [ -n "$scenario" ]; then
  sed "s/^durationS = .*/durationS = $((minutes * 60))/" "$scenario" > "$work/soak.toml"
else {
  echo "name = \"soak\""
  echo "panel = \"panel.cfg\""
  echo "durationS = $((minutes * 60))"
  echo "transponderCode = 4721"
  echo "[own]"
  echo "latitudeDeg = 47.0"
  echo "longitudeDeg = 8.0"
  echo "pressureAltitudeFt = 8000"
  echo "headingDeg = 90"
  echo "groundSpeedKt = 250"
  echo "[pilot]"
  echo "[[switch]]"
  echo "timeS = 0"
  echo "variable = \"mode_index\""
  echo "value = 4"
  for ((i = 1; i * 600 <= minutes * 60; i++)); do
    echo "[[intruder]]"
    echo "id = $((1000 + i))"
    echo "[intruder.encounter]"
    echo "cpaTimeS = $((i * 600 - 300))"
    echo "horizontalMissNm = 0.2"
    echo "verticalMissFt = 100"
    echo "approachAngleDeg = 180"
    echo "groundSpeedKt = 250"
  done
} > "$work/soak.toml"
fi
/usr/bin/time -v "$panel_bin" run "$work/soak.toml" --out "$work/out" >"$work/log" 2>"$work/time" || {
  cat "$work/log" "$work/time" >&2
  exit 1
}
echo "$minutes simulated minutes: max RSS $(awk -F': ' '/Maximum resident/ {print $2}' "$work/time") KB," \
     "$(awk -F': ' '/Elapsed/ {print $2}' "$work/time") wall clock"
