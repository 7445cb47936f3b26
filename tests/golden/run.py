#!/usr/bin/env python3
"""Golden-file runner for the programs.

usage: run.py [--src DIR] (--build DIR | --bin NAME=PATH...) [--texdump-jobs N] [--update] CASE_DIR...

A case folder holds `cmd` (the program's NAME, then one argument per line;
@SRC@ stands for the source folder), optionally `inputs` (the name of a folder
under tests/golden/inputs copied into the fresh working folder first, then the
empty folders to make in it, which git does not keep), and the expected
`stdout`, `status` and `written` ("sha256  path" of every file the run created
or changed, sorted); text files written (.csv, .txt) are kept whole under
`files/` as well, so that their changes read as diffs. A `mask` file lists
regular expressions for what varies from run to run (thread timing): their
matches become "#" and the lines are sorted before comparing. Standard error
must stay empty unless the case holds the expected `stderr`. Every PNG
written must pass pngcheck and open in Pillow; where a DDS and a PNG of the
same name were written, Pillow's decoding of the DDS's first level must match
the PNG's top rows within one step (when the dump's line shows the identity
view).
--texdump-jobs N puts "--jobs N" before the arguments of every mivo_texdump
run: its outputs must not depend on the number of jobs, so each case holds
for any N.
--update rewrites the expected files from this run: review the diff before
committing it, e.g. python3 tests/golden/run.py --build build --update tests/golden/cases/*
"""
import argparse, hashlib, os, re, shutil, struct, subprocess, sys, tempfile
from pathlib import Path


def digests(root):
    out = {}
    for p in sorted(root.rglob("*")):
        if p.is_file() and not p.is_symlink():
            out[p.relative_to(root).as_posix()] = hashlib.sha256(p.read_bytes()).hexdigest()
    return out


def dds_rgba(path):
    """Pillow's RGBA of a DDS's first level; None where Pillow cannot read it."""
    from PIL import Image
    data = path.read_bytes()
    height, width = struct.unpack_from("<2I", data, 12)
    fourcc, = struct.unpack_from("<4s", data, 84)
    bcn = {71: (1, "DXT1"), 77: (3, "DXT5")}  # this Pillow's DX10 support lacks BC1 and BC3
    try:
        if fourcc == b"DX10" and struct.unpack_from("<I", data, 128)[0] in bcn:
            dxgi = struct.unpack_from("<I", data, 128)[0]
            im = Image.frombytes("RGBA", (width, height), data[148:], "bcn", *bcn[dxgi])
        else:
            im = Image.open(path)
            im.load()
        return im.convert("RGBA")
    except Exception:
        return None


def read_back(work, written, stdout):
    from PIL import Image
    faults = []
    views = dict(re.findall(r"^(\S+): .* view (\S+) ", stdout, re.M))
    for name in written:
        path = work / name
        if name.endswith(".png"):
            check = subprocess.run(["pngcheck", "-q", str(path)], capture_output=True, text=True)
            if check.returncode != 0:
                faults.append(f"pngcheck refuses {name}: {check.stdout.strip()}")
                continue
            png = Image.open(path).convert("RGBA")
            dds = path.with_suffix(".dds")
            if views.get(path.stem) == "RGBA" and dds.exists() and (ours := dds_rgba(dds)) is not None and ours.size[0] == png.size[0]:
                top = png.crop((0, 0, ours.size[0], ours.size[1]))
                worst = max((abs(a - b) for a, b in zip(ours.tobytes(), top.tobytes())), default=0)
                if worst > 1:
                    faults.append(f"Pillow reads {dds.name} {worst} steps away from {name}")
    return faults


def run_case(case, a, programs):
    cmd = (case / "cmd").read_text().splitlines()
    args = [line.replace("@SRC@", str(a.src)) for line in cmd[1:]]
    if cmd[0] == "texdump" and a.texdump_jobs:
        args = ["--jobs", a.texdump_jobs] + args
    with tempfile.TemporaryDirectory(prefix="mivo-golden-") as tmp:
        work = Path(tmp) / "work"
        if (case / "inputs").exists():
            name, *empty = (case / "inputs").read_text().splitlines()
            source = a.src / "tests" / "golden" / "inputs" / name
            if source.exists():  # else it held empty folders only
                shutil.copytree(source, work, symlinks=True)
            work.mkdir(exist_ok=True)
            for folder in empty:
                (work / folder).mkdir(parents=True, exist_ok=True)
        else:
            work.mkdir()
        before = digests(work)
        p = subprocess.run([programs[cmd[0]]] + args, cwd=work, capture_output=True, stdin=subprocess.DEVNULL,
                           timeout=240)
        after = digests(work)
        written = {k: v for k, v in after.items() if before.get(k) != v}
        stdout = p.stdout.decode(errors="replace")
        if (case / "mask").exists():
            for pattern in (case / "mask").read_text().splitlines():
                stdout = re.sub(pattern, "#", stdout)
            stdout = "".join(sorted(stdout.splitlines(True)))
        got = {"stdout": stdout, "status": f"{p.returncode}\n",
               "written": "".join(f"{v}  {k}\n" for k, v in sorted(written.items()))}
        for name in written:
            if name.endswith((".csv", ".txt")):
                got["files/" + name] = (work / name).read_text()
        if p.stderr or (case / "stderr").exists():
            got["stderr"] = p.stderr.decode(errors="replace")
        faults = []
        faults += read_back(work, written, stdout)
    if a.update:
        shutil.rmtree(case / "files", ignore_errors=True)
        for name, text in got.items():
            (case / name).parent.mkdir(parents=True, exist_ok=True)
            (case / name).write_text(text)
        return faults
    for name, text in got.items():
        want = (case / name).read_text() if (case / name).exists() else ""
        if want != text:
            import difflib
            faults.append(f"{name} differs:\n" + "".join(difflib.unified_diff(
                want.splitlines(True), text.splitlines(True), "expected", "actual")))
    return faults


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--src", type=Path, default=Path(__file__).resolve().parents[2])
    ap.add_argument("--build", type=Path)
    ap.add_argument("--bin", action="append", default=[])
    ap.add_argument("--texdump-jobs")
    ap.add_argument("--update", action="store_true")
    ap.add_argument("cases", nargs="+", type=Path)
    a = ap.parse_args()
    if a.build:
        a.bin += [f"{name}={a.build}/tools/{folder}/mivo_{program}" for name, folder, program in
                  [("texdump", "texdump", "texdump"), ("packcheck", "packcheck", "packcheck"),
                   ("packbuild", "packbuild", "packbuild"),
                   ("host-example", "examples", "pack_host_example")]]
    programs = {k: str(Path(v).resolve()) for k, v in (b.split("=", 1) for b in a.bin)}
    failed = 0
    for case in a.cases:
        faults = run_case(case, a, programs)
        for fault in faults:
            print(f"{case.name}: {fault}")
        failed += bool(faults)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
