#!/usr/bin/env bash
# Builds the libFuzzer targets (clang) and runs each for a bounded time, starting from the
# committed seed corpora. New inputs go to a scratch folder, not into the repository. Skipped
# where clang cannot link libFuzzer (clang and libclang-rt-14-dev, from tests/install_deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, long) { return 0; }' | clang++ -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null ||
    { echo "skipped: the fuzz targets (clang cannot link libFuzzer here; tests/install_deps.sh installs it)"; exit 0; }
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
work=$(mktemp -d /tmp/pcmconv_fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
for target in line_reader folder_plan size_field_codec terminal_keys; do
    mkdir -p "$work/$target"
    if build/fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$work/" "$work/$target" "fuzz/corpus/$target" >"$work/$target.log" 2>&1; then
        passed=$((passed + 1))
        echo "fuzz_$target: $(grep -E '^stat::number_of_executed_units' "$work/$target.log" | awk '{print $2}') runs, clean"
    else
        failed=$((failed + 1))
        tail -40 "$work/$target.log"
        for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-*; do
            [ -e "$crash" ] && echo "input: $(od -An -tx1 "$crash" | tr -d '\n' | head -c 2000)"
        done
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" = 0 ]
