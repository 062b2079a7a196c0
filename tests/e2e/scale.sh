#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The layout scales as a whole: the window measured at 96 dpi and at 192 dpi
# (QT_SCALE_FACTOR=2) must double. Usage: scale.sh path/to/tavrolle outdir
set -u
binary=$1
out=${2:-.}
SCREEN=2560x2048
source "$(dirname "$0")/lib.sh"

declare -A width height
for factor in 1 2; do
    dpi=$((96 * factor))
    step "at $dpi dpi"
    start_main QT_SCALE_FACTOR=$factor
    sleep 1.5
    eval "$(xdotool getwindowgeometry --shell "$main")"
    width[$factor]=$WIDTH
    height[$factor]=$HEIGHT
    echo "window at $dpi dpi: ${WIDTH}x${HEIGHT}"
    if command -v import >/dev/null; then
        import -window "$main" "$out/pavelin-${dpi}dpi.png" 2>/dev/null
    fi
    activate "$main"
    key ctrl+q
    wait_exit
    [ "$code" -eq 0 ] || fail "exit code $code at $dpi dpi"
done
[ "${width[2]}" -eq $((2 * width[1])) ] || fail "width ${width[2]} at 192 dpi, expected $((2 * width[1]))"
[ "${height[2]}" -eq $((2 * height[1])) ] || fail "height ${height[2]} at 192 dpi, expected $((2 * height[1]))"
echo "PASS: ${width[1]}x${height[1]} at 96 dpi, ${width[2]}x${height[2]} at 192 dpi"
