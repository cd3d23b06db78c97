#!/usr/bin/env bash
# Makes the fuzzers' seed corpora in tests/fuzz/corpus/ from the inputs that the
# end-to-end tests generate (run `make test` first) and from examples/.
# Usage: tests/fuzz/collect_seeds.sh [build folder]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=${1:-$top/build}/e2e-work
corpus=$top/tests/fuzz/corpus
max_bytes=16384 # larger inputs slow the fuzzers down more than they teach them
[ -d "$work" ] || { echo "no $work: run make test first" >&2; exit 1; }

# add HARNESS FILE [PREFIX-FILE]: stores the (prefixed) file under its hash.
add() {
    local dir=$corpus/$1 tmp
    mkdir -p "$dir"
    tmp=$(mktemp)
    if [ $# -ge 3 ]; then cat "$3" "$2" >"$tmp"; else cat "$2" >"$tmp"; fi
    mv "$tmp" "$dir/$(sha1sum "$tmp" | cut -c1-16)"
}

inputs() { # inputs SUITE-PREFIX: the small regular files the suite's tests made
    find "$work" -maxdepth 2 -path "$work/$1*" -not -path '*.io*' -type f -size -${max_bytes}c
}

for f in $(inputs Basiclist); do add fuzz_basiclist_run "$f"; add fuzz_basiclist_scan "$f"; done
for f in $(inputs Blocksum); do add fuzz_rom_block_sum "$f"; done
for f in $(inputs Bytesplit); do add fuzz_bytesplit_run "$f"; done
for f in $(inputs Hpfiles); do add fuzz_hpfiles_volume "$f"; done

# blocksum runs: no argument words, then the image name, then the image.
prefix=$(mktemp)
printf '\000\001' >"$prefix"
for f in $(inputs Blocksum); do add fuzz_blocksum_run "$f" "$prefix"; done

# Report lines, one seed each.
split_dir=$(mktemp -d)
for f in $(find "$work" -maxdepth 2 -name '*report*.txt' -type f -size -${max_bytes}c) \
         "$top/examples/secscan_report.txt"; do
    split -l 1 "$f" "$split_dir/line-"
done
for f in "$split_dir"/line-*; do add fuzz_control_lines "$f"; done
rm -rf "$split_dir"

# Whole imgconv runs: flags (verbose, geometry from the dump, with or without
# a report), no further options, -r 256, the dump's length in 4-byte units,
# the dump, then the report.
for d in "$work"/Imgconv* "$work"/ControlFile*; do
    case $d in *.io) continue ;; esac
    for dump in $(find "$d" -maxdepth 1 -type f \( -name '*.ima' -o -name 'dump*' -o -name 'in*' \) -size -${max_bytes}c); do
        report=$(find "$d" -maxdepth 1 -type f -name '*report*' | head -1)
        units=$(( $(stat -c %s "$dump") / 4 ))
        flags='\201'
        [ -n "$report" ] && flags='\203'
        printf "$flags\\000\\000\\000\\001\\000\\$(printf %03o $((units >> 8)))\\$(printf %03o $((units & 255)))" >"$prefix"
        head -c $((units * 4)) "$dump" >>"$prefix"
        [ -n "$report" ] && cat "$report" >>"$prefix"
        empty=$(mktemp)
        add fuzz_imgconv_run "$empty" "$prefix"
        rm -f "$empty"
    done
done
rm -f "$prefix"

# ImageDisk captures: the real samples and those the end-to-end tests made.
for f in "$top"/tests/data/captures/*.imd $(find "$work" -maxdepth 2 -name '*.imd' -type f -size -${max_bytes}c); do
    add fuzz_image_disk "$f"
done
for h in "$corpus"/*; do echo "$(basename "$h"): $(ls "$h" | wc -l) seeds"; done
