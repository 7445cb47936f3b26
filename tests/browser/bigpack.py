"""A pack of many small rows for the review page: each row an 8x8 original
and a 16x16 replacement, pictures of one of 16 tints."""
import os, struct, zlib


def png(width, height, rgba):
    raw = b"".join(b"\0" + rgba * width for _ in range(height))
    chunk = lambda kind, data: struct.pack(">I", len(data)) + kind + data + struct.pack(
        ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def make_pack(root, rows):
    pack, template = os.path.join(root, "pack"), os.path.join(root, "template")
    os.makedirs(pack)
    os.makedirs(template)
    lines = ["MVTP 1", "# hash bf_name original_host_format original_width original_height replacement_file"]
    for i in range(rows):
        key, name = "%016X" % (0xB16000000 + i), "bf_%08X_00000000" % i
        file = key + "__" + name + ".png"
        tint = bytes(((i * 53) % 256, (i * 97) % 256, (i * 151) % 256, 255))
        open(os.path.join(template, file), "wb").write(png(8, 8, tint))
        open(os.path.join(pack, file), "wb").write(png(16, 16, tint))
        lines.append("%s %s RGBA8_UNORM 8 8 %s" % (key, name, file))
    for folder in (pack, template):
        open(os.path.join(folder, "pack.txt"), "w").write("\n".join(lines) + "\n")
    return pack, template
