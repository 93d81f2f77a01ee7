"""The end-to-end cases, one row each, read by run_e2e.py.

A row gives its folder (a short ASCII name of its own), what it shows, the lines typed, the
files and folders before, the result text (and so the exit status and the console bytes) and
the files and folders after; a maker in `before` that can check itself is checked after too,
once (SparsePcm, also in `after`, checks the output). In a typed line {d} is the case's folder as a user types it
(/tmp/.../id on Linux, T:\\id under Wine) and {u} the same with "/" separators; each line is
followed by `end`. Paths in `before` and `after` are relative to the case's folder.
"""

from collections import namedtuple

from files import DIR, GONE, PCM, SAMPLE, FifoWriter, ReadOnly, ReadsAsWav, SparsePcm, pcm_file, wav_file

# The texts as the user reads them; the program writes them as code page 932 bytes.
DONE = "正常に終了しました"
NO_INPUT = "指定されたファイルがありません"
WRITE_FAILED = "出力ファイルに書き込めません"
SAME_FILE = "入力と出力に同じファイルが指定されています"
READ_FAILED = "PCMデータを読み込めません"

LINUX, WINE = ("linux",), ("wine",)
LOCALES = ("C", "C.UTF-8", "sjis")  # the Linux locales a row runs under; Wine has its own

Case = namedtuple("Case", "id what typed before result after on locales end stream user fsize held "
                          "needs keys console waits shows",
                  defaults=({}, DONE, {}, LINUX + WINE, ("C",), "\r\n", "file", False, None, None,
                            None, None, None, False, None))
# on: where it runs. locales: the Linux locales. end: typed after each line. stream: standard
# input from a "file", a "pipe" or a "tty" (a terminal, output to a file). user: as an ordinary user. fsize: a file size limit.
# held: (path, how) held by another program meanwhile. needs: "large" (only with --large) or
# "editor" (only where the program was built with its line editor).
# keys: typed at a pseudo-terminal instead, one entry per prompt ("\n" is Enter); console:
# the Wine console to start in ("utf-8": one switched to code page 65001; "xp": the same, the
# program finding Windows XP's version; "own": a console of its own; Linux "nohup": hang-ups
# ignored from the start); waits: the program waits for Enter
# after its result. shows: texts and how often each is on the screen. Markers in keys act
# between the bytes typed, after 0.3 s: STOP_FG and STOP_KILL are Ctrl+Z, then a shell's fg or
# kill %1; BG_KILL (first) starts the run in the background, then kill %1 once it stops; NO_CTTY
# (first) at a terminal that is not its controlling terminal; PAUSE
# waits; WIDTH % n gives the terminal n columns; SIGNAL % n sends signal n; CTRL_J types Ctrl+J.
IO = {"in.pcm": PCM}
CONVERTED = {"out.wav": wav_file(PCM), "in.pcm": PCM}
TYPED = (r"{d}\in.pcm", r"{d}\out.wav")
LEFT, UP, ERASE, PASTE = "\x1b[D", "\x1b[A", "\x7f", "\x1b[200~%s\x1b[201~"
STOP_FG, STOP_KILL, BG_KILL, PAUSE, WIDTH, SIGNAL = "\x1a<fg>", "\x1a<kill>", "\x1a<bgkill>", "\x1a<p>", "\x1a<w%d>", "\x1a<s%d>"
CTRL_J, NO_CTTY = "\x1a<lf>", "\x1a<noctty>"
LONG = "d123456789/" * 8 + "f.wav"  # 103 characters
QUESTION = "101 個の名前をすべて表示しますか? (y/n)"  # a Windows console draws the blank after it as a move
SMALL = pcm_file(bytes(100))  # every write waits in the C runtime's buffer until the close
LARGE = SparsePcm(4 * 2**30 + 300001)

CASES = [
    # A locale the system lacks still names its terminal's character set, by any of its names.
    Case("conv", "converts, CR LF lines from a file", TYPED, IO, DONE, CONVERTED,
         locales=LOCALES + ("xx_YY.UTF-8", "xx_YY.utf8")),
    Case("noin", "missing input: the output's folder is still made", (r"{d}\missing.pcm", r"{d}\new\out.wav"),
         {}, NO_INPUT, {"new": DIR, "new/out.wav": GONE}, locales=LOCALES),
    Case("lfpipe", "LF lines and no final line end, from a pipe", (r"{d}\in.pcm" "\n" r"{d}\out.wav",),
         IO, DONE, CONVERTED, end="", stream="pipe"),
    Case("empty", "empty standard input", (), {}, NO_INPUT),
    Case("oneline", "one line only: the output path stays empty", (r"{d}\in.pcm",), IO, WRITE_FAILED, end=""),
    Case("dirin", "the input path names a folder", TYPED, {"in.pcm": DIR, "out.wav": b"keep"}, NO_INPUT,
         {"out.wav": b"keep"}),
    Case("samecase", "same file through other letter case", (r"{d}\in.pcm", r"{d}\IN.PCM"), IO, SAME_FILE, IO,
         on=WINE),
    Case("full", "output on a full disk", (r"{d}\in.pcm", "/dev/full"), {"in.pcm": SMALL}, WRITE_FAILED,
         on=LINUX),
    Case("fullw", "output on a full disk", (r"{d}\in.pcm", r"Z:\dev\full"), {"in.pcm": SMALL}, WRITE_FAILED,
         on=WINE),
    Case("fsize", "output over the file size limit", TYPED, IO, WRITE_FAILED, on=LINUX, fsize=1000),
    Case("nodir", "an output folder cannot be made", (r"{d}\in.pcm", r"{d}\file\sub\out.wav"),
         {"in.pcm": PCM, "file": b"x"}, WRITE_FAILED, {"file": b"x"}),
    Case("dirout", "the output names a folder", TYPED, {"in.pcm": PCM, "out.wav": DIR}, WRITE_FAILED),
    # (Every form terminals write, several files dropped at once among them, is a row of the
    # typed path's unit test; folder chains, short inputs and overlong lines are the units'.)
    Case("ctrlz", "0x1A in redirected input ends all reading", (r"{d}\in.pcm" "\x1arest", r"{d}\out.wav"),
         IO, WRITE_FAILED, {"out.wav": GONE}),
    Case("sjis", "Shift_JIS names with 0x5C second bytes", (r"{d}\表歃\ソフト.pcm", r"{d}\ソフト\濬歃\表.wav"),
         {"表歃/ソフト.pcm": PCM}, DONE, {"ソフト/濬歃/表.wav": wav_file(PCM)},
         locales=("sjis", "ja_JP.SJIS", "ja_JP.SHIFT_JISX0213")),
    # A pipe cannot give its bytes at set offsets: refused before the output is touched, unopened.
    Case("fifoin", "a FIFO input: the output untouched, its writer undisturbed", TYPED,
         {"in.pcm": FifoWriter(PCM), "out.wav": b"precious"}, READ_FAILED, {"out.wav": b"precious"}, on=LINUX),
    # Windows tidies "." and ".." in such paths, and GLOBALROOT reaches every device.
    Case("pipein", "a named pipe input, its server waiting: unopened, the output untouched",
         (r"\\.\y\..\pipe\pcmconvnp", r"{d}\out.wav"), {"out.wav": b"precious"}, READ_FAILED,
         {"out.wav": b"precious"}, on=WINE, held=(r"\\.\pipe\pcmconvnp", "pipe")),
    Case("auxin", "a device name as the input", ("AUX", r"{d}\out.wav"), {"out.wav": b"precious"}, READ_FAILED,
         {"out.wav": b"precious"}, on=WINE),
    # Windows resolves ".." by the text, so junk is never needed; "~" is a letter of names there.
    Case("dotdot", "no folder that a later .. cancels; ~ in a name", (r"{d}\x ~\in.pcm", r"{d}\junk\..\real\o.wav"),
         {"x ~/in.pcm": PCM}, DONE, {"real/o.wav": wav_file(PCM), "junk": GONE}, on=WINE),
    # Outputs that cannot take pieces each opened anew, refused before they are touched: the very
    # file standard output goes to, which the texts would be written over; a Windows device name.
    Case("ownout", "the file standard output goes to as the output", (r"{d}\in.pcm", "/dev/stdout"), IO, WRITE_FAILED,
         on=LINUX),
    # As Windows tidies the path: a last "." goes, and a device name makes no folder.
    Case("devdot", "a device name, then \\.", (r"{d}\in.pcm", r"{d}\con.wav\."), IO, WRITE_FAILED, {"con.wav": GONE}, on=WINE),
    Case("devdir", "a device name as a folder", (r"{d}\in.pcm", r"{d}\con\x.wav"), IO, WRITE_FAILED, {"con": GONE}, on=WINE),
    Case("ttyin", "a terminal as the input: the output untouched", ("/dev/tty", r"{d}\out.wav"),
         {"out.wav": b"precious"}, READ_FAILED, {"out.wav": b"precious"}, on=LINUX, stream="tty"),
    Case("slashes", "\"/\" and mixed separators make every folder", (r"{d}\in.pcm", r"{u}/n1/n2\n3/out.wav"),
         IO, DONE, {"n1/n2/n3/out.wav": wav_file(PCM)}),
    Case("held", "an input held open by another program converts in full", TYPED, IO, DONE, CONVERTED,
         on=WINE, held=("in.pcm", "open")),
    # Another run's files, held with its lock: this run ends at once and touches neither.
    Case("lockw", "an output another run is writing", TYPED, {"in.pcm": PCM, "out.wav": b"theirs"},
         WRITE_FAILED, {"out.wav": b"theirs"}, held=("out.wav", "write")),
    Case("lockr", "an output another run is reading", TYPED, {"in.pcm": PCM, "out.wav": PCM}, WRITE_FAILED,
         {"out.wav": PCM}, held=("out.wav", "read")),
    Case("lockin", "an input another run is writing", TYPED, IO, READ_FAILED, {"out.wav": GONE},
         held=("in.pcm", "write")),
    Case("lockrr", "an input another run is reading converts", TYPED, IO, DONE, CONVERTED, held=("in.pcm", "read")),
    Case("locknul", "a device is never locked: another run may write it too", (r"{d}\in.pcm", "/dev/null"), IO,
         DONE, on=LINUX, held=("/dev/null", "write")),
    # Wine locks no device at all: the row shows that NUL still takes a conversion.
    Case("locknulw", "a device is never locked", (r"{d}\in.pcm", "NUL"), IO, DONE, on=WINE),
    Case("rdonly", "a read-only input converts in full", TYPED, {"in.pcm": ReadOnly(PCM)}, DONE,
         {"out.wav": wav_file(PCM)}, user=True),
    Case("sample", "the bundled sample reads as a WAV file", (r"{d}\tone.pcm", r"{d}\wav\tone.wav"),
         {"tone.pcm": SAMPLE}, DONE, {"wav/tone.wav": ReadsAsWav(wav_file(SAMPLE), (1, 8000, 16, 4000))}),
    # Positions past 2^31 and 2^32 and the last block, which a 32-bit process gets wrong first.
    Case("large", "a file past 4 GiB converts byte-exact", (r"{d}\big.pcm", r"{d}\big.wav"),
         {"big.pcm": LARGE}, DONE, {"big.wav": LARGE}, needs="large"),

    # At a terminal each prompt is on the screen before its line is read.
    Case("ttyeof", "terminal: Ctrl+D at a line's start ends that answer only", None, {}, NO_INPUT,
         {"new": DIR}, on=LINUX, locales=("C", "C.UTF-8"), keys=("\x04", r"{d}\new\out.wav" "\n")),
    # The line editor: Tab completes a folder with a blank and a Japanese character in its name,
    # Left moves back into the path, a character typed there and erased leaves it whole; at the
    # second prompt Up brings back the first answer, ".pcm" changed into ".wav".
    Case("ttyedit", "terminal, the line editor", None, {"sp 表/in.pcm": PCM}, DONE,
         {"sp 表/in.wav": wav_file(PCM)}, on=LINUX, locales=("C.UTF-8",), needs="editor",
         keys=("~/s\tn.pcm" + LEFT * 5 + "i表" + ERASE + "\n", UP + ERASE * 3 + "wav\n")),
    # A paste answers one prompt at most: the line breaks at its end go (tmux pastes CR LF as two
    # CRs); two lines, a control character (C1 too), or what comes with its end drop it. A Tab in it
    # stays, and a new width in the middle of it changes nothing.
    Case("ttypaste", "terminal, pastes at the line editor", None, {"i\tn.pcm": PCM}, DONE,
         {"out.wav": wav_file(PCM), "x.wav": GONE, "y.wav": GONE}, on=LINUX, locales=("C.UTF-8",), needs="editor",
         keys=(PASTE % ("{u}/i\tn" + WIDTH % 30 + ".pcm\r\r") + PAUSE + "\n",
               PASTE % "{u}/x.wav\n{u}/y.wav" + PAUSE + PASTE % "{u}/x\u009b.wav" + PAUSE + PASTE % "{u}/x.wav" +
               "{u}/y.wav\n" + PAUSE + PASTE % "{u}/out.wav\n" + PAUSE + "\n")),
    # A new width at any moment of a line: the editor draws the line anew, and typing goes on.
    Case("ttysize", "terminal, the line editor at new widths; SIGCONT without a stop", None, IO, DONE, {LONG: wav_file(PCM)},
         on=LINUX, locales=("C.UTF-8",), needs="editor", shows={"PcmData--->": 4},
         keys=("{u}/in.pcm\n", "{u}/" + LONG[:50] + WIDTH % 30 + LONG[50:] + WIDTH % 13 + SIGNAL % 18 + "\n")),
    # A slow link: an Escape, then the rest of a reply or a key 0.3 s later; a reply stalled 1.8 s; Escape, Enter.
    Case("ttyslow", "terminal, sequences split by a slow link", None, IO, DONE, CONVERTED, on=LINUX,
         locales=("C.UTF-8",), needs="editor", keys=("{u}/in.pcm\n", "{u}/o\x1b" + PAUSE + "]11;rgb:0/0/0\x07\x1b" + PAUSE +
                                                     "[1;5F\x1b[1;4" + PAUSE * 6 + "0Rut.wav\x1b" + PAUSE + "\n")),
    # Not the program's controlling terminal (a launcher's pseudo-terminal): no job control, never a stop.
    Case("ttynoct", "terminal, not the controlling terminal", None, IO, DONE, CONVERTED, on=LINUX,
         locales=("C", "C.UTF-8"), keys=(NO_CTTY + "{u}/in.pcm\n", "{u}/out.wav\n")),
    # Every key whole: Ctrl+Left moves by word, Ctrl+Delete and Shift+End act as plain keys; the
    # Linux console's F1, Insert, PageUp/Down, F12, Ctrl+Up, F5, Alt+x (libedit's command line)
    # and Ctrl+V (its quoted insert, which would make Enter a character) ring and add nothing.
    Case("ttykeys", "terminal, keys with modifiers and keys the editor ignores", None, IO, DONE,
         {"a c.wav": wav_file(PCM)}, on=LINUX, locales=("C.UTF-8",), needs="editor",
         keys=("{u}/in.pcm\x1b[[A\x1b[2~\x1b[6~\x1b[24~\n",
               "{u}/a b\x1b[1;5D\x1b[3;5~c\x1b[1;2F.wav\x1b[5~\x1b[1;5A\x1b[15~\x1bx\x16\n")),
    # A byte that is no UTF-8 is refused, neither dropped (caf.pcm) nor read as U+FFFD.
    Case("ttybyte", "terminal, a byte that is not UTF-8 at the editor", None, {"caf.pcm": PCM, "caf\ufffd.pcm": PCM},
         NO_INPUT,
         {"new": DIR, "new/o.wav": GONE}, on=LINUX, locales=("C.UTF-8",), needs="editor",
         keys=("{d}/caf\udce9.pcm\n", "{d}/new/o.wav\n")),
    # Where no editor reads keys, an arrow's bytes reach the line: refused, nothing made of it.
    Case("ttyctl", "terminal without the editor, arrow keys typed", None, IO, WRITE_FAILED, {"o.wav": GONE},
         on=LINUX, keys=("{d}/in.pcm\n", "{d}/o.wav" + LEFT + "\x1b[1;5D\n")),
    # Past 100 names Tab asks first; F5 answers no and is not kept; the question shows again at a new
    # width and after Ctrl+Z and fg, and a paste answers no, none of it reaching the line.
    Case("ttylist", "terminal, the listing's question, a new width, Ctrl+Z and fg, a paste at it", None,
         {**IO, **{f"n{i:03}": b"" for i in range(101)}}, DONE, {"out.wav": wav_file(PCM), "x.wav": GONE},
         on=LINUX, locales=("C.UTF-8",), needs="editor", shows={QUESTION: 4, "n100": 0},
         keys=("{u}/n\t\x1b[15~" + PAUSE + "\t" + WIDTH % 60 + STOP_FG + PASTE % "{u}/x.wav" + PAUSE + ERASE + "in.pcm\n",
               "{u}/out.wav\n")),
    # kill %1 ends a stopped run at once, from the background, the shell's terminal untouched; a
    # run started in the background touches it not at all.
    Case("ttykill", "terminal, Ctrl+Z then kill %1", None, IO, None, {"out.wav": GONE}, on=LINUX,
         locales=("C", "C.UTF-8"), keys=("{u}/in" + STOP_KILL,)),
    Case("ttybg", "terminal, started in the background then kill %1", None, IO, None, on=LINUX,
         locales=("C.UTF-8",), needs="editor", keys=(BG_KILL,)),
    # A hang-up ignored from the start stays ignored; USR1, whose default ends the run, sets the
    # terminal back first.
    Case("ttysig", "terminal, SIGHUP ignored by nohup, then SIGUSR1", None, IO, None, on=LINUX,
         locales=("C.UTF-8",), console="nohup", keys=("{u}/in" + SIGNAL % 1 + "x" + SIGNAL % 10,)),
    # Cut at 255 bytes, the line would name in.pcm: its blanks go after the cut.
    Case("ttylong", "terminal, a line over 255 bytes at the editor is refused whole", None, IO, NO_INPUT,
         {"new": DIR}, on=LINUX, locales=("C.UTF-8",), keys=("{d}/in.pcm" + " " * 260 + "\n", r"{d}\new\out.wav" "\n")),
    # No result: the run ends by Ctrl+C, and the terminal keeps its settings.
    Case("ttyintr", "terminal, Ctrl+C at a prompt", None, IO, None, {"out.wav": GONE}, on=LINUX,
         locales=("C", "C.UTF-8"), keys=("{d}/in\x03",)),
    Case("ttyout", "standard output not a terminal: no editor, the same bytes", TYPED, IO, DONE, CONVERTED,
         on=LINUX, locales=("C.UTF-8",), end="\n", stream="tty"),
    Case("ttyu8", "terminal, C.UTF-8: UTF-8 texts, and a typed UTF-8 path converts", None,
         {"表/ソ.pcm": PCM}, DONE, {"ソ/表/表.wav": wav_file(PCM)}, on=LINUX, locales=("C.UTF-8",),
         keys=(r"{d}\表\ソ.pcm" "\n", r"{d}\ソ\表\表.wav" "\n")),
    Case("tty65001", "terminal, a console switched to UTF-8 reads right", None, {"表/ソ.pcm": PCM}, DONE,
         {"ソ/表/表.wav": wav_file(PCM)}, on=WINE, console="utf-8",
         keys=(r"{d}\表\ソ.pcm" "\n", r"{d}\ソ\表\表.wav" "\n")),
    # é has no code page 932 form: a best-fit "e" would name cafe.pcm, another file.
    Case("ttylook", "terminal, a look-alike character refused", None, {"cafe.pcm": PCM}, NO_INPUT,
         {"new/out.wav": GONE}, on=WINE, console="utf-8", keys=(r"{d}\café.pcm" "\n", r"{d}\new\out.wav" "\n")),
    # Tab at a console: a folder, a Japanese name (code page 932) and "\\", letter case aside; a
    # common prefix, then a Tab in the middle of the line, whose rest goes; past 100 names the
    # question, "n" answering no; no match, then two lines pasted: refused. Under XP's version a
    # Tab is a character of the line, as it always was.
    Case("wtab", "terminal, Tab at a console", None, {"sp 表/in.pcm": PCM, "ab1.wav": b"x", "ab2.wav": b"y"}, DONE,
         {"ab1.wav": wav_file(PCM), "ab2.wav": b"y"}, on=WINE, console="utf-8",
         keys=("{d}\\SP\ti\t\n", "{d}\\A\t1zz" + LEFT * 2 + "\t\n")),
    Case("wtablist", "terminal, Tab's question at a console, a paste after a Tab", None,
         {**IO, **{f"n{i:03}": b"" for i in range(101)}}, WRITE_FAILED, {"x.wav": GONE, "y.wav": GONE}, on=WINE,
         console="utf-8", shows={QUESTION: 1, "n100": 0},
         keys=("{d}\\n\t" + PAUSE + "n" + PAUSE + ERASE + "in.pcm\n", "{d}\\o\t" + PAUSE + "{d}\\x.wav\n{d}\\y.wav\n")),
    Case("wtabxp", "terminal, Tab under Windows XP's version", None, IO, NO_INPUT, on=WINE, console="xp",
         keys=("{d}\\in\t\n", "{d}\\o.wav\n")),
    # A console line holding Ctrl+J before its end is refused whole: no part of it answers a prompt.
    # Wine's console keeps the LF; conhost drops LF keys, and there the joined text names no file.
    Case("ttyctlj", "terminal, Ctrl+J inside a console line", None, {**IO, "out.wav": b"precious"}, NO_INPUT,
         {"out.wav": b"precious", "o.wav": GONE}, on=WINE, console="utf-8", keys=("{d}\\in.pcm" + CTRL_J + "{d}\\out.wav\n", "{d}\\o.wav\n")),
    # An extra Enter pasted with the paths must not end the wait.
    Case("ttyown", "terminal, a console of its own says so and waits for Enter", None, {"表/ソ.pcm": PCM},
         DONE, {"ソ/表/表.wav": wav_file(PCM)}, on=WINE, console="own", waits=True,
         keys=(r"{d}\表\ソ.pcm" "\n", r"{d}\ソ\表\表.wav" "\n\n")),
]

_ids = [case.id for case in CASES]
assert len(_ids) == len(set(_ids)), "case folders must differ"
assert all(len(i) <= 8 and i.isascii() for i in _ids), "case folders are short ASCII names"
