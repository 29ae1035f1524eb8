#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and checks the installed files as a desktop
# would read them: desktop-file-validate on the desktop file, appstreamcli on the metainfo.
# Usage: install-test.sh <cmake> <build dir> <app id> <desktop id> <expected --version output>
set -euo pipefail
cmake=$1 build=$2 id=$3 desktop_id=$4 version_line=$5
source "$(dirname "$0")/common.sh"

prefix="$work/prefix"
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || {
  cat "$work/install.log" >&2
  fail "cmake --install failed"
}

desktop="$prefix/share/applications/$desktop_id.desktop"
metainfo="$prefix/share/metainfo/$id.metainfo.xml"
[[ -f "$desktop" ]] || fail "no desktop file at $desktop"
[[ -f "$metainfo" ]] || fail "no metainfo at $metainfo"

desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $metainfo"

# The metainfo names the installed desktop file, and its newest release is the program's version.
launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
[[ "$launchable" == "$desktop_id.desktop" ]] || fail "metainfo launches '$launchable', the desktop file is $desktop_id.desktop"
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
[[ "$version_line" == *" $newest" ]] || fail "newest release $newest is not the program's version ($version_line)"

# The desktop file's icon name resolves in the installed icon theme folder.
icon=$(sed -n 's/^Icon=//p' "$desktop")
compgen -G "$prefix/share/icons/hicolor/*/apps/$icon.*" >/dev/null || fail "icon '$icon' is not installed"

check_runs_from_prefix "$prefix" "$version_line"
echo "installed files valid"
