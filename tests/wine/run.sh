#!/usr/bin/env bash
# Cross-builds the Windows .exe files and runs the end-to-end suite against them under Wine.
#
# The e2e test binaries are the native build's (build/bin/*_e2e_tests); they
# start build-mingw/bin/<program>.exe through `wine` and expect what a Windows
# console program gives: CR LF on the standard streams, wildcards expanded.
# Installs what is missing (Debian 12, as root), needs no display.
# Usage: tests/wine/run.sh [native build folder] [mingw build folder]
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
native=${1:-build}
mingw=${2:-build-mingw}
jobs=${JOBS:-2}

missing=()
command -v x86_64-w64-mingw32-g++ >/dev/null || missing+=(g++-mingw-w64-x86-64)
command -v wine >/dev/null || missing+=(wine wine64)
command -v mandoc >/dev/null || missing+=(mandoc)
command -v cmake >/dev/null || missing+=(cmake)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing ${missing[*]}"
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

echo "== native build ($native): the e2e test binaries"
cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$native" -j"$jobs"

echo "== cross build ($mingw): the Windows programs"
cmake -S . -B "$mingw" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$mingw" -j"$jobs"
(cd "$mingw" && cpack -G ZIP >/dev/null && ls -1 ./*.zip)

# A private Wine prefix in the build folder, made once; no display, no
# Mono or Gecko downloads, no debug chatter on the programs' stderr.
export WINEPREFIX="$root/$mingw/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
# A server left from an interrupted run would refuse the persistent one below.
wineserver -k >/dev/null 2>&1 || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== creating the Wine prefix"
    wineboot -i >/dev/null 2>&1
fi
# The server writes the registry when it ends: wait for that, then keep one
# server for the whole run instead of one per program start.
wineserver -w
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wineboot made no Wine prefix in $WINEPREFIX" >&2
    exit 1
fi
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

echo "== end-to-end suite against the .exe files under Wine"
export HPKIT_BIN_DIR="$root/$mingw/bin"
export HPKIT_EXE_SUFFIX=.exe
export HPKIT_RUNNER=wine
export HPKIT_TARGET=windows

passed=0 skipped=0 failed=0 broken=0
shopt -s nullglob
suites=("$native"/bin/*_e2e_tests)
if [ ${#suites[@]} -eq 0 ]; then
    echo "no e2e test binaries in $native/bin"
    exit 1
fi
for suite in "${suites[@]}"; do
    name=$(basename "$suite")
    log="$root/$mingw/${name}.log"
    status=0
    "$suite" --gtest_brief=1 >"$log" 2>&1 || status=$?
    # gtest's closing summary: "[==========] N tests from M test suites ran.",
    # "[  PASSED  ] N tests.", "[  SKIPPED ] N tests."; the rest failed.
    t=$(sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from .* ran\..*/\1/p' "$log")
    p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\.$/\1/p' "$log")
    s=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\}[.,].*/\1/p' "$log")
    f=$(( ${t:-0} - ${p:-0} - ${s:-0} ))
    passed=$((passed + ${p:-0}))
    skipped=$((skipped + ${s:-0}))
    failed=$((failed + f))
    printf '%-24s passed %4s  skipped %3s  failed %3s\n' "$name" "${p:-0}" "${s:-0}" "$f"
    # Say which tests do not apply under Wine, and why.
    grep -A1 ': Skipped$' "$log" | grep -v '^--$' | sed 's/^/    /' || true
    if [ "$status" -ne 0 ]; then
        grep -v '^\[       OK \]' "$log" | tail -n 60
        # A crash or a failed start leaves no closing summary: count it as broken.
        [ -n "$t" ] || broken=$((broken + 1))
    fi
done
summary="Wine suite: $passed passed, $skipped skipped, $failed failed"
[ "$broken" -eq 0 ] || summary+=", $broken suites that ended without a count"
echo "$summary"
[ "$failed" -eq 0 ] && [ "$broken" -eq 0 ]
