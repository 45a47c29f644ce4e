#!/usr/bin/env bash
# Installs the Debian packages PLOK Time needs, in three sets, each adding to the last:
#   scripts/install-deps.sh run       building, running and installing it
#   scripts/install-deps.sh package   that, and building and checking its Debian packages
#   scripts/install-deps.sh test      that, and everything the tests use
#   scripts/install-deps.sh --list run|package|test   prints the packages a set adds
# Does nothing when all of them are present; uses sudo when not run as root.
set -euo pipefail

run=(
  build-essential g++ make cmake pkgconf      # the build
  libglut-dev libglu1-mesa-dev libgl-dev      # window, GLU and OpenGL
  libx11-dev                                  # the window's X calls
  libimgui-dev libstb-dev                     # the panel's drawing, and its font code
)
package=(
  debhelper                                   # dpkg-buildpackage with debian/rules
  libgtest-dev xvfb python3                   # the tests the package build runs
  lintian devscripts strace autopkgtest       # its checks: lintian, dpkg-depcheck, autopkgtest
)
test=(
  xdotool x11-utils imagemagick               # the program driven under a virtual X server
  xterm                                       # and in a terminal, its console
  clang libclang-rt-14-dev                    # fuzzing
  valgrind
  desktop-file-utils man-db appstream         # the installed files and the package
  git                                         # the files check-layers.py reads in a clone
)

usage() { echo "usage: $0 [--list] run|package|test" >&2; exit 2; }
list=no
[ "${1:-}" = --list ] && { list=yes; shift; }
case "${1:-}" in
  run) packages=("${run[@]}") ;;
  package) packages=("${run[@]}" "${package[@]}") ;;
  test) packages=("${run[@]}" "${package[@]}" "${test[@]}") ;;
  *) usage ;;
esac
[ $list = yes ] && { declare -n added=$1; printf '%s\n' "${added[@]}"; exit 0; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=
[ "$(id -u)" -ne 0 ] && sudo=sudo
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
if ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null; then
  failed=()
  for p in "${missing[@]}"; do
    installed "$p" || failed+=("$p$(apt-cache show "$p" >/dev/null 2>&1 || echo ' (apt knows no such package)')")
  done
  echo "$0: apt-get could not install: $(IFS=,; echo "${failed[*]}")" >&2
  exit 1
fi
