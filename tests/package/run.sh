#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian package with apt-get, checks it as a user meets it
# (installed.sh: the menu entry's program under Xvfb, the manual, the software
# centre's catalogue), then removes it and checks that nothing is left.
# Usage: run.sh builddir        (the package made by cpack from that build)
#        run.sh --deb file.deb  (a package already built, by dpkg-buildpackage)
set -u
here=$(cd "$(dirname "$0")" && pwd)
[ "$(id -u)" -eq 0 ] || { echo "SKIP: installing a package needs root"; exit 77; }
command -v apt-get >/dev/null || { echo "SKIP: apt-get missing"; exit 77; }
if dpkg-query -W -f='${Status}' pavelin 2>/dev/null | grep -q 'install ok installed'; then
    echo "SKIP: a pavelin package is already installed here; leaving it alone"
    exit 77
fi
out=$(mktemp -d)
trap 'apt-get remove -y -qq pavelin >/dev/null 2>&1; rm -rf "$out"' EXIT
if [ "$1" = --deb ]; then
    deb=$(realpath "$2")
else
    command -v cpack >/dev/null || { echo "SKIP: cpack missing"; exit 77; }
    (cd "$1" && cpack -G DEB -B "$out" >/dev/null) || { echo "FAIL: cpack"; exit 1; }
    deb=$(ls "$out"/pavelin_*.deb | head -n1)
fi
echo "package: $deb"
# The distribution's own checker: errors and warnings fail, the rest is shown.
command -v lintian >/dev/null || { echo "FAIL: lintian is not installed (tools/deps.sh test installs it)"; exit 1; }
echo "-- lintian"
lintian --display-info --pedantic --fail-on error,warning "$deb" || { echo "FAIL: lintian"; exit 1; }
echo "-- the files of the package"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}'
dpkg-deb -f "$deb" Depends
apt-get install -y -qq -o DPkg::Lock::Timeout=300 "$deb" >/dev/null || { echo "FAIL: apt-get install"; exit 1; }
dpkg -L pavelin >"$out/files"
for f in /usr/bin/tavrolle /usr/share/applications/org.pavelin.tavrolle.desktop \
         /usr/share/metainfo/org.pavelin.tavrolle.metainfo.xml \
         /usr/share/icons/hicolor/32x32/apps/tavrolle.xpm /usr/share/icons/hicolor/scalable/apps/tavrolle.svg \
         /usr/share/doc/pavelin/copyright /usr/share/doc/pavelin/changelog.gz \
         /usr/share/man/man1/tavrolle.1.gz /usr/share/man/fr/man1/tavrolle.1.gz; do
    [ -e "$f" ] || { echo "FAIL: $f not installed"; exit 1; }
done
"$here/installed.sh" || { echo "FAIL: the installed package"; exit 1; }

apt-get remove -y -qq -o DPkg::Lock::Timeout=300 pavelin >/dev/null || { echo "FAIL: apt-get remove"; exit 1; }
# Nothing left: no file of the package, no folder of its own, no state in dpkg
# (no configuration files kept), and no component in the software catalogue.
state=$(dpkg-query -W -f='${db:Status-Status}' pavelin 2>/dev/null)
[ -z "$state" ] || [ "$state" = not-installed ] || { echo "FAIL: after apt-get remove, dpkg says pavelin is $state"; exit 1; }
left=0
while read -r f; do
    [ "$f" = /. ] && continue
    [ -e "$f" ] || [ -L "$f" ] || continue
    if [ -d "$f" ] && [ ! -L "$f" ] && dpkg -S "$f" >/dev/null 2>&1; then continue; fi
    echo "left after removal: $f"
    left=1
done <"$out/files"
[ $left -eq 0 ] || { echo "FAIL: apt-get remove left files behind"; exit 1; }
if command -v appstreamcli >/dev/null; then
    appstreamcli refresh-cache --force >/dev/null 2>&1
    appstreamcli get org.pavelin.tavrolle >/dev/null 2>&1 && { echo "FAIL: the catalogue still has org.pavelin.tavrolle"; exit 1; }
fi
echo "PASS: installed, used, removed without a trace"
