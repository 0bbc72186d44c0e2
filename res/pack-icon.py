#!/usr/bin/env python3
"""Pack prepared images into a Windows .ico with an exact colour depth per image.

Usage: pack-icon.py OUT.ico IMAGE...
  IMAGE is SIZE:BPP:FILE, where FILE holds SIZE x SIZE pixels of raw 8-bit
  RGBA (top row first) and BPP is 4, 8 or 32; or SIZE:png:FILE, a PNG that
  is stored as it is (Windows reads PNG images only at 256 pixels).

ImageMagick's own ICO writer chooses the depths itself, so the pixels come
from it and the container is written here.
"""
import struct
import sys

OPAQUE = 128  # alpha at or above this counts as opaque in the AND mask


def row_stride(width, bpp):
    # DIB rows are padded to a multiple of 4 bytes.
    return ((width * bpp + 31) // 32) * 4


def pack_bits(values, bpp, width):
    """Pack one row of small integers MSB first, padded to the DIB stride."""
    out = bytearray(row_stride(width, bpp))
    per_byte = 8 // bpp
    for i, v in enumerate(values):
        shift = 8 - bpp * (i % per_byte + 1)
        out[i // per_byte] |= v << shift
    return bytes(out)


def and_mask(rgba, size):
    rows = []
    for y in range(size):
        bits = [0 if rgba[(y * size + x) * 4 + 3] >= OPAQUE else 1 for x in range(size)]
        rows.append(pack_bits(bits, 1, size))
    return b"".join(reversed(rows))  # bottom-up


def dib_image(rgba, size, bpp):
    pixels = [tuple(rgba[i:i + 4]) for i in range(0, len(rgba), 4)]
    palette = []
    if bpp == 32:
        rows = [b"".join(struct.pack("BBBB", b, g, r, a) for r, g, b, a in pixels[y * size:(y + 1) * size])
                for y in range(size)]
    else:
        # Transparent pixels take index 0; the AND mask hides them.
        index = {}
        for r, g, b, a in pixels:
            if a >= OPAQUE and (r, g, b) not in index:
                index[(r, g, b)] = len(index)
        limit = 1 << bpp
        if len(index) > limit:
            sys.exit(f"{size}px: {len(index)} colours do not fit in {bpp} bits per pixel")
        palette = sorted(index, key=index.get) + [(0, 0, 0)] * (limit - len(index))
        rows = []
        for y in range(size):
            line = pixels[y * size:(y + 1) * size]
            rows.append(pack_bits([index[(r, g, b)] if a >= OPAQUE else 0 for r, g, b, a in line], bpp, size))
    xor = b"".join(reversed(rows))  # bottom-up
    mask = and_mask(rgba, size)
    # Height is doubled: the XOR image and the AND mask are stacked.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, len(xor) + len(mask), 0, 0, 0, 0)
    colours = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette)
    return header + colours + xor + mask


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit("not a PNG file")
    return struct.unpack(">II", data[16:24])


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    entries = []
    for arg in argv[2:]:
        size_text, kind, path = arg.split(":", 2)
        size = int(size_text)
        with open(path, "rb") as f:
            data = f.read()
        if kind == "png":
            if png_size(data) != (size, size):
                sys.exit(f"{path}: not {size}x{size}")
            entries.append((size, 32, 0, data))
            continue
        bpp = int(kind)
        if bpp not in (4, 8, 32):
            sys.exit(f"unsupported depth {bpp}")
        if len(data) != size * size * 4:
            sys.exit(f"{path}: expected {size * size * 4} bytes of RGBA, found {len(data)}")
        entries.append((size, bpp, 16 if bpp == 4 else 0, dib_image(data, size, bpp)))

    out = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for size, bpp, colour_count, data in entries:
        dim = 0 if size >= 256 else size  # 0 stands for 256
        out += struct.pack("<BBBBHHII", dim, dim, colour_count, 0, 1, bpp, len(data), offset)
        offset += len(data)
    for entry in entries:
        out += entry[3]
    with open(argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv)
