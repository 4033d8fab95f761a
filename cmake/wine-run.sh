#!/usr/bin/env bash
# CMAKE_CROSSCOMPILING_EMULATOR of the Windows configuration: runs a Windows EXE under Wine in
# the build tree's default prefix <build>/wine/default (made on first use, see
# wine-scenario.sh). The prefix is $VD_WINE_PREFIX (vd_add_test sets it); else the build tree
# is found by walking up from the EXE to CMakeCache.txt; else $WINEPREFIX is used.
#   cmake/wine-run.sh build/windows/tests/smoke_test.exe --gtest_filter=Gdi.*
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
(($#)) || { echo "usage: wine-run.sh EXE [ARGS...]" >&2; exit 2; }

prefix="${VD_WINE_PREFIX:-}"
if [[ -z "$prefix" ]]; then
    dir="$(cd "$(dirname "$1")" && pwd)"
    while [[ "$dir" != "/" && ! -f "$dir/CMakeCache.txt" ]]; do dir="$(dirname "$dir")"; done
    if [[ -f "$dir/CMakeCache.txt" ]]; then
        prefix="$dir/wine/default"
    elif [[ -n "${WINEPREFIX:-}" ]]; then
        prefix="$WINEPREFIX"
    else
        echo "wine-run.sh: no build tree above $1 and no WINEPREFIX: cannot choose a prefix" >&2
        exit 2
    fi
fi
exec bash "$here/wine-scenario.sh" --prefix "$prefix" -- "$@"
