#!/usr/bin/env bash
# Checks that every C++ source of the repository is formatted as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
echo "formatting: all sources match .clang-format"
