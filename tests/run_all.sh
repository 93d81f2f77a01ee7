#!/usr/bin/env bash
# Builds and runs every test: the host suite (warnings as errors, the line editor required),
# again built without the line editor, and under AddressSanitizer and UndefinedBehaviorSanitizer;
# the fuzz targets for a bounded time; the manual pages and the Debian package; the Windows
# suite under Wine. Every suite runs, and the run ends with a summary, one line per suite of what
# ran and passed, and under it each thing skipped and why. `bash tests/run_all.sh host` runs the
# host suite alone.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
log=$(mktemp /tmp/pcmconv_run.XXXXXX)
trap 'rm -f "$log"' EXIT
summary=""
failed=0

host_suite() {
    cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs" && ctest --preset "$1" -j "$jobs"
}

# Runs one suite with its output shown, and sums it up from the counts its steps print (after
# their "== step" headings) and the lines that begin with "skipped".
suite() {
    local name=$1 counts skips
    shift
    echo "== $name"
    "$@" 2>&1 | tee "$log"
    local status=${PIPESTATUS[0]}
    counts=$(awk '/^== / { step = substr($0, 4) }
        /tests failed out of/ { n = $NF; f = $(NF - 5); $0 = (step ? step ": " : "") n - f " of " n " tests passed" }
        /: [0-9]+ passed, [0-9]+ failed$|tests passed$/ { sub(/^end-to-end/, step ? step : "end-to-end"); all = all (all ? "; " : "") $0 }
        END { print all }' "$log")
    skips=$(grep -E '^skipped' "$log" | sed 's/^/      /')
    if [ "$status" = 0 ]; then summary+="PASS  $name"; else summary+="FAIL  $name"; failed=1; fi
    summary+="${counts:+: $counts}"$'\n'"${skips:+$skips$'\n'}"
}

for preset in ci plain sanitize; do
    suite "host suite, preset $preset" host_suite "$preset"
    if [ "${1:-all}" = host ]; then break; fi
done
if [ "${1:-all}" != host ]; then
    suite "fuzz targets" bash fuzz/run_fuzzers.sh 20
    suite "Linux install: manual pages and the Debian package" bash tests/linux/check_package.sh
    suite "Windows suite" bash tests/windows/run_windows_suite.sh
fi

echo "== summary"
printf '%s' "$summary"
exit "$failed"
