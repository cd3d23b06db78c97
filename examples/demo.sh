#!/bin/sh
# Runs the built programs on the bundled example data and shows what came out.
set -eu
build=${1:-build}
examples=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$build" && pwd)/bin
out=$(cd "$build" && pwd)/demo
rm -rf "$out"
mkdir -p "$out"
cd "$out"

# Prints a command line, runs it and tells a non-zero exit status.
show() {
    echo
    echo "\$ $*"
    "$@" || echo "(exit status $?)"
}

# Each program's part of the demo lives in demo-*.sh beside this script.
for part in "$examples"/demo-*.sh; do
    [ -e "$part" ] || continue
    . "$part"
done
echo
echo "Demo outputs are in $out"
