#!/bin/sh
# Runs the built programs on the bundled example data and shows what came out.
set -eu
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$build" && pwd)/bin
out=$(cd "$build" && pwd)/demo
rm -rf "$out"
mkdir -p "$out"
cd "$out"

show() {
    echo
    echo "\$ $*"
    "$@" || echo "(exit status $?)"
}
