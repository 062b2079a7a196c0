#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program as a screen reader sees it, through the accessibility bus:
# names in the tree, Alt with a letter, the font dialog's labels, the file
# dialog's Open button and sizes, no settings written, and the window on the
# screen at twice the scale. Usage: atspi.sh path/to/tavrolle
set -u
binary=$(realpath "$1")
for tool in dbus-run-session python3; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
launcher=$(ls /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher 2>/dev/null | head -n1)
[ -n "$launcher" ] || { echo "SKIP: at-spi2-core is not installed"; exit 77; }
# The system's Python, where python3-pyatspi installs itself.
python=
for p in /usr/bin/python3 python3; do
    "$p" -c 'import pyatspi' 2>/dev/null && { python=$p; break; }
done
[ -n "$python" ] || { echo "SKIP: python3-pyatspi is not installed"; exit 77; }
# A session bus of our own, with the accessibility bus on it.
if [ -z "${PAVELIN_ATSPI_BUS:-}" ]; then
    PAVELIN_ATSPI_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
SCREEN=1920x1080
source "$(dirname "$0")/lib.sh"
"$launcher" --launch-immediately >"$work/bus.log" 2>&1 &
bus=$!
trap 'kill $bus 2>/dev/null; cleanup' EXIT
sleep 1
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1

mkdir -p "$HOME/un" "$HOME/deux/trois"
printf 'Premier' >"$HOME/un/premier.txt"
printf 'Deuxieme' >"$HOME/deux/deuxieme.txt"
printf 'Troisieme' >"$HOME/deux/trois/troisieme.txt"
head -c 2234 /dev/zero | tr '\0' 'a' >"$HOME/deux/trois/grand.txt"

cd "$HOME"
start_main # from the home folder, where its dialogs start
cd - >/dev/null
sleep 1
activate "$main"
"$python" "$(dirname "$0")/atspi.py" "$main" || fail "the accessibility checks failed"
activate "$main"
key ctrl+q
wait_exit
[ "$code" -eq 0 ] || fail "exit code $code"
settings=$(find "$HOME" -name '*.conf' -o -name 'QtProject*' | head -n 5)
[ -z "$settings" ] || fail "settings written: $settings"
echo "no settings file written under the home folder"

step "at twice the scale on a 1920x1080 screen, the frame starts on the screen"
start_main QT_SCALE_FACTOR=2
sleep 2
read -r x y < <(frame_origin "$main")
echo "frame origin at twice the scale: $x $y"
[ "$x" -ge 0 ] && [ "$y" -ge 0 ] || fail "the window's frame starts off the screen at ($x, $y)"
activate "$main"
key ctrl+q
wait_exit
echo "PASS"
