#!/usr/bin/env bash
# Installs, from Debian's packages (as root; safe to run again), what the tests need: the host
# suite's toolchain, GoogleTest, libedit and Python; then the packaging tools, clang with
# libFuzzer, mingw-w64 and Wine (32-bit under qemu-user), whose suites skip without them. An index
# that fails to download (a mirror mid-sync) stops nothing: the update is tried three times, then
# the lists at hand serve. It names what it could not install, and fails only for the host suite.
set -uo pipefail
export DEBIAN_FRONTEND=noninteractive
apt_get() { apt-get -o DPkg::Lock::Timeout=600 "$@"; }

# qemu-user from bookworm-backports: Debian 12's own qemu (7.2) takes about 70 s to start
# each Wine process, the backported one about 0.3 s.
backports=/etc/apt/sources.list.d/bookworm-backports.sources
if [ ! -e "$backports" ] && [ -e /etc/apt/sources.list.d/debian.sources ]; then
    uri=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources)
    printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: %s\n' \
        "$uri" /usr/share/keyrings/debian-archive-keyring.gpg >"$backports"
fi
dpkg --add-architecture i386
for try in 1 2 3; do
    apt_get update && break
    [ "$try" = 3 ] && echo "install_deps: apt-get update failed three times; going on with the lists at hand"
    [ "$try" = 3 ] || sleep 30
done

missing=()
# Installs the packages (after "-t SUITE", from that suite) together, or where that fails one by
# one, so that one that cannot be had keeps no other out. Nothing installed is removed for them:
# with an index missing, apt would take wine64 away to install wine32:i386.
install() {
    local from=()
    if [ "$1" = -t ]; then from=(-t "$2"); shift 2; fi
    apt_get install -y --no-remove --no-install-recommends "${from[@]}" "$@" && return
    local package
    for package in "$@"; do
        apt_get install -y --no-remove --no-install-recommends "${from[@]}" "$package" || missing+=("$package")
    done
}

host=(cmake make g++ libgtest-dev googletest libedit-dev python3)
install "${host[@]}"
host_missing=("${missing[@]}")
install dpkg-dev file lintian man-db locales util-linux clang libclang-rt-14-dev
install g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-posix \
    g++-mingw-w64-x86-64-win32 wine64
# The 32-bit exe runs under Wine's 32-bit loader, its i386 code emulated by qemu-user. While the
# i386 index is missing, wine32:i386 cannot install: the Windows suite then skips the 32-bit runs.
install wine32:i386
install -t bookworm-backports qemu-user

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

echo "install_deps: not installed: ${missing[*]:-nothing}"
[ "${#host_missing[@]}" = 0 ] || { echo "install_deps: the host suite cannot run without ${host_missing[*]}"; exit 1; }
