"""Writes the committed seed inputs of both fuzz targets (run from fuzz/).

Filter seeds: four option bytes (colour mode, smooth zoom, squint position,
probe), then a small picture in each format Qt reads without plug-ins.
Kernel seeds: assorted bytes of a few lengths (the data provider takes its
choices of size, zoom and position from the end, pixels from the front).
"""
import os
import struct
import subprocess
import zlib


def png(w, h, rgb):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b"".join(b"\0" + rgb[3 * w * y: 3 * w * (y + 1)] for y in range(h))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def bmp(w, h, rgb):
    stride = (3 * w + 3) & ~3
    rows = b""
    for y in reversed(range(h)):
        row = b"".join(bytes(reversed(rgb[3 * (w * y + x): 3 * (w * y + x) + 3])) for x in range(w))
        rows += row + b"\0" * (stride - 3 * w)
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(rows), 0, 0, 54) + header + rows


def ppm(w, h, rgb):
    return b"P6\n%d %d\n255\n" % (w, h) + rgb


def picture(w, h):
    return bytes(((x * 37 + y * 11) & 255, (y * 53) & 255, (x ^ y) * 29 & 255)[c]
                 for y in range(h) for x in range(w) for c in range(3))


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


os.makedirs("corpus/filter", exist_ok=True)
os.makedirs("corpus/kernels", exist_ok=True)
options = [bytes([0, 0, 15, 0]), bytes([1, 1, 15, 1]), bytes([2, 2, 15, 0]), bytes([3, 5, 15, 1]),
           bytes([4, 0, 0, 0]), bytes([2, 0, 30, 1])]
pictures = {
    "png-4x3": png(4, 3, picture(4, 3)),
    "png-1x1": png(1, 1, b"\xff\x00\x00"),
    "bmp-5x2": bmp(5, 2, picture(5, 2)),
    "ppm-6x4": ppm(6, 4, picture(6, 4)),
    "pgm-3x3": b"P5\n3 3\n255\n" + bytes(range(0, 90, 10)),
    "pbm-8x2": b"P4\n8 2\n\xa5\x5a",
    "ppm-ascii": b"P3\n2 1\n255\n255 0 0 0 255 0\n",
    "xpm-2x2": b'/* XPM */\nstatic char *x[] = {\n"2 2 2 1",\n"a c #FF0000",\n"b c #00FF00",\n"ab",\n"ba"};\n',
    "xbm-8x1": b"#define x_width 8\n#define x_height 1\nstatic char x_bits[] = { 0x55 };\n",
    "ppm-huge-header": b"P6\n30000 30000\n255\n\x00\x00\x00",
    "png-truncated": png(4, 3, picture(4, 3))[:40],
}
for i, (name, data) in enumerate(sorted(pictures.items())):
    write("corpus/filter/%s" % name, options[i % len(options)] + data)

kernels = {
    "small": bytes([7, 9, 20, 20, 0, 2, 0, 0, 0, 0]) + bytes(range(256)) * 4,
    "edge-left": bytes([40, 40, 100, 100, 1, 0, 0, 0, 0, 0]) + bytes(range(255, 0, -1)) * 8,
    "zoom12": bytes([160, 160, 200, 200, 1, 4, 7]) + bytes(range(256)) * 16,
    "one-pixel": bytes([1, 1, 1, 1, 0, 0]) + b"\x80" * 64,
}
for name, data in kernels.items():
    write("corpus/kernels/%s" % name, data)
