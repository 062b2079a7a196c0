#!/usr/bin/env bash
# The benchmark, in one command: builds what it needs, generates its inputs,
# measures, prints one table and writes it to bench/RESULTS.md.
# Usage: bash bench/run.sh [megabytes=20] [repeats=3] [big=100] [peer_repeats=2]
# (The other programs take minutes on the RTF file: they run peer_repeats times,
# each stopped after 20 minutes.)
set -u
cd "$(dirname "$0")/.."
mb=${1:-20} repeats=${2:-3} big=${3:-100} peer_repeats=${4:-2}
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
echo "- Command: \`bash bench/run.sh $mb $repeats $big $peer_repeats\` (Release build, offscreen; medians ± spread)"
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

# Open RTF against other programs converting the same file to text.
ours_rtf=$(grep -m1 '^| Open RTF' "$out" | awk -F'|' '{print $3}' | sed 's/^ *//')
conv() {
    local name=$1; shift
    command -v "$1" >/dev/null || { printf '| %-40s | %21s | %21s | %6s | %s |\n' "Open RTF vs $name" "$ours_rtf" "not installed" "-" "$name" | tee -a "$out"; return; }
    local t=""
    for _ in $(seq "$peer_repeats"); do t+="$(ms_of timeout 1200 "$@") "; done
    local m; m=$(echo $t | tr ' ' '\n' | median)
    printf '| %-40s | %21s | %21s | %6s | %s |\n' "Open RTF vs $name" "$ours_rtf" "$m" "$(ratio "$ours_rtf" "$m")" "$name converting the same RTF to text" | tee -a "$out"
}
profile="$work/lo-profile"
conv LibreOffice soffice -env:UserInstallation=file://"$profile" --headless --convert-to txt --outdir "$work/lo" "$work/doc.rtf"
conv AbiWord abiword --to=txt -o "$work/abi.txt" "$work/doc.rtf"
conv pandoc pandoc -f rtf -t plain -o "$work/pandoc.txt" "$work/doc.rtf"
conv unrtf unrtf --text "$work/doc.rtf"
saveas=$(grep -m1 '^| Save As' "$out" | awk -F'|' '{print $3}' | sed 's/^ *//')
if command -v soffice >/dev/null; then
    t=""; for _ in $(seq "$peer_repeats"); do t+="$(ms_of timeout 1200 soffice -env:UserInstallation=file://"$profile" --headless --convert-to rtf --outdir "$work/lo2" "$work/doc.rtf") "; done
    m=$(echo $t | tr ' ' '\n' | median)
    printf '| %-40s | %21s | %21s | %6s | %s |\n' "Save As vs LibreOffice" "$saveas" "$m" "$(ratio "$saveas" "$m")" "LibreOffice converting the same RTF to RTF" | tee -a "$out"
fi

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
cp "$out" bench/RESULTS.md
echo
echo "Written to bench/RESULTS.md"
