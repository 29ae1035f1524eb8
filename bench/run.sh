#!/usr/bin/env bash
# Runs every benchmark of the build tree given as $1 (default: build).
set -euo pipefail
build=${1:-build}
shopt -s nullglob
for b in "$build"/bin/bench_*; do
  echo "== $(basename "$b")"
  "$b"
done
