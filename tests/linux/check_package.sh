#!/usr/bin/env bash
# The Linux install as a user meets it (as root): the manual pages draw no groff warning at 80 and
# 60 columns; the Debian package comes out the same twice, has no lintian error, installs with
# apt-get, converts the sample as /usr/bin/pcmconv, shows both pages, and goes without a trace.
set -euo pipefail
trap 'echo "FAIL line $LINENO of $0: $BASH_COMMAND"' ERR
cd "$(dirname "$0")/../.."
[ "$(id -u)" = 0 ] || { echo "skipped: the package checks install it, which needs root"; [ "${CI:-}" != true ]; exit; }
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)} LOCPATH=$(mktemp -d)
trap 'rm -rf "$LOCPATH"' EXIT
localedef -i ja_JP -f UTF-8 "$LOCPATH/ja_JP.UTF-8" 2>/dev/null || true
for width in 80 60; do
    [ -z "$(MANWIDTH=$width LANG=C.UTF-8 man --warnings -E UTF-8 -l pcmconv.1 2>&1 >/dev/null)" ]
    [ -z "$(MANWIDTH=$width LANG=ja_JP.UTF-8 man --warnings -E UTF-8 -l pcmconv.ja.1 2>&1 >/dev/null)" ]
done
cmake --preset package >/dev/null && cmake --build --preset package -j "$(nproc)" >/dev/null
deb=build/package/pcmconv_1.00-1_$(dpkg --print-architecture).deb
cpack --preset deb >/dev/null && cp "$deb" "$LOCPATH/first.deb" && cpack --preset deb >/dev/null
cmp "$deb" "$LOCPATH/first.deb"
lintian --fail-on error "$deb"
apt-get install -y "./$deb" >/dev/null
files=$(dpkg-deb -c "$deb" | awk '!/\/$/ { sub(/^\./, "", $6); print $6 }')
dpkg -L pcmconv >"$LOCPATH/listed"
for file in $files; do grep -qx "$file" "$LOCPATH/listed"; done
printf '%s\n' "$PWD/examples/tone.pcm" "$LOCPATH/out/tone.wav" | /usr/bin/pcmconv >/dev/null || [ $? = 21 ]
[ "$(stat -c %s "$LOCPATH/out/tone.wav")" = $(($(stat -c %s examples/tone.pcm) + 16)) ]
[ "$(man -w pcmconv) $(LANG=ja_JP.UTF-8 man -w pcmconv)" = "/usr/share/man/man1/pcmconv.1.gz /usr/share/man/ja/man1/pcmconv.1.gz" ]
apt-get remove -y pcmconv >/dev/null
for file in $files; do [ ! -e "$file" ]; done
echo "Debian package: passed"
