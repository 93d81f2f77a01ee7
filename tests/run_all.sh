#!/usr/bin/env bash
# Builds and runs every test: the host suite (warnings as errors, the line editor required),
# again built without the line editor, and under AddressSanitizer and UndefinedBehaviorSanitizer;
# the fuzz targets for a bounded time; the manual pages and the Debian package; the Windows
# suite under Wine. `bash tests/run_all.sh
# host` runs the host suite alone.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

for preset in ci plain sanitize; do
    echo "== host suite, preset $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
    if [ "${1:-all}" = host ]; then exit 0; fi
done

echo "== fuzz targets"
bash fuzz/run_fuzzers.sh 20

echo "== Linux install: manual pages and the Debian package"
bash tests/linux/check_package.sh

echo "== Windows suite"
bash tests/windows/run_windows_suite.sh
