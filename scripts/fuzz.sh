#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs the subtitle-file fuzzer.
#   scripts/fuzz.sh [seconds=600] [build dir=build-fuzz]
# The corpus grows in <build dir>/fuzz-corpus (seeded from fuzz/seeds); crashes are written
# to <build dir>/fuzz-artifacts. Needs the optional packages: scripts/install-deps.sh --optional
set -euo pipefail
seconds=${1:-600}
build=${2:-build-fuzz}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

CC=clang CXX=clang++ cmake -S . -B "$build" -DREELNOOK_FUZZ=ON -DREELNOOK_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target fuzz_subtitles

mkdir -p "$build/fuzz-corpus" "$build/fuzz-artifacts"
cp -n fuzz/seeds/* "$build/fuzz-corpus/" 2>/dev/null || true
"$build/bin/fuzz_subtitles" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -dict=fuzz/srt.dict -artifact_prefix="$build/fuzz-artifacts/" -print_final_stats=1 "$build/fuzz-corpus"
