#!/usr/bin/env bash
# Installs the Debian packages that PLOK Time builds, runs and tests with.
# Does nothing when all of them are present; uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake pkg-config            # the build
  freeglut3-dev libglu1-mesa-dev libgl-dev    # window, GLU and OpenGL
  libimgui-dev                                # the panel's drawing
  libgtest-dev                                # unit tests
  xvfb xdotool x11-utils imagemagick          # the program driven under a virtual X server
  clang libclang-rt-14-dev                    # fuzzing
  valgrind python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=
[ "$(id -u)" -ne 0 ] && sudo=sudo
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
