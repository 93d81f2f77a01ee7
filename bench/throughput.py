#!/usr/bin/env python3
"""Throughput and peak memory of pcmconv against the fastest copies that make the same shift.

  bench/throughput.py --program build/default/pcmconv [--size-mib 1024] [--runs 11] [--dir DIR]
                      [--also NAME=PROGRAM ...]
  bench/throughput.py --program build/mingw64/pcmconv.exe --wine /usr/lib/wine/wine64

A PCM data file of --size-mib MiB is made in --dir (default: the system's temporary folder)
and read once so that it sits in the page cache. pcmconv copies its bytes from offset 28 to
offset 44 of the WAV file; the anchors copy the same bytes to the same offsets: dd with 256 KiB
blocks, and copy_file_range in 256 KiB steps (called from this script, so without a process
start of its own). cat, which copies a whole file from offset 0 to 0, is shown for reference
only. Each round runs every copier once, in turn, after a sync; the medians and the spread
(fastest-slowest) of --runs rounds are printed. Target: pcmconv at no less than 0.95 of the
fastest anchor (these machines vary by a third from run to run), and peak resident memory
(GNU time, Debian package time) independent of the input's size (within 1 MiB).

With --wine the program is a Windows exe run under that Wine loader, and the anchor is a Win32
copy that makes the same shift (bench/win32_copy.cpp: ReadFile and WriteFile in 256 KiB blocks,
built here with mingw-w64), run under the same Wine, each with a Wine start of its own. That
compares the exe with Win32 itself under Wine; it says nothing of Windows. Memory is not
measured there.
"""

import argparse
import os
import platform
import statistics
import subprocess
import sys
import tempfile
import time

MIB = 1 << 20
BLOCK = 256 * 1024


def make_pcm(path, size):
    header = b"PCM " + (size + 16).to_bytes(4, "little") + bytes(4) + bytes.fromhex(
        "01000200 44ac0000 10b10200 04001000".replace(" ", ""))
    block = bytes((i * 7 + 3) % 251 for i in range(MIB))
    with open(path, "wb") as f:
        f.write(header)
        left = size - len(header)
        while left > 0:
            f.write(block[:min(left, MIB)])
            left -= MIB


def run_process(command, stdin_bytes=None):
    """Wall time, CPU time (user + system) and exit status of a program."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdin=subprocess.PIPE if stdin_bytes is not None else subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if stdin_bytes is not None:
        process.stdin.write(stdin_bytes)
        process.stdin.close()
    _, status, usage = os.wait4(process.pid, 0)
    return time.perf_counter() - start, usage.ru_utime + usage.ru_stime, os.waitstatus_to_exitcode(status)


def copy_file_range_same_shift(source, target):
    """The kernel's copy from offset 28 to offset 44 in 256 KiB steps."""
    start, cpu = time.perf_counter(), time.process_time()
    with open(source, "rb") as i, open(target, "wb") as o:
        length = os.fstat(i.fileno()).st_size - 28
        at = 0
        while at < length:
            done = os.copy_file_range(i.fileno(), o.fileno(), min(BLOCK, length - at), 28 + at, 44 + at)
            if done <= 0:
                break
            at += done
    return time.perf_counter() - start, time.process_time() - cpu, 0


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def win32_anchor(wine, folder):
    """bench/win32_copy.cpp built for the Wine loader's kind of exe."""
    compiler = "x86_64-w64-mingw32-g++" if "64" in os.path.basename(wine) else "i686-w64-mingw32-g++"
    exe = os.path.join(folder, "win32_copy.exe")
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "win32_copy.cpp")
    subprocess.run([compiler, "-O2", "-static", source, "-o", exe], check=True)
    return exe


def copiers(programs, source, target, wine=None, anchor=None):
    if wine:
        lines = (windows_path(source) + "\r\n" + windows_path(target) + "\r\n").encode()
        table = {"Win32 copy, 28 to 44": lambda: run_process([wine, anchor, windows_path(source),
                                                               windows_path(target)])}
        for name, program in programs.items():
            table[name] = lambda program=program: run_process([wine, program], lines)
        return table
    lines = (source + "\n" + target + "\n").encode()
    table = {
        "dd bs=256k, 28 to 44": lambda: run_process(
            ["dd", f"if={source}", f"of={target}", "bs=256k", "iflag=skip_bytes", "oflag=seek_bytes",
             "skip=28", "seek=44", "status=none"]),
        "copy_file_range, 28 to 44": lambda: copy_file_range_same_shift(source, target),
        "cat (reference)": lambda: run_process(["sh", "-c", f'exec cat "{source}" > "{target}"']),
    }
    for name, program in programs.items():
        table[name] = lambda program=program: run_process([program], lines)
    return table


def measure(table, programs, target, runs):
    times = {name: [] for name in table}
    cpu = {name: [] for name in table}
    for _ in range(runs):
        for name, copy in table.items():
            if os.path.exists(target):
                os.remove(target)
            os.sync()  # no earlier run's write-back in this run's time
            seconds, cpu_seconds, code = copy()
            if code != (21 if name in programs else 0):
                sys.exit(f"{name} ended with {code}")
            times[name].append(seconds)
            cpu[name].append(cpu_seconds)
    os.remove(target)
    return times, cpu


def peak_memory(program, folder, size):
    """Peak resident memory (KiB) of pcmconv converting an input of `size` bytes, as GNU time
    reports it (a child of this script would count this script's own pages too)."""
    source = os.path.join(folder, f"mem_{size}.pcm")
    target = os.path.join(folder, f"mem_{size}.wav")
    make_pcm(source, size)
    report = os.path.join(folder, "time.txt")
    _, _, code = run_process(["/usr/bin/time", "-o", report, "-f", "%M", program],
                             (source + "\n" + target + "\n").encode())
    if code != 21:
        sys.exit(f"pcmconv ended with {code}")
    peak = int(open(report).read().split()[-1])
    for path in (source, target, report):
        os.remove(path)
    return peak


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--size-mib", type=int, default=1024)
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--dir", default=tempfile.gettempdir())
    parser.add_argument("--also", action="append", default=[], help="NAME=PROGRAM: another build, measured alike")
    parser.add_argument("--wine", help="Wine loader: the programs are Windows exes, the anchor a Win32 copy")
    args = parser.parse_args()
    programs = {"pcmconv": os.path.abspath(args.program)}
    programs.update((name, os.path.abspath(path)) for name, path in (a.split("=", 1) for a in args.also))
    folder = tempfile.mkdtemp(prefix="pcmconv_bench_", dir=args.dir)
    size = args.size_mib * MIB
    source = os.path.join(folder, "in.pcm")
    target = os.path.join(folder, "out.wav")
    try:
        make_pcm(source, size)
        subprocess.run(["cat", source], stdout=subprocess.DEVNULL, check=True)  # into the page cache
        anchor = win32_anchor(args.wine, folder) if args.wine else None
        table = copiers(programs, source, target, args.wine, anchor)
        times, cpu = measure(table, programs, target, args.runs)
        os.remove(source)
        if not args.wine:
            small = peak_memory(programs["pcmconv"], folder, MIB)
            large = peak_memory(programs["pcmconv"], folder, size)
    finally:
        for name in os.listdir(folder):
            os.remove(os.path.join(folder, name))
        os.rmdir(folder)

    medians = {name: statistics.median(t) for name, t in times.items()}
    print(f"machine: {platform.machine()}, {os.cpu_count()} cores, {platform.platform()}")
    print(f"input: {args.size_mib} MiB in the page cache, {args.runs} interleaved rounds; median (fastest-slowest)")
    for name, t in times.items():
        print(f"  {name:27s} {medians[name]:6.3f} s ({min(t):.3f}-{max(t):.3f})  "
              f"{size / MIB / medians[name]:6.0f} MiB/s  CPU {statistics.median(cpu[name]):6.3f} s")
    anchor = min(medians[name] for name in times if ", 28 to 44" in name)
    ratio = anchor / medians["pcmconv"]
    print(f"pcmconv throughput / fastest same-shift copy: {ratio:.2f} (target 0.95)")
    if args.wine:
        print("under Wine, against Win32 under Wine: not a measure of Windows; memory not measured")
        ok = ratio >= 0.95
    else:
        print(f"pcmconv peak resident memory: {small} KiB for 1 MiB, {large} KiB for {args.size_mib} MiB")
        ok = ratio >= 0.95 and large - small <= 1024
    print("targets met" if ok else "targets MISSED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
