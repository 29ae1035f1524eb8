#!/usr/bin/env bash
# Builds the Debian package from the build tree with CPack, checks its control fields and its
# exact file list, unpacks it into a temporary root and runs the program from there.
# Usage: deb-test.sh <cpack> <build dir> <app id> <desktop id> <expected --version output>
set -euo pipefail
cpack=$1 build=$2 id=$3 desktop_id=$4 version_line=$5
source "$(dirname "$0")/common.sh"

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log" >&2
  fail "cpack failed"
}
debs=("$work"/out/reelnook_*.deb)
(( ${#debs[@]} == 1 )) && [[ -f "${debs[0]}" ]] || fail "expected one reelnook_*.deb, found: ${debs[*]}"
deb=${debs[0]}

field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Package)" == reelnook ]] || fail "Package is '$(field Package)'"
[[ "$(field Section)" == video ]] || fail "Section is '$(field Section)'"
[[ -n "$(field Maintainer)" ]] || fail "no Maintainer"
[[ -n "$(field Homepage)" ]] || fail "no Homepage"
[[ -n "$(field Description)" ]] || fail "no Description"
# Dependencies from the shared-library scan, plus the Qt plugins loaded at run time.
depends=$(field Depends)
for package in libmpv2 libavformat libqt6core6 libqt6widgets6 qt6-qpa-plugins libqt6svg6; do
  [[ "$depends" == *"$package"* ]] || fail "Depends lacks $package: $depends"
done

# The program and its data, nothing else (no test or benchmark executables).
expected="./usr/bin/reelnook
./usr/share/applications/$desktop_id.desktop
./usr/share/icons/hicolor/scalable/apps/reelnook.svg
./usr/share/metainfo/$id.metainfo.xml
./usr/share/reelnook/config.json"
files=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | LC_ALL=C sort)
[[ "$files" == "$expected" ]] || fail "package files differ:
$(diff <(echo "$expected") <(echo "$files") || true)"

root="$work/root"
dpkg -x "$deb" "$root" || fail "dpkg -x failed"
check_runs_from_prefix "$root/usr" "$version_line"
echo "package $(basename "$deb") valid"
