# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the end-to-end scripts: a display of our own with a window
# manager, and helpers to find and drive windows. Source it; set SCREEN first
# to change the screen size.
for tool in Xvfb xdotool openbox xwininfo xprop; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
cleanup() {
    [ -n "${app:-}" ] && kill "$app" 2>/dev/null
    [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    # What the program said, when it said anything.
    [ -s "$work/app.log" ] && { echo "-- the program's output:"; tail -n 40 "$work/app.log"; }
    exit 1
}
step() { echo "-- $*"; }

# A display of our own.
exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 "${SCREEN:-1280x1024}x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
openbox >"$work/wm.log" 2>&1 &
wm=$!
# The window manager is ready once it has announced itself on the root window.
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
sleep 0.5

# Waits for a window whose name matches; prints its id.
wait_window() {
    local name=$1 id
    for _ in $(seq 150); do
        id=$(xdotool search --onlyvisible --name "$name" 2>/dev/null | head -n1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
gone() {
    for _ in $(seq 100); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}
key() { xdotool key --clearmodifiers "$@"; sleep 0.3; }
# Gives a window the focus through the window manager; should the manager
# refuse (on a loaded machine it has been seen to, for a moment), tries again,
# then sets the focus directly.
activate() {
    for _ in $(seq 20); do
        xdotool windowactivate --sync "$1" 2>/dev/null && return 0
        sleep 0.2
    done
    xdotool windowfocus --sync "$1"
}
# Whether a window has the keys, asked for up to three seconds. The window
# manager answers which window is active; should it not answer for a moment
# (on a loaded machine it has been seen to claim no support for the question),
# the X server's input focus answers instead.
has_keys() {
    local id
    for _ in $(seq 30); do
        id=$(xdotool getactivewindow 2>/dev/null || xdotool getwindowfocus 2>/dev/null)
        [ "$id" = "$1" ] && return 0
        sleep 0.1
    done
    kill -0 "$wm" 2>/dev/null || echo "(the window manager has ended: $(tail -n 5 "$work/wm.log"))"
    return 1
}

# French letters on keys of their own, so that xdotool types them without
# remapping the keyboard while the program reads it.
if command -v xmodmap >/dev/null; then
    xmodmap -e "keycode 93 = eacute Eacute" -e "keycode 97 = egrave Egrave" -e "keycode 103 = agrave Agrave" \
        -e "keycode 120 = ocircumflex Ocircumflex" -e "keycode 132 = ecircumflex Ecircumflex" \
        -e "keycode 149 = ccedilla Ccedilla" -e "keycode 154 = ugrave Ugrave" -e "keycode 168 = icircumflex Icircumflex"
fi

# A window's frame, "left right top bottom", once the window manager has
# framed it (for at most five seconds; "0 0 0 0" without a frame).
frame_extents() {
    local extents
    for _ in $(seq 50); do
        extents=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null)
        [[ $extents == *=* ]] && break
        sleep 0.1
    done
    if [[ $extents == *=* ]]; then echo "$extents" | sed 's/.*= //; s/,//g'; else echo "0 0 0 0"; fi
}

# Top-left corner of a framed window on the screen.
frame_origin() {
    local l t
    read -r l _ t _ < <(frame_extents "$1")
    echo "$(( $(xwininfo -id "$1" | awk '/Absolute upper-left X/ {print $4}') - ${l:-0} )) $(( $(xwininfo -id "$1" | awk '/Absolute upper-left Y/ {print $4}') - ${t:-0} ))"
}


# A home of its own for the program, so that nothing of the machine's is read.
export HOME="$work/home" LC_ALL=C.UTF-8 XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# Starts the program with the environment assignments given, answers its
# welcome box, and sets `app` to its process and `main` to its main window.
start_main() {
    env "$@" "$binary" >"$work/app.log" 2>&1 &
    app=$!
    local welcome
    welcome=$(wait_window '^Avant-Propos$') || fail "no welcome box${*:+ with $*}"
    activate "$welcome"
    key Return
    main=$(wait_window '^Pavelin$') || fail "no main window${*:+ with $*}"
}

# Waits for the program to end; sets `code` to its exit code.
wait_exit() {
    for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$app" 2>/dev/null && fail "the program is still running after Quitter"
    wait "$app"
    code=$?
    app=""
}
