#!/usr/bin/env python3
"""Checks a built pcmconv.exe: its PE kind (PE32 or PE32+), that it imports only DLLs that
Windows ships (and the 32-bit one only functions that Windows XP SP3 has), and its version
record, read back with windres.

  check_exe.py EXE {pe32|pe32+} TOOL_PREFIX   (e.g. i686-w64-mingw32)
"""

import os
import re
import struct
import subprocess
import sys

# The version, from its one place: project() in CMakeLists.txt.
_project = open(os.path.join(os.path.dirname(__file__), "..", "..", "CMakeLists.txt")).read()
MAJOR, MINOR, BUILD = re.search(r"project\(pcmconv VERSION (\d+)\.(\d+)\.(\d+)", _project).groups()

SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "ucrtbase.dll"}
# What the 32-bit exe may import: each of these is in Windows XP SP3. KERNEL32: minimum
# supported client Windows 2000 or XP (GetConsoleProcessList, PeekConsoleInputW, FindFirstFileW,
# GetVersionExW, ReadConsoleInputW, FillConsoleOutputCharacterW, SetConsoleMode, LCMapStringW) in
# Microsoft's documentation.
# msvcrt: functions of the Visual C++ 6 run time that XP's msvcrt.dll exports. A new import
# is a decision: check it before it goes on the list.
XP_SP3_IMPORTS = {
    "kernel32.dll": set("""
        CloseHandle CreateDirectoryA CreateFileA CreateSemaphoreW DeleteCriticalSection
        EnterCriticalSection ExitProcess FillConsoleOutputCharacterW FindClose FindFirstFileW
        FindNextFileW FlushConsoleInputBuffer FreeLibrary GetACP GetConsoleScreenBufferInfo
        GetVersionExW ReadConsoleInputW
        GetConsoleMode GetConsoleProcessList GetCurrentThreadId GetFileInformationByHandle
        GetFileSize GetFileType GetLastError GetModuleHandleA GetModuleHandleW
        GetProcAddress GetStartupInfoA GetStdHandle GlobalAlloc GlobalFree GlobalHandle
        InitializeCriticalSection IsDBCSLeadByteEx LCMapStringW LeaveCriticalSection LoadLibraryA
        LoadLibraryW LockFileEx MultiByteToWideChar PeekConsoleInputW ReadConsoleW ReleaseSemaphore
        SetConsoleCtrlHandler SetConsoleMode SetLastError SetUnhandledExceptionFilter Sleep TlsAlloc
        TlsFree TlsGetValue TlsSetValue VirtualProtect VirtualQuery WaitForSingleObject
        WideCharToMultiByte WriteConsoleW""".split()),
    "msvcrt.dll": set("""
        __getmainargs __initenv __mb_cur_max __p__acmdln __p__commode __p__fmode __set_app_type
        __setusermatherr _amsg_exit _cexit _chsize _close _errno _fdopen _filelengthi64 _fileno _fsopen
        _get_osfhandle _initterm _iob _onexit _open_osfhandle _read _setmode abort atoi calloc clearerr exit
        fclose ferror fflush fgetpos fprintf fputc fputs fread free fsetpos fwrite getc
        localeconv malloc memchr memcmp memcpy memmove memset putc realloc setlocale setvbuf
        signal strchr strcmp strerror strlen strncmp strncpy ungetc vfprintf wcslen""".split()),
}
EXPECTED_VALUES = {
    "FileVersion": f'"{MAJOR}.{int(MINOR):03}.{BUILD}"',
    "ProductVersion": f'"{MAJOR}.{MINOR}"',
    "OriginalFilename": '"pcmconv.exe"',
    "ProductName": '"pcmconv"',
}


def pe_kind(path):
    data = open(path, "rb").read(4096)
    if data[:2] != b"MZ":
        return "not PE"
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[offset:offset + 4] != b"PE\0\0":
        return "not PE"
    magic = struct.unpack_from("<H", data, offset + 24)[0]
    return {0x10B: "pe32", 0x20B: "pe32+"}.get(magic, hex(magic))


def main():
    exe, kind, prefix = sys.argv[1:4]
    problems = []
    if pe_kind(exe) != kind:
        problems.append(f"PE kind {pe_kind(exe)}, want {kind}")

    dump = subprocess.run([prefix + "-objdump", "-p", exe], capture_output=True, text=True).stdout
    imports = []
    for line in dump.splitlines():
        if "DLL Name:" in line:
            dll = line.split(":", 1)[1].strip().lower()
            imports.append((dll, None))
        elif imports and re.fullmatch(r"\s+[0-9a-f]+\s+\d+\s+\S+", line):
            imports.append((dll, line.split()[-1]))
    dlls = {dll for dll, _ in imports}
    if not dlls or not dlls <= SYSTEM_DLLS:
        problems.append(f"imports {sorted(dlls)}")
    if kind == "pe32":
        newer = [f"{dll}!{name}" for dll, name in imports
                 if name and name not in XP_SP3_IMPORTS.get(dll, ())]
        if newer or len(imports) == len(dlls):
            problems.append(f"imports beyond Windows XP SP3: {newer or 'none read'}")

    record = subprocess.run([prefix + "-windres", "-i", exe, "-O", "rc"], capture_output=True,
                            text=True).stdout
    lines = [line.strip() for line in record.splitlines()]
    for name, value in EXPECTED_VALUES.items():
        if f'VALUE "{name}", {value}' not in lines:
            problems.append(f"{name} is not {value}")
    if 'BLOCK "041104b0"' not in lines:
        problems.append("no Japanese Unicode string block 041104b0")
    if 'VALUE "Translation", 0x411, 1200' not in lines:
        problems.append("translation entry is not 0x411, 1200")
    if not any(line.startswith('VALUE "FileDescription", ') for line in lines):
        problems.append("no file description")

    for problem in problems:
        print(f"FAIL {exe}: {problem}")
    print(f"{exe}: {0 if problems else 1} passed, {1 if problems else 0} failed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
