#!/usr/bin/env python3
"""The benchmark's source pack: every PNG of the colobot packages re-saved
as an RGBA PNG (a colour original needs an explicit alpha channel); images
with alpha (an alpha channel or a transparency chunk) replace RGBA8_UNORM
originals, opaque ones BC1_UNORM originals, each of the image's own size.

usage: make_source_pack.py OUT_FOLDER
"""
import subprocess, sys
from pathlib import Path
from PIL import Image

out = Path(sys.argv[1])
out.mkdir(parents=True, exist_ok=True)
files = []
for package in ("colobot-common-textures", "colobot-common"):
    listed = subprocess.run(["dpkg", "-L", package], capture_output=True, text=True, check=True).stdout
    files += [Path(p) for p in listed.splitlines() if p.endswith(".png") and Path(p).is_file()]
rows = []
pixels = 0
for i, path in enumerate(sorted(set(files)), start=1):
    im = Image.open(path)
    alpha = "A" in im.getbands() or "transparency" in im.info
    rgba = im.convert("RGBA")
    if max(rgba.size) > 8192:
        continue
    key = 0xC0B0000000000000 + i
    bf = f"bf_{key >> 32:08X}_{key & 0xFFFFFFFF:08X}"
    name = f"{key:016X}__{bf}.png"
    rgba.save(out / name)
    fmt = "RGBA8_UNORM" if alpha else "BC1_UNORM"
    rows.append(f"{key:016X} {bf} {fmt} {rgba.size[0]} {rgba.size[1]} {name}\n")
    pixels += rgba.size[0] * rgba.size[1]
(out / "pack.txt").write_text("MVTP 1\n# hash bf_name original_host_format original_width original_height "
                              "replacement_file\n" + "".join(rows))
print(f"{len(rows)} rows, {pixels / 1e6:.2f} Mpixels in base levels")
