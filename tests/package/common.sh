# Shared by the install and package tests: a temporary folder that HOME and the XDG folders
# point at (removed on exit), and a way to fail with a message.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/reelnook-package-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
export HOME="$work/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
export XDG_STATE_HOME="$HOME/.local/state" XDG_RUNTIME_DIR="$HOME/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# The program in <prefix>/bin reads its data from <prefix>/share/reelnook, found from its own
# location; checks that the file is there and that the program runs from that prefix.
check_runs_from_prefix() {
  local prefix=$1 expected_version=$2
  [[ -f "$prefix/bin/reelnook" && -x "$prefix/bin/reelnook" ]] || fail "no program at $prefix/bin/reelnook"
  [[ -f "$prefix/bin/../share/reelnook/config.json" ]] || fail "no config.json at $prefix/share/reelnook"
  local reported
  reported=$("$prefix/bin/reelnook" --version) || fail "reelnook --version failed: $reported"
  [[ "$reported" == "$expected_version" ]] || fail "reelnook --version says '$reported', expected '$expected_version'"
}
