#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each for a given time.
# Usage: tests/fuzz/run.sh [seconds per harness] [build folder]
# Fails when any harness finds a crash, a leak, a timeout or sanitizer report.
set -euo pipefail
seconds=${1:-60}
build=${2:-build-fuzz}
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"

CXX=${CXX_FUZZ:-clang++} cmake -S . -B "$build" -DHPKIT_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 >/dev/null

failed=0
printf '%-24s %12s %8s %s\n' harness executions cov result
for fuzzer in "$build"/fuzz/fuzz_*; do
    name=$(basename "$fuzzer")
    seeds="$top/tests/fuzz/corpus/$name"
    corpus="$build/fuzz-corpus/$name"
    artifacts="$build/fuzz-artifacts/$name/"
    mkdir -p "$corpus" "$artifacts"
    log="$build/fuzz-$name.log"
    dirs=("$corpus")
    [ -d "$seeds" ] && dirs+=("$seeds")
    set +e
    ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=16384 \
        -print_final_stats=1 -artifact_prefix="$artifacts" "${dirs[@]}" >"$log" 2>&1
    status=$?
    set -e
    execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo '?')
    if [ $status -eq 0 ]; then
        result=clean
    else
        result="FINDING (exit $status), see $log and $artifacts"
        failed=1
        tail -40 "$log"
    fi
    printf '%-24s %12s %8s %s\n' "$name" "$execs" "$cov" "$result"
done
exit $failed
