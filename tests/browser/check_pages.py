#!/usr/bin/env python3
"""Loads the gallery of a mivo_texdump run and a mivo_packcheck review page in
headless Chromium and checks what a user sees: no console error, every
thumbnail loads, the filter, the failed-only switch and sorting work, links
lead to the full images, and each pack row shows its verdict.

Exits 77 (a skip for CTest) with one line saying why when no browser can run.
With --screenshots DIR it also saves the two pictures the README shows."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import urllib.parse

SKIP = 77


def skip(reason):
    print("SKIP: no browser for the page test: " + reason)
    sys.exit(SKIP)


def start_browser():
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError as e:
        skip("python3-selenium is missing (%s)" % e)
    driver_path = shutil.which("chromedriver") or "/usr/bin/chromedriver"
    if not os.path.exists(driver_path):
        skip("chromium-driver is missing")
    profile = tempfile.mkdtemp(prefix="mivo-chromium-")
    options = webdriver.ChromeOptions()
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run",
                 "--window-size=1200,900", "--user-data-dir=" + profile):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    try:
        return webdriver.Chrome(service=Service(driver_path), options=options), profile
    except Exception as e:  # no chromium binary, or it cannot start here
        shutil.rmtree(profile, ignore_errors=True)
        skip("chromium does not start (%s)" % str(e).splitlines()[0])


class Checker:
    def __init__(self):
        self.failures = 0

    def expect(self, ok, what):
        if not ok:
            self.failures += 1
            print("FAIL: " + what)


def load(driver, check, path):
    driver.get("file://" + urllib.parse.quote(os.path.abspath(path)))
    # Lazy thumbnails are made eager so that every one of them is fetched.
    driver.execute_script("for (const img of document.images) img.loading = 'eager';")
    driver.execute_async_script(
        "const done = arguments[arguments.length - 1];"
        "Promise.all(Array.from(document.images, i => i.decode().catch(() => null))).then(() => done());")
    errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
    check.expect(not errors, "%s: console errors %s" % (path, errors))
    broken = driver.execute_script(
        "return Array.from(document.images).filter(i => !(i.complete && i.naturalWidth > 0)).map(i => i.src);")
    check.expect(not broken, "%s: images that did not load: %s" % (path, broken))
    return driver.execute_script("return document.images.length;")


def run(args, cwd):
    return subprocess.run(args, cwd=cwd, capture_output=True, text=True)


def visible_cards(driver):
    return driver.execute_script(
        "return Array.from(document.querySelectorAll('.card')).filter(c => !c.hidden)"
        ".map(c => [c.querySelector('.n').textContent, (c.querySelector('.f') || {}).textContent || '',"
        " Number(c.dataset.s)]);")


def set_filter(driver, text, failed_only=False, order="input"):
    driver.execute_script(
        "const f = document.getElementById('filter'); f.value = arguments[0];"
        "f.dispatchEvent(new Event('input'));"
        "const b = document.getElementById('failed'); if (b.checked !== arguments[1]) b.click();"
        "const s = document.getElementById('sort'); s.value = arguments[2];"
        "s.dispatchEvent(new Event('change'));", text, failed_only, order)
    return visible_cards(driver)


def check_gallery(driver, check, work, texdump, samples, shots):
    extra = os.path.join(work, "extra")
    os.makedirs(extra)
    with open(os.path.join(extra, "broken.bin"), "wb") as f:
        f.write(b"junk")
    odd = "name <&\"'#% \u00e9"
    shutil.copy(os.path.join(samples, "bf_0A000005_5E1C0005.bin"), os.path.join(extra, odd + ".bin"))
    result = run([texdump, "--out", "out", "--gallery", "gallery", "--csv", "report.csv", samples, extra], work)
    check.expect(result.returncode == 1, "texdump status %d (one dump is broken)" % result.returncode)
    rows = [line.split(",") for line in open(os.path.join(work, "report.csv"), encoding="utf-8").read().splitlines()[1:]]

    page = os.path.join(work, "gallery", "index.html")
    images = load(driver, check, page)
    all_cards = visible_cards(driver)
    names = [c[0] for c in all_cards]
    check.expect(len(all_cards) == len(rows) + 1, "one card per dump: %d cards, %d rows" % (len(all_cards), len(rows)))
    check.expect(names[-2:] == ["broken", odd], "input order at the end: %s" % names[-2:])
    check.expect(images == len(rows), "%d thumbnails for %d decoded dumps" % (images, len(rows)))
    shown = driver.execute_script("return Array.from(document.querySelectorAll('.n'), n => n.textContent);")
    check.expect(odd in shown, "the odd name is shown as written")
    hrefs = driver.execute_script("return Array.from(document.querySelectorAll('.pic a'), a => a.getAttribute('href'));")
    missing = [h for h in hrefs if not os.path.exists(os.path.join(work, "gallery", urllib.parse.unquote(h)))]
    check.expect(len(hrefs) == len(rows) and not missing, "every link leads to its full PNG: missing %s" % missing)

    dxt1 = sorted(r[0] for r in rows if r[3] == "k_DXT1")
    got = set_filter(driver, "K_dxt1 ")
    check.expect(sorted(c[0] for c in got) == dxt1, "filter by format: %s" % [c[0] for c in got])
    key = next(r[23] for r in rows if r[0] == "bf_0A000001_5E1C0001")
    got = set_filter(driver, key.lower())
    check.expect(sorted(c[0] for c in got) == sorted(r[0] for r in rows if r[23] == key), "filter by key")
    got = set_filter(driver, "", failed_only=True)
    check.expect([c[0] for c in got] == ["broken"], "failed only: %s" % [c[0] for c in got])

    got = set_filter(driver, "", order="name")
    check.expect([c[0] for c in got] == sorted(names), "sort by name")
    got = set_filter(driver, "", order="size")
    check.expect([c[2] for c in got] == sorted((c[2] for c in got), reverse=True), "sort by size")
    got = set_filter(driver, "", order="format")
    check.expect([c[1] for c in got] == sorted(c[1] for c in got), "sort by format")
    set_filter(driver, "")
    if shots:
        driver.save_screenshot(os.path.join(shots, "gallery.png"))


def check_pack_report(driver, check, work, texdump, packcheck, samples, shots):
    run([texdump, "--no-images", "--pack-template", "template", samples], work)
    pack = os.path.join(work, "pack")
    shutil.copytree(os.path.join(work, "template"), pack)
    lines = open(os.path.join(pack, "pack.txt")).read().splitlines()
    rows = [line.split() for line in lines[2:]]
    rows[1][3] = str(int(rows[1][3]) * 2)                 # ORIGINAL MISMATCH
    rows[2][0] = "0123456789ABCDEF"                       # UNKNOWN KEY
    rows[2][5] = "0123456789ABCDEF__" + rows[2][1] + ".dds"
    with open(os.path.join(pack, rows[3][5]), "r+b") as f:  # INVALID: a DDS cut short
        f.truncate(os.path.getsize(f.name) - 1)
    with open(os.path.join(pack, "pack.txt"), "w") as f:
        f.write("\n".join(lines[:2] + [" ".join(r) for r in rows]) + "\n")

    result = run([packcheck, "--html", "report.html", "pack", "template"], work)
    plain = run([packcheck, "pack", "template"], work)
    check.expect(result.stdout == plain.stdout, "--html leaves standard output as it is")
    expected = []
    for line in result.stdout.splitlines():
        for verdict in ("OK", "INVALID", "UNKNOWN KEY", "ORIGINAL MISMATCH"):
            if line.startswith(verdict + " "):
                expected.append(verdict)
    load(driver, check, os.path.join(work, "report.html"))
    shown = driver.execute_script(
        "return Array.from(document.querySelectorAll('.rows tbody tr'), r => r.querySelector('.verdict').textContent);")
    check.expect(shown == expected, "verdict per row: %s, expected %s" % (shown, expected))
    check.expect(expected[1:4] == ["ORIGINAL MISMATCH", "UNKNOWN KEY", "INVALID"], "the three mistakes: %s" % expected)
    unlisted = driver.execute_script("return Array.from(document.querySelectorAll('.unlisted li'), l => l.textContent);")
    check.expect(unlisted == [lines[4].split()[5]], "unlisted files: %s" % unlisted)
    if shots:
        driver.set_window_size(1200, 1250)
        driver.save_screenshot(os.path.join(shots, "pack-report.png"))


def main():
    parser = argparse.ArgumentParser()
    for name in ("--texdump", "--packcheck", "--samples", "--work"):
        parser.add_argument(name, required=True)
    parser.add_argument("--screenshots")
    args = parser.parse_args()
    for name in ("texdump", "packcheck", "samples", "work"):
        setattr(args, name, os.path.abspath(getattr(args, name)))
    if args.screenshots:
        args.screenshots = os.path.abspath(args.screenshots)
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    driver, profile = start_browser()
    check = Checker()
    try:
        check_gallery(driver, check, args.work, args.texdump, args.samples, args.screenshots)
        check_pack_report(driver, check, args.work, args.texdump, args.packcheck, args.samples, args.screenshots)
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
    print("%s: %d failures" % ("FAILED" if check.failures else "passed", check.failures))
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
