#!/usr/bin/env bash
# Installs the Debian packages PLOK Time needs, in two sets:
#   scripts/install-deps.sh run    building, running, installing and packaging it
#   scripts/install-deps.sh test   that, and everything the tests use
#   scripts/install-deps.sh --list run|test   prints the packages a set adds
# Does nothing when all of them are present; uses sudo when not run as root.
set -euo pipefail

run=(
  build-essential g++ make cmake pkg-config   # the build
  freeglut3-dev libglu1-mesa-dev libgl-dev    # window, GLU and OpenGL
  libimgui-dev                                # the panel's drawing
  file                                        # cpack reads the program's libraries with it
  git                                         # and dates the package from the last commit
)
test=(
  libgtest-dev                                # unit tests
  xvfb xdotool x11-utils imagemagick          # the program driven under a virtual X server
  xterm                                       # and in a terminal, its console
  clang libclang-rt-14-dev                    # fuzzing
  valgrind python3
  desktop-file-utils man-db lintian appstream # the installed files and the package
)

usage() { echo "usage: $0 [--list] run|test" >&2; exit 2; }
list=no
[ "${1:-}" = --list ] && { list=yes; shift; }
case "${1:-}" in
  run) packages=("${run[@]}") ;;
  test) packages=("${run[@]}" "${test[@]}") ;;
  *) usage ;;
esac
[ $list = yes ] && { [ "$1" = test ] && printf '%s\n' "${test[@]}" || printf '%s\n' "${run[@]}"; exit 0; }

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
