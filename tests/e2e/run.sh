#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the real program under Xvfb with a window manager and drives it as a
# user would, with xdotool. Usage: run.sh path/to/tavrolle [current|earlier] [screenshot.png]
set -u
binary=$(realpath "$1")
config=${2:-current}
shot=${3:-}
source "$(dirname "$0")/lib.sh"

# Started in its home, where the open dialog begins and completes names.
(cd "$HOME" && exec "$binary") >"$work/app.log" 2>&1 &
app=$!

# Ctrl+S, then the file saved must hold exactly these bytes (a printf format).
expect_saved() {
    key ctrl+s
    sleep 0.5
    local expected actual
    expected=$(printf "$1" | od -An -tx1)
    actual=$(od -An -tx1 "$HOME/lettre.rtf")
    [ "$expected" = "$actual" ] || fail "$2: $(cat -A "$HOME/lettre.rtf")"
}

step "the welcome box comes alone"
welcome=$(wait_window '^Avant-Propos$') || fail "no welcome box"
xdotool search --onlyvisible --name '^Pavelin$' >/dev/null 2>&1 && fail "main window shown before the welcome box was dismissed"
activate "$welcome"
key Return

step "the main window: caption, client size, centred"
main=$(wait_window '^Pavelin$') || fail "no main window after the welcome box"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$main")"
[ "$WIDTH" -eq 800 ] || fail "window width $WIDTH, expected 800"
[ "$HEIGHT" -gt 624 ] && [ "$HEIGHT" -lt 680 ] || fail "window height $HEIGHT: client 624 plus a menu bar expected"
read -r fl fr ft fb < <(frame_extents "$main")
absx=$(xwininfo -id "$main" | awk '/Absolute upper-left X/ {print $4}')
absy=$(xwininfo -id "$main" | awk '/Absolute upper-left Y/ {print $4}')
cx=$(( absx - fl + (WIDTH + fl + fr) / 2 ))
cy=$(( absy - ft + (HEIGHT + ft + fb) / 2 ))
[ $(( cx - 640 )) -le 2 ] && [ $(( 640 - cx )) -le 2 ] || fail "not centred horizontally (centre x $cx)"
[ $(( cy - 512 )) -le 2 ] && [ $(( 512 - cy )) -le 2 ] || fail "not centred vertically (centre y $cy)"
echo "window ${WIDTH}x${HEIGHT}, frame centre ($cx, $cy)"

step "type a letter with accents"
activate "$main"
sleep 0.3
xdotool type --delay 30 "Chère Hélène,"
key Return
xdotool type --delay 30 "à bientôt !"
sleep 0.5

step "Save As writes RTF"
key ctrl+F12
saveas=$(wait_window '^Enregistrer sous\.\.\.$') || fail "no Save As dialog"
xdotool type --delay 20 "$HOME/lettre.rtf"
key Return
gone '^Enregistrer sous\.\.\.$' || fail "Save As dialog stayed open"
sleep 0.5
[ -f "$HOME/lettre.rtf" ] || fail "Save As wrote no file"
head -c 6 "$HOME/lettre.rtf" | grep -q '^{\\rtf1' || fail "Save As file does not start with {\\rtf1"
grep -q "Ch\\\\'e8re H\\\\'e9l\\\\'e8ne" "$HOME/lettre.rtf" || fail "accents not written as \\'hh: $(head -c 400 "$HOME/lettre.rtf")"

step "Save writes plain UTF-8 with CR LF"
expect_saved 'Chère Hélène,\r\nà bientôt !' "Save wrote"

step "Ctrl+F: the find dialog beside the editor; Find selects the match"
key ctrl+f
find=$(wait_window '^Rechercher$') || fail "no find dialog"
sleep 0.5
[ "$(frame_origin "$find")" = "800 24" ] || fail "find dialog at $(frame_origin "$find"), expected 800 24"
xdotool type --delay 30 "bient"
activate "$main"
key ctrl+Home # Save left everything selected; Find starts after the selection
key ctrl+f
if [ "$config" = current ]; then
    step "Ctrl+R and Remplacer: the selection becomes the replace text"
    key ctrl+r
    replace=$(wait_window '^Remplacer$') || fail "no replace dialog"
    sleep 0.5
    [ "$(frame_origin "$replace")" = "800 24" ] || fail "replace dialog at $(frame_origin "$replace")"
    activate "$replace"
    key alt+p
    key End
    key BackSpace
    xdotool type --delay 30 "plus t"
    key alt+r
    expected_text='Chère Hélène,\r\nà plus tôt !'
else
    step "Ctrl+R: the one-shot replace of the earlier configuration (no Salut here)"
    key ctrl+r
    wait_window '^Remplacer$' >/dev/null || fail "no replace dialog"
    expected_text='Chère Hélène,\r\nà bientôt !'
fi
activate "$main"
expect_saved "$expected_text" "after the replace, Save wrote"

step "Ctrl+F again, the dialog open or closed: it takes the keys, its text selected"
activate "$find"
key ctrl+a
xdotool type --delay 30 "zut"
activate "$main"
key ctrl+f # "zut" is not in the document
sleep 0.5
has_keys "$find" || fail "the find dialog, open, did not take the keys again"
key Escape
gone '^Rechercher$' || fail "Escape left the find dialog open"
activate "$main"
key ctrl+f
find=$(wait_window '^Rechercher$') || fail "no find dialog"
sleep 0.5
has_keys "$find" || fail "the find dialog, opened again, did not take the keys"
xdotool type --delay 30 "Ch" # over "zut"
activate "$main"
key ctrl+Home
key ctrl+f # "Ch" is found, selected, and the document has the keys
xdotool type --delay 30 "M"
expect_saved "M${expected_text#Ch}" "after Find of \"Ch\" and M typed over it, Save wrote"

if [ -n "$shot" ] && command -v import >/dev/null; then
    key ctrl+End # Save left the whole text selected
    sleep 0.3
    import -window "$main" -frame "$shot" 2>/dev/null || import -window root "$shot"
fi

# The save prompt's window (caption "Pavelin", not the main window), or nothing.
prompt_window() {
    local box="" id
    for _ in $(seq 50); do
        for id in $(xdotool search --onlyvisible --name '^Pavelin$' 2>/dev/null); do
            [ "$id" != "$main" ] && box=$id
        done
        [ -n "$box" ] && break
        sleep 0.1
    done
    echo "$box"
}
# Escape and Alt+F4 leave the prompt waiting for Oui or Non.
prompt_must_choose() {
    local box=$1 what=$2
    activate "$box"
    key Escape
    sleep 0.3
    xdotool search --onlyvisible --name '^Pavelin$' | grep -qx "$box" || fail "Escape dismissed the prompt of $what"
    key alt+F4
    sleep 0.5
    xdotool search --onlyvisible --name '^Pavelin$' | grep -qx "$box" || fail "Alt+F4 dismissed the prompt of $what"
    kill -0 "$app" 2>/dev/null || fail "the program ended on Alt+F4 at the prompt of $what"
}

# A command on a modified document: its save prompt ignores Escape and
# Alt+F4, then is answered Non.
prompt_then_no() {
    key "$1"
    local box
    box=$(prompt_window)
    [ -n "$box" ] || fail "no save prompt for $2 on a modified document"
    prompt_must_choose "$box" "$2"
    activate "$box"
    key alt+n
}

step "Ctrl+O on a modified document: the prompt ignores Escape and Alt+F4; Non opens"
printf 'bonjour\n' >"$HOME/ancienne-lettre.txt"
activate "$main"
key ctrl+End
xdotool type --delay 30 " Bises."
prompt_then_no ctrl+o "Open"
opendlg=$(wait_window '^Ouvrir$') || fail "no open dialog after Non"
sleep 0.5
step "a name the open dialog completes, then Return: no list left behind"
xdotool type --delay 120 "ancienne-l"
sleep 1
xdotool type --delay 60 "ettre.txt"
sleep 0.5
key Return
gone '^Ouvrir$' || fail "the open dialog stayed open"
sleep 1
# The next keys reach the editor, not a completion list left on the screen.
xdotool type --delay 60 "Z"
expect_saved 'Zbonjour\r\n' "after Open by completion, typing and Save wrote"

step "one line of 20 MB takes no more than twice the memory of the same text in paragraphs"
yes "le chat dort sur la chaise" | head -c 20000000 | tr '\n' ' ' >"$HOME/une-ligne.txt"
fold -w 600 "$HOME/une-ligne.txt" >"$HOME/paragraphes.txt"
# Opens a file; prints the peak of the program's memory (kB) over what it
# held before, once its processor time stops growing.
open_peak() {
    local before prev=-1 cpu
    echo 5 >"/proc/$app/clear_refs" # the peak starts again from here
    before=$(awk '/VmRSS/ {print $2}' "/proc/$app/status")
    activate "$main"
    key ctrl+o
    # The document may be modified: the prompt is answered Non.
    for _ in $(seq 50); do
        xdotool search --onlyvisible --name '^Ouvrir$' >/dev/null 2>&1 && break
        for id in $(xdotool search --onlyvisible --name '^Pavelin$' 2>/dev/null); do
            [ "$id" != "$main" ] && { activate "$id"; key alt+n; }
        done
        sleep 0.1
    done
    wait_window '^Ouvrir$' >/dev/null || fail "no open dialog for $1"
    sleep 0.5
    xdotool type --delay 60 "$1"
    sleep 0.5
    xdotool key Return
    sleep 0.5
    for _ in $(seq 240); do
        sleep 0.25
        cpu=$(awk '{print $14 + $15}' "/proc/$app/stat")
        [ "$cpu" = "$prev" ] && break
        prev=$cpu
    done
    echo $(( $(awk '/VmHWM/ {print $2}' "/proc/$app/status") - before ))
}
in_paragraphs=$(open_peak paragraphes.txt)
in_one_line=$(open_peak une-ligne.txt)
for figure in "$in_paragraphs" "$in_one_line"; do [[ $figure =~ ^[0-9]+$ ]] || fail "$figure"; done
echo "   peak over the start: $in_one_line kB for one line, $in_paragraphs kB in paragraphs"
[ "$in_one_line" -lt $(( 2 * in_paragraphs )) ] || fail "one line took $in_one_line kB, the same in paragraphs $in_paragraphs kB"
activate "$main"
key ctrl+End # and a key typed at the end of the line, for Quitter to ask
xdotool type --delay 60 "Z"
sleep 0.5

step "Quitter with a modified document asks first; Escape and Alt+F4 keep it; Non closes"
prompt_then_no ctrl+q "Quitter"
wait_exit
[ "$code" -eq 0 ] || fail "exit code $code"

# A window's frame, "left top right bottom", on the screen.
frame_box() {
    local x y l r t b w h
    read -r x y < <(frame_origin "$1")
    read -r l r t b < <(frame_extents "$1")
    w=$(xwininfo -id "$1" | awk '/^  Width:/ {print $2}')
    h=$(xwininfo -id "$1" | awk '/^  Height:/ {print $2}')
    echo "$x $y $((x + l + w + r)) $((y + t + h + b))"
}
step "at 144 dpi the editor's corner is off the screen: the find dialog comes wholly on it"
start_main QT_SCALE_FACTOR=1.5
activate "$main"
key ctrl+f
find=$(wait_window '^Rechercher$') || fail "no find dialog at 144 dpi"
sleep 2
read -r left top right bottom < <(frame_box "$find")
echo "   find dialog frame: $left,$top to $right,$bottom"
[ "$left" -ge 0 ] && [ "$top" -ge 0 ] && [ "$right" -le 1280 ] && [ "$bottom" -le 1024 ] ||
    fail "find dialog frame $left,$top to $right,$bottom off the 1280x1024 screen"
[ "$right" -ge 1270 ] || fail "find dialog moved further than the screen needs: right edge $right"
activate "$main"
key ctrl+q
wait_exit
[ "$code" -eq 0 ] || fail "exit code $code at 144 dpi"
echo "PASS: end-to-end"
