#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The benchmark, in one command: builds what it needs, generates its inputs,
# measures, prints one table and writes it to bench/RESULTS.md.
# Usage: bash bench/run.sh [megabytes=20] [repeats=5] [big=100] [peer_repeats=1]
# (PEER_LIMIT=seconds sets when another program is stopped; 300 by default.)
set -u
cd "$(dirname "$0")/.."
mb=${1:-20} repeats=${2:-5} big=${3:-100} peer_repeats=${4:-1}
build=build/bench-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null || exit 1
cmake --build "$build" --target pavelin_bench bare_messagebox tavrolle >/dev/null || exit 1
bench="$build/bench/pavelin_bench"
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null' EXIT
out="$work/results.md"

median() { sort -n | awk '{a[NR]=$1} END {m=a[int((NR+1)/2)]; printf "%.1f ± %.1f", m, a[NR]-a[1]}'; }
ms_of() { local s e; s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N); echo $(( (e - s) / 1000000 )); }
ratio() { awk -v a="${1%% *}" -v b="${2%% *}" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

{
echo "# Benchmark results"
echo
echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "- Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "- System: $(. /etc/os-release; echo "$PRETTY_NAME"), Qt $(dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null)"
echo "- Command: \`bash bench/run.sh $mb $repeats $big $peer_repeats\` (Release build, offscreen; medians ± spread; other programs stopped after ${PEER_LIMIT:-300} s)"
echo
} >"$out"

"$bench" table "$mb" "$repeats" "$big" 2>/dev/null | tee -a "$out"

# Peak memory after Open, each in a process of its own.
"$bench" generate plain "$mb" "$work/doc.txt"
"$bench" generate rtf "$mb" "$work/doc.rtf"
for kind in plain rtf; do
    file="$work/doc.txt"; [ $kind = rtf ] && file="$work/doc.rtf"
    ours=$("$bench" memory ours $kind "$file" 2>/dev/null | tail -n1)
    bare=$("$bench" memory bare $kind "$file" 2>/dev/null | tail -n1)
    printf '| %-40s | %21s | %21s | %6s | %s |\n' "Peak memory after Open, $kind (MB)" "$((ours / 1024))" "$((bare / 1024))" \
        "$(ratio "$ours" "$bare")" "bare QTextEdit holding the same text" | tee -a "$out"
done

# Start-up until the welcome box is on the screen, under Xvfb.
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
    exec 5>"$work/display"
    Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -n1 "$work/display")"
    startup() {
        local t="" s e pid
        for _ in $(seq 5); do
            s=$(date +%s%N)
            "$@" >/dev/null 2>&1 &
            pid=$!
            # (xdotool's own --sync looks only every half second)
            for _ in $(seq 2000); do xdotool search --onlyvisible --name '^Avant-Propos$' >/dev/null 2>&1 && break; sleep 0.005; done
            e=$(date +%s%N)
            kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
            t+="$(( (e - s) / 1000000 )) "
        done
        echo $t | tr ' ' '\n' | median
    }
    a=$(startup "$build/tavrolle")
    b=$(startup "$build/bench/bare_messagebox")
    printf '| %-40s | %21s | %21s | %6s | %s |\n' "Start-up to the welcome box" "$a" "$b" "$(ratio "$a" "$b")" "bare Qt program showing a message box" | tee -a "$out"
fi

# The same RTF file through other programs. They take minutes on it: each
# runs peer_repeats times and is stopped after peer_limit seconds, which the
# table then shows as a bound.
peer_limit=${PEER_LIMIT:-300}
# peer_row FIGURE OURS WHAT COMMAND...
peer_row() {
    local figure=$1 ours=$2 what=$3; shift 3
    if ! command -v "$1" >/dev/null; then
        printf '| %-40s | %21s | %21s | %6s | %s |\n' "$figure" "$ours" "not installed" "-" "$what" | tee -a "$out"
        return
    fi
    local t="" s e rc stopped=""
    for _ in $(seq "$peer_repeats"); do
        s=$(date +%s%N)
        timeout -k 5 "$peer_limit" "$@" >/dev/null 2>&1
        rc=$?
        e=$(date +%s%N)
        [ $rc -eq 124 ] && stopped=yes
        t+="$(( (e - s) / 1000000 )) "
    done
    local m r
    m=$(echo $t | tr ' ' '\n' | median)
    r=$(ratio "$ours" "$m")
    if [ -n "$stopped" ]; then m="> ${peer_limit}000 (stopped)"; r="< $r"; fi
    printf '| %-40s | %21s | %21s | %6s | %s |\n' "$figure" "$ours" "$m" "$r" "$what" | tee -a "$out"
}
ours_rtf=$(grep -m1 '^| Open RTF' "$out" | awk -F'|' '{print $3}' | sed 's/^ *//')
profile="$work/lo-profile"
peer_row "Open RTF vs LibreOffice" "$ours_rtf" "LibreOffice converting the same RTF to text" \
    soffice -env:UserInstallation=file://"$profile" --headless --convert-to txt --outdir "$work/lo" "$work/doc.rtf"
peer_row "Open RTF vs AbiWord" "$ours_rtf" "AbiWord converting the same RTF to text" \
    abiword --to=txt -o "$work/abi.txt" "$work/doc.rtf"
peer_row "Open RTF vs pandoc" "$ours_rtf" "pandoc converting the same RTF to text" \
    pandoc -f rtf -t plain -o "$work/pandoc.txt" "$work/doc.rtf"
peer_row "Open RTF vs unrtf" "$ours_rtf" "unrtf converting the same RTF to text" unrtf --text "$work/doc.rtf"
saveas=$(grep -m1 '^| Save As' "$out" | awk -F'|' '{print $3}' | sed 's/^ *//')
peer_row "Save As vs LibreOffice" "$saveas" "LibreOffice converting the same RTF to RTF" \
    soffice -env:UserInstallation=file://"$profile" --headless --convert-to rtf --outdir "$work/lo2" "$work/doc.rtf"

# Every figure on documents of many shapes, at two sizes each.
echo | tee -a "$out"
"$bench" shapes "${SHAPES_SCALE:-1}" 20 "${SHAPES_LIMIT:-120}" 2>/dev/null | tee -a "$out"

# The RTF reader alone, on inputs that stress it differently.
echo | tee -a "$out"
"$bench" reader 8 5 2>/dev/null | tee -a "$out"

cp "$out" bench/RESULTS.md
echo
echo "Written to bench/RESULTS.md"
