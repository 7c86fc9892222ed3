#!/usr/bin/env python3
"""Writes a Windows icon file holding the given PNG images as they are.

usage: png2ico.py OUT.ico IMAGE.png...   (each image at most 256x256)
"""
import struct
import sys


def main(out_path, png_paths):
    images = []
    for path in png_paths:
        with open(path, "rb") as f:
            data = f.read()
        if data[:8] != b"\x89PNG\r\n\x1a\n":
            sys.exit(f"png2ico: {path} is not a PNG image")
        width, height = struct.unpack(">II", data[16:24])
        if width > 256 or height > 256:
            sys.exit(f"png2ico: {path} is larger than 256x256")
        images.append((width, height, data))
    offset = 6 + 16 * len(images)
    header = struct.pack("<HHH", 0, 1, len(images))
    entries = b""
    for width, height, data in images:
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(out_path, "wb") as f:
        f.write(header + entries + b"".join(d for _, _, d in images))


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2:])
