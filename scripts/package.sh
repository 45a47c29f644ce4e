#!/usr/bin/env bash
# PLOK Time's Debian packages from this tree: scripts/package.sh DIR [dpkg-buildpackage options]
# Makes the source package in DIR/deb (plok-time_VERSION.dsc and .tar.xz; the
# build trees stay out, debian/source/options), unpacks it there and builds the
# binary packages from it with dpkg-buildpackage, so that the working tree gets
# none of debhelper's files and the build sees only what the source package
# holds. The .debs are then copied to DIR. dpkg-buildpackage dates the packages'
# files from debian/changelog's newest entry (SOURCE_DATE_EPOCH).
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 DIR [dpkg-buildpackage options]" >&2; exit 2; }
src=$(cd "$(dirname "$0")/.." && pwd) && mkdir -p "$1" && out=$(cd "$1" && pwd) && shift
rm -rf "$out/deb" && mkdir "$out/deb" && cd "$out/deb"
dpkg-source --build "$src"
dpkg-source --extract plok-time_*.dsc plok-time >extract.log 2>&1 || { cat extract.log >&2; exit 1; }
rm extract.log
(cd plok-time && dpkg-buildpackage -us -uc -b "$@")
cp plok-time*.deb "$out"
echo "Built: $(cd "$out" && ls plok-time*.deb | tr '\n' ' ')"
