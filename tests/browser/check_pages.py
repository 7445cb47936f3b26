#!/usr/bin/env python3
"""The gallery of a mivo_texdump run and a mivo_packcheck review page in headless
Chromium: no console error, every thumbnail loads, filter, failed-only switch and
sorting work, links lead to the full images, each pack row shows its verdict.
Exits 77 (a CTest skip) with a line saying why when no browser can run.
--screenshots DIR also saves the README's two pictures."""

import argparse, os, shutil, subprocess, sys, tempfile, urllib.parse

failures = []


def expect(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL: " + what)


def start_browser():
    def skip(reason):
        print("SKIP: no browser for the page test: " + reason)
        sys.exit(77)
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
                 "--disable-component-update", "--disable-sync", "--no-first-run", "--window-size=1200,900",
                 "--user-data-dir=" + profile):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    try:
        return webdriver.Chrome(service=Service(driver_path), options=options), profile
    except Exception as e:  # no chromium, or it cannot start here
        skip("chromium does not start (%s)" % str(e).splitlines()[0])


def load(driver, path):
    driver.get("file://" + urllib.parse.quote(path))
    # Lazy thumbnails are made eager so that every one of them is fetched.
    driver.execute_async_script(
        "const done = arguments[0]; for (const i of document.images) i.loading = 'eager';"
        "Promise.all(Array.from(document.images, i => i.decode().catch(() => null))).then(() => done());")
    errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
    expect(not errors, "%s: console errors %s" % (path, errors))
    broken = driver.execute_script("return Array.from(document.images).filter(i => !i.naturalWidth).map(i => i.src);")
    expect(not broken, "%s: images that did not load: %s" % (path, broken))
    return driver.execute_script("return document.images.length;")


def show(driver, text="", failed_only=False, order="input"):
    """Sets the page's controls as a user would and returns the cards shown, in order."""
    return driver.execute_script(
        "const [text, only, order] = arguments, f = document.getElementById('filter'),"
        " b = document.getElementById('failed'), s = document.getElementById('sort');"
        "f.value = text; f.dispatchEvent(new Event('input')); if (b.checked !== only) b.click();"
        "s.value = order; s.dispatchEvent(new Event('change'));"
        "return Array.from(document.querySelectorAll('.card')).filter(c => !c.hidden).map(c =>"
        " [c.querySelector('.n').textContent, (c.querySelector('.f') || {}).textContent || '', +c.dataset.s]);",
        text, failed_only, order)


def check_gallery(driver, work, texdump, samples, shots):
    extra = os.path.join(work, "extra")
    os.makedirs(extra)
    open(os.path.join(extra, "broken.bin"), "wb").write(b"junk")
    odd = "name <&\"'#% \u00e9"  # must be escaped in the page and encoded in its link
    shutil.copy(os.path.join(samples, "bf_0A000005_5E1C0005.bin"), os.path.join(extra, odd + ".bin"))
    run = subprocess.run([texdump, "--out", "out", "--gallery", "gallery", "--csv", "r.csv", samples, extra], cwd=work,
                         capture_output=True)
    expect(run.returncode == 1, "texdump status %d with one broken dump" % run.returncode)
    rows = [r.split(",") for r in open(os.path.join(work, "r.csv"), encoding="utf-8").read().splitlines()[1:]]
    # The same page and thumbnails whatever the number of threads.
    subprocess.run([texdump, "--jobs", "1", "--out", "out", "--gallery", "g1", samples, extra], cwd=work,
                   capture_output=True)
    for name in ["index.html"] + ["thumbs/" + f for f in os.listdir(os.path.join(work, "gallery", "thumbs"))]:
        read = lambda folder: open(os.path.join(work, folder, name), "rb").read()
        expect(read("gallery") == read("g1"), "gallery/%s differs with --jobs 1" % name)

    thumbnails = load(driver, os.path.join(work, "gallery", "index.html"))
    names = [c[0] for c in show(driver)]
    expect(names == [r[0] for r in rows[:-1]] + ["broken", odd], "one card per dump, in input order: %s" % names)
    expect(thumbnails == len(rows), "%d thumbnails for %d decoded dumps" % (thumbnails, len(rows)))
    links = driver.execute_script("return Array.from(document.querySelectorAll('.pic a'), a => a.getAttribute('href'));")
    lost = [h for h in links if not os.path.exists(os.path.join(work, "gallery", urllib.parse.unquote(h)))]
    expect(len(links) == len(rows) and not lost, "every link leads to its full PNG, not %s" % lost)

    halves = driver.execute_script("return Array.from(document.querySelectorAll('.k span'), s => {"
                                   " const r = document.createRange(); r.selectNodeContents(s); return r.getClientRects().length; });")
    expect(halves and set(halves) == {1}, "pack keys wrap at their __ only, never inside a half: %s" % halves)

    dxt1 = sorted(r[0] for r in rows if r[3] == "k_DXT1")
    expect(sorted(c[0] for c in show(driver, "K_dxt1 ")) == dxt1, "filter by format")
    key = rows[0][23]
    expect(sorted(c[0] for c in show(driver, key.lower())) == sorted(r[0] for r in rows if r[23] == key),
           "filter by key")
    expect([c[0] for c in show(driver, failed_only=True)] == ["broken"], "failed only")
    expect([c[0] for c in show(driver, order="name")] == sorted(names), "sort by name")
    sizes = [c[2] for c in show(driver, order="size")]
    expect(sizes == sorted(sizes, reverse=True), "sort by size")
    formats = [c[1] for c in show(driver, order="format")]
    expect(formats == sorted(formats), "sort by format")
    show(driver)
    if shots:
        driver.save_screenshot(os.path.join(shots, "gallery.png"))


def check_unique_gallery(driver, work, texdump, samples):
    """--unique over the samples twice: one card per texture, in input order,
    listing its copies, which the filter finds."""
    subprocess.run([texdump, "--unique", "--no-images", "--csv", "u.csv", "--gallery", "gu", samples, samples],
                   cwd=work, capture_output=True)
    rows = [r.split(",") for r in open(os.path.join(work, "u.csv"), encoding="utf-8").read().splitlines()[1:]]
    groups = {}
    for r in rows:
        groups.setdefault(tuple(r[6:12] + r[15:20] + [r[21], r[23]]), []).append(r[0])
    load(driver, os.path.join(work, "gu", "index.html"))
    cards = driver.execute_script(
        "return Array.from(document.querySelectorAll('.card'), c => [c.querySelector('.n').textContent,"
        " Array.from(c.querySelectorAll('.more div'), d => d.textContent),"
        " (c.querySelector('summary') || {}).textContent || '']);")
    want = [[names[0], names[1:], "and %d more" % (len(names) - 1) if len(names) > 1 else ""] for names in groups.values()]
    expect(cards == want, "one card per texture listing its copies: %s" % cards)
    count = driver.execute_script("return document.getElementById('count').textContent;")
    expect(count == "%d of %d dumps shown" % (len(rows), len(rows)), "count of dumps: %s" % count)
    twin = next(names for names in groups.values() if len(set(names)) > 1)
    show(driver, twin[-1])
    found = driver.execute_script(
        "return Array.from(document.querySelectorAll('.card'), c => c.hidden ? null : [c.querySelector('.n').textContent,"
        " c.querySelector('details').open]).filter(c => c);")
    expect([twin[0], True] in found, "filtering by a copy's name shows its first card opened: %s" % found)
    show(driver)


def check_pack_report(driver, work, texdump, packcheck, samples, shots):
    subprocess.run([texdump, "--no-images", "--pack-template", "template", samples], cwd=work, capture_output=True)
    pack = os.path.join(work, "pack")
    shutil.copytree(os.path.join(work, "template"), pack)
    lines = open(os.path.join(pack, "pack.txt")).read().splitlines()
    rows = [line.split() for line in lines[2:]]
    rows[1][3] = str(int(rows[1][3]) * 2)  # ORIGINAL MISMATCH
    rows[2][0] = "0123456789ABCDEF"  # UNKNOWN KEY, and its old file unlisted
    rows[2][5] = "0123456789ABCDEF__" + rows[2][1] + ".dds"
    with open(os.path.join(pack, rows[3][5]), "r+b") as f:  # INVALID: a DDS cut short
        f.truncate(os.path.getsize(f.name) - 1)
    open(os.path.join(pack, "pack.txt"), "w").write("\n".join(lines[:2] + [" ".join(r) for r in rows]) + "\n")

    out = subprocess.run([packcheck, "--html", "report.html", "pack", "template"], cwd=work, capture_output=True,
                         text=True).stdout
    verdicts = [v for line in out.splitlines() for v in ("OK", "INVALID", "UNKNOWN KEY", "ORIGINAL MISMATCH")
                if line.startswith(v + " ")]
    expect(verdicts[1:4] == ["ORIGINAL MISMATCH", "UNKNOWN KEY", "INVALID"], "the three mistakes: %s" % verdicts)
    load(driver, os.path.join(work, "report.html"))
    shown = driver.execute_script("return Array.from(document.querySelectorAll('.rows .verdict'), v => v.textContent);")
    expect(shown == verdicts, "verdict per row: %s, expected %s" % (shown, verdicts))
    unlisted = driver.execute_script("return Array.from(document.querySelectorAll('.unlisted li'), l => l.textContent);")
    expect(unlisted == [lines[4].split()[5]], "unlisted files: %s" % unlisted)
    if shots:
        driver.set_window_size(1200, 1250)
        driver.save_screenshot(os.path.join(shots, "pack-report.png"))


def main():
    parser = argparse.ArgumentParser()
    for name in ("--texdump", "--packcheck", "--samples", "--work", "--screenshots"):
        parser.add_argument(name, type=os.path.abspath, required=name != "--screenshots")
    a = parser.parse_args()
    shutil.rmtree(a.work, ignore_errors=True)
    os.makedirs(a.work)
    driver, profile = start_browser()
    try:
        check_gallery(driver, a.work, a.texdump, a.samples, a.screenshots)
        check_unique_gallery(driver, a.work, a.texdump, a.samples)
        check_pack_report(driver, a.work, a.texdump, a.packcheck, a.samples, a.screenshots)
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
