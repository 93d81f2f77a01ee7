#!/usr/bin/env bash
# The Linux install as a user meets it: the manual pages draw no groff warning at 80 and 60
# columns; the Debian package, built twice from two folders, has the same bytes, no lintian
# error, installs with apt-get, converts the bundled sample as /usr/bin/pcmconv, shows its
# manual page in English and Japanese, and leaves nothing behind when removed. As root.
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ "$(id -u)" != 0 ]; then
    echo "skipped: the Debian package checks install it, which needs root"
    [ "${CI:-}" != true ]
    exit
fi
work=$(mktemp -d /tmp/pcmconv_deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
check() {
    if "${@:2}"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL $1"; fi
}

localedef -i ja_JP -f UTF-8 "$work/ja_JP.UTF-8" 2>/dev/null || true
export LOCPATH=$work
warnings() { for width in 80 60; do MANWIDTH=$width LANG=$1 man --warnings -E UTF-8 -l "$2" 2>&1 >/dev/null; done; }
check "groff warns on pcmconv.1" test -z "$(warnings C.UTF-8 pcmconv.1)"
check "groff warns on pcmconv.ja.1" test -z "$(warnings ja_JP.UTF-8 pcmconv.ja.1)"

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
for copy in first second-copy; do
    mkdir -p "$work/$copy"
    git ls-files -z | xargs -0 cp --parents -t "$work/$copy"
    (cd "$work/$copy" && cmake --preset package >/dev/null && cmake --build --preset package -j "$(nproc)" >/dev/null &&
        cpack --preset deb >/dev/null)
done
deb=build/package/pcmconv_1.00-1_$(dpkg --print-architecture).deb
check "two builds give two .deb files" cmp "$work/first/$deb" "$work/second-copy/$deb"
check "lintian finds errors" lintian --fail-on error "$work/first/$deb"

apt-get install -y "$work/first/$deb" >/dev/null
dpkg -L pcmconv | sort >"$work/listed"
dpkg-deb -c "$work/first/$deb" | awk '{ sub(/^\./, "", $6); sub(/\/$/, "", $6); print $6 }' | sort >"$work/packed"
check "dpkg -L does not list what the package holds" cmp -s "$work/listed" <(grep -vx '' "$work/packed" | sort)
printf '%s\n' "$PWD/examples/tone.pcm" "$work/out/tone.wav" | /usr/bin/pcmconv >/dev/null && status=0 || status=$?
check "the sample gives $status, not a WAV file" test "$status" = 21 -a \
    "$(stat -c %s "$work/out/tone.wav")" = $(($(stat -c %s examples/tone.pcm) + 16))
check "man -w pcmconv" test "$(man -w pcmconv)" = /usr/share/man/man1/pcmconv.1.gz
check "man -w pcmconv in Japanese" test "$(LANG=ja_JP.UTF-8 man -w pcmconv)" = /usr/share/man/ja/man1/pcmconv.1.gz
apt-get remove -y pcmconv >/dev/null
left=$(while read -r path; do if [ -f "$path" ] || [ -L "$path" ]; then echo "$path"; fi; done <"$work/listed")
check "apt-get remove leaves $left" test -z "$left"
echo "Debian package: $passed passed, $failed failed"
[ "$failed" = 0 ]
