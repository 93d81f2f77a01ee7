#!/usr/bin/env bash
# Builds and runs every test: the host suite (warnings as errors), again built without the
# line editor, the host suite under AddressSanitizer and UndefinedBehaviorSanitizer, the fuzz
# targets for a bounded time, and the Windows suite under Wine. `bash tests/run_all.sh host`
# runs the host suite alone.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

echo "== host suite"
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs"
ctest --preset ci -j "$jobs"
if [ "${1:-all}" = host ]; then exit 0; fi

echo "== host suite, built without the line editor"
cmake --preset plain >/dev/null
cmake --build --preset plain -j "$jobs"
ctest --preset plain -j "$jobs"

echo "== host suite, sanitizers"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j "$jobs"
ctest --preset sanitize -j "$jobs"

echo "== fuzz targets"
bash fuzz/run_fuzzers.sh 20

echo "== Windows suite"
bash tests/windows/run_windows_suite.sh
