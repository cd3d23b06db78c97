#!/bin/sh
# Lints manual pages with mandoc: any message, style hints included, fails the check.
# Usage: lint.sh REQUIRED PAGE...  (REQUIRED 1: a missing mandoc fails instead of skipping)
# Run it in the pages' folder, where mandoc finds the pages that .Xr names.
required=$1
shift
if ! command -v mandoc >/dev/null 2>&1; then
    if [ "$required" = 1 ]; then
        echo "mandoc is not installed, and HPKIT_MAN_LINT=ON requires the lint"
        exit 1
    fi
    echo "mandoc is not installed: lint skipped"
    exit 77
fi
messages=$(mandoc -T lint -W all "$@" 2>&1)
status=$?
if [ -n "$messages" ]; then
    echo "$messages"
    exit 1
fi
exit "$status"
