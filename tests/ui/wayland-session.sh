#!/usr/bin/env bash
# Runs a test program inside a headless Wayland compositor of its own:
#   wayland-session.sh sway|weston PROGRAM [ARGS...]
# The program runs with QT_QPA_PLATFORM=wayland, WAYLAND_DISPLAY set to the compositor's socket
# (an absolute path) and REELNOOK_TEST_SCREENSHOT naming the command that writes the screen to
# the PNG file given as its argument; on sway, SWAYSOCK names its IPC socket. Exits 77 (a skip) only when the compositor cannot start.
set -uo pipefail

compositor=$1
shift
session=$(mktemp -d "${TMPDIR:-/tmp}/reelnook-wayland-XXXXXX")
chmod 700 "$session"
compositor_pid=""
cleanup() {
  if [[ -n "$compositor_pid" ]]; then
    kill "$compositor_pid" 2>/dev/null
    wait "$compositor_pid" 2>/dev/null
  fi
  rm -rf "$session"
}
trap cleanup EXIT

skip() {
  echo "SKIPPED: $compositor cannot start here: $1" >&2
  [[ -f "$session/log" ]] && tail -n 20 "$session/log" >&2
  exit 77
}

case "$compositor" in
sway)
  command -v sway >/dev/null || skip "sway is not installed (scripts/install-deps.sh installs it)"
  socket_name=wayland-1
  printf 'output HEADLESS-1 resolution 1280x800\nxwayland disable\ndefault_border none\n' >"$session/config"
  run=(env -i PATH="$PATH" HOME="$session" XDG_RUNTIME_DIR="$session" WLR_BACKENDS=headless
    WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway -c "$session/config")
  # sway refuses to run as root: there it runs as nobody, in a folder nobody owns.
  if ((EUID == 0)); then
    chown nobody "$session"
    chmod 644 "$session/config"
    run=(setpriv --reuid=nobody --regid=nogroup --clear-groups "${run[@]}")
  fi
  screenshot="grim"
  ;;
weston)
  command -v weston >/dev/null || skip "weston is not installed (scripts/install-deps.sh installs it)"
  socket_name=wayland-test
  printf '[core]\nidle-time=0\n[shell]\npanel-position=none\n' >"$session/weston.ini"
  # --debug opens the screenshot protocol that weston-screenshooter uses.
  run=(env -i PATH="$PATH" HOME="$session" XDG_RUNTIME_DIR="$session" weston --config="$session/weston.ini"
    --backend=headless-backend.so --use-pixman --debug --width=1280 --height=800 --socket="$socket_name")
  screenshot="$(dirname "$(readlink -f "$0")")/weston-screenshot.sh"
  ;;
*)
  echo "unknown compositor: $compositor" >&2
  exit 2
  ;;
esac

(cd "$session" && exec "${run[@]}") >"$session/log" 2>&1 &
compositor_pid=$!

# The socket appears once the compositor listens; a loaded machine may take a while.
for _ in $(seq 1 300); do
  [[ -S "$session/$socket_name" ]] && break
  kill -0 "$compositor_pid" 2>/dev/null || skip "it exited"
  sleep 0.1
done
[[ -S "$session/$socket_name" ]] || skip "no socket after 30 s"

# sway answers questions about its windows (where they are) on an IPC socket of its own.
if [[ "$compositor" == sway ]]; then
  for _ in $(seq 1 300); do
    ipc=$(compgen -G "$session/sway-ipc.*.sock" | head -n 1)
    [[ -n "$ipc" && -S "$ipc" ]] && break
    sleep 0.1
  done
  [[ -S "${ipc:-}" ]] || skip "no IPC socket after 30 s"
  export SWAYSOCK="$ipc"
fi

export WAYLAND_DISPLAY="$session/$socket_name"
export QT_QPA_PLATFORM=wayland
export REELNOOK_TEST_SCREENSHOT="$screenshot"
export REELNOOK_TEST_COMPOSITOR="$compositor"
unset DISPLAY
"$@"
