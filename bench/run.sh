#!/usr/bin/env bash
# Runs every benchmark of the build tree given as $1 (default: build), then the comparisons
# with other programs.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
shopt -s nullglob
for b in "$build"/bin/bench_*; do
  echo "== $(basename "$b")"
  "$b"
done
if [[ -x "$build/bin/bench_subtitles" ]]; then
  echo "== WebVTT conversion against ffmpeg"
  bash "$here/ffmpeg_vtt_ratio.sh" "$build"
fi
if [[ -x "$build/bin/screen_probe" && -x "$build/bin/reelnook" ]]; then
  echo "== Reelnook beside the mpv command line"
  bash "$here/compare_mpv.sh" "$build"
fi
