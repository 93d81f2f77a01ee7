#!/usr/bin/env python3
"""Writes the release zip, the same bytes from every build of one commit: entries in the order given, each stamped with SOURCE_DATE_EPOCH (from the
environment, else the commit's time), fixed permissions, no extra fields. (CMake's own zip
writer records each file's access and change times and owner, which differ per build.)

  release_zip.py ZIP SOURCE_DIR FILE...
"""

import os
import subprocess
import sys
import time
import zipfile


def source_date_epoch(source_dir):
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        return int(subprocess.run(["git", "-C", source_dir, "log", "-1", "--format=%ct"],
                                  capture_output=True, text=True, check=True).stdout)
    except (OSError, subprocess.CalledProcessError, ValueError):
        return 315532800  # 1980-01-01, the earliest time a zip entry holds


def main():
    zip_path, source_dir, files = sys.argv[1], sys.argv[2], sys.argv[3:]
    stamp = time.gmtime(max(source_date_epoch(source_dir), 315532800))[:6]
    with zipfile.ZipFile(zip_path, "w") as archive:
        for path in files:
            entry = zipfile.ZipInfo(os.path.basename(path), stamp)
            entry.create_system = 3
            entry.external_attr = (0o100755 if path.endswith(".exe") else 0o100644) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                archive.writestr(entry, f.read(), compresslevel=9)


if __name__ == "__main__":
    main()
