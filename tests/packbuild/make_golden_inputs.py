#!/usr/bin/env python3
"""Writes the source packs and templates of the packbuild-* golden cases
into tests/golden/inputs/ (run once; the files are committed).

usage: make_golden_inputs.py [SOURCE_ROOT]
"""
import random, struct, sys
from pathlib import Path
from PIL import Image

DXGI = {"R8_UNORM": 61, "RG8_UNORM": 49, "RG8_SNORM": 51, "RGBA8_UNORM": 28, "BC1_UNORM": 71, "BC3_UNORM": 77,
        "BC5_UNORM": 83, "BC5_SNORM": 84, "BC7_UNORM": 98}
TEXEL = {"R8_UNORM": 1, "RG8_UNORM": 2, "RG8_SNORM": 2, "RGBA8_UNORM": 4}
BLOCK = {"BC1_UNORM": 8, "BC3_UNORM": 16, "BC5_UNORM": 16, "BC5_SNORM": 16, "BC7_UNORM": 16}


def chain(w, h):
    sizes = [(w, h)]
    while w > 1 or h > 1:
        w, h = max(1, w >> 1), max(1, h >> 1)
        sizes.append((w, h))
    return sizes


def level_bytes(fmt, w, h):
    if fmt in BLOCK:
        return BLOCK[fmt] * ((w + 3) // 4) * ((h + 3) // 4)
    return TEXEL[fmt] * w * h


def dds(fmt, w, h, levels, rng, cut=0):
    head = struct.pack("<4s7I44x", b"DDS ", 124, 0x21007, h, w, 0, 0, levels)
    head += struct.pack("<2I4s5I", 32, 4, b"DX10", 0, 0, 0, 0, 0)
    head += struct.pack("<5I", 0x401008, 0, 0, 0, 0)
    head += struct.pack("<5I", DXGI[fmt], 3, 0, 1, 0)
    data = bytes(rng.randrange(256) for s in chain(w, h)[:levels] for _ in range(level_bytes(fmt, *s)))
    return head + data[:len(data) - cut]


def png(mode, w, h, rng, alpha=None, smooth=False):
    channels = {"L": 1, "LA": 2, "RGB": 3, "RGBA": 4}[mode]
    px = bytearray()
    for y in range(h):
        for x in range(w):
            base = [(x * 37 + y * 11) % 256, (x * 5 + y * 53) % 256, (x * y * 3) % 256, 255]
            if smooth:  # gradients with a little noise, as photographs and paintings have
                base[:3] = [min(255, x * 255 // w + rng.randrange(8)), y * 255 // h, (x + y) * 127 // (w + h) + 64]
            if alpha == "graded":
                base[3] = (x * 16 + y * 8) % 256
            elif alpha == "binary":
                base[3] = 0 if (x + y) % 3 == 0 else 255
            px += bytes((base[:3] if channels >= 3 else base[:1]) + (base[3:] if channels in (2, 4) else []))
    return Image.frombytes(mode, (w, h), bytes(px))


def write_pack(folder, rows, rng):
    """rows: (hash, original format, ow, oh, ext, maker or None for a missing file)."""
    for side in ("src", "template"):
        (folder / side).mkdir(parents=True, exist_ok=True)
    lines = {"src": [], "template": []}
    for h, fmt, ow, oh, ext, maker in rows:
        bf = f"bf_{h >> 32:08X}_{h & 0xFFFFFFFF:08X}"
        key = f"{h:016X}__{bf}"
        lines["src"].append(f"{h:016X} {bf} {fmt} {ow} {oh} {key}{ext}")
        lines["template"].append(f"{h:016X} {bf} {fmt} {ow} {oh} {key}.dds")
        if maker is None:
            continue
        made = maker(rng)
        if isinstance(made, Image.Image):
            made.save(folder / "src" / f"{key}{ext}")
        else:
            (folder / "src" / f"{key}{ext}").write_bytes(made)
    header = "MVTP 1\n# hash bf_name original_host_format original_width original_height replacement_file\n"
    for side in ("src", "template"):
        (folder / side / "pack.txt").write_text(header + "".join(l + "\n" for l in lines[side]))


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parents[2]) / "tests/golden/inputs"
    rng = random.Random(27)
    # Rows that need no encoder: one-channel rows, sizes no block format
    # takes, block-compressed DDS files with their chains, and rows that fail.
    write_pack(root / "packbuild-uncompressed", [
        (0x1A0000000001, "R8_UNORM", 16, 16, ".png", lambda r: png("L", 16, 8, r)),
        (0x1A0000000002, "R8_UNORM", 16, 16, ".dds", lambda r: dds("R8_UNORM", 12, 6, 4, r)),
        (0x1A0000000003, "RG8_UNORM", 8, 8, ".png", lambda r: png("RGB", 6, 10, r)),
        (0x1A0000000004, "RG8_SNORM", 8, 8, ".dds", lambda r: dds("RG8_SNORM", 5, 5, 1, r)),
        (0x1A0000000005, "RGBA8_UNORM", 8, 8, ".png", lambda r: png("RGBA", 7, 3, r, "graded")),
        (0x1A0000000006, "BC1_UNORM", 8, 8, ".png", lambda r: png("RGBA", 10, 10, r, "binary")),
        (0x1A0000000007, "RGBA8_UNORM", 8, 8, ".dds", lambda r: dds("BC3_UNORM", 8, 8, 4, r)),
        (0x1A0000000008, "BC1_UNORM", 16, 16, ".dds", lambda r: dds("BC1_UNORM", 16, 8, 5, r)),
        (0x1A0000000009, "BC5_UNORM", 8, 8, ".dds", lambda r: dds("BC5_UNORM", 8, 8, 4, r)),
        (0x1A000000000A, "RGBA8_UNORM", 8, 8, ".png", None),
        (0x1A000000000B, "RGBA8_UNORM", 8, 8, ".dds", lambda r: dds("BC1_UNORM", 8, 8, 4, r)),
        (0x1A000000000C, "BC1_UNORM", 8, 8, ".dds", lambda r: dds("BC3_UNORM", 8, 8, 4, r, cut=1)),
        (0x1A000000000D, "RGBA8_UNORM", 8, 8, ".png", lambda r: png("RGB", 8, 8, r)),
    ], rng)
    # Every family with the format its original suggests, from PNG and from
    # DDS sources: a plain DDS with an artist's own mips, a block DDS without.
    smooth = lambda mode, w, h, alpha=None: (lambda r: png(mode, w, h, r, alpha, smooth=True))
    write_pack(root / "packbuild-families", [
        (0x3C0000000001, "R8_UNORM", 16, 16, ".png", smooth("L", 16, 16)),
        (0x3C0000000002, "RG8_UNORM", 16, 16, ".png", smooth("RGB", 16, 16)),
        (0x3C0000000003, "BC5_UNORM", 16, 16, ".png", smooth("RGB", 16, 8)),
        (0x3C0000000004, "RG8_SNORM", 16, 16, ".png", smooth("RGB", 8, 8)),
        (0x3C0000000005, "BC5_SNORM", 16, 16, ".dds", lambda r: dds("RG8_SNORM", 8, 8, 1, r)),
        (0x3C0000000006, "BC1_UNORM", 16, 16, ".png", smooth("RGBA", 16, 16)),
        (0x3C0000000007, "BC1_UNORM", 16, 16, ".png", smooth("RGBA", 16, 16, "binary")),
        (0x3C0000000008, "BC1_UNORM", 16, 16, ".png", smooth("RGBA", 16, 16, "graded")),
        (0x3C0000000009, "RGBA8_UNORM", 16, 16, ".png", smooth("RGBA", 16, 16, "graded")),
        (0x3C000000000A, "BC3_UNORM", 16, 16, ".png", smooth("RGBA", 8, 16)),
        (0x3C000000000B, "BC7_UNORM", 16, 16, ".png", smooth("RGBA", 16, 16, "graded")),
        (0x3C000000000C, "BC1_UNORM", 16, 16, ".dds", lambda r: dds("RGBA8_UNORM", 8, 8, 4, r)),
        (0x3C000000000D, "RGBA8_UNORM", 16, 16, ".dds", lambda r: dds("BC3_UNORM", 16, 16, 1, r)),
    ], rng)
    # Colour rows under --format: accepted where the original's family takes
    # the format, refused with a reason where it does not.
    write_pack(root / "packbuild-format", [
        (0x2B0000000001, "RGBA8_UNORM", 8, 8, ".png", lambda r: png("RGBA", 8, 4, r, "graded")),
        (0x2B0000000002, "BC1_UNORM", 8, 8, ".png", lambda r: png("RGBA", 4, 8, r)),
        (0x2B0000000003, "R8_UNORM", 8, 8, ".png", lambda r: png("L", 8, 8, r)),
    ], rng)


if __name__ == "__main__":
    main()
