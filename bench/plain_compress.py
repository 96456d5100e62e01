#!/usr/bin/env python3
"""The baseline a user would write: walk a tree and compress every .ACE texture in place with
Python's zlib, one file after another, rewriting each file directly (no temporary file, no sync
to disk). Same layout as quorvel: header bytes 0..6, marker 'F', payload size, "@@@@", stream.

Usage: plain_compress.py FOLDER"""
import os
import stat
import struct
import sys
import zlib


def main(root):
    saved = 0
    for folder, _, names in os.walk(root):
        for name in names:
            if name[-4:].upper() != ".ACE":
                continue
            path = os.path.join(folder, name)
            info = os.lstat(path)
            if not stat.S_ISREG(info.st_mode) or not info.st_mode & stat.S_IWUSR:
                continue
            with open(path, "rb") as f:
                data = f.read()
            if len(data) <= 16 or data[7] > 0x40:
                continue
            payload = data[16:]
            stream = zlib.compress(payload, 6)
            with open(path, "wb") as f:
                f.write(data[:7] + b"F" + struct.pack("<i", len(payload)) + b"@@@@" + stream)
            saved += len(payload) - len(stream)
    print(saved)


if __name__ == "__main__":
    main(sys.argv[1])
