#!/usr/bin/env python3
"""End-to-end cases for the built converter: typed lines in, console bytes, exit status,
files and folders out, each compared byte for byte.

  run_e2e.py --program build/ci/pcmconv
  run_e2e.py --program build/mingw64/pcmconv.exe --wine /usr/lib/wine/wine64 --drive t \
             --root DIR [--holder hold_file.exe] [--user-prefix PREFIX]

With --wine the program runs under Wine; the scratch folder --root is the Windows drive
given by --drive (the caller maps it in every prefix), so the typed paths are Windows
paths. --holder is a Windows program that holds a file open; --user-prefix is a Wine prefix
of the ordinary user (uid 65534) for the cases that must not run as root.
"""

import argparse
import os
import shutil
import stat
import subprocess
import sys
import tempfile

# The texts as the user reads them; the program must write their code page 932 bytes.
BANNER = "PCMデータをWAVファイルに変換します Ver1.00"
PCM_PROMPT = "\n\nPCMデータのファイル名をフルパスで指定\nPcmData--->"
OUTPUT_PROMPT = "\n出力ファイル名を名をフルパスで指定\nPcmData--->"
CONVERTING = "\n変換中..."
DONE = "正常に終了しました"
NO_INPUT = "指定されたファイルがありません"
WRITE_FAILED = "出力ファイルに書き込めません"
SAME_FILE = "入力と出力に同じファイルが指定されています"
READ_FAILED = "PCMデータを読み込めません"

# Names whose second bytes are 0x5C, after the lead bytes 0x95, 0x83, 0x9F and 0xE0.
HYO = "表".encode("cp932")
SOFUTO = "ソフト".encode("cp932")
SOU = "歃".encode("cp932")
SHUN = "濬".encode("cp932")


def console_bytes(result, locale="C"):
    """Under a UTF-8 locale the Linux program writes UTF-8 with LF; otherwise, and always on
    Windows, the Shift_JIS bytes with CR LF."""
    text = BANNER + PCM_PROMPT + OUTPUT_PROMPT + CONVERTING + "..." + result
    if locale.endswith("UTF-8"):
        return text.encode("utf-8")
    return text.encode("cp932").replace(b"\n", b"\r\n")


def exit_status(result):
    return 3 + len(result.encode("cp932"))


def pcm_file(samples, size_field=None, fmt=b"\x01\x00\x02\x00\x44\xac\x00\x00\x10\xb1\x02\x00\x04\x00\x10\x00"):
    if size_field is None:
        size_field = len(samples) + 36
    return b"NOPE" + size_field.to_bytes(4, "little") + b"\x99\x00\x00\x00" + fmt + samples


def wav_file(pcm):
    """What the WAV file must hold for `pcm`, worked out here independently."""
    head = pcm[:28].ljust(28, b"\x00")
    size_field = int.from_bytes(head[4:8], "little")
    data_length = (size_field - 44) % 2**32
    return (b"RIFF" + head[4:8] + b"WAVEfmt \x10" + head[9:28] + b"data"
            + data_length.to_bytes(4, "little") + pcm[28:])


SAMPLES = bytes((i * 37 + 11) % 256 for i in range(5000)) + b"\n\r\n\x1a"
PCM = pcm_file(SAMPLES)


class Runner:
    def __init__(self, args):
        self.program = os.path.abspath(args.program)
        self.wine = args.wine
        self.drive = args.drive
        self.root = args.root or tempfile.mkdtemp(prefix="pcmconv_e2e_")
        self.windows = bool(args.wine)
        self.holder = args.holder
        self.user_prefix = args.user_prefix
        self.passed = 0
        self.failed = 0
        self.sjis_env = None if self.windows else shift_jis_locale(self.root)

    # Paths: `rel` uses "/" between its parts; the typed form uses "\\", which the program
    # reads as a separator on every system.
    def host(self, case, rel=""):
        if isinstance(rel, bytes):  # a name in Shift_JIS bytes, as a Linux file system keeps it
            return os.path.join(os.fsencode(self.root), case.encode(), *[p for p in rel.split(b"/") if p])
        return os.path.join(self.root, case, *[p for p in rel.split("/") if p])

    def name(self, text):
        """How a Japanese file name appears on the host: Wine stores it in UTF-8; Linux keeps
        the Shift_JIS bytes the program was given."""
        return text if self.windows else text.encode("cp932")

    def typed(self, case, rel):
        rel_bytes = rel.encode("utf-8") if isinstance(rel, str) else rel
        if self.windows:
            return (self.drive.upper() + ":\\" + case + "\\").encode() + rel_bytes.replace(b"/", b"\\")
        return (os.path.join(self.root, case) + "\\").encode() + rel_bytes.replace(b"/", b"\\")

    def typed_line(self, case, line):
        """A line inside the case folder, typed with CR LF; one that starts with "=" is typed
        as it stands."""
        if isinstance(line, str) and line.startswith("="):
            return line[1:].encode() + b"\r\n"
        return self.typed(case, line) + b"\r\n"

    def locale_env(self, locale):
        """The environment for a Linux run under `locale` ("sjis": the private Shift_JIS one);
        Wine's own environment for a Windows run."""
        if self.windows:
            return None
        env = {k: v for k, v in os.environ.items() if not k.startswith("LC_") and k != "LANG"}
        env.update(self.sjis_env if locale == "sjis" else {"LC_ALL": locale})
        return env

    def run(self, stdin_bytes, via_pipe=False, as_user=False, file_size_limit=None, locale="C"):
        command = [self.wine, self.program] if self.wine else [self.program]
        env = self.locale_env(locale)
        if as_user and self.can_run_as_user():
            # root opens any file for writing; an ordinary user shows what the probe asks.
            wine_env = ["env", "WINEPREFIX=" + self.user_prefix] if self.wine else []
            command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + wine_env + command
        # Output goes to files, not pipes: Wine's helper processes inherit the pipes and
        # would hold them open after the program has ended.
        with tempfile.TemporaryFile() as stdin_file, tempfile.TemporaryFile() as out, \
                tempfile.TemporaryFile() as err:
            if via_pipe:
                process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=out, stderr=err,
                                           env=env, preexec_fn=limit_file_size(file_size_limit))
                try:
                    process.stdin.write(stdin_bytes)
                    process.stdin.close()
                except BrokenPipeError:
                    pass
            else:
                stdin_file.write(stdin_bytes)
                stdin_file.seek(0)
                process = subprocess.Popen(command, stdin=stdin_file, stdout=out, stderr=err,
                                           env=env, preexec_fn=limit_file_size(file_size_limit))
            try:
                status = process.wait(timeout=60)
            except subprocess.TimeoutExpired:
                process.kill()
                status = "hung"
            out.seek(0)
            err.seek(0)
            return status, out.read(), err.read()

    def can_run_as_user(self):
        if os.geteuid() != 0 or not shutil.which("setpriv") or (self.wine and not self.user_prefix):
            return False
        probe = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "test", "-r", self.program]
        if subprocess.run(probe).returncode != 0:
            print(f"note: {self.program} is out of an ordinary user's reach; running as root")
            return False
        return True

    def hold_open(self, case, rel):
        """Starts the holder on a file of the case; returns it, holding."""
        holder = subprocess.Popen([self.wine, self.holder, self.typed(case, rel)],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        holder.stdout.readline()
        return holder

    def check(self, name, ok, detail):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print(f"FAIL {name}: {detail}")

    def case(self, name, lines=None, stdin=None, files=None, folders=(), result=DONE,
             expect_files=None, expect_folders=(), absent=(), via_pipe=False, before=None,
             windows_only=False, posix_only=False, as_user=False, held=None, file_size_limit=None,
             locale="C"):
        if (windows_only and not self.windows) or (posix_only and self.windows):
            return
        if locale == "sjis" and not self.windows and not self.sjis_env:
            print(f"skipped: {name} (no Shift_JIS locale could be built here)")
            return
        case = "c%03d" % (self.passed + self.failed)
        base = self.host(case)
        os.makedirs(base, exist_ok=True)
        for folder in folders:
            os.makedirs(self.host(case, folder), exist_ok=True)
        for rel, content in (files or {}).items():
            with open(self.host(case, rel), "wb") as f:
                f.write(content)
        if before:
            before(self, case)
        if stdin is None:
            stdin = b"".join(self.typed_line(case, line) for line in lines)
        elif callable(stdin):
            stdin = stdin(self, case)
        if as_user:
            for dirpath in (self.root, base):
                os.chmod(dirpath, 0o777)
        holder = self.hold_open(case, held) if held else None
        try:
            status, out, err = self.run(stdin, via_pipe, as_user, file_size_limit, locale)
        finally:
            if holder:
                holder.stdin.close()
                holder.wait(timeout=30)
        problems = []
        want = console_bytes(result, "C" if self.windows else locale)
        if out != want:
            problems.append(f"console bytes\n  got  {out!r}\n  want {want!r}")
        if status != exit_status(result):
            problems.append(f"exit status {status}, want {exit_status(result)}")
        if err:
            problems.append(f"standard error {err!r}")
        for rel, content in (expect_files or {}).items():
            path = self.host(case, rel)
            got = open(path, "rb").read() if os.path.isfile(path) else None
            if got != content:
                problems.append(f"file {rel}: {len(got) if got is not None else 'missing'} bytes, "
                                f"want {len(content)}; first difference at "
                                f"{first_difference(got or b'', content)}")
        for rel in expect_folders:
            if not os.path.isdir(self.host(case, rel)):
                problems.append(f"folder {rel} missing")
        for rel in absent:
            if os.path.lexists(self.host(case, rel)):
                problems.append(f"{rel} should not exist")
        self.check(name, not problems, "; ".join(problems))


def limit_file_size(limit):
    if limit is None:
        return None

    def apply():
        import resource
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return apply


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


def cases(r):
    # The dialogue speaks the locale's encoding on Linux; the exit status is the same in all.
    for locale in ("C",) if r.windows else ("C", "C.UTF-8", "sjis"):
        r.case(f"converts, CR LF lines from a file ({locale})", ["in.pcm", "out.wav"], files={"in.pcm": PCM},
               expect_files={"out.wav": wav_file(PCM), "in.pcm": PCM}, locale=locale)
        r.case(f"missing input: folder still made ({locale})", ["missing.pcm", "new/out.wav"],
               result=NO_INPUT, expect_folders=["new"], absent=["new/out.wav"], locale=locale)
        r.case(f"same file refused ({locale})", ["in.pcm", "in.pcm"], files={"in.pcm": PCM},
               result=SAME_FILE, expect_files={"in.pcm": PCM}, locale=locale)
    r.case("converts, LF lines and no final line end from a pipe", via_pipe=True,
           stdin=lambda r, c: r.typed(c, "in.pcm") + b"\n" + r.typed(c, "out.wav"),
           files={"in.pcm": PCM}, expect_files={"out.wav": wav_file(PCM)})
    short = b"RIFF\x30\x01"
    r.case("input shorter than its header", ["in.pcm", "out.wav"], files={"in.pcm": short},
           expect_files={"out.wav": wav_file(short)})
    r.case("existing output is replaced", ["in.pcm", "out.wav"],
           files={"in.pcm": PCM, "out.wav": b"x" * 9000}, expect_files={"out.wav": wav_file(PCM)})
    r.case("empty standard input", stdin=b"", result=NO_INPUT)
    r.case("empty standard input, pipe", stdin=b"", result=NO_INPUT, via_pipe=True)
    r.case("one line only: the output path stays empty",
           stdin=lambda r, c: r.typed(c, "in.pcm"), files={"in.pcm": PCM}, result=WRITE_FAILED)
    r.case("input path names a folder", ["dir.pcm", "out.wav"], folders=["dir.pcm"],
           files={"out.wav": b"keep"}, result=NO_INPUT, expect_files={"out.wav": b"keep"})
    r.case("folder chain made from nothing", ["in.pcm", "a/b/c/d/out.wav"], files={"in.pcm": PCM},
           expect_files={"a/b/c/d/out.wav": wav_file(PCM)})
    r.case("existing folders change nothing", ["in.pcm", "a/b/out.wav"], files={"in.pcm": PCM, "a/b/keep": b"k"},
           folders=["a/b"], expect_files={"a/b/out.wav": wav_file(PCM), "a/b/keep": b"k"})
    r.case("same file through another spelling", ["in.pcm", "sub/../in.pcm"], folders=["sub"],
           files={"in.pcm": PCM}, result=SAME_FILE, expect_files={"in.pcm": PCM})
    r.case("same file through other letter case", ["in.pcm", "IN.PCM"], files={"in.pcm": PCM},
           result=SAME_FILE, expect_files={"in.pcm": PCM}, windows_only=True)
    # Small enough that every write waits in the C runtime's buffer until the stream closes.
    r.case("output on a full disk", ["in.pcm", "=Z:\\dev\\full" if r.windows else "=/dev/full"],
           files={"in.pcm": pcm_file(SAMPLES[:100])}, result=WRITE_FAILED)
    r.case("output over the file size limit", ["in.pcm", "out.wav"], files={"in.pcm": PCM},
           result=WRITE_FAILED, file_size_limit=1000, posix_only=True)
    r.case("output folder cannot be made", ["in.pcm", "file/sub/out.wav"], files={"in.pcm": PCM, "file": b"x"},
           result=WRITE_FAILED, expect_files={"file": b"x"})
    r.case("output names a folder", ["in.pcm", "out.wav"], files={"in.pcm": PCM}, folders=["out.wav"],
           result=WRITE_FAILED)
    r.case("line over 255 bytes is refused, not spilled into the next path",
           stdin=lambda r, c: r.typed(c, "in.pcm" + "x" * 260) + b"\r\n" + r.typed(c, "new/out.wav") + b"\r\n",
           files={"in.pcm": PCM}, result=NO_INPUT, expect_folders=["new"])
    r.case("pasted path in double quotes", stdin=lambda r, c: b'"' + r.typed(c, "my dir/in.pcm") + b'"\r\n"'
           + r.typed(c, "my out/out.wav") + b'"\r\n', folders=["my dir"], files={"my dir/in.pcm": PCM},
           expect_files={"my out/out.wav": wav_file(PCM)})
    r.case("0x1A in redirected input ends all reading",
           stdin=lambda r, c: r.typed(c, "in.pcm") + b"\x1a" + b"rest\r\n" + r.typed(c, "out.wav") + b"\r\n",
           files={"in.pcm": PCM}, result=WRITE_FAILED, absent=["out.wav"])
    r.case("0x1A in a pipe ends all reading",
           stdin=lambda r, c: r.typed(c, "in.pcm") + b"\r\n\x1a" + r.typed(c, "out.wav") + b"\r\n",
           files={"in.pcm": PCM}, result=WRITE_FAILED, absent=["out.wav"], via_pipe=True)
    r.case("Shift_JIS names with 0x5C second bytes",
           [HYO + SOU + b"/" + SOFUTO + b".pcm", SOFUTO + b"/" + SHUN + SOU + b"/" + HYO + b".wav"],
           before=make_sjis_input, locale="sjis",
           expect_files={r.name("ソフト") + (b"/" if not r.windows else "/") + r.name("濬歃")
                         + (b"/" if not r.windows else "/") + r.name("表.wav"): wav_file(PCM)})
    # Pipes: no open waits for the other end, and an input that cannot be positioned is not
    # read from the wrong offsets.
    fifo = lambda rel: lambda r, c: os.mkfifo(r.host(c, rel))
    r.case("FIFO input with no writer", ["in.pcm", "out.wav"], before=fifo("in.pcm"),
           result=READ_FAILED, posix_only=True)
    r.case("FIFO output with no reader", ["in.pcm", "out.wav"], files={"in.pcm": PCM},
           before=fifo("out.wav"), result=WRITE_FAILED, posix_only=True)
    r.case("standard input from a pipe as the input", ["=/dev/stdin", "out.wav"], via_pipe=True,
           result=READ_FAILED, posix_only=True)
    r.case("forward slashes and mixed separators",
           stdin=lambda r, c: r.typed(c, "in.pcm") + b"\r\n" + r.typed(c, "").replace(b"\\", b"/") + b"m/x\\y/out.wav\r\n",
           files={"in.pcm": PCM}, folders=["m"], expect_files={"m/x/y/out.wav": wav_file(PCM)}, windows_only=True)
    if r.holder:
        r.case("input held open by another program converts in full", ["in.pcm", "out.wav"],
               files={"in.pcm": PCM}, held="in.pcm", expect_files={"out.wav": wav_file(PCM)})
    r.case("read-only input converts in full", ["in.pcm", "out.wav"], files={"in.pcm": PCM},
           before=lambda r, c: os.chmod(r.host(c, "in.pcm"), stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH),
           expect_files={"out.wav": wav_file(PCM)}, as_user=True)


def sample_case(r):
    """The bundled sample converts into a WAV file that a real reader reads as a tone."""
    import wave
    sample = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "tone.pcm")
    pcm = open(sample, "rb").read()
    r.case("bundled sample", ["tone.pcm", "wav/tone.wav"], files={"tone.pcm": pcm},
           expect_files={"wav/tone.wav": wav_file(pcm)})
    case = "c%03d" % (r.passed + r.failed - 1)
    try:
        with wave.open(r.host(case, "wav/tone.wav"), "rb") as w:
            got = (w.getnchannels(), w.getframerate(), w.getsampwidth() * 8, w.getnframes())
    except (OSError, wave.Error) as error:
        got = error
    r.check("bundled sample reads as a WAV file", got == (1, 8000, 16, 4000), f"wave module read {got}")


def make_sjis_input(r, case):
    folder = r.host(case, r.name("表歃"))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, r.name("ソフト.pcm")), "wb") as f:
        f.write(PCM)


def shift_jis_locale(root):
    """Builds a private Shift_JIS locale, so that the program reads typed paths as code page
    932 on Linux too; None where it cannot be built."""
    folder = os.path.join(root, "locale")
    if not shutil.which("localedef"):
        return None
    os.makedirs(folder, exist_ok=True)
    # localedef warns that Shift_JIS is not ASCII compatible, and builds it all the same.
    subprocess.run(["localedef", "-i", "ja_JP", "-f", "SHIFT_JIS", os.path.join(folder, "ja_JP.SJIS")],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if not os.path.isdir(os.path.join(folder, "ja_JP.SJIS")):
        return None
    return {"LOCPATH": folder, "LC_ALL": "ja_JP.SJIS"}


def drive_terminal(command, env, answers, enter_after=None):
    """Runs `command` at a pseudo-terminal and types each answer once one more prompt label
    is on the screen; with `enter_after`, also Enter once those bytes are on the screen and
    the program has had a second to end. Returns whether every label came before its answer,
    whether the program was still running before that Enter, the screen's bytes and the exit
    status (killed after 15 s without output)."""
    import pty
    import select
    import termios
    import time
    pid, fd = pty.fork()
    if pid == 0:
        # A typed CR stays a CR (Enter at a Windows console) until a program sets the mode.
        mode = termios.tcgetattr(0)
        mode[0] &= ~termios.ICRNL
        termios.tcsetattr(0, termios.TCSANOW, mode)
        os.execve(command[0], command, env)
    seen = b""

    def read_until(done, seconds=30):
        nonlocal seen
        deadline = time.time() + seconds
        while not done() and time.time() < deadline:
            if select.select([fd], [], [], 0.2)[0]:
                try:
                    chunk = os.read(fd, 4096)
                except OSError:
                    return False
                if not chunk:
                    return False
                seen += chunk
        return done()

    label = b"PcmData--->"
    ok = True
    for count, answer in enumerate(answers, 1):
        ok = read_until(lambda: seen.count(label) >= count) and ok
        os.write(fd, answer)
    alive = lambda: os.waitid(os.P_PID, pid, os.WEXITED | os.WNOHANG | os.WNOWAIT) is None
    running = False
    if enter_after:
        read_until(lambda: enter_after in seen)
        time.sleep(1)
        running = alive()
        os.write(fd, b"\r")
    read_until(lambda: False, 15)
    if alive():
        os.kill(pid, 9)
    _, status = os.waitpid(pid, 0)
    os.close(fd)
    return ok, running, seen, os.waitstatus_to_exitcode(status)


def terminal_cases(r):
    """At a terminal each prompt is on the screen before its line is read. Linux: Ctrl+D at
    the start of a line ends that read only; under a UTF-8 locale the texts are UTF-8, and a
    typed UTF-8 path holding 表 and ソ converts, its folders made with their UTF-8 names.
    Windows (Wine's console): the texts read right at a console switched to UTF-8, a typed
    path holding 表 converts, and a program alone on its console waits for Enter at the end."""
    os.makedirs(r.host("tty", "表"))
    with open(r.host("tty", "表/ソ.pcm"), "wb") as f:
        f.write(PCM)
    enter = b"\r" if r.windows else b"\n"
    typed = lambda output, input="表/ソ.pcm": [r.typed("tty", input) + enter, r.typed("tty", output) + enter]
    if r.windows:
        exe = "Z:" + os.path.abspath(r.program).replace("/", "\\")
        utf8_console = [r.wine, "cmd", "/c", "chcp 65001 & " + exe]
        with open(r.host("tty", "cafe.pcm"), "wb") as f:
            f.write(PCM)
        # é has no code page 932 form: a best-fit "e" would name cafe.pcm, another file.
        runs = (("a UTF-8 console", utf8_console, os.environ, "utf-8",
                 typed("ソ/表1/表.wav"), DONE, "ソ/表1/表.wav", False),
                ("a look-alike refused", utf8_console, os.environ, "utf-8",
                 typed("new/out.wav", "café.pcm"), NO_INPUT, "new/out.wav", False),
                ("its own console", [r.wine, r.program], os.environ, "utf-8",
                 typed("ソ/表2/表.wav"), DONE, "ソ/表2/表.wav", True))
    else:
        runs = (("the C locale", [r.program], r.locale_env("C"), "cp932",
                 [b"\x04", r.typed("tty", "new/out.wav") + enter], NO_INPUT, "new/out.wav", False),
                ("the C.UTF-8 locale", [r.program], r.locale_env("C.UTF-8"), "utf-8",
                 typed("ソ/表/表.wav"), DONE, "ソ/表/表.wav", False))
    for name, command, env, encoding, answers, result, output, waits in runs:
        after = (result.encode(encoding)) if waits else None
        ok, running, seen, code = drive_terminal(command, env, answers, after)
        texts_seen = all(t.encode(encoding) in seen for t in (BANNER, "出力ファイル名を名を", "..." + result))
        path = r.host("tty", output)
        got = open(path, "rb").read() if os.path.isfile(path) else None
        want = wav_file(PCM) if result == DONE else None
        r.check(f"terminal, {name}", ok and texts_seen and code == exit_status(result) and running == waits
                and got == want and os.path.isdir(os.path.dirname(path)),
                f"prompts first {ok}, texts {texts_seen}, exit {code}, waited {running}, "
                f"output {got is not None}, screen {seen!r}")


def large_case(r):
    """A file past 4 GiB converts byte-exact: positions past 2^31 and 2^32 and the last block,
    which a 32-bit process gets wrong first."""
    length = 4 * 2**30 + 300001
    if shutil.disk_usage(r.root).free < length + 2**30:
        print(f"skipped: a file past 4 GiB (needs 5 GiB free in {r.root})")
        return
    os.makedirs(r.host("large"))
    pcm, wav = r.host("large", "big.pcm"), r.host("large", "big.wav")
    marks = (2**31 - 8, 2**32 - 8, length - 40)
    with open(pcm, "wb") as f:
        f.write(pcm_file(b"", size_field=(length + 16) % 2**32))
        f.truncate(length)  # sparse
        for mark in marks:
            f.seek(mark)
            f.write(b"marked bytes past a boundary " + bytes(range(11)))
    status, _, _ = r.run(r.typed_line("large", "big.pcm") + r.typed_line("large", "big.wav"))
    size = os.path.getsize(wav) if os.path.exists(wav) else None
    same = False
    if size:
        with open(pcm, "rb") as i, open(wav, "rb") as o:
            same = o.read(44) == wav_file(i.read(28))
            for mark in marks:
                i.seek(mark - 64)
                o.seek(mark + 16 - 64)
                same = same and i.read(128) == o.read(128)
        os.remove(wav)
    os.remove(pcm)
    r.check("a file past 4 GiB converts byte-exact", status == 21 and size == length + 16 and same,
            f"exit {status}, size {size}, header and marks alike {same}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--wine")
    parser.add_argument("--drive", default="t")
    parser.add_argument("--root", help="scratch folder (with --wine: the folder the drive maps)")
    parser.add_argument("--holder", help="Windows program that holds a file open (with --wine)")
    parser.add_argument("--user-prefix", help="Wine prefix of uid 65534 (with --wine)")
    parser.add_argument("--large", action="store_true", help="also convert a file past 4 GiB")
    args = parser.parse_args()
    r = Runner(args)
    try:
        cases(r)
        sample_case(r)
        terminal_cases(r)
        if args.large:
            large_case(r)
    finally:
        if not args.root:
            for dirpath, dirnames, _ in os.walk(r.root):
                for d in dirnames:
                    os.chmod(os.path.join(dirpath, d), 0o755)
            shutil.rmtree(r.root, ignore_errors=True)
    print(f"end-to-end: {r.passed} passed, {r.failed} failed")
    return 1 if r.failed else 0


if __name__ == "__main__":
    sys.exit(main())
