#!/usr/bin/env bash
# Generates the module's sixteen voice recordings with espeak-ng and sox into module/resources/voices/.
# Each file is a RIFF WAVE of PCM, one channel, 8000 samples per second, 16 bits per sample, holding
# exactly a 16-byte "fmt " chunk and a "data" chunk (no LIST or other chunks): sox writes raw samples and
# this script writes the 44-byte header itself, so the layout does not depend on the sox version.
# The output is deterministic (no dither), so running it again reproduces the committed files.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="${1:-$here/../module/resources/voices}"
mkdir -p "$out"

# Resource name, then the words spoken. "TCAS" is spelt the way it is said ("tee-cass").
phrases=(
  "WAV_AdjustVerticalSpeedAdjust|Adjust vertical speed, adjust"
  "WAV_ClearOfConflict|Clear of conflict"
  "WAV_Climb|Climb"
  "WAV_ClimbCrossingClimb|Climb, crossing climb"
  "WAV_ClimbClimbNow|Climb, climb now"
  "WAV_Descend|Descend"
  "WAV_DescendCrossingDescend|Descend, crossing descend"
  "WAV_DescendDescendNow|Descend, descend now"
  "WAV_IncreaseClimb|Increase climb"
  "WAV_IncreaseDescent|Increase descent"
  "WAV_MaintainVerticalSpeedCrossingMaintain|Maintain vertical speed, crossing maintain"
  "WAV_MaintainVerticalSpeedMaintain|Maintain vertical speed, maintain"
  "WAV_MonitorVerticalSpeed|Monitor vertical speed"
  "WAV_Traffic|Traffic"
  "WAV_TcasSystemTestOK|Tee-cass system test, O K"
  "WAV_TcasSystemTestFail|Tee-cass system test fail"
)

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Prints a little-endian unsigned integer of $2 bytes as binary.
le() {
  local value=$1 bytes=$2 i
  for ((i = 0; i < bytes; i++)); do
    printf "\\x$(printf '%02x' $(((value >> (8 * i)) & 0xff)))"
  done
}

for entry in "${phrases[@]}"; do
  name="${entry%%|*}"
  words="${entry#*|}"
  espeak-ng -v en-us+m3 -s 170 -w "$work/speech.wav" "$words"
  # Resample to 8 kHz mono 16-bit signed little-endian raw samples; -D: no dither, for reproducible files.
  # espeak-ng pads its speech with up to half a second of silence: trim both ends to the voice and keep
  # 20 ms before and 50 ms after it, so the second playing of a message follows closely.
  sox -V1 -D "$work/speech.wav" -t raw -e signed-integer -b 16 -L -c 1 -r 8000 "$work/speech.raw" \
    silence 1 0.005 0.3% reverse silence 1 0.005 0.3% reverse pad 0.02 0.05
  data_bytes=$(stat -c %s "$work/speech.raw")
  {
    printf 'RIFF'; le $((36 + data_bytes)) 4; printf 'WAVE'
    printf 'fmt '; le 16 4
    le 1 2          # PCM
    le 1 2          # one channel
    le 8000 4       # samples per second
    le 16000 4      # bytes per second
    le 2 2          # bytes per sample frame
    le 16 2         # bits per sample
    printf 'data'; le "$data_bytes" 4
    cat "$work/speech.raw"
  } > "$out/$name.wav"
  printf '%-45s %6d bytes of samples (%.2f s)\n' "$name" "$data_bytes" "$(echo "$data_bytes / 16000" | bc -l)"
done
