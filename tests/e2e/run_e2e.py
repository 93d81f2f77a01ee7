#!/usr/bin/env python3
"""Runs the end-to-end cases of cases.py against the built converter: typed lines in; console
bytes, exit status, files and folders out, each compared byte for byte.

  run_e2e.py --program build/ci/pcmconv [--line-reader libedit] [--only conv,chain]
  run_e2e.py --program build/mingw64/pcmconv.exe --wine /usr/lib/wine/wine64 --drive t \
             --root DIR [--holder hold_file.exe] [--user-prefix PREFIX] [--large]

With --wine the program runs under Wine; the scratch folder --root is the Windows drive given by
--drive (the caller maps it in every prefix). --holder is a Windows program that holds a file
open; --user-prefix a Wine prefix of uid 65534; --large also converts a file past 4 GiB.
"""

import argparse
import fcntl
import os
import pty
import re
import resource
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time
from types import SimpleNamespace

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cases import CASES  # noqa: E402
from files import DIR, GONE, Skip  # noqa: E402

# The banner names the version of project() in CMakeLists.txt.
VERSION = re.search(r"project\(pcmconv VERSION (\d+\.\d+)", open(os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "CMakeLists.txt")).read()).group(1)
BANNER = "PCMデータをWAVファイルに変換します Ver" + VERSION
PROMPTS = "\n\nPCMデータのファイル名をフルパスで指定\nPcmData--->" + "\n出力ファイル名を名をフルパスで指定\nPcmData--->"
AS_USER = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
LOCALE_TAGS = {"C": "c", "C.UTF-8": "u8", "sjis": "sj", "xx_YY.UTF-8": "xx", "xx_YY.utf8": "x8",
               "ja_JP.SJIS": "s2", "ja_JP.SHIFT_JISX0213": "s3"}


class Target:
    """The program and where it runs: on Linux, or under Wine with the scratch folder as a drive."""

    def __init__(self, args):
        vars(self).update(vars(args), program=os.path.abspath(args.program),
                          root=args.root or tempfile.mkdtemp(prefix="pcmconv_e2e_"))
        self.sjis = None if self.wine else shift_jis_locale(self.root)

    def utf8(self, locale, terminal=False):
        """Whether the program speaks UTF-8: on Linux under a UTF-8 locale, under Wine at a console."""
        return terminal if self.wine else locale.lower().replace("-", "").endswith("utf8")

    def host(self, folder, rel, locale):
        """A case's file as this script reaches it: Wine's names are UTF-8, Linux's the bytes given."""
        if self.wine:
            return os.path.join(self.root, folder, *rel.split("/"))
        encoding = "utf-8" if self.utf8(locale) else "cp932"
        return os.path.join(os.fsencode(self.root), folder.encode(), *[p.encode(encoding) for p in rel.split("/")])

    def typed(self, line, folder, locale, terminal=False):
        """A typed line's bytes, with {d} and {u} standing for the case's folder."""
        typed_folder = self.drive.upper() + ":\\" + folder if self.wine else os.path.join(self.root, folder)
        line = line.replace("{d}", typed_folder).replace("{u}", typed_folder.replace("\\", "/"))
        return line.encode("utf-8" if self.utf8(locale, terminal) else "cp932", "surrogateescape")

    def console_bytes(self, result, locale):
        """The whole dialogue as written to a file: UTF-8 under a UTF-8 locale, else Shift_JIS, CR LF."""
        text = BANNER + PROMPTS + "\n変換中..." + "..." + result
        return text.encode("utf-8") if self.utf8(locale) else text.encode("cp932").replace(b"\n", b"\r\n")

    def env(self, locale, folder):
        """Linux: the environment with only LANG set ("sjis": the private Shift_JIS locale), and
        the case's folder as HOME. Wine: its own, from the script that started it."""
        env = {k: v for k, v in os.environ.items() if not k.startswith("LC_") and k != "LANG"}
        locale = self.sjis if locale == "sjis" else {"LANG": locale}
        return None if self.wine else {**env, **locale, "HOME": os.path.join(self.root, folder)}

    def command(self, as_user=False, console=None):
        program = os.path.join(self.root, "pcmconv_xp.exe") if console == "xp" else self.program
        console == "xp" and shutil.copy(self.program, program)  # a copy the Wine prefix gives Windows XP's version
        command = [self.wine, program] if self.wine else [program]
        if console in ("utf-8", "xp"):
            command = [self.wine, "cmd", "/c", "chcp 65001 & Z:" + program.replace("/", "\\")]
        if console == "nohup":  # hang-ups ignored from the start
            command = ["/bin/sh", "-c", 'trap "" HUP; exec "$0"', program]
        if as_user and self.can_run_as_user():
            # root opens any file for writing; an ordinary user shows what a probe asks for.
            command = AS_USER + (["env", "WINEPREFIX=" + self.user_prefix] if self.wine else []) + command
        return command

    def can_run_as_user(self):
        if os.geteuid() != 0 or not shutil.which("setpriv") or (self.wine and not self.user_prefix):
            return False
        reachable = subprocess.run(AS_USER + ["test", "-r", self.program]).returncode == 0
        reachable or print(f"note: {self.program} is out of an ordinary user's reach; running as root")
        return reachable

    def hold(self, folder, path, how, locale):
        """Holds a file of the case (or one named in full) as another program would: "open" letting
        others only read (Windows), or "read" and "write" as another run locks. Returns its release."""
        named = path.startswith(("/", "\\\\")) or ":" in path
        if self.wine:
            if not self.holder:
                raise Skip("no holder program given")
            typed = path.encode() if named else self.typed("{d}\\" + path, folder, locale)
            holder = subprocess.Popen([self.wine, self.holder, typed, how], stdin=subprocess.PIPE,
                                      stdout=subprocess.PIPE)
            if holder.stdout.readline().strip() != b"held":
                raise OSError(f"the holder could not hold {path}")
            return lambda: (holder.stdin.close(), holder.wait(timeout=30))[1]  # nonzero: disturbed
        fd = os.open(path if named else self.host(folder, path, locale), os.O_RDONLY)
        fcntl.flock(fd, fcntl.LOCK_EX if how == "write" else fcntl.LOCK_SH)
        return lambda: os.close(fd)


def shift_jis_locale(root):
    """A private Shift_JIS locale, for typed paths in code page 932 on Linux too; None where it cannot
    be built (localedef warns that Shift_JIS is not ASCII compatible, and builds it all the same)."""
    folder = os.path.join(root, "locale")
    os.makedirs(folder, exist_ok=True)
    if shutil.which("localedef"):
        subprocess.run(["localedef", "-i", "ja_JP", "-f", "SHIFT_JIS", os.path.join(folder, "ja_JP.SJIS")],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return {"LOCPATH": folder, "LC_ALL": "ja_JP.SJIS"} if os.path.isdir(os.path.join(folder, "ja_JP.SJIS")) else None


def run_streams(command, env, cwd, stdin_bytes, stream, fsize, timeout):
    """Runs in `cwd` with standard input from a "file", a "pipe" or a "tty" the bytes are typed at;
    returns the exit status (or "hung"), standard output and standard error. Output goes to files:
    Wine's helper processes would inherit pipes and hold them open after the program ended."""
    limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (fsize, fsize))
    with tempfile.TemporaryFile() as stdin_file, tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        stdin_file.write(stdin_bytes)
        stdin_file.seek(0)
        master, terminal = pty.openpty() if stream == "tty" else (None, None)
        stdin = {"pipe": subprocess.PIPE, "tty": terminal}.get(stream, stdin_file)
        process = subprocess.Popen(command, stdin=stdin, stdout=out, stderr=err, env=env, cwd=cwd,
                                   preexec_fn=limit if fsize else None)
        try:
            os.write(master, stdin_bytes) if master is not None else None
            (process.stdin.write(stdin_bytes), process.stdin.close()) if stream == "pipe" else None
        except BrokenPipeError:
            pass
        try:
            status = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            status = "hung"
        [os.close(end) for end in (master, terminal) if end is not None]
        return status, os.pread(out.fileno(), 1 << 30, 0), os.pread(err.fileno(), 1 << 30, 0)


PASTE_ON, PASTE_OFF = b"\x1b[?2004h", b"\x1b[?2004l"


def paste_mode_on(screen):
    """Whether the last bracketed-paste mode the program set is on."""
    return screen.rfind(PASTE_ON) > screen.rfind(PASTE_OFF)


def prompts_shown(screen):
    """How many of the two prompts are on the screen, each label counted once (Tab's listing writes
    the label again): the first, and a label after the second prompt's own text."""
    second = max(screen.rfind("出力ファイル名を名を".encode(encoding)) for encoding in ("utf-8", "cp932"))
    return (b"PcmData--->" in screen) + (second >= 0 and b"PcmData--->" in screen[second:])


def run_as_job(command, env, cwd, terminal, stderr_path, reports, orders, start):
    """The child: a shell's job control, so that Ctrl+Z stops the program (its group not orphaned),
    started in the foreground, the background (b"bgkill"), or at a terminal that is not its
    controlling one (b"noctty"). At a stop it takes the terminal back, reports b"s" and obeys b"f"
    (fg) or b"k" (kill %1)."""
    os.setsid()
    start != b"noctty" and fcntl.ioctl(terminal, termios.TIOCSCTTY, 0)
    signal.signal(signal.SIGTTOU, signal.SIG_IGN)
    pid = os.fork()
    if pid == 0:
        os.setpgid(0, 0)
        start or os.tcsetpgrp(terminal, os.getpid())
        signal.signal(signal.SIGTTOU, signal.SIG_DFL)
        [os.dup2(terminal, stream) for stream in (0, 1, 2)]
        if stderr_path:
            os.dup2(os.open(stderr_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC), 2)
        os.chdir(cwd)
        os.execve(command[0], command, env if env is not None else os.environ)
    while True:
        _, status = os.waitpid(pid, os.WUNTRACED)
        if not os.WIFSTOPPED(status):
            break
        os.tcsetpgrp(terminal, os.getpgrp())
        os.write(reports, b"s")
        os.tcsetpgrp(terminal, pid) if os.read(orders, 1) == b"f" else os.killpg(pid, signal.SIGTERM)
        os.killpg(pid, signal.SIGCONT)
    if os.WIFSIGNALED(status):
        signal.signal(os.WTERMSIG(status), signal.SIG_DFL)
        os.kill(os.getpid(), os.WTERMSIG(status))
    os._exit(os.WEXITSTATUS(status))


def drive_terminal(command, env, cwd, answers, wait_for=None, stderr_path=None):
    """Runs `command` in `cwd` as a job at an 80 x 24 pseudo-terminal, typing each answer once its
    prompt is on the screen, the markers of cases.py acting between the bytes; with `wait_for`,
    Enter too, a second after those bytes. Returns ok (each prompt came before its answer),
    running (before that Enter), screen, status, kept (the terminal's settings as they were) and
    problems (while stopped: the terminal as it was, paste mode off; after fg paste mode on)."""
    fd, terminal = pty.openpty()
    # A typed CR stays a CR (Enter at a Windows console) until a program sets the mode.
    mode = termios.tcgetattr(terminal)
    termios.tcsetattr(terminal, termios.TCSANOW, [mode[0] & ~termios.ICRNL] + mode[1:])
    fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
    settings = termios.tcgetattr(terminal)
    (reports, report), (order, orders) = os.pipe(), os.pipe()
    start = (re.match(rb"\x1a<(bgkill|noctty)>", answers[0]) or [None, None])[1]
    pid = os.fork()
    if pid == 0:
        run_as_job(command, env, cwd, terminal, stderr_path, report, order, start)
    os.close(terminal)
    got = SimpleNamespace(ok=True, running=False, screen=b"", problems=[])

    def read_until(done, seconds=30):
        deadline = time.time() + seconds
        while not done() and time.time() < deadline:
            if select.select([fd], [], [], 0.2)[0]:
                try:
                    chunk = os.read(fd, 4096)
                except OSError:
                    return False
                if not chunk:
                    return False
                got.screen += chunk
        return done()

    for count, answer in enumerate(answers, 1):
        # The first prompt waits for the program's start too, slow for an emulated exe; a run in
        # the background stops before its label.
        got.ok = start == b"bgkill" or read_until(lambda: prompts_shown(got.screen) >= count, 120 if count == 1 else 30) and got.ok
        if not got.ok and count == 1:
            break
        parts = re.split(rb"\x1a<(\w+)>", answer)  # text, a marker's word, text, ...
        for word, part in zip([b""] + parts[1::2], parts[::2]):
            read_until(lambda: False, 0.3 if word else 0)  # what was typed is on the screen
            if word[:1] == b"w":  # the terminal's new width: the kernel sends SIGWINCH
                fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", 24, int(word[1:]), 0, 0))
            elif word[:1] == b"s" and os.tcgetpgrp(fd) > 0:  # 0 once the program has ended
                os.killpg(os.tcgetpgrp(fd), int(word[1:]))
            elif word == b"lf":  # Ctrl+J, where a "\n" of keys is Enter
                os.write(fd, b"\n")
            elif word in (b"fg", b"kill", b"bgkill"):
                pasting = paste_mode_on(got.screen)
                os.write(fd, b"\x1a" if word != b"bgkill" else b"")
                if not select.select([reports], [], [], 120)[0] or os.read(reports, 1) != b"s":
                    got.problems.append("the program did not stop")
                    break
                read_until(lambda: False, 0.5)
                if termios.tcgetattr(fd) != settings or paste_mode_on(got.screen):
                    got.problems.append("while stopped, the terminal is not as it was")
                stopped_at = len(got.screen)
                os.write(orders, b"f" if word == b"fg" else b"k")
                if word == b"fg" and pasting and not read_until(lambda: paste_mode_on(got.screen[stopped_at:]), 5):
                    got.problems.append("after fg the paste mode stays off")
            os.write(fd, part)
    alive = lambda: os.waitid(os.P_PID, pid, os.WEXITED | os.WNOHANG | os.WNOWAIT) is None
    if wait_for:
        read_until(lambda: wait_for in got.screen)
        time.sleep(1)
        got.running = alive()
        os.write(fd, b"\r")
    read_until(lambda: False, 15)
    alive() and os.kill(pid, 9)
    _, status = os.waitpid(pid, 0)
    got.status = os.waitstatus_to_exitcode(status)
    got.kept = termios.tcgetattr(fd) == settings
    list(map(os.close, (fd, reports, report, order, orders)))
    return got


def run_case(t, case, locale, folder):
    """Runs one row in its folder, the program in the scratch folder (where a relative path gone
    wrong lands, never in the checkout); returns what is wrong with the outcome."""
    for rel, content in case.before.items():
        path = t.host(folder, rel, locale)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if content == DIR:
            os.makedirs(path, exist_ok=True)
        elif isinstance(content, bytes):
            open(path, "wb").write(content)
        else:
            content.make(path)
    if case.user:
        [os.chmod(path, 0o777) for path in (t.root, t.host(folder, "", locale))]
    try:
        release = t.hold(folder, case.held[0], case.held[1], locale) if case.held else None
    except OSError as error:
        return [str(error)]
    problems = []
    try:
        if case.keys is not None:
            terminal_utf8 = t.utf8(locale, terminal=True)
            answers = [t.typed(k, folder, locale, terminal=True).replace(b"\n", b"\r" if t.wine else b"\n")
                       for k in case.keys]
            wait_for = case.result.encode("utf-8") if case.waits else None
            # Linux: a terminal emulator's TERM, and standard error apart from the screen.
            env = None if t.wine else dict(t.env(locale, folder), TERM="xterm")
            stderr_path = None if t.wine else os.path.join(t.root, folder + ".stderr")
            got = drive_terminal(t.command(console=case.console), env, t.root, answers, wait_for, stderr_path)
            ok, running, screen, status = got.ok, got.running, got.screen, got.status
            problems += got.problems + ([] if got.kept else ["the terminal's settings changed"])
            # The editor: paste mode on before the first prompt (never from the background) and off
            # at the end, whatever the way out; no character inserted or deleted in place, which
            # moves the cursor off beside wide characters under some terminal types.
            editor = not t.wine and terminal_utf8 and t.line_reader == "libedit"
            started = not answers[0].startswith(b"\x1a<bg")
            if editor and ((PASTE_ON in screen.split(b"PcmData--->")[0]) != started or paste_mode_on(screen)):
                problems.append("the paste mode is not on before the first prompt and off at the end")
            if editor and re.search(rb"\x1b\[(4h|\d*[@P])", screen):
                problems.append("the editor inserts or deletes characters in place")
            problems += [f"{text!r} not {times} times on the screen" for text, times in (case.shows or {}).items()
                         if screen.count(text.encode()) != times]
            err = open(stderr_path, "rb").read() if stderr_path else b""
            # No result: a signal ends the run at the first prompt.
            texts = (BANNER, "出力ファイル名を名を", "..." + case.result) if case.result else (BANNER,)
            hint = "Enterキーを押すとウィンドウを閉じます".encode("utf-8")  # only where it waits
            if not ok or not all(x.encode("utf-8" if terminal_utf8 else "cp932") in screen for x in texts) or \
                    (hint in screen) != case.waits:
                problems.append(f"prompts first {ok}, screen {screen!r}")
            if running != case.waits:
                problems.append(f"waited for Enter: {running}")
        else:
            stdin = b"".join(t.typed(line, folder, locale) + case.end.encode() for line in case.typed)
            status, out, err = run_streams(t.command(case.user), t.env(locale, folder), t.root, stdin,
                                           case.stream, case.fsize, 900 if case.needs == "large" else 60)
            want = t.console_bytes(case.result, locale)
            if out != want:
                at = next((i for i, (a, b) in enumerate(zip(out, want)) if a != b), min(len(out), len(want)))
                problems.append(f"console bytes differ from byte {at}: got {out[at:at + 40]!r}, want {want[at:at + 40]!r}")
        if err:
            problems.append(f"standard error {err!r}")
    finally:
        if release and release():
            problems.append(f"{case.held[0]} was disturbed")
    # No result: ended by Ctrl+C, a signal sent, or kill %1 while stopped.
    sent = re.findall(r"<(?:s(\d+)|(\w*kill))>", "".join(case.keys or ()))
    ended_by = (int(sent[-1][0]) if sent[-1][0] else signal.SIGTERM) if sent else signal.SIGINT
    want_status = 3 + len(case.result.encode("cp932")) if case.result else -ended_by
    if status != want_status:
        problems.append(f"exit status {status}, want {want_status}")
    made_checks = {rel: made for rel, made in case.before.items() if hasattr(made, "check") and made not in case.after.values()}
    for rel, want in {**made_checks, **case.after}.items():
        path = t.host(folder, rel, locale)
        if want == DIR:
            wrong = None if os.path.isdir(path) else "no folder"
        elif want == GONE:
            wrong = "exists" if os.path.lexists(path) else None
        elif isinstance(want, bytes):
            got = open(path, "rb").read() if os.path.isfile(path) else None
            wrong = None if got == want else f"{'missing' if got is None else len(got)} bytes, want {len(want)}"
        else:
            wrong = want.check(path)
        if wrong:
            problems.append(f"{rel}: {wrong}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    for option in ("--program", "--wine", "--root", "--holder", "--user-prefix", "--only"):
        parser.add_argument(option, required=option == "--program")
    parser.add_argument("--drive", default="t")
    parser.add_argument("--line-reader", default="plain")  # libedit: the program edits typed lines
    parser.add_argument("--large", action="store_true")
    args = parser.parse_args()
    t = Target(args)
    where = "wine" if t.wine else "linux"
    passed = failed = 0
    try:
        for case in CASES:
            if where not in case.on or (args.only and case.id not in args.only.split(",")):
                continue
            unmet = {"large": None if args.large else "a file past 4 GiB runs only with --large",
                     "editor": None if args.line_reader == "libedit" else "built without the line editor"}
            if unmet.get(case.needs):
                print(f"skipped {case.id}: {case.what} ({unmet[case.needs]})")
                continue
            for locale in ("C",) if t.wine else case.locales:
                folder = case.id if len(case.locales) == 1 or t.wine else case.id + "." + LOCALE_TAGS[locale]
                name = f"{folder}: {case.what}"
                try:
                    if locale == "sjis" and not t.wine and not t.sjis:
                        raise Skip("no Shift_JIS locale could be built here")
                    os.makedirs(os.path.join(t.root, folder))
                    problems = run_case(t, case, locale, folder)
                except Skip as reason:
                    print(f"skipped {name} ({reason})")
                    continue
                passed, failed = passed + (not problems), failed + bool(problems)
                if problems:
                    print(f"FAIL {name}: " + "; ".join(problems))
    finally:
        if not args.root:  # the read-only rows' folders first
            subprocess.run(["chmod", "-R", "u+rwx", t.root])
            shutil.rmtree(t.root, ignore_errors=True)
    print(f"end-to-end: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
