#!/usr/bin/env bash
# Writes weston's screen to the PNG file $1: weston-screenshooter names its file itself, in the
# folder it runs in.
set -euo pipefail
out=$(readlink -f "$1")
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
(cd "$folder" && weston-screenshooter)
mv "$folder"/wayland-screenshot-*.png "$out"
