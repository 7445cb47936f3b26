#!/usr/bin/env python3
"""mivo_packbuild across runs, with mivo_packcheck as the judge.

usage: check_packbuild.py SOURCE_ROOT PACKBUILD PACKCHECK

- Every golden pack (source pack beside its template): the built pack checks
  with 0 errors whenever the source does, and never holds an invalid or an
  unlisted file.
- --jobs 1 and --jobs 3 give the same files and lines.
- Incremental builds: one changed source file rebuilds one row and gives the
  bytes of a full build; a row left out of the manifest loses its file; a run
  stopped before a chosen row leaves a pack the next run completes; a damaged
  state file means a full build.
"""
import filecmp, shutil, subprocess, sys, tempfile
from pathlib import Path

root, packbuild, packcheck = Path(sys.argv[1]), sys.argv[2], sys.argv[3]
faults = []


def run(*args):
    p = subprocess.run([str(a) for a in args], capture_output=True, text=True)
    return p.returncode, p.stdout


def check(pack, template):
    status, out = run(packcheck, pack, template)
    errors = int(out.strip().splitlines()[-1].split(" entries, ")[1].split()[0]) if " entries, " in out else -1
    return errors, out


def same_tree(a, b):
    cmp = filecmp.dircmp(a, b)
    names = sorted(cmp.left_only + cmp.right_only + cmp.diff_files + cmp.funny_files)
    mismatch, errors = filecmp.cmpfiles(a, b, cmp.common_files, shallow=False)[1:]
    return names + mismatch + errors


def expect(condition, text):
    if not condition:
        faults.append(text)


def golden_packs():
    inputs = root / "tests/golden/inputs"
    for folder in sorted(inputs.iterdir()):
        for src, tpl in (("pack", "template"), ("src", "template")):
            if (folder / src / "pack.txt").exists() and (folder / tpl / "pack.txt").exists():
                yield folder.name, folder / src, folder / tpl


with tempfile.TemporaryDirectory(prefix="mivo-packbuild-") as tmp:
    tmp = Path(tmp)
    for name, src, tpl in golden_packs():
        out = tmp / name
        run(packbuild, "--jobs", "2", src, out)
        source_errors, _ = check(src, tpl)
        built_errors, text = check(out, tpl)
        if source_errors == 0:
            expect(built_errors == 0, f"{name}: built pack has {built_errors} errors, its source none:\n{text}")
        expect("INVALID " not in text and "UNLISTED" not in text, f"{name}: built pack does not load clean:\n{text}")

    # Thread counts.
    for name in ("packbuild-families", "packbuild-format", "packbuild-uncompressed"):
        src = root / "tests/golden/inputs" / name / "src"
        lines = {}
        for jobs in ("1", "3"):
            lines[jobs] = run(packbuild, "--jobs", jobs, src, tmp / f"{name}-jobs{jobs}")
        expect(lines["1"] == lines["3"], f"{name}: --jobs 1 and --jobs 3 print different lines")
        expect(not same_tree(tmp / f"{name}-jobs1", tmp / f"{name}-jobs3"),
               f"{name}: --jobs 1 and --jobs 3 write different files")
    shutil.copytree(tmp / f"{name}-jobs1", tmp / "jobs1")

    # One source file changes.
    work = tmp / "work"
    shutil.copytree(src, work)
    out = tmp / "incremental"
    run(packbuild, work, out)
    changed = work / "00001A0000000001__bf_00001A00_00000001.png"
    other = work / "00001A0000000003__bf_00001A00_00000003.png"
    changed.write_bytes(other.read_bytes())
    status, text = run(packbuild, work, out)
    verbs = [line.split()[0] for line in text.splitlines() if line.split()[0] in ("BUILT", "COPIED", "UNCHANGED")]
    expect(verbs.count("BUILT") == 1 and verbs.count("COPIED") == 0 and verbs.count("UNCHANGED") == len(verbs) - 1,
           f"one changed file: not one row rebuilt:\n{text}")
    run(packbuild, work, tmp / "full")
    expect(not same_tree(out, tmp / "full"), f"incremental build differs from a full build: {same_tree(out, tmp / 'full')}")

    # An output file changed or deleted by hand is built again.
    edited = out / "00001A0000000003__bf_00001A00_00000003.dds"
    edited.write_bytes(edited.read_bytes()[:-1] + b"\x00")
    (out / "00001A0000000004__bf_00001A00_00000004.dds").unlink()
    status, text = run(packbuild, work, out)
    verbs = [line.split()[0] for line in text.splitlines() if line.split()[0] in ("BUILT", "COPIED", "UNCHANGED")]
    expect(verbs.count("BUILT") == 2, f"outputs edited and deleted by hand: not rebuilt:\n{text}")
    expect(not same_tree(out, tmp / "full"), "outputs edited by hand: the rebuilt pack differs from a full build")

    # A row leaves the manifest.
    manifest = (work / "pack.txt").read_text().splitlines(True)
    gone = [l for l in manifest if l.startswith("00001A0000000002 ")][0]
    (work / "pack.txt").write_text("".join(l for l in manifest if l != gone))
    run(packbuild, work, out)
    expect(not (out / "00001A0000000002__bf_00001A00_00000002.dds").exists(), "a removed row kept its file")
    expect("00001A0000000002" not in (out / "pack.txt").read_text(), "a removed row stayed in pack.txt")
    _, text = check(out, src.parent / "template")
    expect("INVALID " not in text and "UNLISTED" not in text, f"after a row left: pack does not load clean:\n{text}")

    # A run stopped part way, then completed: the rows it finished are taken
    # as they are. Stopped again, over a pack built with other settings, and
    # a row it wrote then leaves the manifest: the next run removes its file.
    stopped = tmp / "stopped"
    status, text = run(packbuild, "--stop-before-row", "5", src, stopped)
    expect(status == 1 and len(text.splitlines()) == 4, f"stopped run: status {status}, lines:\n{text}")
    expect(not (stopped / "pack.txt").exists(), "stopped run wrote pack.txt")
    status, text = run(packbuild, src, stopped)
    verbs = [line.split()[0] for line in text.splitlines()]
    expect(verbs[:5] == ["UNCHANGED"] * 4 + ["COPIED" if verbs[4] == "COPIED" else "BUILT"],
           f"completing a stopped run: the finished rows were not kept:\n{text}")
    expect(not same_tree(stopped, tmp / "jobs1"), f"a stopped run's pack completed differs: {same_tree(stopped, tmp / 'jobs1')}")
    shutil.rmtree(work)
    shutil.copytree(src, work)
    again = tmp / "stopped-again"
    run(packbuild, "--quality", "fast", "--stop-before-row", "2", work, again)
    run(packbuild, "--stop-before-row", "3", work, again)
    manifest = (work / "pack.txt").read_text().splitlines(True)
    (work / "pack.txt").write_text("".join(l for l in manifest if not l.startswith("00001A0000000002 ")))
    run(packbuild, work, again)
    _, text = check(again, src.parent / "template")
    expect("UNLISTED" not in text and not (again / "00001A0000000002__bf_00001A00_00000002.dds").exists(),
           f"a file written by a stopped run stayed after its row left:\n{text}")

    # A damaged state file.
    state = stopped / "mivo-packbuild.state"
    state.write_bytes(state.read_bytes()[:-7] + b"garbage")
    status, text = run(packbuild, src, stopped)
    expect("UNCHANGED" not in text, f"damaged state: rows taken as unchanged:\n{text}")
    expect(not same_tree(stopped, tmp / "jobs1"), "damaged state: rebuilt pack differs")

for fault in faults:
    print("FAIL:", fault)
print(f"{len(faults)} faults")
sys.exit(1 if faults else 0)
