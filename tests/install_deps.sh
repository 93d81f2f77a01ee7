#!/usr/bin/env bash
# Installs, from Debian's packages, everything the tests need: the host toolchain, GoogleTest,
# libedit (the line editor), the Debian packaging tools with lintian and man, clang with
# libFuzzer, mingw-w64, Wine (64-bit, and 32-bit under qemu-user for the release exe), and the
# locale sources (run as root). Safe to run again.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

# qemu-user from bookworm-backports: Debian 12's own qemu (7.2) takes about 70 s to start
# each Wine process, the backported one about 0.3 s.
backports=/etc/apt/sources.list.d/bookworm-backports.sources
if [ ! -e "$backports" ] && [ -e /etc/apt/sources.list.d/debian.sources ]; then
    uri=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources)
    printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: %s\n' \
        "$uri" /usr/share/keyrings/debian-archive-keyring.gpg >"$backports"
fi
dpkg --add-architecture i386
apt-get update
apt-get install -y --no-install-recommends \
  cmake make g++ libgtest-dev googletest libedit-dev python3 \
  dpkg-dev lintian man-db \
  clang libclang-rt-14-dev \
  g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 \
  g++-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-win32 \
  wine64 locales util-linux
# The 32-bit exe runs under Wine's 32-bit loader, its i386 code emulated by qemu-user. Where
# either cannot be had, the Windows suite reports the 32-bit runs as skipped.
apt-get install -y --no-install-recommends wine32:i386 ||
    echo "install_deps: wine32:i386 not installed; the 32-bit exe will not run"
apt-get install -y --no-install-recommends -t bookworm-backports qemu-user ||
    echo "install_deps: no qemu-user from bookworm-backports; the 32-bit exe will not run"

# Hand i386 programs to qemu (Debian registers nothing for i386 on an x86_64 host).
binfmt=/proc/sys/fs/binfmt_misc
if [ -x /usr/bin/qemu-i386 ]; then
    [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" ||
        echo "install_deps: binfmt_misc cannot be mounted"
    if [ -e "$binfmt/register" ] && [ ! -e "$binfmt/qemu-i386" ]; then
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
            >"$binfmt/register" || echo "install_deps: i386 cannot be registered with binfmt_misc"
    fi
fi
