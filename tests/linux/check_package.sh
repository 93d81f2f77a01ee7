#!/usr/bin/env bash
# The Linux install as a user meets it (as root): the manual pages draw no groff warning and no
# line past the width at 80 and 60 columns; the READMEs' transcripts show the version; `cmake --install` elsewhere than the package installs
# no Debian file; the Debian package comes out the same twice, has no lintian error, installs with
# apt-get, converts the sample as /usr/bin/pcmconv, shows both pages, and goes without a trace.
set -euo pipefail
trap 'echo "FAIL line $LINENO of $0: $BASH_COMMAND"' ERR
cd "$(dirname "$0")/../.."
[ "$(id -u)" = 0 ] || { echo "skipped: the Debian package (installing it needs root)"; exit 0; }
for tool in dpkg-shlibdeps file lintian man localedef; do
    command -v "$tool" >/dev/null || { echo "skipped: the Debian package (no $tool; tests/install_deps.sh installs it)"; exit 0; }
done
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)} LOCPATH=$(mktemp -d)
trap 'rm -rf "$LOCPATH"' EXIT
localedef -i ja_JP -f UTF-8 "$LOCPATH/ja_JP.UTF-8" 2>/dev/null || true
cmake --preset package >/dev/null && cmake --build --preset package -j "$(nproc)" >/dev/null
# Fails where a line is wider than the columns given (East Asian wide characters take two), or holds
# a blank after 、 or before ）, which a line break of the page's source made.
widest='import sys, unicodedata as u
sys.exit(any(sum(1 + (u.east_asian_width(c) in "WF") for c in l.rstrip("\n").expandtabs()) > int(sys.argv[1]) or "、 " in l or " ）" in l for l in sys.stdin))'
for width in 80 60; do
    for page in "C.UTF-8 build/package/pcmconv.1" "ja_JP.UTF-8 build/package/pcmconv.ja.1"; do
        set -- $page
        [ -z "$(MANWIDTH=$width LANG=$1 man --warnings -E UTF-8 -l "$2" 2>&1 >/dev/null)" ]
        MANWIDTH=$width LANG=$1 man -E UTF-8 -l "$2" 2>/dev/null | col -b | python3 -c "$widest" "$width"
    done
done
cmake --install build/package --prefix "$LOCPATH/prefix" >/dev/null
[ -z "$(find "$LOCPATH/prefix" -name 'changelog*' -o -name copyright)" ]
version=$(sed -n 's/^project(pcmconv VERSION \([0-9]*\.[0-9]*\).*/\1/p' CMakeLists.txt)
grep -q "Ver$version\$" README.md && grep -q "Ver$version\$" README.ja.md  # the transcripts show this version
deb=build/package/pcmconv_$version-1_$(dpkg --print-architecture).deb
cpack --preset deb >/dev/null && cp "$deb" "$LOCPATH/first.deb" && cpack --preset deb >/dev/null
cmp "$deb" "$LOCPATH/first.deb"
lintian --fail-on error "$deb"
apt-get -o DPkg::Lock::Timeout=600 install -y "./$deb" >/dev/null
files=$(dpkg-deb -c "$deb" | awk '!/\/$/ { sub(/^\./, "", $6); print $6 }')
dpkg -L pcmconv >"$LOCPATH/listed"
for file in $files; do grep -qx "$file" "$LOCPATH/listed"; done
printf '%s\n' "$PWD/examples/tone.pcm" "$LOCPATH/out/tone.wav" | /usr/bin/pcmconv >/dev/null || [ $? = 21 ]
[ "$(stat -c %s "$LOCPATH/out/tone.wav")" = $(($(stat -c %s examples/tone.pcm) + 16)) ]
[ "$(man -w pcmconv) $(LANG=ja_JP.UTF-8 man -w pcmconv)" = "/usr/share/man/man1/pcmconv.1.gz /usr/share/man/ja/man1/pcmconv.1.gz" ]
apt-get -o DPkg::Lock::Timeout=600 remove -y pcmconv >/dev/null
for file in $files; do [ ! -e "$file" ]; done
echo "Debian package: passed"
