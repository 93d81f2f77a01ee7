#!/usr/bin/env bash
# Builds the release twice, from copies of the source in two folders, a second apart, and
# compares the bytes of both exes and the zip; checks what the zip holds.
set -euo pipefail
cd "$(dirname "$0")/../.."
work=$(mktemp -d /tmp/pcmconv_repro.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The copies have no history: the zip takes the commit's time from here. The exes are built
# without it, as a plain build is.
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}
unset SOURCE_DATE_EPOCH
for copy in first second-copy; do
    mkdir -p "$work/$copy"
    git ls-files -z | xargs -0 cp --parents -t "$work/$copy"
    for preset in mingw32 mingw64; do
        (cd "$work/$copy" && cmake --preset "$preset" >/dev/null &&
            cmake --build --preset "$preset" -j "$(nproc)" >/dev/null &&
            SOURCE_DATE_EPOCH=$epoch cmake --build --preset "$preset" --target release >/dev/null)
    done
    sleep 1
done
version=$(sed -n 's/^project(pcmconv VERSION \([0-9]*\.[0-9]*\).*/\1/p' CMakeLists.txt)
zip=pcmconv-$version-win32.zip
passed=0
failed=0
for file in mingw32/pcmconv.exe mingw64/pcmconv.exe "mingw32/$zip"; do
    if cmp -s "$work/first/build/$file" "$work/second-copy/build/$file"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL $file differs between two builds"
    fi
done
# The zip holds the exe, the sample and two texts that Notepad shows right: a byte-order mark, CR LF
# lines; the guide's lines under 100 columns (wide characters two), no Markdown.
notepad='import sys, zipfile, unicodedata as u; z = zipfile.ZipFile(sys.argv[1]); texts = [z.read(n) for n in z.namelist()[1:3]]
sys.exit(z.namelist() != ["pcmconv.exe", "README.txt", "LICENSE.txt", "tone.pcm"] or b"](" in texts[0] or b"`" in texts[0] or any(sum(1 + (u.east_asian_width(c) in "WF") for c in l) >= 100 for l in texts[0].decode("utf-8-sig").splitlines())
         or not all(t.startswith(b"\xef\xbb\xbf") and t.count(b"\n") == t.count(b"\r\n") > 9 for t in texts))'
(cd "$work/first/build/mingw32" && python3 -c "$notepad" "$zip") && passed=$((passed + 1)) ||
    { failed=$((failed + 1)); echo "FAIL the zip does not hold pcmconv.exe, its guide and LICENSE.txt for Notepad, and tone.pcm"; }
echo "reproducible release: $passed passed, $failed failed"
[ "$failed" = 0 ]
