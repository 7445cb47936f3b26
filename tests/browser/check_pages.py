#!/usr/bin/env python3
"""The gallery of a mivo_texdump run and a mivo_packcheck review page in headless
Chromium: no console error, every thumbnail loads, filter, failed-only switch and
sorting work, links lead to the full images, each pack row shows its verdict; the
review page's compare view zooms, wipes, flips, shows differences, alpha and mip
levels, moves between rows by key, and a 5,000-row page fetches only the pictures
near the view. Exits 77 (a CTest skip) with a line saying why when no browser can
run. --screenshots DIR also saves the README's pictures."""

import argparse, io, os, shutil, subprocess, sys, tempfile, time, urllib.parse

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
    # The compare view's two pictures get a source when it opens.
    broken = driver.execute_script("return Array.from(document.images).filter(i => !i.naturalWidth &&"
                                   " !i.closest('#compare')).map(i => i.src);")
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


def port_image(driver):
    """The compare view's picture area as the screen shows it, and the stage's box in it."""
    from PIL import Image
    port = driver.find_element("id", "cv-port")
    shot = Image.open(io.BytesIO(port.screenshot_as_png)).convert("RGB")
    box = driver.execute_script(
        "const p = document.getElementById('cv-port').getBoundingClientRect(),"
        " s = document.getElementById('cv-stage').getBoundingClientRect();"
        "return [s.left - p.left, s.top - p.top, s.width, s.height];")
    return shot, [round(v) for v in box]


def keys(driver, text):
    from selenium.webdriver.common.action_chains import ActionChains
    ActionChains(driver).send_keys(text).perform()


def set_control(driver, element_id, value, event):
    driver.execute_script("const e = document.getElementById(arguments[0]); e.value = arguments[1];"
                          "e.dispatchEvent(new Event(arguments[2]));", element_id, value, event)


def stage_mean(shot, box):
    from PIL import ImageStat
    x, y, w, h = box
    return sum(ImageStat.Stat(shot.crop((max(0, x), max(0, y), x + w, y + h))).mean) / 3


def title(driver):
    return driver.find_element("id", "cv-title").text


def check_compare_view(driver, work, packcheck, likeness_pack, shots):
    from PIL import Image, ImageChops
    shutil.copytree(likeness_pack, os.path.join(work, "likeness"))
    run = subprocess.run([packcheck, "--html", "compare.html", "likeness/pack", "likeness/template"],
                         cwd=work, capture_output=True, text=True)
    expect(run.returncode == 0, "compare pack: status %d" % run.returncode)
    load(driver, os.path.join(work, "compare.html"))
    rows = driver.find_elements("css selector", "#row-list > .row")
    files = [r.get_attribute("data-file") for r in rows]
    template = os.path.join(work, "likeness", "template")
    rows[0].click()  # a swapped row: a gradient's row holding shapes
    expect(title(driver) == "#1 " + files[0], "a click opens the row: %r" % title(driver))

    # Wipe: all original, all replacement; each matches its own picture.
    set_control(driver, "cv-zoom", "1", "change")
    set_control(driver, "cv-wipe", "100", "input")
    original_shot, box = port_image(driver)
    set_control(driver, "cv-wipe", "0", "input")
    replacement_shot, _ = port_image(driver)
    x, y, w, h = box
    expect((w, h) == (128, 128), "1x shows the 128x128 replacement at its size: %s" % box)
    original = Image.open(os.path.join(template, files[0])).convert("RGB")
    replacement = Image.open(os.path.join(work, "likeness", "pack", files[0])).convert("RGB")
    for px, py in ((5, 5), (64, 40), (120, 100)):
        seen_o = original_shot.getpixel((x + px, y + py))
        seen_r = replacement_shot.getpixel((x + px, y + py))
        want_o = original.getpixel((px * original.width // w, py * original.height // h))
        want_r = replacement.getpixel((px, py))
        expect(max(abs(a - b) for a, b in zip(seen_o, want_o)) <= 2, "wipe 100 shows the original %s" % [seen_o, want_o])
        expect(max(abs(a - b) for a, b in zip(seen_r, want_r)) <= 2, "wipe 0 shows the replacement %s" % [seen_r, want_r])
    set_control(driver, "cv-wipe", "50", "input")
    half, _ = port_image(driver)
    left, right = half.getpixel((x + 10, y + 64)), half.getpixel((x + 118, y + 64))
    expect(left == original_shot.getpixel((x + 10, y + 64)) and right == replacement_shot.getpixel((x + 118, y + 64)),
           "wipe 50: original left, replacement right")

    # Flip: F shows the whole original, again the whole replacement.
    keys(driver, "f")
    expect(ImageChops.difference(port_image(driver)[0], original_shot).getbbox() is None, "F flips to the original")
    keys(driver, "f")
    expect(ImageChops.difference(port_image(driver)[0], replacement_shot).getbbox() is None,
           "F again flips to the replacement")

    # Zoom: 16x doubles four times, and each texel is a flat 16x16 block.
    set_control(driver, "cv-zoom", "16", "change")
    zoomed, zbox = port_image(driver)
    expect(zbox[2:] == [2048, 2048], "16x: stage %s" % zbox)
    bx = zbox[0] % 16 + 16 * 3
    by = zbox[1] % 16 + 16 * 3
    block = zoomed.crop((bx, by, bx + 16, by + 16))
    expect(len(set(block.getdata())) == 1, "16x is pixelated: %d colours in one texel" % len(set(block.getdata())))
    keys(driver, "0")  # back to the fitting zoom

    # Difference: bright for the swapped row, dark for an honest upscale.
    keys(driver, "d")
    swapped_difference = stage_mean(*port_image(driver))
    keys(driver, "j")
    keys(driver, "j")
    expect(title(driver) == "#3 " + files[2], "J twice: the third row: %r" % title(driver))
    keys(driver, "d")  # the mode stays; D toggles it off...
    keys(driver, "d")  # ...and on
    honest_difference = stage_mean(*port_image(driver))
    expect(swapped_difference > 60 and honest_difference < 15,
           "difference view: swapped %.1f, honest %.1f" % (swapped_difference, honest_difference))

    # Alpha: the original's cut-outs are dark, the replacement that lost them white.
    keys(driver, "w")
    driver.find_element("tag name", "body").send_keys("\ue015")  # Arrow down
    expect(title(driver) == "#4 " + files[3], "Arrow down: the fourth row: %r" % title(driver))
    keys(driver, "a")
    set_control(driver, "cv-wipe", "100", "input")
    original_alpha = stage_mean(*port_image(driver))
    set_control(driver, "cv-wipe", "0", "input")
    replacement_alpha = stage_mean(*port_image(driver))
    expect(original_alpha < 240 and replacement_alpha > 254,
           "alpha view: original %.1f, replacement %.1f" % (original_alpha, replacement_alpha))
    set_control(driver, "cv-wipe", "50", "input")
    if shots:
        driver.save_screenshot(os.path.join(shots, "compare-alpha.png"))
    keys(driver, "a")

    # Mip levels: level 3 of the replacement at the same displayed size.
    before = port_image(driver)[1]
    set_control(driver, "cv-level", "3", "change")
    src = driver.execute_script("return document.getElementById('cv-r').getAttribute('src');")
    expect(src.endswith("-r3.png") and port_image(driver)[1] == before, "level 3 shown at the same size: %s" % src)
    keys(driver, "k")
    expect(title(driver) == "#3 " + files[2], "K: back to the third row")
    if shots:
        set_control(driver, "cv-wipe", "50", "input")
        driver.save_screenshot(os.path.join(shots, "compare-wipe.png"))
        keys(driver, "k")
        keys(driver, "k")
        keys(driver, "d")
        driver.save_screenshot(os.path.join(shots, "compare-difference.png"))
    keys(driver, "\ue00c")  # Escape
    expect(not driver.find_element("id", "compare").is_displayed(), "Escape closes the view")

    # Order by likeness and the hint filter.
    set_control(driver, "sort", "least", "change")
    order = driver.execute_script("return Array.from(document.querySelectorAll('#row-list > .row'), r => +r.dataset.ssim);")
    expect(order == sorted(order), "least alike first: %s" % order)
    driver.find_element("id", "hinted").click()
    hinted = driver.execute_script(
        "return Array.from(document.querySelectorAll('#row-list > .row')).filter(r => !r.hidden).map(r => r.dataset.n);")
    expect(sorted(hinted) == ["1", "2", "4"], "rows with hints: %s" % hinted)


def check_lazy_pictures(driver, work, packcheck):
    """A 5,000-row review page fetches the pictures near the view only."""
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    from bigpack import make_pack
    pack, template = make_pack(os.path.join(work, "big"), 5000)
    subprocess.run([packcheck, "--html", "big.html", pack, template], cwd=work, capture_output=True, check=True)
    driver.get("file://" + urllib.parse.quote(os.path.join(work, "big.html")))
    count = "return Array.from(document.querySelectorAll('#row-list img')).filter(i => i.complete && i.naturalWidth).length;"
    time.sleep(2)
    first = driver.execute_script(count)
    total = driver.execute_script("return document.querySelectorAll('#row-list img').length;")
    # Chromium looks ahead by a few thousand pixels; rows are about 190 high.
    expect(total == 10000 and 0 < first < 400, "5,000 rows: %d of %d pictures fetched at the top" % (first, total))
    driver.execute_script("window.scrollTo(0, document.body.scrollHeight);")
    time.sleep(2)
    last = driver.execute_script(
        "const r = document.querySelector('#row-list > .row:last-child');"
        "return Array.from(r.querySelectorAll('img'), i => i.naturalWidth > 0);")
    later = driver.execute_script(count)
    expect(last == [True, True] and later < 800, "after scrolling to the end: last row %s, %d fetched" % (last, later))


def main():
    parser = argparse.ArgumentParser()
    for name in ("--texdump", "--packcheck", "--samples", "--work", "--likeness-pack", "--screenshots"):
        parser.add_argument(name, type=os.path.abspath, required=name not in ("--screenshots", "--likeness-pack"))
    a = parser.parse_args()
    shutil.rmtree(a.work, ignore_errors=True)
    os.makedirs(a.work)
    if a.screenshots:
        os.makedirs(a.screenshots, exist_ok=True)
    driver, profile = start_browser()
    try:
        check_gallery(driver, a.work, a.texdump, a.samples, a.screenshots)
        check_unique_gallery(driver, a.work, a.texdump, a.samples)
        check_pack_report(driver, a.work, a.texdump, a.packcheck, a.samples, a.screenshots)
        if a.likeness_pack:
            check_compare_view(driver, a.work, a.packcheck, a.likeness_pack, a.screenshots)
            check_lazy_pictures(driver, a.work, a.packcheck)
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
