#!/usr/bin/env python3
"""Opens the dump tool's DDS files in the viewers pack makers use.

usage: check_readers.py TEXDUMP SOURCE_DIR [--table]

Dumps the samples and the golden formats corpus twice, with --dds-header
legacy and with the default DX10 header, opens every DDS of a format that has
a legacy header in each reader found (Pillow, ImageMagick 6, nvdecompress,
oiiotool) and compares its picture with the texture's own channels: the
template PNG (identity view, as --pack-png writes it), or where a texture has
none, the normal PNG's channels read back through the texture's view. Equal
for uncompressed formats, within a few steps for block formats. Each reader's
verdict per format and header must be the one of EXPECTED below, which the
README's compatibility table shows; a missing reader is skipped with a line.
--table prints the measured table as Markdown.
"""
import re, shutil, struct, subprocess, sys, tempfile
from pathlib import Path

from PIL import Image

# Channels the format holds, in RGBA order; only these are compared.
CHANNELS = {"BC1_UNORM": "RGBA", "BC2_UNORM": "RGBA", "BC3_UNORM": "RGBA", "BC4_UNORM": "R",
            "BC5_UNORM": "RG", "RGBA8_UNORM": "RGBA", "R8_UNORM": "R"}
LEGACY_NAME = {"BC1_UNORM": '"DXT1"', "BC2_UNORM": '"DXT3"', "BC3_UNORM": '"DXT5"', "BC4_UNORM": '"ATI1"',
               "BC5_UNORM": '"ATI2"', "RGBA8_UNORM": "BGRA masks", "R8_UNORM": "luminance mask"}
# Block decoders round their interpolations differently; a few steps apart is the same picture.
BLOCK_TOLERANCE = 8
PER_FORMAT = 3

# reader -> format -> (verdict with the DX10 header, verdict with --dds-header legacy).
# "ok": the right picture; "refused": an error; "wrong": opened, but another picture.
EXPECTED = {
    "Pillow": {"BC1_UNORM": ("refused", "ok"), "BC2_UNORM": ("refused", "ok"), "BC3_UNORM": ("refused", "ok"),
               "BC4_UNORM": ("refused", "ok"), "BC5_UNORM": ("ok", "ok"), "RGBA8_UNORM": ("ok", "ok"),
               "R8_UNORM": ("refused", "ok")},
    "ImageMagick 6": {"BC1_UNORM": ("refused", "ok"), "BC2_UNORM": ("refused", "ok"), "BC3_UNORM": ("refused", "ok"),
                      "BC4_UNORM": ("refused", "refused"), "BC5_UNORM": ("refused", "refused"),
                      "RGBA8_UNORM": ("refused", "ok"), "R8_UNORM": ("refused", "ok")},
    # Black pictures and status 0 for every DX10 file, and for luminance.
    "nvdecompress": {"BC1_UNORM": ("wrong", "ok"), "BC2_UNORM": ("wrong", "ok"), "BC3_UNORM": ("wrong", "ok"),
                     "BC4_UNORM": ("wrong", "ok"), "BC5_UNORM": ("wrong", "ok"), "RGBA8_UNORM": ("wrong", "ok"),
                     "R8_UNORM": ("wrong", "wrong")},
    "oiiotool": {"BC1_UNORM": ("refused", "ok"), "BC2_UNORM": ("refused", "ok"), "BC3_UNORM": ("refused", "ok"),
                 "BC4_UNORM": ("ok", "ok"), "BC5_UNORM": ("ok", "ok"), "RGBA8_UNORM": ("refused", "ok"),
                 "R8_UNORM": ("refused", "ok")},
}


def run(cmd, cwd=None):
    return subprocess.run(cmd, cwd=cwd, capture_output=True, timeout=60).returncode


def read_pillow(dds, scratch):
    with Image.open(dds) as im:
        im.load()
        return im.convert("RGBA")


def read_imagemagick(dds, scratch):
    out = scratch / "im.png"
    if run([READER_PROGRAMS["ImageMagick 6"], f"{dds}[0]", f"png32:{out}"]) != 0 or not out.exists():
        return None
    return Image.open(out).convert("RGBA")


def read_nvdecompress(dds, scratch):
    copy = scratch / "nv.dds"
    shutil.copyfile(dds, copy)
    if run([READER_PROGRAMS["nvdecompress"], copy.name], cwd=scratch) != 0 or not copy.with_suffix(".tga").exists():
        return None
    return Image.open(copy.with_suffix(".tga")).convert("RGBA")


def read_oiiotool(dds, scratch):
    out = scratch / "oi.png"
    # oiiotool takes the alpha of a DDS as premultiplied and would divide the colours by it on the way to PNG.
    command = [READER_PROGRAMS["oiiotool"], str(dds), "--attrib", "oiio:UnassociatedAlpha", "1", "-o", str(out)]
    if run(command) != 0 or not out.exists():
        return None
    im = Image.open(out)
    if im.mode == "LA":  # two channels (BC5) are R and G, not grey and alpha
        red, green = im.split()
        return Image.merge("RGBA", (red, green, Image.new("L", im.size, 0), Image.new("L", im.size, 255)))
    return im.convert("RGBA")


READERS = {"Pillow": read_pillow, "ImageMagick 6": read_imagemagick, "nvdecompress": read_nvdecompress,
           "oiiotool": read_oiiotool}
# Debian's own name for ImageMagick 6 first: a "convert" earlier on PATH may be another program.
READER_PROGRAMS = {"Pillow": "", "ImageMagick 6": shutil.which("convert-im6.q16") or shutil.which("convert"),
                   "nvdecompress": shutil.which("nvdecompress"), "oiiotool": shutil.which("oiiotool")}


def expected_pixels(work, name, view):
    """The texture's channels as RGBA (None where unknown): the template PNG,
    else the normal PNG read back through the view. Only the first face or
    slice, which is what every reader shows."""
    height, width = struct.unpack_from("<2I", (work / "dx10" / f"{name}.dds").read_bytes(), 12)
    template = work / "templates" / name
    if template.exists():
        im = Image.open(template).convert("RGBA").crop((0, 0, width, height))
        return im.size, [list(im.getdata(band)) for band in range(4)]
    im = Image.open(work / "dx10" / f"{name}.png").convert("RGBA").crop((0, 0, width, height))
    bands = [None] * 4
    for shown, selector in enumerate(view):
        host = "RGBA".find(selector)
        if host >= 0 and bands[host] is None:
            bands[host] = list(im.getdata(shown))
    return im.size, bands


def four_colour_texels(dds, fmt):
    """Which texels of the first level lie in BC2/BC3 colour blocks that are
    four-colour whatever their endpoints say: readers that decode such blocks
    like BC1 (three colours and black when c0 <= c1) differ only there.
    None where every texel counts."""
    if fmt not in ("BC2_UNORM", "BC3_UNORM"):
        return None
    data = dds.read_bytes()
    height, width = struct.unpack_from("<2I", data, 12)
    offset = 128 if data[84:88] != b"DX10" else 148
    keep = [True] * (width * height)
    for by in range((height + 3) // 4):
        for bx in range((width + 3) // 4):
            c0, c1 = struct.unpack_from("<2H", data, offset + (by * ((width + 3) // 4) + bx) * 16 + 8)
            if c0 <= c1:
                for y in range(by * 4, min(by * 4 + 4, height)):
                    for x in range(bx * 4, min(bx * 4 + 4, width)):
                        keep[y * width + x] = False
    return keep


def verdict(reader, dds, fmt, expected, scratch):
    try:
        picture = READERS[reader](dds, scratch)
    except Exception:
        picture = None
    if picture is None:
        return "refused"
    size, bands = expected
    if picture.size != size:
        return "wrong"
    tolerance = 0 if fmt in ("RGBA8_UNORM", "R8_UNORM") else BLOCK_TOLERANCE
    keep = four_colour_texels(dds, fmt)
    for channel in CHANNELS[fmt]:
        band = "RGBA".index(channel)
        if bands[band] is None:
            continue
        pairs = zip(picture.getdata(band), bands[band], keep or [True] * len(bands[band]))
        if max((abs(a - b) for a, b, counted in pairs if counted), default=0) > tolerance:
            return "wrong"
    return "ok"


def main():
    texdump, source = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
    inputs = [str(source / "samples"), str(source / "tests/golden/corpus/formats")]
    work = Path(tempfile.mkdtemp(prefix="mivo_readers_"))
    try:
        lines = subprocess.run([str(texdump), "--out", "dx10", "--pack-template", "tpl", "--pack-png", *inputs],
                               cwd=work, capture_output=True, text=True).stdout
        subprocess.run([str(texdump), "--out", "legacy", "--dds-header", "legacy", *inputs], cwd=work,
                       capture_output=True)
        (work / "templates").mkdir()
        for row in (work / "tpl" / "pack.txt").read_text().splitlines():
            fields = row.split()
            if len(fields) == 6 and not row.startswith("#"):
                shutil.copyfile(work / "tpl" / fields[5], work / "templates" / fields[1])
        textures = []
        for name, fmt, view in re.findall(r"^(\S+): .* -> (\S+) \S+ view (\S+) ", lines, re.M):
            # A few of each format keep the run short.
            if fmt in CHANNELS and sum(t[1] == fmt for t in textures) < PER_FORMAT:
                textures.append((name, fmt, view))
        present = [r for r in READERS if r == "Pillow" or READER_PROGRAMS[r]]
        for reader in READERS:
            if reader not in present:
                print(f"readers: {reader} not installed, skipped")
        measured = {}
        scratch = work / "scratch"
        for name, fmt, view in textures:
            expected = expected_pixels(work, name, view)
            for reader in present:
                for header in ("dx10", "legacy"):
                    scratch.mkdir(exist_ok=True)
                    got = verdict(reader, work / header / f"{name}.dds", fmt, expected, scratch)
                    shutil.rmtree(scratch)
                    key = (reader, fmt, header)
                    # The worst file decides a format's verdict.
                    order = ("ok", "wrong", "refused")
                    if order.index(got) >= order.index(measured.get(key, "ok")):
                        measured[key] = got
        faults = 0
        for (reader, fmt, header), got in sorted(measured.items()):
            want = EXPECTED[reader][fmt][0 if header == "dx10" else 1]
            if got != want:
                print(f"FAIL: {reader} reads {fmt} with the {header} header: {got}, expected {want}")
                faults += 1
        if "--table" in sys.argv:
            formats = [f for f in CHANNELS if any(t[1] == f for t in textures)]
            print("| Reader | " + " | ".join(f"{f} ({LEGACY_NAME[f]})" for f in formats) + " |")
            print("|---" * (len(formats) + 1) + "|")
            for reader in present:
                cells = [f"{measured[(reader, f, 'dx10')]} / {measured[(reader, f, 'legacy')]}" for f in formats]
                print(f"| {reader} | " + " | ".join(cells) + " |")
        print(f"readers: {len(textures)} textures, {len(present)} readers, {faults} unexpected verdicts")
        return 1 if faults or not textures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
