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

# Prints a command line and runs it; any exit status but 0 fails the demo.
show() {
    show_status 0 "$@"
}

# Prints a command line and runs it; the step must end with status $1 (255
# for -1), which is then shown. Any other status fails the demo.
show_status() {
    show_expected=$1
    shift
    echo
    echo "\$ $*"
    show_rc=0
    "$@" || show_rc=$?
    if [ "$show_rc" -ne "$show_expected" ]; then
        echo "demo: \"$*\" ended with status $show_rc, not $show_expected" >&2
        exit 1
    fi
    if [ "$show_rc" -ne 0 ]; then
        echo "(exit status $show_rc)"
    fi
}

# Each program's part of the demo lives in demo-*.sh beside this script.
for part in "$examples"/demo-*.sh; do
    [ -e "$part" ] || continue
    . "$part"
done
echo
echo "Demo outputs are in $out"
