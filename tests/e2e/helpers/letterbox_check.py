#!/usr/bin/env python3
"""Checks a screenshot of the saver against the letterbox rule: the 800 x 600 picture
scaled to the largest size of its shape that fits the screen, centred, black around it,
and every picture pixel shown as a block of whole screen pixels, the screen pixel x
showing picture pixel (x - left) * 800 // width (and so for rows). A picture scaled by a
smooth filter, or by another rounding, has screen pixels that differ from the first pixel
of their block where neighbouring picture pixels differ.

    letterbox_check.py SHOT.ppm     (binary PPM, as ImageMagick's "ppm:" writes)

Prints what it found; exits 1 when the screen breaks the rule."""
import sys


def read_ppm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or int(fields[3]) != 255:
        sys.exit("not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:]
    if len(pixels) < width * height * 3:
        sys.exit("the PPM is cut short")
    return width, height, pixels


def main():
    width, height, px = read_ppm(sys.argv[1])
    sw, sh = 800, 600
    if width * sh <= height * sw:
        bw, bh = width, sh * width // sw
    else:
        bw, bh = sw * height // sh, height
    left, top = (width - bw) // 2, (height - bh) // 2

    def at(x, y):
        i = (y * width + x) * 3
        return px[i:i + 3]

    def first_of(pos, start, size, source):  # the first screen pixel of pos's block
        s = (pos - start) * source // size
        return start + -(-s * size // source)

    black = b"\0\0\0"
    bars = [(x, y) for y in range(0, height, 3) for x in list(range(0, left)) + list(range(left + bw, width))]
    bars += [(x, y) for x in range(0, width, 3) for y in list(range(0, top)) + list(range(top + bh, height))]
    lit_bars = sum(1 for x, y in bars if at(x, y) != black)
    wrong, checked, lit = 0, 0, 0
    for y in range(top, top + bh, 3):
        fy = first_of(y, top, bh, sh)
        for x in range(left, left + bw):
            here = at(x, y)
            lit += here != black
            checked += 1
            if here != at(first_of(x, left, bw, sw), fy):
                wrong += 1
    print(f"screen {width}x{height}: picture {bw}x{bh} at {left},{top}; {lit_bars} lit bar pixels, "
          f"{wrong} of {checked} picture pixels off their block, {lit} lit")
    sys.exit(1 if lit_bars or wrong or lit < 1000 else 0)


main()
