#!/usr/bin/env bash
# Times blocksum and bytesplit on a 256 MiB ROM image against coreutils sum, cat and srec_cat.
# Usage: bench/romtools.sh [build folder]   (srec_cat: Debian package srecord, optional)
set -euo pipefail
build=${1:-build}
bin=$(cd "$build" && pwd)/bin
for p in blocksum bytesplit; do
    [ -x "$bin/$p" ] || { echo "$bin/$p not built" >&2; exit 1; }
done
if [ ! -x /usr/bin/time ]; then
    echo "/usr/bin/time missing: apt-get install -y time" >&2
    exit 1
fi

image_mib=256
small_mib=16
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"

# Arbitrary words; the sums do not care what they are.
head -c $((image_mib * 1024 * 1024)) /dev/urandom > rom.bin
head -c $((small_mib * 1024 * 1024)) rom.bin > small.bin
cat rom.bin > /dev/null # into the page cache, for every contender alike

# [outputs="files"] timed <name> <command...>: runs the command $runs times
# with stdout to /dev/null and leaves "seconds peak-KiB" in $tmp/<name>.time:
# the median time and the largest peak. Each run starts without the files it
# writes and with every dirty page written back, so that no run pays for the
# writes of another (one such writeback made cat take 8 times as long).
runs=5
timed() {
    local name=$1
    shift
    : > "$name.all"
    for _ in $(seq "$runs"); do
        # shellcheck disable=SC2086 # a list of names
        rm -f ${outputs:-}
        sync
        # /usr/bin/time gives the peak; its seconds have two decimals only.
        local start end
        start=$(date +%s%N)
        /usr/bin/time -f '%M' -o "$name.one" "$@" > /dev/null
        end=$(date +%s%N)
        echo "$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }') $(cat "$name.one")" \
            >> "$name.all"
    done
    local median peak
    median=$(cut -d' ' -f1 "$name.all" | sort -n | sed -n "$(((runs + 1) / 2))p")
    peak=$(cut -d' ' -f2 "$name.all" | sort -n | tail -n 1)
    echo "$median $peak" > "$name.time"
}
seconds() { cut -d' ' -f1 "$1.time"; }
peak() { cut -d' ' -f2 "$1.time"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

timed blocksum "$bin/blocksum" rom.bin
timed blocksum_small "$bin/blocksum" small.bin
timed sum sum rom.bin
outputs="rom.bin_high rom.bin_low" timed bytesplit "$bin/bytesplit" rom.bin
outputs="small.bin_high small.bin_low" timed bytesplit_small "$bin/bytesplit" small.bin
outputs=copy.bin timed cat sh -c 'cat rom.bin > copy.bin'
rm -f copy.bin small.bin_high small.bin_low

srec="missing"
if command -v srec_cat > /dev/null; then
    outputs=srec_high.bin timed srec_high srec_cat rom.bin -binary -split 2 0 -not -o srec_high.bin -binary
    outputs=srec_low.bin timed srec_low srec_cat rom.bin -binary -split 2 1 -not -o srec_low.bin -binary
    srec=$(awk -v a="$(seconds srec_high)" -v b="$(seconds srec_low)" 'BEGIN { printf "%.2f", a + b }')
    if cmp -s srec_high.bin rom.bin_high && cmp -s srec_low.bin rom.bin_low; then
        echo "bytesplit and srec_cat wrote the same bytes"
    else
        echo "bytesplit and srec_cat outputs DIFFER" >&2
    fi
else
    echo "srec_cat not installed (Debian package srecord): its comparison is left out"
fi

echo "peak KiB: blocksum ${small_mib} MiB $(peak blocksum_small), ${image_mib} MiB $(peak blocksum);" \
    "bytesplit ${small_mib} MiB $(peak bytesplit_small), ${image_mib} MiB $(peak bytesplit)"
workload="${image_mib} MiB ROM image"
printf 'RESULT\tblocksum\t%s\t%s\t%s\t%s\t%s\n' "$workload" "$(seconds blocksum)" "sum rom.bin" \
    "$(seconds sum)" "$(peak blocksum)"
printf 'RESULT\tbytesplit\t%s\t%s\t%s\t%s\t%s\n' "$workload" "$(seconds bytesplit)" \
    "cat rom.bin > copy.bin" "$(seconds cat)" "$(peak bytesplit)"
if [ "$srec" != missing ]; then
    printf 'RESULT\tbytesplit\t%s\t%s\t%s\t%s\t%s\n' "$workload" "$(seconds bytesplit)" \
        "srec_cat -split 2 0 -not, then -split 2 1 -not" "$srec" "$(peak bytesplit)"
fi
echo "blocksum takes $(ratio "$(seconds blocksum)" "$(seconds sum)") times as long as sum;" \
    "bytesplit $(ratio "$(seconds bytesplit)" "$(seconds cat)") times cat" \
    "$([ "$srec" != missing ] && echo "and $(ratio "$(seconds bytesplit)" "$srec") times the two srec_cat runs")"
