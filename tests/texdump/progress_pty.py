#!/usr/bin/env python3
"""mivo_texdump's progress line, seen through a pseudo-terminal.

usage: progress_pty.py TEXDUMP

A run long enough to pass the one-second mark, with standard error on a
pseudo-terminal, must draw the line (dumps done of the total, MB/s, time left)
and leave the terminal line blank at the end; the same run with standard
error on a pipe must write nothing there. Standard output must not differ.
The workload grows until a run lasts long enough: no timing is asserted.
"""
import os
import pty
import re
import struct
import subprocess
import sys
import tempfile
import time


def write_dump(path):
    """A linear 1024x1024 k_16_16_16_16_FLOAT dump (8 MiB of zeros)."""
    words = [2 | (1024 // 32) << 22, 32 | 2 << 6 | 0x00100000, 1023 | 1023 << 13, 1 << 4 | 2 << 7 | 3 << 10, 0, 1 << 9]
    size = 1024 * 1024 * 8
    with open(path, "wb") as f:
        f.write(struct.pack("<4sI6III", b"MVTX", 2, *words, size, 0))
        f.write(bytes(size))


def run(texdump, args, cwd, terminal):
    """(stdout, what reached standard error, seconds)."""
    start = time.monotonic()
    if not terminal:
        p = subprocess.run([texdump] + args, cwd=cwd, capture_output=True)
        return p.stdout, p.stderr, time.monotonic() - start
    master, slave = pty.openpty()
    child = subprocess.Popen([texdump] + args, cwd=cwd, stdout=subprocess.PIPE, stderr=slave)
    os.close(slave)
    seen = b""
    while True:
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the last holder of the terminal has gone
            break
        if not chunk:
            break
        seen += chunk
    out = child.stdout.read()
    child.wait()
    os.close(master)
    return out, seen, time.monotonic() - start


def screen_line(text):
    """What a terminal line shows after `text` (carriage returns rewind)."""
    line = []
    column = 0
    for ch in text:
        if ch == "\r":
            column = 0
            continue
        if column < len(line):
            line[column] = ch
        else:
            line.append(ch)
        column += 1
    return "".join(line)


def main():
    texdump = os.path.abspath(sys.argv[1])
    faults = []
    with tempfile.TemporaryDirectory(prefix="mivo-progress-") as work:
        write_dump(os.path.join(work, "big.bin"))
        repeats = 100
        for _ in range(5):
            args = ["--no-images", "--out", "out"] + ["big.bin"] * repeats
            out, err, seconds = run(texdump, args, work, terminal=True)
            if seconds >= 2.0:
                break
            repeats *= 2
        text = err.decode(errors="replace").replace("\r\n", "\n")
        if not re.search(r"\d+/%d dumps, [0-9.]+ MB/s, (\d+ s|\?) left" % repeats, text):
            faults.append("no progress line on the terminal: %r" % text[:200])
        if "\n" in text or screen_line(text).strip():
            faults.append("the progress line was not erased: %r" % text[-200:])
        quiet_out, quiet_err, _ = run(texdump, args, work, terminal=False)
        if quiet_err:
            faults.append("standard error not a terminal, yet written: %r" % quiet_err[:200])
        if quiet_out != out:
            faults.append("standard output differs with the progress line")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
