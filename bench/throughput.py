#!/usr/bin/env python3
"""Throughput and peak memory of pcmconv against cat and dd bs=256k on the same bytes.

  bench/throughput.py --program build/default/pcmconv [--size-mib 1024] [--runs 5] [--dir DIR]

A PCM data file of --size-mib MiB is made in --dir (default: the system's temporary folder)
and read once so that it sits in the page cache. Each copier then runs --runs times; the
medians are printed. Peak resident memory of pcmconv is taken for a 1 MiB input and for the
full-size one (with GNU time, Debian package time). Targets: pcmconv at no less than 0.9 of the faster of cat and dd, and peak
memory independent of the input's size (within 1 MiB).
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


def run_timed(command, stdin_bytes=None, stdout_path=None):
    """Wall time, CPU time (user + system), peak resident memory (KiB) and exit status."""
    stdin = subprocess.PIPE if stdin_bytes is not None else subprocess.DEVNULL
    out = open(stdout_path, "wb") if stdout_path else subprocess.DEVNULL
    start = time.perf_counter()
    process = subprocess.Popen(command, stdin=stdin, stdout=out, stderr=subprocess.DEVNULL)
    if stdin_bytes is not None:
        process.stdin.write(stdin_bytes)
        process.stdin.close()
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    if stdout_path:
        out.close()
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_maxrss, os.waitstatus_to_exitcode(status)


def pcmconv_command(program, source, target):
    lines = (source + "\n" + target + "\n").encode()
    return [program], lines


def measure(program, source, target, runs):
    results = {"cat": [], "dd bs=256k": [], "pcmconv": []}
    cpu = {name: [] for name in results}
    for _ in range(runs):
        for name in results:
            if os.path.exists(target):
                os.remove(target)
            os.sync()  # no earlier run's write-back in this run's time
            if name == "cat":
                elapsed, seconds, _, code = run_timed(["cat", source], stdout_path=target)
            elif name == "dd bs=256k":
                elapsed, seconds, _, code = run_timed(["dd", f"if={source}", f"of={target}", "bs=256k", "status=none"])
            else:
                command, lines = pcmconv_command(program, source, target)
                elapsed, seconds, _, code = run_timed(command, stdin_bytes=lines)
                if code != 21:
                    sys.exit(f"pcmconv ended with {code}")
            results[name].append(elapsed)
            cpu[name].append(seconds)
    os.remove(target)
    return ({name: statistics.median(times) for name, times in results.items()},
            {name: statistics.median(times) for name, times in cpu.items()})


def peak_memory(program, folder, size):
    """Peak resident memory (KiB) of pcmconv converting an input of `size` bytes, as GNU time
    reports it (a child of this script would count this script's own pages too)."""
    source = os.path.join(folder, f"mem_{size}.pcm")
    target = os.path.join(folder, f"mem_{size}.wav")
    make_pcm(source, size)
    report = os.path.join(folder, "time.txt")
    _, _, _, code = run_timed(["/usr/bin/time", "-o", report, "-f", "%M", program],
                              stdin_bytes=(source + "\n" + target + "\n").encode())
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
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--dir", default=tempfile.gettempdir())
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    folder = tempfile.mkdtemp(prefix="pcmconv_bench_", dir=args.dir)
    size = args.size_mib * MIB
    source = os.path.join(folder, "in.pcm")
    target = os.path.join(folder, "out.wav")
    try:
        make_pcm(source, size)
        subprocess.run(["cat", source], stdout=subprocess.DEVNULL, check=True)  # into the page cache
        medians, cpu = measure(program, source, target, args.runs)
        os.remove(source)
        small = peak_memory(program, folder, MIB)
        large = peak_memory(program, folder, size)
    finally:
        for name in os.listdir(folder):
            os.remove(os.path.join(folder, name))
        os.rmdir(folder)

    print(f"machine: {platform.machine()}, {os.cpu_count()} cores, {platform.platform()}")
    print(f"input: {args.size_mib} MiB in the page cache, {args.runs} runs each, medians")
    for name, seconds in medians.items():
        print(f"  {name:12s} {seconds:7.3f} s  {size / MIB / seconds:8.0f} MiB/s   CPU {cpu[name]:6.3f} s")
    fastest = min(medians["cat"], medians["dd bs=256k"])
    ratio = fastest / medians["pcmconv"]
    print(f"pcmconv throughput / faster of cat and dd: {ratio:.2f} (target 0.90)")
    print(f"pcmconv peak resident memory: {small} KiB for 1 MiB, {large} KiB for {args.size_mib} MiB")
    ok = ratio >= 0.9 and large - small <= 1024
    print("targets met" if ok else "targets MISSED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
