"""What a case's files hold before and must hold after: plain bytes, or one of the markers and
makers below. A maker's make(path) puts it in place; a checker's check(path) returns what is
wrong, or None."""

import os
import threading
import wave

DIR = "folder"  # before: made; after: must be a folder
GONE = "gone"   # after: must not exist


class Skip(Exception):
    """A case this machine cannot run."""


def pcm_file(samples, size_field=None):
    """A PCM data file: noise where the program reads nothing, a stereo 44.1 kHz format."""
    if size_field is None:
        size_field = len(samples) + 36
    fmt = bytes.fromhex("01000200 44ac0000 10b10200 04001000")
    return b"NOPE" + size_field.to_bytes(4, "little") + b"\x99\x00\x00\x00" + fmt + samples


def wav_file(pcm):
    """What the WAV file must hold for `pcm`, worked out here independently."""
    head = pcm[:28].ljust(28, b"\x00")
    data_length = (int.from_bytes(head[4:8], "little") - 44) % 2**32
    return (b"RIFF" + head[4:8] + b"WAVEfmt \x10" + head[9:28] + b"data"
            + data_length.to_bytes(4, "little") + pcm[28:])


def pattern(length):
    return bytes((i * 37 + 11) % 256 for i in range(length))


PCM = pcm_file(pattern(5000) + b"\n\r\n\x1a")  # line-end and Ctrl+Z bytes stay as they are
SAMPLE = open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "tone.pcm"),
              "rb").read()


class ReadOnly:
    def __init__(self, content):
        self.content = content

    def make(self, path):
        with open(path, "wb") as f:
            f.write(self.content)
        os.chmod(path, 0o444)


class ReadsAsWav:
    """The bytes, and a real WAV reader reads them as (channels, rate, bits, frames)."""

    def __init__(self, content, shape):
        self.content, self.shape = content, shape

    def check(self, path):
        if not os.path.isfile(path) or open(path, "rb").read() != self.content:
            return "not the expected bytes"
        with open(path, "rb") as f, wave.open(f, "rb") as w:
            got = (w.getnchannels(), w.getframerate(), w.getsampwidth() * 8, w.getnframes())
        return None if got == self.shape else f"the wave module read {got}"


class FifoWriter:
    """A FIFO whose writer, waiting for a reader, must still wait after the run, then deliver all."""

    def __init__(self, content):
        self.content = content

    def make(self, path):
        os.mkfifo(path)
        self.thread = threading.Thread(target=lambda: open(path, "wb").write(self.content), daemon=True)
        self.thread.start()  # waits in its open for a reader

    def check(self, path):
        waiting = self.thread.is_alive()
        fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK)  # no wait where no writer is left
        os.set_blocking(fd, True)
        with os.fdopen(fd, "rb") as f:
            got = f.read()
        return None if waiting and got == self.content else f"the writer was disturbed: {len(got)} bytes"


class SparsePcm:
    """A sparse PCM data file of `length` bytes with marked bytes around 2^31, 2^32 and its
    last block, and as an output, its conversion."""

    MARK = b"marked bytes past a boundary " + bytes(range(11))

    def __init__(self, length):
        self.length = length
        self.marks = (2**31 - 8, 2**32 - 8, length - 40)

    def make(self, path):
        free = os.statvfs(os.path.dirname(path))
        if free.f_bavail * free.f_frsize < self.length + 2**30:
            raise Skip(f"needs {self.length + 2**30} bytes free")
        self.path = path
        with open(path, "wb") as f:
            f.write(pcm_file(b"", size_field=(self.length + 16) % 2**32))
            f.truncate(self.length)
            for mark in self.marks:
                f.seek(mark)
                f.write(self.MARK)

    def check(self, path):
        """As an output: the WAV file's length, header and marked bytes; removes both files."""
        try:
            if os.path.getsize(path) != self.length + 16:
                return f"{os.path.getsize(path)} bytes"
            with open(self.path, "rb") as i, open(path, "rb") as o:
                if o.read(44) != wav_file(i.read(28)):
                    return "the header differs"
                for mark in self.marks:
                    i.seek(mark - 64)
                    o.seek(mark + 16 - 64)
                    if i.read(128) != o.read(128):
                        return f"bytes differ around {mark}"
        finally:
            for done in (path, self.path):
                if os.path.exists(done):
                    os.remove(done)
        return None
