#!/usr/bin/env bash
# Builds and runs every test: the host build, the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, again under
# ThreadSanitizer (the measurement threads), the libFuzzer targets for about
# 20 s each where clang is there (fuzz_ entries, each printing its
# executions), and the 32-bit Windows DLL with its export and loading checks
# when the cross toolchain is there, with the test programs that run under
# Wine (wine_ entries) and a count of their test cases as the last line.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --workflow --preset default
cmake --workflow --preset asan
cmake --workflow --preset tsan
status=0
if command -v clang++ >/dev/null; then
  cmake --workflow --preset fuzz || status=$?
else
  echo "clang++ not found: fuzz targets skipped" >&2
fi
if command -v i686-w64-mingw32-g++-posix >/dev/null; then
  cmake --workflow --preset windows || status=$?
  python3 scripts/wine_summary.py build/windows/wine-results
else
  echo "i686-w64-mingw32-g++-posix not found: Windows build skipped" >&2
  echo "wine: 0 passed, 0 failed"
fi
exit $status
