#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package, installs it with apt-get, starts the installed
# program under Xvfb, then removes the package again. Usage: run.sh builddir
set -u
build=$1
here=$(cd "$(dirname "$0")" && pwd)
[ "$(id -u)" -eq 0 ] || { echo "SKIP: installing a package needs root"; exit 77; }
command -v apt-get >/dev/null && command -v cpack >/dev/null || { echo "SKIP: apt-get or cpack missing"; exit 77; }
if dpkg-query -W -f='${Status}' pavelin 2>/dev/null | grep -q 'install ok installed'; then
    echo "SKIP: a pavelin package is already installed here; leaving it alone"
    exit 77
fi
out=$(mktemp -d)
trap 'apt-get remove -y -qq pavelin >/dev/null 2>&1; rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >/dev/null) || { echo "FAIL: cpack"; exit 1; }
deb=$(ls "$out"/pavelin_*.deb | head -n1)
echo "package: $(basename "$deb")"
# The distribution's own checker: errors and warnings fail, the rest is shown.
command -v lintian >/dev/null || { echo "FAIL: lintian is not installed (tools/deps.sh test installs it)"; exit 1; }
echo "-- lintian"
lintian --display-info --pedantic --fail-on error,warning "$deb" || { echo "FAIL: lintian"; exit 1; }
echo "-- the files of the package"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}'
dpkg-deb -f "$deb" Depends
apt-get install -y -qq -o DPkg::Lock::Timeout=300 "$deb" >/dev/null || { echo "FAIL: apt-get install"; exit 1; }
for f in /usr/bin/tavrolle /usr/share/applications/org.pavelin.tavrolle.desktop \
         /usr/share/metainfo/org.pavelin.tavrolle.metainfo.xml \
         /usr/share/icons/hicolor/32x32/apps/tavrolle.xpm /usr/share/icons/hicolor/scalable/apps/tavrolle.svg \
         /usr/share/doc/pavelin/copyright /usr/share/doc/pavelin/changelog.gz \
         /usr/share/man/man1/tavrolle.1.gz /usr/share/man/fr/man1/tavrolle.1.gz; do
    [ -e "$f" ] || { echo "FAIL: $f not installed"; exit 1; }
done
"$here/../e2e/run.sh" /usr/bin/tavrolle current || { echo "FAIL: the installed program"; exit 1; }
apt-get remove -y -qq -o DPkg::Lock::Timeout=300 pavelin >/dev/null || { echo "FAIL: apt-get remove"; exit 1; }
[ ! -e /usr/bin/tavrolle ] || { echo "FAIL: /usr/bin/tavrolle left after removal"; exit 1; }
echo "PASS: installed, started and removed"
