#!/usr/bin/env python3
"""mivo_texdump's progress line through a pseudo-terminal: a run past the
one-second mark draws it on standard error and blanks it at the end; with
standard error on a pipe nothing is written there, and standard output is the
same either way. The workload grows until a run lasts long enough; no timing
is asserted.

usage: progress_pty.py TEXDUMP
"""
import os, pty, re, struct, subprocess, sys, tempfile, time


def write_dump(path):
    """A linear 1024x1024 k_16_16_16_16_FLOAT dump (8 MiB of zeros)."""
    words = [2 | 32 << 22, 32 | 2 << 6 | 0x00100000, 1023 | 1023 << 13, 1 << 4 | 2 << 7 | 3 << 10, 0, 1 << 9]
    with open(path, "wb") as f:
        f.write(struct.pack("<4sI6III", b"MVTX", 2, *words, 8 << 20, 0) + bytes(8 << 20))


def run_on_terminal(command, cwd):
    """(stdout, what reached the terminal)."""
    master, slave = pty.openpty()
    # Standard output to a file: a pipe would fill up while the terminal is
    # read, and the program would wait on it forever.
    sink = tempfile.TemporaryFile()
    child = subprocess.Popen(command, cwd=cwd, stdout=sink, stderr=slave)
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
    child.wait()
    sink.seek(0)
    out = sink.read()
    sink.close()
    os.close(master)
    return out, seen.decode(errors="replace")


def screen(text):
    """What the terminal line shows after `text` (a carriage return rewinds)."""
    line, column = [], 0
    for ch in text:
        if ch == "\r":
            column = 0
            continue
        line[column:column + 1] = [ch]
        column += 1
    return "".join(line)


def main():
    faults = []
    with tempfile.TemporaryDirectory(prefix="mivo-progress-") as work:
        write_dump(os.path.join(work, "big.bin"))
        for repeats in (100, 200, 400, 800, 1600, 3200, 6400, 12800):
            command = [os.path.abspath(sys.argv[1]), "--no-images", "--out", "out"] + ["big.bin"] * repeats
            start = time.monotonic()
            out, seen = run_on_terminal(command, work)
            if time.monotonic() - start >= 2.0:
                break
        drawn = re.findall(r"\d+/%d dumps, [0-9.]+ MB/s, (?:\d+ s|\?) left" % repeats, seen)
        if not drawn:
            faults.append("no progress line: %r" % seen[:200])
        if "\n" in seen or screen(seen).strip():
            faults.append("the progress line was not erased: %r" % seen[-200:])
        quiet = subprocess.run(command, cwd=work, capture_output=True)
        if quiet.stderr:
            faults.append("standard error is no terminal, yet written: %r" % quiet.stderr[:200])
        if quiet.stdout != out:
            faults.append("standard output differs with the progress line")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
