#!/usr/bin/env bash
# Builds the Windows programs with mingw-w64: the release exes (32-bit, the one we ship, and
# 64-bit) and for each the unit tests and test helpers. Checks the exes, and that two builds
# give the same exes and release zip, then runs the whole suite under Wine with code page
# 932 against both: the unit tests through CTest and the end-to-end cases on a mapped drive,
# and with the 32-bit exe a file past 4 GiB. The 32-bit programs run under Wine's 32-bit
# loader with i386 emulated by qemu-user; where that cannot run (tests/install_deps.sh sets it up
# where the package index allows), those runs are reported as skipped. Without mingw-w64 or Wine
# the suite is skipped whole.
set -euo pipefail
cd "$(dirname "$0")/../.."
for tool in {i686,x86_64}-w64-mingw32-g++-{win32,posix} /usr/lib/wine/wine64 localedef; do
    command -v "$tool" >/dev/null || { echo "skipped: the Windows suite (no $tool; tests/install_deps.sh installs it)"; exit 0; }
done
source_dir=$PWD
jobs=$(nproc 2>/dev/null || echo 2)
wine64=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver64

work=$(mktemp -d /tmp/pcmconv_wine.XXXXXX)
chmod 755 "$work"
user_prefix=$work/user/prefix
cleanup() {
    # End the servers, which takes their services with them, then the scratch folders.
    WINEPREFIX=$work/prefix "$wineserver" -k 2>/dev/null || true
    if [ -d "$user_prefix" ]; then
        as_user env WINEPREFIX="$user_prefix" "$wineserver" -k 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
as_user() { setpriv --reuid=65534 --regid=65534 --clear-groups env HOME="$work/user" "$@"; }

echo "== Windows builds (mingw-w64)"
for preset in mingw32 mingw64 mingw32-tests mingw64-tests; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done
python3 tests/windows/check_exe.py build/mingw32/pcmconv.exe pe32 i686-w64-mingw32
python3 tests/windows/check_exe.py build/mingw64/pcmconv.exe pe32+ x86_64-w64-mingw32
bash tests/windows/check_reproducible.sh

echo "== Wine set-up (code page 932)"
# Wine turns Shift_JIS names into file names only under a Japanese locale.
mkdir -p "$work/locale"
localedef -i ja_JP -f UTF-8 "$work/locale/ja_JP.UTF-8" 2>/dev/null || true
unset LC_ALL
export LOCPATH=$work/locale LANG=ja_JP.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$work/prefix
mkdir -p "$work/drive_t" "$work/drive_u"
chmod 777 "$work/drive_t" "$work/drive_u"
# The prefix must not exist before its first use, and the drives are linked only after the
# set-up has finished. With Wine's 32-bit loader installed the prefix runs both kinds of exe.
"$wine64" wineboot -i >/dev/null 2>&1
# A copy named pcmconv_xp.exe finds the version of Windows XP, which reads console lines as before.
"$wine64" reg add 'HKCU\Software\Wine\AppDefaults\pcmconv_xp.exe' /v Version /d winxp /f >/dev/null 2>&1
"$wineserver" -w
# Each exe gets a drive of its own: T: for the 64-bit one, U: for the 32-bit one.
for d in t u; do ln -s "$work/drive_$d" "$WINEPREFIX/dosdevices/$d:"; done
"$wineserver" -f -p </dev/null >/dev/null 2>&1 &

user_args=()
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
    # root may open any file for writing under Wine: the read-only case runs as an
    # ordinary user with a prefix of that user's own.
    mkdir -p "$work/user" && chown 65534:65534 "$work/user"
    if as_user env WINEPREFIX="$user_prefix" "$wine64" wineboot -i >/dev/null 2>&1; then
        as_user env WINEPREFIX="$user_prefix" "$wineserver" -w
        for d in t u; do as_user ln -s "$work/drive_$d" "$user_prefix/dosdevices/$d:"; done
        user_args=(--user-prefix "$user_prefix")
    fi
fi
# The first program of a new server starts Wine's services, which inherit its standard
# streams and keep them open: start them here with none, or a test runner that waits for
# the end of a program's output would wait for good.
"$wine64" cmd /c exit </dev/null >/dev/null 2>&1

bits=(64)
if [ -x "$wine32" ] && [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] &&
    timeout 300 "$wine32" cmd /c exit </dev/null >/dev/null 2>&1; then
    bits+=(32)
else
    echo "skipped: every run of the 32-bit exe, the release, and its tests (no Wine 32-bit loader" \
         "with i386 emulated by qemu-user here; tests/install_deps.sh sets it up where it can)"
fi

for bit in "${bits[@]}"; do
    wine=$wine64 drive=t large=()
    if [ "$bit" = 32 ]; then wine=$wine32 drive=u large=(--large); fi
    echo "== unit tests under Wine, ${bit}-bit"
    ctest --preset "mingw$bit-tests" -j "$jobs"
    echo "== end-to-end under Wine, ${bit}-bit release exe"
    python3 tests/e2e/run_e2e.py --program "build/mingw$bit/pcmconv.exe" --wine "$wine" \
        --drive "$drive" --root "$work/drive_$drive" "${user_args[@]}" "${large[@]}" \
        --holder "$source_dir/build/mingw$bit-tests/tests/hold_file.exe"
done
