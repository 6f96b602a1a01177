#!/usr/bin/env python3
"""Makes the two pictures the dialog designs include, as TBitmap picture data.

  OptionsBall.bin  the built-in ball of BallPicture.bin (a TDIB) re-wrapped as a TBitmap,
                   so the Options dialog shows the very same pixels as the scene;
  AboutIcon.bin    the About box's 32 x 32 icon: a shaded ball on black.

Picture data is a length-prefixed class name followed by the graphic's own data; for a
TBitmap that is a 32-bit size and a whole bitmap file. Run from anywhere:
  python3 tests/dialogs/make_design_pictures.py
"""
import math
import os
import struct

DESIGNS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "designs")


def bitmap_picture(dib: bytes) -> bytes:
    header_size, = struct.unpack_from("<I", dib, 0)
    bit_count, = struct.unpack_from("<H", dib, 14)
    colours_used, = struct.unpack_from("<I", dib, 32)
    colours = colours_used if colours_used else (1 << bit_count if bit_count <= 8 else 0)
    offset = 14 + header_size + 4 * colours
    file = b"BM" + struct.pack("<IHHI", 14 + len(dib), 0, 0, offset) + dib
    name = b"TBitmap"
    return bytes([len(name)]) + name + struct.pack("<I", len(file)) + file


def ball_from_dib_picture(path: str) -> bytes:
    data = open(path, "rb").read()
    name_length = data[0]
    if data[1:1 + name_length] != b"TDIB":
        raise SystemExit(f"{path}: expected TDIB picture data")
    return data[1 + name_length:]


def icon_dib() -> bytes:
    size = 32
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            dx, dy = x - 15.5, y - 15.5
            r = math.hypot(dx, dy)
            if r > 14.5:
                row += b"\0\0\0"
                continue
            # Light from the upper left: brighter towards (10, 9), darker at the rim.
            light = max(0.0, 1.0 - math.hypot(x - 10, y - 9) / 22.0)
            rim = 1.0 - (r / 14.5) ** 4 * 0.5
            blue = int(min(255, 90 + 165 * light) * rim)
            green = int(min(255, 60 + 195 * light * light) * rim)
            red = int(min(255, 20 + 235 * light ** 3) * rim)
            row += bytes([blue, green, red])
        rows.append(bytes(row))
    pixels = b"".join(reversed(rows))  # bottom-up; 96 bytes a row is already 4-aligned
    header = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    return header + pixels


def main() -> None:
    ball = ball_from_dib_picture(os.path.join(DESIGNS, "BallPicture.bin"))
    with open(os.path.join(DESIGNS, "OptionsBall.bin"), "wb") as f:
        f.write(bitmap_picture(ball))
    with open(os.path.join(DESIGNS, "AboutIcon.bin"), "wb") as f:
        f.write(bitmap_picture(icon_dib()))


if __name__ == "__main__":
    main()
