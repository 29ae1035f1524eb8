#!/usr/bin/env bash
# Sets the throughput of our SRT reading and WebVTT conversion against
# `ffmpeg -i big.srt big.vtt` on the same generated file (50,000 cues).
#   bench/ffmpeg_vtt_ratio.sh [build dir=build]
# Both sides are measured in CPU time (user + system), which a busy machine disturbs less
# than wall-clock time; ffmpeg's time is the best of three runs of the whole command.
set -euo pipefail
build=${1:-build}
bench="$build/bin/bench_subtitles"
if ! command -v ffmpeg >/dev/null || [[ ! -x "$bench" ]]; then
  echo "ffmpeg_vtt_ratio: needs ffmpeg and $bench" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --write-srt="$work/big.srt"
bytes=$(stat -c %s "$work/big.srt")

TIMEFORMAT='%U %S'
best=""
for _ in 1 2 3; do
  seconds=$( { time ffmpeg -nostdin -loglevel error -y -i "$work/big.srt" "$work/big.vtt"; } 2>&1 | awk '{ print $1 + $2 }')
  if [[ -z "$best" ]] || awk -v a="$seconds" -v b="$best" 'BEGIN { exit !(a < b) }'; then
    best=$seconds
  fi
done

"$bench" --benchmark_filter='^(readAll|convert)$' --benchmark_format=json 2>/dev/null |
  awk -v bytes="$bytes" -v ffmpeg="$best" '
    BEGIN {
      reference = bytes / ffmpeg / 1e6
      printf "ffmpeg -i big.srt big.vtt: %.3f s CPU for %.2f MB = %.1f MB/s\n", ffmpeg, bytes / 1e6, reference
    }
    /"name":/ { gsub(/[",]/, "", $2); name = $2 }
    /"bytes_per_second":/ {
      gsub(/,/, "", $2)
      ours = $2 / 1e6
      printf "%-8s %8.1f MB/s  %5.1fx ffmpeg (target 20x)\n", name, ours, ours / reference
    }'
