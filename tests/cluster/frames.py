#!/usr/bin/env python3
"""Small 8-bit grey PNG frames for the cluster test, with Python's standard
library only (zlib and struct), so that the test needs no image package.

  frames.py make DIR COUNT      DIR/in_NN.png (noisy) and DIR/clean/clean_NN.png
                                for NN = 00 .. COUNT-1
  frames.py check DIR NN...     for each frame NN, DIR/out/out_NN.png has the
                                input's size and is closer to clean_NN than
                                in_NN is, by at least MIN_GAIN_DB of PSNR
  frames.py smooth IN OUT       a 3x3 mean of IN, written to OUT (the stand-in
                                program's "denoising")

Frame NN is a bright rectangle on a darker ground, the rectangle 4 pixels
further right and the ground 6 levels brighter from one frame to the next,
with Gaussian noise of standard deviation 20 from a seed of NN. An output
made from another frame's input is then further from the frame's clean
image than the noisy input is, and fails the check.
"""
import math
import os
import random
import struct
import sys
import zlib

SIZE = 64
NOISE = 20.0
MIN_GAIN_DB = 3.0


def clean_frame(number):
    left, ground = 2 + 4 * number, 50 + 6 * number
    return [[ground + 100 if left <= x < left + 16 and 16 <= y < 48 else ground
             for x in range(SIZE)] for y in range(SIZE)]


def noisy_frame(number):
    rng = random.Random(number)
    return [[min(255, max(0, round(v + rng.gauss(0.0, NOISE)))) for v in row]
            for row in clean_frame(number)]


def write_png(path, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(row) for row in rows)
    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw))
           + chunk(b"IEND", b""))
    with open(path, "wb") as out:
        out.write(png)


def read_png(path):
    """The samples of an 8-bit grey, non-interlaced PNG, as rows of ints."""
    with open(path, "rb") as stream:
        data = stream.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    position, idat, header = 8, b"", None
    while position < len(data):
        length, kind = struct.unpack(">I4s", data[position:position + 8])
        body = data[position + 8:position + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        position += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 0, 0):
        raise ValueError(f"{path}: depth {depth}, colour type {colour}, interlace {interlace};"
                         " expected 8-bit grey, not interlaced")
    raw = zlib.decompress(idat)
    rows, previous = [], [0] * width
    for y in range(height):
        line = raw[y * (width + 1):(y + 1) * (width + 1)]
        kind, row = line[0], list(line[1:])
        for x in range(width):
            left = row[x - 1] if x else 0
            up, corner = previous[x], previous[x - 1] if x else 0
            if kind == 1:
                row[x] = (row[x] + left) & 255
            elif kind == 2:
                row[x] = (row[x] + up) & 255
            elif kind == 3:
                row[x] = (row[x] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                row[x] = (row[x] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
            elif kind != 0:
                raise ValueError(f"{path}: unknown filter {kind} on row {y}")
        rows.append(row)
        previous = row
    return rows


def psnr(rows, reference):
    squares = sum((a - b) ** 2 for row, ref in zip(rows, reference) for a, b in zip(row, ref))
    mse = squares / (len(reference) * len(reference[0]))
    return math.inf if mse == 0 else 10 * math.log10(255 * 255 / mse)


def make(folder, count):
    os.makedirs(os.path.join(folder, "clean"), exist_ok=True)
    for number in range(count):
        write_png(os.path.join(folder, f"in_{number:02d}.png"), noisy_frame(number))
        write_png(os.path.join(folder, "clean", f"clean_{number:02d}.png"), clean_frame(number))


def check(folder, numbers):
    failures = 0
    for number in numbers:
        name = f"out_{number}.png"
        noisy = read_png(os.path.join(folder, f"in_{number}.png"))
        clean = read_png(os.path.join(folder, "clean", f"clean_{number}.png"))
        try:
            out = read_png(os.path.join(folder, "out", name))
        except (OSError, ValueError) as error:
            print(f"FAILED: {name}: {error}")
            failures += 1
            continue
        if (len(out), len(out[0])) != (len(clean), len(clean[0])):
            print(f"FAILED: {name} is {len(out[0])}x{len(out)}, its input {SIZE}x{SIZE}")
            failures += 1
            continue
        before, after = psnr(noisy, clean), psnr(out, clean)
        if after < before + MIN_GAIN_DB:
            print(f"FAILED: {name}: {after:.2f} dB against the clean frame, its input"
                  f" {before:.2f} dB: not denoised, or not from in_{number}.png")
            failures += 1
    return failures == 0


def smooth(source, target):
    rows = read_png(source)
    height, width = len(rows), len(rows[0])
    out = []
    for y in range(height):
        line = []
        for x in range(width):
            near = [rows[j][i] for j in range(max(0, y - 1), min(height, y + 2))
                    for i in range(max(0, x - 1), min(width, x + 2))]
            line.append(round(sum(near) / len(near)))
        out.append(line)
    write_png(target, out)


def main(arguments):
    if len(arguments) == 3 and arguments[0] == "make":
        make(arguments[1], int(arguments[2]))
    elif len(arguments) >= 2 and arguments[0] == "check":
        return 0 if check(arguments[1], arguments[2:]) else 1
    elif len(arguments) == 3 and arguments[0] == "smooth":
        smooth(arguments[1], arguments[2])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
