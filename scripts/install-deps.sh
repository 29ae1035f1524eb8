#!/usr/bin/env bash
# Installs every Debian package that building, running, testing and benchmarking need.
# Idempotent: when everything is present it changes nothing. Pass --optional to add the
# tools of the optional builds (clang and its runtime for the fuzz targets).
set -euo pipefail

packages=(
  cmake make g++ pkg-config clang-format
  qt6-base-dev libqt6opengl6-dev qt6-svg-dev libqt6svg6
  libmpv-dev libavformat-dev libavutil-dev libavcodec-dev libswscale-dev
  libgtest-dev libbenchmark-dev
  ffmpeg xvfb xauth libgl1-mesa-dri adwaita-icon-theme xdotool
  mpv  # the command-line player the playback benchmark compares with
  libx11-dev libxext-dev  # the comparison's screen probe grabs the X screen through MIT-SHM
  dbus-daemon  # the private session bus of the media control and screen saver tests
  dpkg-dev desktop-file-utils appstream  # the Debian package and the checks of the installed files
  qt6-wayland  # Qt's Wayland platform, for Wayland desktops and the Wayland session test
  sway weston grim wtype  # headless compositors, their screenshots and virtual keyboard in that test
  libwayland-dev libwayland-bin  # the virtual pointer client of that test and its protocol code
  libfuse3-dev fuse3  # the slow-folder passthrough of the library's test and benchmark
)
optional=(clang libclang-rt-14-dev)

[[ "${1:-}" == "--optional" ]] && packages+=("${optional[@]}")

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "installed" ]] || missing+=("$p")
done

if (( ${#missing[@]} == 0 )); then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=()
if (( EUID != 0 )); then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
