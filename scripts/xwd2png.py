#!/usr/bin/env python3
"""Converts a TrueColor X window dump with 24 or 32 bits per pixel
(xwd -root) to PNG.
Usage: xwd2png.py in.xwd out.png"""
import struct
import sys
import zlib


def main(src, dst):
    data = open(src, "rb").read()
    fields = struct.unpack(">25I", data[:100])
    header_size, _, fmt, _, width, height = fields[:6]
    byte_order, bpp, bytes_per_line, ncolors = fields[7], fields[11], fields[12], fields[19]
    if fmt != 2 or bpp not in (24, 32):
        sys.exit(f"unsupported dump: format {fmt}, {bpp} bits per pixel")
    pixels = data[header_size + 12 * ncolors:]
    rows = []
    for y in range(height):
        step = bpp // 8
        line = pixels[y * bytes_per_line:y * bytes_per_line + width * step]
        out = bytearray(b"\0")
        for x in range(0, width * step, step):
            px = line[x:x + step] if byte_order == 0 else line[x:x + step][::-1]
            b, g, r = px[0], px[1], px[2]
            out += bytes((r, g, b))
        rows.append(bytes(out))
    chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(b"".join(rows), 6)) + chunk(b"IEND", b""))
    open(dst, "wb").write(png)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
