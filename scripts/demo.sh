#!/usr/bin/env bash
# Builds the ktz3649 test panel and runs its demo on the virtual lab.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target ktz3649_tool
exec build/default/bin/ktz3649 demo "$@"
