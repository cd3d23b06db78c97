#!/bin/sh
# Runs an example generator into a scratch folder and compares what it wrote
# with the bundled files of the same names.
set -eu
gen=$1 scratch=$2 bundled=$3
rm -rf "$scratch"
mkdir -p "$scratch"
"$gen" "$scratch"
status=0
count=0
for f in "$scratch"/*; do
    [ -e "$f" ] || continue
    count=$((count + 1))
    name=$(basename "$f")
    if ! cmp -s "$f" "$bundled/$name"; then
        echo "examples/$name differs from what $(basename "$gen") makes; regenerate with: $gen examples" >&2
        status=1
    fi
done
[ "$count" -gt 0 ] || { echo "$(basename "$gen") wrote no file" >&2; exit 1; }
echo "$count example files up to date"
exit $status
