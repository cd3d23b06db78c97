#!/bin/sh
# Installs the build into a scratch prefix and checks that each program and its page land where man finds them.
# Usage: install_check.sh BUILD_DIR PROGRAM...
set -u
build=$1
shift
prefix="$build/install-check"
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null || exit 1
status=0
for prog in "$@"; do
    if [ ! -x "$prefix/bin/$prog" ]; then
        echo "missing: $prefix/bin/$prog"
        status=1
    fi
    page=$(ls "$prefix/share/man/man1/$prog.1" "$prefix/share/man/man1/$prog.1.gz" 2>/dev/null | head -n 1)
    if [ -z "$page" ]; then
        echo "missing: $prefix/share/man/man1/$prog.1[.gz]"
        status=1
    elif ! gzip -dcf "$page" | grep -q "^\.Nm $prog\$"; then
        echo "$page is not the page of $prog"
        status=1
    fi
done
rm -rf "$prefix"
exit "$status"
