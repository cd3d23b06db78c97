#!/usr/bin/env bash
# Benchmark: basiclist listing a 256 MiB BASIC file into a file, against tr
# doing a comparable byte-by-byte 7-bit mapping of the same input.
set -euo pipefail

build=${1:-build}
bin=$(cd "$build" && pwd)/bin
[ -x "$bin/basiclist" ] || { echo "no $bin/basiclist; build first" >&2; exit 1; }
timer=/usr/bin/time
[ -x "$timer" ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 1; }

readonly record_bytes=256
readonly block_records=64          # records generated once, then repeated
readonly target_mib=256
work=$(mktemp -d "${TMPDIR:-/tmp}/basiclist-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# --- One block of realistic records: program lines packed as counted line
# items, a line that does not fit split by a record-tail item, the record
# closed with an end-of-record mark and filler bytes. No end mark, so that the
# whole file is listed.
block=$work/block.bas
used=0
put_byte() { printf "\\x$(printf %02x "$1")" >>"$block"; used=$((used + 1)); }
put_text() { printf '%s' "$1" >>"$block"; used=$((used + ${#1})); }
put_header() { put_byte 0; put_byte "$1"; put_byte $(($2 >> 8)); put_byte $(($2 & 255)); }
finish_record() {
    if [ $((record_bytes - used)) -ge 2 ]; then put_byte 0; put_byte 30; fi
    while [ "$used" -lt "$record_bytes" ]; do put_byte 13; done
    used=0
}
add_line() {
    local text=$1 type=60 room head
    while [ $((4 + ${#text})) -gt $((record_bytes - used)) ]; do
        room=$((record_bytes - used))
        if [ "$room" -lt 12 ]; then finish_record; continue; fi
        head=$((room - 4))
        put_header 28 "${#text}"
        put_text "${text:0:head}"
        text=${text:head}
        used=0
        type=44
    done
    put_header "$type" "${#text}"
    put_text "$text"
}
: >"$block"
statements=('PRINT "RESULT";I;A(I)' 'FOR J=1 TO N' 'NEXT J' 'A(I)=A(I-1)+B(I)*C'
    'IF X>Y THEN 2000' 'GOSUB 5000' 'DISP "LOADING DATA FILE"' 'INPUT "VALUE?",V'
    'REM  ---- MAIN LOOP OF THE MEASUREMENT PROGRAM ----' 'PRINT USING "5D.2D";Total'
    'ASSIGN #1 TO "DATA:T15"' 'READ #1;Name$,Count,Values(*)' 'LET Total=Total+V'
    'PRINT "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG, SAID THE HP 9845 PRINTER ON PAGE";P')
n=10
while [ $(stat -c %s "$block") -lt $((block_records * record_bytes - record_bytes)) ]; do
    add_line "$n ${statements[$((n / 10 % ${#statements[@]}))]}"
    n=$((n + 10))
done
finish_record
while [ $(stat -c %s "$block") -lt $((block_records * record_bytes)) ]; do
    put_byte 0; put_byte 30; finish_record
done

# --- Repeat the block up to the target size by doubling.
input=$work/in.bas
cp "$block" "$input"
while [ $(stat -c %s "$input") -lt $((target_mib * 1024 * 1024)) ]; do
    cat "$input" "$input" >"$work/twice" && mv "$work/twice" "$input"
done
size=$(stat -c %s "$input")

# --- Time both on the same input, after one warm-up read.
cat "$input" >/dev/null
measure() { # prints "seconds peak_KiB" of the command after --
    local status=0
    "$timer" -f '%e %M' -o "$work/time" "$@" || status=$?
    [ "$status" -le 1 ] || { echo "$* failed with status $status" >&2; exit 1; }
    cat "$work/time"
}
read -r bl_seconds bl_kib < <(measure "$bin/basiclist" "$input" "$work/out.txt")
read -r tr_seconds tr_kib < <(measure sh -c "tr '\\200-\\377' '\\000-\\177' < '$input' > '$work/tr.out'")
out_size=$(stat -c %s "$work/out.txt")

workload="$((size / 1024 / 1024)) MiB BASIC file, $((size / record_bytes)) records -> $out_size bytes of text"
printf 'RESULT\tbasiclist\t%s\t%s\t%s\t%s\t%s\n' "$workload" "$bl_seconds" \
    "tr '\\200-\\377' '\\000-\\177' < in > out" "$tr_seconds" "$bl_kib"
awk -v a="$bl_seconds" -v b="$tr_seconds" -v k="$tr_kib" 'BEGIN {
    if (a > 0) printf "basiclist takes %.2f times the time of tr (%.2f s vs %.2f s; tr peak %d KiB)\n", a / b, a, b, k
    else printf "basiclist finished in under 0.01 s\n" }'
