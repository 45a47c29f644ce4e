#!/usr/bin/env bash
# The program installed and packaged: install_test.sh BUILD_DIR
# A staged install; the install script's sets; the Debian packages built as a
# packager builds them, checked (files, dependencies, lintian, the autopkgtest's
# tests on the package unpacked: the program in a terminal as its menu entry
# starts it) and the same bytes when built again in another folder seconds later.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd) build=$(cd "$1" && pwd) tmp=$(mktemp -d) builds=()
# Each package build runs in a process group of its own (setsid), ended with the test.
trap 'for b in "${builds[@]}"; do kill -- -$b 2>/dev/null || true; done; wait; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
unset SOURCE_DATE_EPOCH  # dpkg-buildpackage must take it from debian/changelog

# The packages, meanwhile, as a packager builds them with the tests already run:
# from the source package of the working tree (uncommitted changes with it);
# then again from another copy in another folder, 2 s later, so that a date
# from the clock shows as a difference.
package() {  # package DIR [SECONDS]: builds in DIR, SECONDS from now, in the background; its log in DIR.log
  DEB_BUILD_OPTIONS='nocheck parallel=2' setsid sh -c 'sleep "$0" && exec "$@"' "${2:-0}" \
    "$src/scripts/package.sh" "$1" -Pnocheck >"$1.log" 2>&1 & builds+=($!)
}
package "$tmp/first" && package "$tmp/built-again-elsewhere" 2

# A staged install holds exactly the files its manifest lists. (As a component,
# so that install_manifest.txt, which make uninstall reads, is left alone.)
DESTDIR=$tmp/root cmake --install "$build" --prefix /usr/local --component Unspecified >/dev/null
sort "$build/install_manifest_Unspecified.txt" >"$tmp/manifest"
installed=$(cat "$tmp/manifest") usr=$tmp/root/usr/local
diff <(echo "$installed") <(cd "$tmp/root" && find . -type f | cut -c2- | sort) || fail "install manifest"
metainfo=$usr/share/metainfo/org.ploktime.PlokTime.metainfo.xml man=$usr/share/man/man6/plok-time.6.gz
appstreamcli validate --no-net --strict "$metainfo" >"$tmp/appstream" 2>&1 || fail "metainfo: $(cat "$tmp/appstream")"
desktop=$usr/share/applications/$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
[ -s "$usr/share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' "$desktop").svg" ] || fail "no icon"
warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' man --warnings -E UTF-8 -l "$man" 2>&1 >/dev/null) &&
  [ -z "$warnings" ] || fail "manual page: $warnings"
# The manual page names every panel control and popup menu entry that README.md does.
MANWIDTH=200 man -l "$man" 2>/dev/null | python3 -c 'import re, sys
page, readme = " ".join(sys.stdin.read().split()), open(sys.argv[1]).read()
panel = re.findall(r"^\| ([^|`]+?) \|", readme.split("## The panel")[1].split("##")[0], re.M)[1:]
menu = re.search(r"view: (.*?)\.", readme.split("## The popup menu")[1].replace("\n", " "))[1]
missing = {n.split("(")[0].strip() for n in re.split(r"[:,]", ",".join(panel + [menu]))} - {""}
sys.exit(sorted(n for n in missing if n not in page) or 0)' "$src/README.md" || fail "manual page content"

DESTDIR=$tmp/root cmake -DMANIFEST="$tmp/manifest" -P "$src/data/uninstall.cmake" >/dev/null
[ -z "$(find "$tmp/root" -type f)" ] || fail "make uninstall left files"

# A package in one set of the install script at most.
sets=$(for set in run package test; do "$src/scripts/install-deps.sh" --list $set; done)
twice=$(sort <<<"$sets" | uniq -d); [ -z "$twice" ] || fail "in two sets: $twice"
# Every package the build files and scripts name (installed here, not base system) is in a set.
words=$(find "$src" -name 'build*' -type d -prune -o -type f \( -name CMakeLists.txt -o -name Makefile \
  -o -name '*.sh' -o -name '*.py' -o -name '*.cmake' -o -path '*/.ci/*' -o -path '*/debian/rules' \
  -o -path '*/debian/tests/*' \) -print0 | xargs -0 cat |
  sed -E 's/[A-Za-z0-9_.]+\(//g' | grep -oE '[A-Za-z0-9][A-Za-z0-9+.-]*[A-Za-z0-9+]' | grep -v '[A-Z]' | sort -u)
stray=$(dpkg-query -W -f='${Package} ${Priority} ${db:Status-Status}\n' |
  awk '$3 == "installed" && $2 !~ /^(required|important|standard)$/ {print $1}' | sort -u | comm -12 - <(echo "$words") |
  grep -vxF "$sets" || true)
[ -z "$stray" ] || fail "named but in no set of scripts/install-deps.sh:" $stray
# So is every package the build and the autopkgtest depend on (debhelper for debhelper-compat).
depends=$(sed -n '/^Build-Depends:/,/^[A-Z]/{s/^Build-Depends://; /^[A-Z]/!p}' "$src/debian/control"
          sed -n 's/^Depends://p' "$src/debian/tests/control")
unlisted=$(tr ',' '\n' <<<"$depends" | awk '$1 != "@" {sub(/-compat$/, "", $1); print $1}' | sort -u | grep -vxF "$sets" || true)
[ -z "$unlisted" ] || fail "depended on in debian/ but in no set of scripts/install-deps.sh:" $unlisted
# One version: the build's, the changelog's, the metainfo's newest release.
version=$(dpkg-parsechangelog -l "$src/debian/changelog" -SVersion)
grep -q "^project(plok_time VERSION $version " "$src/CMakeLists.txt" &&
  grep -q "<release version=\"$version\"" "$src/data/org.ploktime.PlokTime.metainfo.xml" ||
  fail "debian/changelog's $version is not CMakeLists.txt's project version or the metainfo's release"

waitfor() { wait "$1" || fail "building the packages: $(tail -20 "$2.log")"; }
waitfor "${builds[0]}" "$tmp/first"
deb=$tmp/first/plok-time_${version}_amd64.deb dbgsym=$tmp/first/plok-time-dbgsym_${version}_amd64.deb
[ -f "$deb" ] && [ -f "$dbgsym" ] || fail "no plok-time and plok-time-dbgsym $version: $(ls "$tmp/first")"
# GL, GLU, freeglut in Depends (sorted), no -dev; the files make install installs,
# the program in /usr/games; the copyright and the changelog the same bytes too.
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *gl1*glu1*glut3* && $depends != *-dev* ]] || fail "Depends: $depends"
dpkg-deb -x "$deb" "$tmp/unpacked"
diff <(sed 's|^/usr/local/bin/|/usr/games/|; s|^/usr/local/|/usr/|' <<<"$installed" | sort) \
     <(cd "$tmp/unpacked" && find . -type f | cut -c2- | sort) || fail "the package's files are not make install's"
cmp "$src/debian/copyright" "$tmp/unpacked/usr/share/doc/plok-time/copyright" &&
  cmp "$build/data/gz/changelog.gz" "$tmp/unpacked/usr/share/doc/plok-time/changelog.gz" ||
  fail "the package's copyright and changelog are not those make install installs"
grep -qx 'License: MIT' "$tmp/unpacked/usr/share/doc/plok-time/copyright" || fail "the copyright names no MIT licence"
# The debug symbols are the packaged program's.
id=$(readelf -n "$tmp/unpacked/usr/games/plok-time" | sed -n 's/.*Build ID: //p')
dpkg-deb -c "$dbgsym" | grep "/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug$" >/dev/null || fail "no debug symbols for build ID $id"
# Every file dated from debian/changelog's newest entry, never from the clock.
dates=$(dpkg-deb --fsys-tarfile "$deb" | tar -tv --full-time | awk '{print $4, $5}' | sort -u)
[[ $dates == "$(date -u '+%F %T' -d @"$(dpkg-parsechangelog -l "$src/debian/changelog" -STimestamp)")" ]] ||
  fail "the package's dates are not debian/changelog's: $dates"
tags=$(lintian --pedantic --display-info --fail-on error,warning "$tmp"/first/deb/*.{changes,dsc} 2>&1) ||
  fail "lintian: $tags"
grep -vx 'running with root privileges is not recommended!' <<<"$tags" || true  # info and pedantic, if any
# The autopkgtest's tests (debian/tests/control) on the package unpacked; as
# autopkgtest wants, nothing on standard error.
for t in $(sed -n 's/^Tests://p' "$src/debian/tests/control" | tr ',' ' '); do
  (cd "$src" && debian/tests/"$t" "$tmp/unpacked") >"$tmp/$t.out" 2>"$tmp/$t.err" && [ ! -s "$tmp/$t.err" ] ||
    fail "autopkgtest $t: $(cat "$tmp/$t.out" "$tmp/$t.err")"
done

# Built again elsewhere, seconds later: the same packages, byte for byte.
waitfor "${builds[1]}" "$tmp/built-again-elsewhere"
program() { dpkg-deb --fsys-tarfile "$1" | tar -xO ./usr/games/plok-time; }
again=$tmp/built-again-elsewhere
differs() { fail "$1 differs when built again, in another folder 2 s later"; }
cmp <(program "$deb") <(program "$again/${deb##*/}") || differs "the packaged program"
cmp "$dbgsym" "$again/${dbgsym##*/}" || differs "the -dbgsym package"
cmp "$deb" "$again/${deb##*/}" || differs "the package"
