#!/bin/sh
# The build folder's Wine prefix for the wine_ test entries.
#
#   wine_prefix.sh up PREFIX    makes the 32-bit prefix if it is not there yet,
#                               then starts its server and services
#   wine_prefix.sh down PREFIX  stops its server (and so its driver hosts)
set -eu
action=$1
prefix=$2
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=

if [ "$action" = down ]; then
  wineserver -k 2>/dev/null || true
  exit 0
fi

# A server left from an earlier run holds drivers and services of that run.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

if [ ! -f "$prefix/ktz-prefix-ready" ]; then
  echo "creating the Wine prefix $prefix"
  rm -rf "$prefix"
  wineboot -i
  # The first start of a kernel driver starts its driver host; on a busy
  # machine that can take longer than the service manager's default 10 s,
  # which would fail the start with ERROR_SERVICE_REQUEST_TIMEOUT (1053).
  wine reg add 'HKLM\System\CurrentControlSet\Control' /v ServicesPipeTimeout \
    /t REG_DWORD /d 120000 /f >/dev/null
  wineserver -k
  wineserver -w
  touch "$prefix/ktz-prefix-ready"
fi

# One server for the whole run (it ends 10 minutes after its last program at
# the latest), with the boot-time services up before the first test. They
# must not hold the test's output open, or CTest would wait for them.
wineserver -p600 </dev/null >/dev/null 2>&1
wineboot </dev/null >/dev/null 2>&1
echo "Wine prefix $prefix is up"
