#!/usr/bin/env python3
"""Draws the progress window's animation: pages flying from a globe into a
folder, 272 x 60 pixels, 16 frames, as an animated GIF (written by hand, so
nothing but Python is needed)."""
import struct
import sys

W, H, FRAMES = 272, 60, 16
PALETTE = [(240, 240, 240), (40, 90, 170), (250, 200, 60), (255, 255, 255),
           (90, 90, 90), (120, 170, 230), (200, 150, 40), (0, 0, 0)]


def frame(n):
    px = [[0] * W for _ in range(H)]

    def rect(x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(H, y1)):
            row = px[y]
            for x in range(max(0, x0), min(W, x1)):
                row[x] = c

    # The globe on the left.
    cx, cy, r = 34, 30, 22
    for y in range(H):
        for x in range(80):
            d = (x - cx) ** 2 + (y - cy) ** 2
            if d <= r * r:
                px[y][x] = 5 if ((x + n * 2) // 6 + y // 6) % 2 else 1
    # The folder on the right.
    rect(214, 22, 262, 52, 2)
    rect(214, 16, 234, 22, 6)
    rect(214, 50, 262, 52, 6)
    # A page on its way, with lines of text.
    x = 62 + (n * 148) // (FRAMES - 1)
    y = 24 - int(10 * (1 - ((n - FRAMES / 2) / (FRAMES / 2)) ** 2))
    rect(x, y, x + 16, y + 20, 3)
    rect(x, y, x + 16, y + 1, 4)
    rect(x, y + 19, x + 16, y + 20, 4)
    rect(x, y, x + 1, y + 20, 4)
    rect(x + 15, y, x + 16, y + 20, 4)
    for k in range(4):
        rect(x + 3, y + 4 + 4 * k, x + 13, y + 5 + 4 * k, 7)
    return px


def lzw(indices, min_code=3):
    clear, end = 1 << min_code, (1 << min_code) + 1
    table = {bytes([i]): i for i in range(clear)}
    size, next_code = min_code + 1, end + 1
    out, bits, nbits = bytearray(), 0, 0

    def emit(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    emit(clear)
    w = b""
    for i in indices:
        wc = w + bytes([i])
        if wc in table:
            w = wc
            continue
        emit(table[w])
        if next_code < 4096:
            table[wc] = next_code
            next_code += 1
            if next_code > (1 << size) and size < 12:
                size += 1
        else:
            emit(clear)
            table = {bytes([k]): k for k in range(clear)}
            size, next_code = min_code + 1, end + 1
        w = bytes([i])
    if w:
        emit(table[w])
    emit(end)
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def main(path):
    data = bytearray(b"GIF89a" + struct.pack("<HHBBB", W, H, 0xF2, 0, 0))
    for c in PALETTE:
        data += bytes(c)
    data += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"  # loop for ever
    for n in range(FRAMES):
        data += b"\x21\xF9\x04\x00" + struct.pack("<H", 7) + b"\x00\x00"  # 70 ms
        data += b"\x2C" + struct.pack("<HHHHB", 0, 0, W, H, 0)
        pixels = [p for row in frame(n) for p in row]
        body = lzw(pixels)
        data += b"\x03"
        for k in range(0, len(body), 255):
            chunk = body[k:k + 255]
            data += bytes([len(chunk)]) + chunk
        data += b"\x00"
    data += b"\x3B"
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/animation/progress.gif")
