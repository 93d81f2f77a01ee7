#!/usr/bin/env bash
# Builds the 32-bit and 64-bit Windows programs with mingw-w64 and runs the whole suite
# against the 64-bit one under Wine with code page 932: the unit tests through CTest, the
# end-to-end cases on a mapped drive, and the checks of both executables.
set -euo pipefail
cd "$(dirname "$0")/../.."
source_dir=$PWD
jobs=$(nproc 2>/dev/null || echo 2)
wine=/usr/lib/wine/wine64
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
for preset in mingw32 mingw64; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
done
python3 tests/windows/check_exe.py build/mingw32/pcmconv.exe pe32 i686-w64-mingw32
python3 tests/windows/check_exe.py build/mingw64/pcmconv.exe pe32+ x86_64-w64-mingw32
(cd build/mingw32 && cpack -G ZIP >/dev/null)
python3 - <<'PY'
import sys, zipfile
names = sorted(zipfile.ZipFile("build/mingw32/pcmconv-1.00-win32.zip").namelist())
ok = names == ["LICENSE", "README.md", "pcmconv.exe"]
print(f"package {names}: {int(ok)} passed, {int(not ok)} failed")
sys.exit(0 if ok else 1)
PY

echo "== Wine set-up (code page 932)"
# Wine turns Shift_JIS names into file names only under a Japanese locale.
mkdir -p "$work/locale"
localedef -i ja_JP -f UTF-8 "$work/locale/ja_JP.UTF-8" 2>/dev/null || true
unset LC_ALL
export LOCPATH=$work/locale LANG=ja_JP.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$work/prefix
root=$work/drive
mkdir -p "$root"
chmod 777 "$root"
# The prefix must not exist before its first use, and the drive is linked only after the
# set-up has finished.
"$wine" wineboot -i >/dev/null 2>&1
"$wineserver" -w
ln -s "$root" "$WINEPREFIX/dosdevices/t:"
"$wineserver" -f -p </dev/null >/dev/null 2>&1 &

holder_args=(--holder "$source_dir/build/mingw64/tests/hold_file.exe")
user_args=()
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
    # root may open any file for writing under Wine: the read-only case runs as an
    # ordinary user with a prefix of that user's own.
    mkdir -p "$work/user" && chown 65534:65534 "$work/user"
    if as_user env WINEPREFIX="$user_prefix" "$wine" wineboot -i >/dev/null 2>&1; then
        as_user env WINEPREFIX="$user_prefix" "$wineserver" -w
        as_user ln -s "$root" "$user_prefix/dosdevices/t:"
        user_args=(--user-prefix "$user_prefix")
    fi
fi
# The first program of a new server starts Wine's services, which inherit its standard
# streams and keep them open: start them here with none, or a test runner that waits for
# the end of a program's output would wait for good.
"$wine" cmd /c exit </dev/null >/dev/null 2>&1

echo "== unit tests under Wine"
ctest --preset mingw64 -j "$jobs"

echo "== end-to-end under Wine"
python3 tests/e2e/run_e2e.py --program build/mingw64/pcmconv.exe --wine "$wine" --drive t \
    --root "$root" "${holder_args[@]}" "${user_args[@]}"
