#!/usr/bin/env bash
# Reelnook against the mpv command-line player, side by side on the same display, measured the
# same way for both by bin/screen_probe (the screen polled until the clip's picture shows):
#   - launch to first picture: `mpv --vo=gpu --gpu-sw CLIP`, `reelnook CLIP` and reelnook on a
#     movies folder of 1,000 small movies plus the clip as the newest (empty cache, then again);
#   - memory while playing the clip, after 10 s;
#   - switching: a pick in the library (MPRIS Previous, the path of a pick) against mpv's
#     `loadfile` over its IPC socket, each to the clip's first picture.
# Usage: compare_mpv.sh [BUILD_DIR] (needs an X display of 1920x1080x24, e.g. under xvfb-run).
# RUNS (default 5) sets the launches per figure, SWITCHES (default 11) the switches per program:
# without a sound device, mpv's audio output probing adds about 100 ms to some opens and not to
# others (both programs alike), so switching needs more samples than launching.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${RUNS:-5}
switches=${SWITCHES:-11}
probe=$build/bin/screen_probe
reelnook=$build/bin/reelnook

for tool in mpv ffmpeg dbus-run-session; do
  command -v "$tool" >/dev/null || { echo "compare_mpv: $tool is not installed (scripts/install-deps.sh)" >&2; exit 1; }
done
[[ -x "$probe" && -x "$reelnook" ]] || { echo "compare_mpv: build $probe and $reelnook first" >&2; exit 1; }
[[ -n "${DISPLAY:-}" ]] || { echo "compare_mpv: no X display (run under xvfb-run)" >&2; exit 1; }
# The media keys path needs a session bus, as a desktop has; a private one for this run.
if [[ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]]; then
  exec dbus-run-session -- bash "$0" "$build"
fi

# The clips are kept in the build tree between runs: the 1080p encode takes a while.
media=$build/bench-media
mkdir -p "$media"
clip=$media/clip-1080p-60s.mp4
small=$media/small-160x90.mp4
# A deep pink box in the middle of testsrc2 marks the clip's picture; the rest of the picture
# changes every frame, so decoding costs what a real movie's does.
marker=FF00AA
if [[ ! -s "$clip" ]]; then
  echo "making the 60 s 1080p H.264 clip (once per build tree)..."
  ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=60,drawbox=x=640:y=360:w=640:h=360:color=0x$marker:t=fill" \
    -f lavfi -i "sine=frequency=440:duration=60" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -shortest -f mp4 "$clip.part"
  mv "$clip.part" "$clip"
fi
if [[ ! -s "$small" ]]; then
  # Grey: nothing in it is near the marker colour.
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=160x90:rate=30:duration=1,hue=s=0" \
    -f lavfi -i "sine=duration=1" -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -shortest -f mp4 "$small.part"
  mv "$small.part" "$small"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Nothing of the user's: settings, caches and the movies folder live in the run's own folder.
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# 1,000 one-second movies, then the clip a second later: the newest, first in the library.
library=$work/movies
mkdir -p "$library"
for i in $(seq -w 1 1000); do cp "$small" "$library/movie-$i.mp4"; done
sleep 1.1
cp "$clip" "$library/clip-1080p.mp4"

# mpv's window takes the size of Reelnook's, so both scale the picture to a similar area.
mpv_cmd=(mpv --no-config --vo=gpu --gpu-sw --geometry=1280x760+0+0 --keep-open=yes)
logs=$work/logs
mkdir -p "$logs"

median() { sort -n | awk '{v[NR]=$1} END {if (NR == 0) print "nan"; else print v[int((NR + 1) / 2)]}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "nan"}'; }
# Runs the probe; its figures go to stdout, its complaints to stderr and the log.
run_probe() { "$probe" --colour "$marker" "$@"; }
field() { awk -v k="$1" '$1 == k {print $2}'; }

load() { awk '{print $1}' /proc/loadavg; }
echo "machine load before: $(load) (2 cores; other work on the machine shows as noise)"

declare -A launch
measure_launch() {  # name, probe options..., -- command...
  local name=$1; shift
  local values=()
  for ((i = 1; i <= runs; i++)); do
    local v
    v=$(run_probe --log "$logs/$name-$i.log" "$@" | field first_frame_ms) || { echo "  $name: run $i failed, see $logs/$name-$i.log" >&2; v=; }
    [[ -n "$v" ]] && values+=("$v")
  done
  launch[$name]=$(printf '%s\n' "${values[@]}" | median)
  echo "  $name: ${values[*]} ms"
}

echo "== launch to first picture (median of $runs)"
measure_launch mpv --quit term -- "${mpv_cmd[@]}" "$clip"
measure_launch reelnook_file --quit mpris -- "$reelnook" "$clip"
# Empty cache, then a second launch right after over the same cache.
cold=() warm=()
for ((i = 1; i <= runs; i++)); do
  rm -rf "$XDG_CACHE_HOME" "$XDG_CONFIG_HOME"
  mkdir -p "$XDG_CACHE_HOME" "$XDG_CONFIG_HOME"
  v=$(run_probe --log "$logs/library-cold-$i.log" --quit mpris -- "$reelnook" --movies-dir "$library" | field first_frame_ms) || v=
  [[ -n "$v" ]] && cold+=("$v")
  v=$(run_probe --log "$logs/library-warm-$i.log" --quit mpris -- "$reelnook" --movies-dir "$library" | field first_frame_ms) || v=
  [[ -n "$v" ]] && warm+=("$v")
done
launch[library_cold]=$(printf '%s\n' "${cold[@]}" | median)
launch[library_warm]=$(printf '%s\n' "${warm[@]}" | median)
echo "  reelnook_library (empty cache): ${cold[*]} ms"
echo "  reelnook_library (second launch): ${warm[*]} ms"

echo "== memory while playing the clip, after 10 s; then switching (median of $switches)"
socket=$work/mpv.sock
# A failed session says so and leaves its figures empty; the others still run.
mpv_out=$(run_probe --log "$logs/mpv-session.log" --rss-after 10 --switches "$switches" --switch-via "ipc:$socket" \
  --away "$small" --back "$clip" --quit "ipc:$socket" -- "${mpv_cmd[@]}" --input-ipc-server="$socket" "$clip") ||
  echo "  mpv session failed, see $logs/mpv-session.log" >&2
file_out=$(run_probe --log "$logs/reelnook-file-session.log" --play mpris --rss-after 10 --quit mpris -- \
  "$reelnook" "$clip") || echo "  reelnook file session failed, see $logs/reelnook-file-session.log" >&2
lib_out=$(run_probe --log "$logs/reelnook-library-session.log" --play mpris --rss-after 10 --switches "$switches" \
  --switch-via mpris --quit mpris -- "$reelnook" --movies-dir "$library") ||
  echo "  reelnook library session failed, see $logs/reelnook-library-session.log" >&2
echo "  mpv switches: $(field switch_ms <<<"$mpv_out" | xargs) ms"
echo "  reelnook switches: $(field switch_ms <<<"$lib_out" | xargs) ms"

mpv_rss=$(field rss_kb <<<"$mpv_out")
echo
echo "machine load after: $(load)"
printf '%-44s %10s %10s %7s\n' "figure" "reelnook" "mpv" "ratio"
row() { printf '%-44s %10s %10s %7s\n' "$1" "$2" "$3" "$(ratio "$2" "$3")x"; }
row "launch -> first picture, file (ms)" "${launch[reelnook_file]}" "${launch[mpv]}"
row "launch -> first picture, library (ms)" "${launch[library_cold]}" "${launch[mpv]}"
row "  same, second launch (ms)" "${launch[library_warm]}" "${launch[mpv]}"
mb() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }
row "RSS playing 1080p after 10 s, file (MB)" "$(mb "$(field rss_kb <<<"$file_out")")" "$(mb "$mpv_rss")"
row "RSS playing 1080p after 10 s, library (MB)" "$(mb "$(field rss_kb <<<"$lib_out")")" "$(mb "$mpv_rss")"
row "  Pss, file (MB)" "$(mb "$(field pss_kb <<<"$file_out")")" "$(mb "$(field pss_kb <<<"$mpv_out")")"
row "  anonymous, file (MB)" "$(mb "$(field anon_kb <<<"$file_out")")" "$(mb "$(field anon_kb <<<"$mpv_out")")"
row "switch -> first picture (ms)" "$(field switch_ms <<<"$lib_out" | median)" "$(field switch_ms <<<"$mpv_out" | median)"
