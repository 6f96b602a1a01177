#!/usr/bin/env python3
"""Writes the small broken bitmap files the reader must refuse. Run from anywhere; the
files land in malformed/ beside this script. Each file breaks one thing."""
import os
import struct

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "malformed")


def info(w, h, planes=1, bpp=24, comp=0, size_image=0, clr_used=0, hs=40):
    return struct.pack("<IiiHHIIiiII", hs, w, h, planes, bpp, comp, size_image, 0, 0, clr_used, 0)


def file_header(total, off):
    return b"BM" + struct.pack("<IHHI", total, 0, 0, off)


def bmp(body_info, extra=b"", pixels=b"", off=None):
    head = body_info + extra
    if off is None:
        off = 14 + len(head)
    return file_header(14 + len(head) + len(pixels), off) + head + pixels


def gray_table(n):
    return b"".join(bytes((i, i, i, 0)) for i in range(n))


def write(name, data):
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)


valid = bmp(info(2, 2), pixels=b"\x00" * 16)
write("truncated_file_header.bmp", valid[:9])
write("truncated_info_header.bmp", valid[:30])
write("truncated_pixels.bmp", bmp(info(10, 10), pixels=b"\x00" * 30))
write("not_a_bitmap.bmp", b"XY" + valid[2:])
write("huge_width.bmp", bmp(info(100_000_000, 1), pixels=b"\x00" * 16))
write("huge_area.bmp", bmp(info(65536, 65536), pixels=b"\x00" * 16))
write("zero_width.bmp", bmp(info(0, 4), pixels=b"\x00" * 16))
write("negative_width.bmp", bmp(info(-4, 4), pixels=b"\x00" * 16))
write("zero_height.bmp", bmp(info(4, 0), pixels=b"\x00" * 16))
write("min_height.bmp", bmp(info(4, -2**31), pixels=b"\x00" * 16))
write("zero_planes.bmp", bmp(info(2, 2, planes=0), pixels=b"\x00" * 16))
write("bit_count_7.bmp", bmp(info(2, 2, bpp=7), pixels=b"\x00" * 16))
write("bit_count_0.bmp", bmp(info(2, 2, bpp=0), pixels=b"\x00" * 16))
write("bad_header_size.bmp", bmp(struct.pack("<I", 20) + info(2, 2)[4:20], pixels=b"\x00" * 16))
write("unknown_compression.bmp", bmp(info(2, 2, comp=9), pixels=b"\x00" * 16))
write("jpeg_compression.bmp", bmp(info(2, 2, comp=4), pixels=b"\x00" * 16))
write("rle8_with_24_bits.bmp", bmp(info(2, 2, comp=1), pixels=b"\x00\x01"))
write("offset_past_end.bmp", bmp(info(2, 2), pixels=b"\x00" * 16, off=100000))
write("offset_inside_header.bmp", bmp(info(2, 2), pixels=b"\x00" * 16, off=20))
write("bitfields_overlapping.bmp",
      bmp(info(2, 2, bpp=16, comp=3), extra=struct.pack("<III", 0xFF00, 0x0FF0, 0x000F), pixels=b"\x00" * 8))
write("bitfields_zero_mask.bmp",
      bmp(info(2, 2, bpp=32, comp=3), extra=struct.pack("<III", 0xFF0000, 0, 0xFF), pixels=b"\x00" * 16))
write("bitfields_gappy_mask.bmp",
      bmp(info(2, 2, bpp=16, comp=3), extra=struct.pack("<III", 0xF00F, 0x07E0, 0x001F), pixels=b"\x00" * 8))
write("bitfields_on_8_bits.bmp", bmp(info(2, 2, bpp=8, comp=3), extra=gray_table(256), pixels=b"\x00" * 8))
# Run-length data that tries to write past the picture: a run of 10 on a 4-pixel row,
# a literal past the row, rows past the top, a move off the picture, and a literal whose
# bytes run off the end of the data.
write("rle8_run_overrun.bmp", bmp(info(4, 2, bpp=8, comp=1), extra=gray_table(256), pixels=b"\x0a\x05\x00\x01"))
write("rle8_literal_overrun.bmp",
      bmp(info(4, 2, bpp=8, comp=1), extra=gray_table(256), pixels=b"\x00\x06\x01\x02\x03\x04\x05\x06\x00\x01"))
write("rle8_rows_overrun.bmp",
      bmp(info(4, 2, bpp=8, comp=1), extra=gray_table(256), pixels=b"\x00\x00\x00\x00\x00\x00\x02\x07\x00\x01"))
write("rle8_delta_outside.bmp",
      bmp(info(4, 2, bpp=8, comp=1), extra=gray_table(256), pixels=b"\x00\x02\x09\x00\x01\x07\x00\x01"))
write("rle8_literal_past_data.bmp", bmp(info(8, 1, bpp=8, comp=1), extra=gray_table(256), pixels=b"\x00\x08\x01\x02"))
write("rle4_run_overrun.bmp", bmp(info(3, 1, bpp=4, comp=2), extra=gray_table(16), pixels=b"\x05\x12\x00\x01"))
write("rle_top_down.bmp", bmp(info(4, -2, bpp=8, comp=1), extra=gray_table(256), pixels=b"\x04\x01\x00\x01"))
write("rle8_size_past_end.bmp",
      bmp(info(4, 1, bpp=8, comp=1, size_image=5000), extra=gray_table(256), pixels=b"\x04\x01\x00\x01"))
# A colour count so large that the table alone would run far past the file.
write("huge_colour_count.bmp", bmp(info(2, 2, bpp=8, clr_used=0x7FFFFFFF), pixels=b"\x00" * 8, off=0))
write("core_header_32_bits.bmp",
      file_header(26 + 8, 26) + struct.pack("<IHHHH", 12, 1, 2, 1, 32) + b"\x00" * 8)
write("empty.bmp", b"")
