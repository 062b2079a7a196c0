#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What software centres and the manual read: the AppStream metadata (pedantic
# and info notes are shown, not failures), the desktop entry, and the French
# manual page, which must render without a warning. Usage: metadata.sh sourcedir
set -u
src=$1
status=0
for tool in appstreamcli desktop-file-validate groff man; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
echo "-- appstreamcli validate --pedantic --no-net"
appstreamcli validate --pedantic --no-net "$src/packaging/org.pavelin.tavrolle.metainfo.xml" || status=1
echo "-- desktop-file-validate"
desktop-file-validate "$src/resources/org.pavelin.tavrolle.desktop" || status=1
id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$src/packaging/org.pavelin.tavrolle.metainfo.xml")
[ "$id.desktop" = "$(basename "$src/resources/org.pavelin.tavrolle.desktop")" ] ||
    { echo "FAIL: the AppStream id $id does not name the desktop entry"; status=1; }
grep -qx 'Exec=tavrolle' "$src/resources/org.pavelin.tavrolle.desktop" || { echo "FAIL: Exec is not tavrolle"; status=1; }
echo "-- the manual page"
warnings=$(groff -k -ww -z -man "$src/packaging/tavrolle.1" 2>&1)
[ -z "$warnings" ] || { echo "FAIL: groff: $warnings"; status=1; }
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$src/packaging/tavrolle.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "FAIL: man -l: $warnings"; status=1; }
rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$src/packaging/tavrolle.1" 2>/dev/null)
grep -q 'éditeur de texte enrichi' <<<"$rendered" || { echo "FAIL: the page renders without its accents"; status=1; }
[ $status -eq 0 ] && echo "PASS: metadata and manual page"
exit $status
