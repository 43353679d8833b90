#!/bin/sh
# Runs a GoogleTest program under Wine (the environment names the prefix).
#
#   wine_run.sh RESULTS.xml WINE PROGRAM.exe [ARGS...]
#
# RESULTS.xml receives the GoogleTest results. Until the program has
# written them, the file holds one failed case, so that a program that
# crashes or hangs is counted as failed and no results of an earlier run
# are counted again.
set -eu
results=$1
wine=$2
program=$3
shift 3
name=$(basename "$results" .xml)
mkdir -p "$(dirname "$results")"
cat >"$results" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<testsuites tests="1" failures="1">
  <testsuite name="$name" tests="1" failures="1">
    <testcase name="RanToTheEnd" status="run" result="completed">
      <failure message="$name did not finish"/>
    </testcase>
  </testsuite>
</testsuites>
EOF
exec "$wine" "$program" "--gtest_output=xml:Z:$results" "$@"
