#!/usr/bin/env python3
"""mivo_packcheck's likeness hints on a pack made of real pictures.

The template holds the bundled samples (as mivo_texdump writes them) and a
few dozen colobot textures. Every replacement is an upscale of its original
made here with Pillow (2x or 4x, bicubic or Lanczos); some have their alpha
dropped, and two pairs of replacement files are swapped. Every swapped file
must be flagged "looks unlike its original", every dropped alpha "alpha
lost", and no honest upscale anything. --report prints the SSIM and PSNR
distributions of the honest and the swapped rows. Exits 77 (a CTest skip)
with a line saying why when the colobot textures are not installed.
"""
import argparse, csv, glob, os, shutil, subprocess, sys

COLOBOT = "/usr/share/games/colobot"
# Pictures of the colobot packages with cut-outs, and every fourth of the others.
WITH_ALPHA = ["textures/objects/plant.png", "textures/planet01.png", "textures/planets/planet-earth.png",
              "textures/planets/planet-moon.png", "mods/AltTextures/textures/effect03.png"]


def colobot_pictures():
    found = sorted(os.path.relpath(p, COLOBOT) for p in glob.glob(COLOBOT + "/**/textures/**/*.png", recursive=True))
    plain = [p for p in found if p not in WITH_ALPHA][::4]
    return [p for p in WITH_ALPHA if p in found] + plain


def upscale(image, factor, method):
    return image.resize((image.width * factor, image.height * factor), method)


def build(work, texdump, samples, count_limit):
    from PIL import Image
    template = os.path.join(work, "template")
    pack = os.path.join(work, "pack")
    subprocess.run([texdump, "--no-images", "--pack-template", template, "--pack-png", samples], check=True,
                   capture_output=True)
    lines = open(os.path.join(template, "pack.txt")).read().splitlines()
    rows = [line.split() for line in lines[2:]]
    # colobot pictures become RGBA8 originals of at most 128 texels a side.
    for n, name in enumerate(colobot_pictures()[:count_limit]):
        picture = Image.open(os.path.join(COLOBOT, name)).convert("RGBA")
        scale = max(1, max(picture.size) // 128)
        picture = picture.reduce(scale) if scale > 1 else picture
        key = "%016X" % (0xC0B0000000000000 + n)
        bf_name = "bf_C0B0%04X_00000000" % n
        file = key + "__" + bf_name + ".png"
        picture.save(os.path.join(template, file))
        rows.append([key, bf_name, "RGBA8_UNORM", str(picture.width), str(picture.height), file])
    with open(os.path.join(template, "pack.txt"), "w") as f:
        f.write("\n".join(lines[:2] + [" ".join(r) for r in rows]) + "\n")

    os.makedirs(pack)
    kinds = {}
    methods = [("bicubic", Image.BICUBIC), ("lanczos", Image.LANCZOS)]
    cutout_rows = 0
    for i, row in enumerate(rows):
        original = Image.open(os.path.join(template, row[5])).convert("RGBA")
        factor = 2 if i % 2 == 0 else 4
        label, method = methods[(i // 2) % 2]
        bigger = upscale(original, factor, method)
        kind = "%dx %s" % (factor, label)
        has_cutouts = original.getchannel("A").histogram()[:128] != [0] * 128
        if has_cutouts:
            cutout_rows += 1
            if cutout_rows % 2 == 0:  # every second picture with cut-outs loses them
                bigger.putalpha(255)
                kind = "alpha dropped"
        bigger.save(os.path.join(pack, row[5]))
        kinds[row[5]] = kind
    shutil.copy(os.path.join(template, "pack.txt"), pack)
    # Two pairs swapped: one among the samples, one among the colobot pictures.
    names = [r[5] for r in rows]
    colobot = [n for n in names if "__bf_C0B0" in n]
    for a, b in ((names[0], names[3]), (colobot[8], colobot[12])):
        pa, pb = os.path.join(pack, a), os.path.join(pack, b)
        os.rename(pa, pa + ".tmp")
        os.rename(pb, pa)
        os.rename(pa + ".tmp", pb)
        kinds[a] = kinds[b] = "swapped"
    return pack, template, kinds


def spread(values):
    values = sorted(values)
    if not values:
        return "none"
    pick = lambda q: values[min(len(values) - 1, int(q * (len(values) - 1) + 0.5))]
    return "n=%d min %.4f p5 %.4f median %.4f p95 %.4f max %.4f" % (
        len(values), values[0], pick(0.05), pick(0.5), pick(0.95), values[-1])


def main():
    parser = argparse.ArgumentParser()
    for name in ("--texdump", "--packcheck", "--samples", "--work"):
        parser.add_argument(name, type=os.path.abspath, required=True)
    parser.add_argument("--rows", type=int, default=40, help="colobot pictures to take")
    parser.add_argument("--report", action="store_true")
    a = parser.parse_args()
    if not os.path.isdir(os.path.join(COLOBOT, "textures")):
        print("SKIP: the colobot textures (colobot-common-textures, colobot-common) are not installed")
        return 77
    try:
        import PIL  # noqa: F401
    except ImportError:
        print("SKIP: Pillow (python3-pil) is missing")
        return 77
    shutil.rmtree(a.work, ignore_errors=True)
    os.makedirs(a.work)
    pack, template, kinds = build(a.work, a.texdump, a.samples, a.rows)
    csv_path = os.path.join(a.work, "likeness.csv")
    run = subprocess.run([a.packcheck, "--csv", csv_path, pack, template], capture_output=True, text=True)
    failures = []
    if run.returncode != 0:
        failures.append("status %d: %s" % (run.returncode, run.stdout[-400:]))
    figures = {r["file"]: r for r in csv.DictReader(open(csv_path))}
    for file, kind in sorted(kinds.items()):
        hint = figures[file]["hint"]
        expected = {"swapped": "looks unlike its original", "alpha dropped": "alpha lost"}.get(kind, "")
        if hint != expected:
            failures.append("%s (%s): hint %r, expected %r" % (file, kind, hint, expected))
        if kind != "swapped" and not figures[file]["ssim"]:
            failures.append("%s (%s): no likeness measured" % (file, kind))
    hinted = [l for l in run.stderr.splitlines() if "looks unlike" in l or "alpha lost" in l or "alpha added" in l]
    if len(hinted) != sum(1 for k in kinds.values() if k in ("swapped", "alpha dropped")):
        failures.append("hint lines: %s" % hinted)
    if a.report:
        by_kind = {}
        for file, kind in kinds.items():
            group = "swapped" if kind == "swapped" else "honest"
            by_kind.setdefault(group, []).append(figures[file])
        for group, rows in sorted(by_kind.items()):
            print("%s SSIM: %s" % (group, spread([float(r["ssim"]) for r in rows if r["ssim"]])))
            print("%s PSNR: %s" % (group, spread([float(r["psnr"]) for r in rows if r["psnr"] not in ("", "inf")])))
        # Every replacement under the next row's name: a swapped row for each.
        rotated = os.path.join(a.work, "rotated")
        shutil.copytree(pack, rotated)
        names = sorted(kinds)
        for i, name in enumerate(names):
            shutil.copy(os.path.join(pack, names[(i + 1) % len(names)]), os.path.join(rotated, name))
        rotated_csv = os.path.join(a.work, "rotated.csv")
        subprocess.run([a.packcheck, "--csv", rotated_csv, rotated, template], capture_output=True)
        rows = list(csv.DictReader(open(rotated_csv)))
        print("all rotated SSIM: %s" % spread([float(r["ssim"]) for r in rows if r["ssim"]]))
        print("all rotated PSNR: %s" % spread([float(r["psnr"]) for r in rows if r["psnr"] not in ("", "inf")]))
        print("all rotated: %d of %d under SSIM 0.5, %d flagged (the pack's median is its own)" % (
            sum(1 for r in rows if r["ssim"] and float(r["ssim"]) < 0.5), len(rows),
            sum("looks unlike" in r["hint"] for r in rows)))
        print("rotated above 0.5: %s" % [(r["file"], r["ssim"]) for r in rows if r["ssim"] and float(r["ssim"]) >= 0.5])
        for file, kind in sorted(kinds.items(), key=lambda k: k[1]):
            r = figures[file]
            print("%-16s %-46s ssim %-7s psnr %-6s lost %-7s added %-7s %s" % (
                kind, file, r["ssim"], r["psnr"], r["alpha_lost"], r["alpha_added"], r["hint"]))
    for f in failures:
        print("FAIL: " + f)
    print("%d rows, %d failures" % (len(kinds), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
