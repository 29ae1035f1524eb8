#!/usr/bin/env bash
# Starts Reelnook from the build tree ($1, default build) on the user's movies folder. When
# that folder does not exist yet, it starts on a sample library made once with ffmpeg.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  cat >&2 <<'MSG'
Reelnook needs a graphical display, and none is set (DISPLAY and WAYLAND_DISPLAY are empty).
Run it from a desktop session, or over SSH with X forwarding (ssh -X), or on a virtual display:
    xvfb-run -a make run
MSG
  exit 1
fi

videos="$HOME/Videos"
dirs="${XDG_CONFIG_HOME:-$HOME/.config}/user-dirs.dirs"
if [[ -f "$dirs" ]]; then
  line=$(grep -E '^XDG_VIDEOS_DIR=' "$dirs" | tail -n 1 || true)
  if [[ -n "$line" ]]; then
    value=${line#XDG_VIDEOS_DIR=}
    value=${value%\"}
    value=${value#\"}
    videos=${value/\$HOME/$HOME}
  fi
fi
movies_path=$(sed -n 's/.*"moviesPath"[[:space:]]*:[[:space:]]*"\([^"]*\)".*/\1/p' "$here/data/config.json")
movies="$videos/${movies_path:-VantriMovies}"

args=()
if [[ ! -d "$movies" ]]; then
  sample="${XDG_DATA_HOME:-$HOME/.local/share}/reelnook/sample-library"
  if [[ ! -f "$sample/.complete" ]]; then
    echo "Making a sample library (three short clips) in $sample ..."
    rm -rf "$sample"
    bash "$here/scripts/make-sample-library.sh" "$sample" >/dev/null
    touch "$sample/.complete"
  fi
  echo "Your movies folder $movies does not exist yet; showing the sample library in $sample."
  echo "Create $movies and put mp4/mov files there to see your own movies."
  args+=(--movies-dir "$sample")
fi
exec "$build/bin/reelnook" "${args[@]}"
