#!/bin/sh
# Runs a Windows program under Wine in a 32-bit prefix of its own, made on
# first use, and stops that prefix's Wine (driver hosts included) after it.
# Exit code 77 (skipped) when Wine is not installed.
#   run_under_wine.sh PREFIX PROGRAM [ARGUMENTS...]
prefix=$1
shift
if ! command -v wine >/dev/null 2>&1 || ! command -v wineserver >/dev/null 2>&1; then
    echo "wine is not installed: skipped"
    exit 77
fi
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/system.reg" ]; then
    start=$(date +%s%N)
    wineboot -i >/dev/null 2>&1 || { echo "wineboot could not make $prefix"; exit 1; }
    wineserver -w
    echo "wine: made the 32-bit prefix in $(( ($(date +%s%N) - start) / 1000000 )) ms"
fi
wine "$@"
rc=$?
wineserver -k 2>/dev/null
exit $rc
