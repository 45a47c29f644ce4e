#!/usr/bin/env bash
# The program installed and packaged (the same bytes when built again elsewhere),
# and the install script's sets: install_test.sh BUILD_DIR
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd) build=$(cd "$1" && pwd) tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT; fail() { echo "FAIL: $*" >&2; exit 1; }
unset SOURCE_DATE_EPOCH  # the package must date itself from the source

# A staged install holds exactly the files its manifest lists. (As a component,
# so that install_manifest.txt, which make uninstall reads, is left alone.)
DESTDIR=$tmp/root cmake --install "$build" --prefix /usr/local --component Unspecified >/dev/null
sort "$build/install_manifest_Unspecified.txt" >"$tmp/manifest"
installed=$(cat "$tmp/manifest") usr=$tmp/root/usr/local
diff <(echo "$installed") <(cd "$tmp/root" && find . -type f | cut -c2- | sort) || fail "install manifest"
(cd "$build" && cpack -B "$tmp/pkg" >"$tmp/cpack" 2>&1 && date +%s >"$tmp/packed") & cpack=$!  # the package, meanwhile
# Meanwhile too, what the package holds built again from a copy of the working
# tree (uncommitted changes and .git with it, no build trees) in another folder.
copy=$tmp/elsewhere/plok-time && mkdir -p "$copy"
tar -C "$src" --exclude='./build*' --exclude=__pycache__ -cf - . | tar -C "$copy" -xf -
(cmake -S "$copy" -B "$copy/build" -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
   -DCMAKE_BUILD_TYPE="$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")" &&
 cmake --build "$copy/build" -j2 --target plok_time gzipped_docs) >"$tmp/copy" 2>&1 & copied=$!
metainfo=$usr/share/metainfo/org.ploktime.PlokTime.metainfo.xml man=$usr/share/man/man6/plok-time.6.gz
appstreamcli validate --no-net --strict "$metainfo" >"$tmp/appstream" 2>&1 || fail "metainfo: $(cat "$tmp/appstream")"
desktop=$usr/share/applications/$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
desktop-file-validate "$desktop" || fail "desktop entry"; program=$usr/bin/$(sed -n 's/^Exec=//p' "$desktop")
grep -qx 'Terminal=true' "$desktop" || fail "the desktop entry starts plok-time without a terminal"
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

# The installed program in a terminal, as a desktop starts an entry with
# Terminal=true (xterm, logging what it shows), on a virtual X server: "h"
# prints the help text there, "q" ends the program and with it the terminal.
python3 -c 'import os, pathlib, sys; sys.path.insert(0, sys.argv[1]); from x import XSession, wait_for
program, log = os.path.realpath(sys.argv[2]), pathlib.Path(sys.argv[3])
with XSession() as x:  # the terminal in a corner, clear of the window
    term = x.start(["xterm", "-geometry", "-0-0", "-l", "-lf", log, "-e", program])
    left, top, *_ = x.geometry(x.window("PLOK Time", term))
    pid, = open(f"/proc/{term.pid}/task/{term.pid}/children").read().split()
    assert os.readlink(f"/proc/{pid}/exe") == program, "the terminal runs another program"
    x.move(left + 100, top + 100); x.key("h")
    wait_for(lambda: log.exists() and "Table of contents:" in log.read_text("latin-1"), 10, "the help text")
    x.key("q"); term.wait(10)  # the terminal ends, and the program is gone or a zombie no one waits for
    wait_for(lambda: x.run("ps", "-o", "stat=", "-p", pid).strip()[:1] in ("", "Z"), 10, "the program to end")' \
  "$src/tests" "$program" "$tmp/console" || fail "installed program in a terminal under Xvfb"
DESTDIR=$tmp/root cmake -DMANIFEST="$tmp/manifest" -P "$src/data/uninstall.cmake" >/dev/null
[ -z "$(find "$tmp/root" -type f)" ] || fail "make uninstall left files"

# The run set holds no test package.
run_set=$("$src/scripts/install-deps.sh" --list run) test_set=$("$src/scripts/install-deps.sh" --list test)
both=$(comm -12 <(sort <<<"$run_set") <(sort <<<"$test_set")); [ -z "$both" ] || fail "in both sets: $both"
# Every package the build files and scripts name (installed here, not base system) is in a set.
words=$(find "$src" -name 'build*' -type d -prune -o -type f \( -name CMakeLists.txt -o -name Makefile \
  -o -name '*.sh' -o -name '*.py' -o -name '*.cmake' -o -path '*/.ci/*' \) -print0 | xargs -0 cat |
  sed -E 's/[A-Za-z0-9_.]+\(//g' | grep -oE '[A-Za-z0-9][A-Za-z0-9+.-]*[A-Za-z0-9+]' | grep -v '[A-Z]' | sort -u)
stray=$(dpkg-query -W -f='${Package} ${Priority} ${db:Status-Status}\n' |
  awk '$3 == "installed" && $2 !~ /^(required|important|standard)$/ {print $1}' | sort -u | comm -12 - <(echo "$words") |
  grep -vxF "$run_set"$'\n'"$test_set" || true)
[ -z "$stray" ] || fail "named but in no set of scripts/install-deps.sh:" $stray
# The package: GL, GLU, freeglut in Depends (sorted), no -dev; the same files; lintian.
wait $cpack || fail "cpack: $(cat "$tmp/cpack")"
deb=$(echo "$tmp"/pkg/plok-time_*.deb) && depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *gl1*glu1*glut3* && $depends != *-dev* ]] || fail "Depends: $depends"
diff <(sed 's|^/usr/local/bin/|/usr/games/|; s|^/usr/local/|/usr/|' <<<"$installed" | sort) \
     <(dpkg-deb -c "$deb" | awk '!/\/$/ {print substr($6, 2)}' | sort) || fail "package files"
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/plok-time/copyright | grep -x 'License: MIT' >/dev/null ||
  fail "the package's copyright names no MIT licence"
version=$(dpkg-deb -f "$deb" Version)  # the changelog and the metainfo tell what this version holds
[[ $(head -1 "$src/data/changelog.in") == "plok-time ($version) "* ]] && grep -q "<release version=\"$version\"" \
  "$src/data/org.ploktime.PlokTime.metainfo.xml" || fail "no changelog entry or metainfo release for $version"
tags=$(lintian --fail-on error "$deb" 2>&1) || fail "lintian: $tags"; echo "$tags"

# Built again elsewhere, in a later second (as the clock would tell, were it
# read): the same program and the same package, byte for byte.
wait $copied || fail "building the copy: $(tail "$tmp/copy")"
while (( $(date +%s) < $(cat "$tmp/packed") + 2 )); do sleep 0.2; done
pack() { (cd "$copy/build" && cpack -B "$tmp/$1" >"$tmp/cpack" 2>&1) || fail "cpack: $(cat "$tmp/cpack")"; echo "$tmp/$1"/*.deb; }
program() { dpkg-deb --fsys-tarfile "$1" | tar -xO ./usr/games/plok-time; }
again=$(pack again)
cmp <(program "$deb") <(program "$again") || fail "the packaged program differs when built in another folder"
cmp "$deb" "$again" || fail "the package differs when built again"
# Without .git the files take the date of the changelog's newest entry.
rm -rf "$copy/.git" && undated=$(pack undated)
dates=$(dpkg-deb --fsys-tarfile "$undated" | TZ=UTC tar -tv --full-time | awk '{print $4, $5}' | sort -u)
[[ $dates == "$(date -u '+%F %T' -d "$(sed -n 's/^ -- .*  //p' "$src/data/changelog.in" | head -1)")" ]] ||
  fail "without .git the package's dates are not the changelog's: $dates"
