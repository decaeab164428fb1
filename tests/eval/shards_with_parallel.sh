#!/bin/sh
# Flies a small encounter set whole and as three shards under GNU parallel, merges the shards and checks
# that the merged results.csv is the whole run's, byte for byte.
set -eu
panel=$1
parallel=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$panel" encounters --count 4 --seed 3 --out "$work/set" >/dev/null 2>&1
"$panel" eval "$work/set" --out "$work/whole" --jobs 1 >/dev/null 2>&1
"$parallel" --will-cite -j 3 "$panel" eval "$work/set" --shard {}/3 --jobs 1 --out "$work/shard{}" ">/dev/null" "2>&1" ::: 1 2 3
"$panel" eval merge "$work/shard1" "$work/shard2" "$work/shard3" --out "$work/merged" >/dev/null
cmp "$work/whole/results.csv" "$work/merged/results.csv"
echo "merged shards equal the whole run"
