#!/usr/bin/env python3
"""Writes text files joined into one that Notepad shows right as far back as Windows XP: UTF-8
with a byte-order mark (without one, Notepad may take the Japanese for another code page) and
CR LF line ends (before Windows 10 1809 it shows LF-only text as one line).

  notepad_text.py OUT IN...
"""

import sys

out, parts = sys.argv[1], sys.argv[2:]
text = "\n\n".join(open(part, encoding="utf-8").read().rstrip("\n") for part in parts) + "\n"
with open(out, "wb") as f:
    f.write(b"\xef\xbb\xbf" + text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8"))
