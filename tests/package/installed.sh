#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The installed package as a user meets it: the menu entry's command starts the
# program (driven under Xvfb by the end-to-end script), `man tavrolle` shows the
# French page, and software centres find the component by its id, with its
# icon. Run with the package installed; also the package's installed test.
set -u
here=$(cd "$(dirname "$0")" && pwd)
status=0
fail() { echo "FAIL: $*"; status=1; }

echo "-- the menu entry"
desktop=/usr/share/applications/org.pavelin.tavrolle.desktop
[ -f "$desktop" ] || { echo "FAIL: $desktop is not installed"; exit 1; }
command=$(sed -n 's/^Exec=//p' "$desktop")
program=$(command -v "${command%% *}") || { echo "FAIL: the menu entry's command '$command' is not on the PATH"; exit 1; }
[ "$program" = /usr/bin/tavrolle ] || fail "the menu entry starts $program, not the installed /usr/bin/tavrolle"
icon=$(sed -n 's/^Icon=//p' "$desktop")
for f in "/usr/share/icons/hicolor/scalable/apps/$icon.svg" "/usr/share/icons/hicolor/32x32/apps/$icon.xpm"; do
    [ -f "$f" ] || fail "the menu entry's icon $f is not installed"
done
"$here/../e2e/run.sh" "$program" current || fail "the program started by the menu entry's command"

echo "-- man tavrolle"
page=$(man -w tavrolle 2>&1) || fail "man finds no page: $page"
[ "$page" = /usr/share/man/man1/tavrolle.1.gz ] || fail "man -w tavrolle gives $page"
page=$(man -L fr -w tavrolle 2>&1)
[ "$page" = /usr/share/man/fr/man1/tavrolle.1.gz ] || fail "in French, man -w tavrolle gives $page"
rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man tavrolle 2>&1)
for words in 'NOM' 'tavrolle - éditeur de texte enrichi pour les lettres' 'Enregistrer Sous...'; do
    grep -qF -- "$words" <<<"$rendered" || fail "man tavrolle does not show '$words'"
done

echo "-- the software centre's catalogue"
appstreamcli refresh-cache --force >/dev/null 2>&1
details=$(appstreamcli get --details org.pavelin.tavrolle 2>&1) ||
    fail "appstreamcli does not find org.pavelin.tavrolle: $details"
echo "$details" | grep -E '^(Identifier|Name|Summary|Icon|Package|Binaries):' 
grep -q '^Name: Pavelin$' <<<"$details" || fail "the component has no name Pavelin"
grep -Eq '^Icon: .*tavrolle' <<<"$details" || fail "the component has no icon"
[ $status -eq 0 ] && echo "PASS: the installed package as a user meets it"
exit $status
