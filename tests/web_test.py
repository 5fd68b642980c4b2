#!/usr/bin/env python3
# Runs the page in headless Chromium through its hooks (#first, #second, #combine,
# #cancel, #report, #status[data-exit], #status[data-error], #picture[data-shorter-
# frames], #download and its download attribute) and holds every run to the native
# tool's on the same files: the report as the native build shows it on a UTF-8
# terminal, the exit status, and the saved file byte for byte. Also: the output is on
# disk where the browser has the private file system, and the browser's memory stays
# flat on a large one; no file is left behind; a broken engine and the page opened
# from disk say so; both languages; no request leaves the page's own origin.
#
#     web_test.py NATIVE_TOOL SITE_DIR EXAMPLES_DIR [SCREENSHOT.png]
import hashlib, http.server, json, math, os, shutil, struct, sys, tempfile, threading, time
from functools import partial
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait
from selenium.common.exceptions import TimeoutException
from screen import screen_run


def wav(channels=2, rate=8000, bits=16, frames=1000, seed=1, path=None, piece=None):
    """A WAV file of piece repeated (noise by default): its bytes, or written to path in
    pieces when it is large."""
    block = channels * bits // 8
    size = frames * block
    piece = piece or bytes((seed * 7919 + i * 104729) % 251 for i in range(min(size, 1 << 16)))
    fmt = struct.pack("<HHIIHH", 1, channels, rate, rate * block, block, bits)
    head = b"RIFF" + struct.pack("<I", 36 + size) + b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt
    head += b"data" + struct.pack("<I", size)
    if path is None:
        return head + (piece * (size // len(piece) + 1))[:size]
    with open(path, "wb") as f:
        f.write(head)
        for at in range(0, size, len(piece)):
            f.write(piece[: min(len(piece), size - at)])


def output_name(a, b):
    stem = lambda n: n[:-4] if n.lower().endswith(".wav") else n
    return f"{stem(a)}+{stem(b)}.wav"


def native_run(native, folder, names, out=None):
    """The native tool's screen on a UTF-8 pseudo-terminal, its status and output."""
    out = out or output_name(*names)
    screen, status = screen_run([native, *names, out], dict(os.environ, LC_ALL="C.UTF-8"),
                                lambda: os.chdir(folder))
    return screen.decode(), status, f"{folder}/{out}"


def shorter_frames(path_a, path_b):
    """How many frames of the output the shorter of two WAV files feeds: the smaller
    frame count of their data chunks."""
    frames = []
    for p in (path_a, path_b):
        chunks, at = {}, 12
        with open(p, "rb") as f:
            while len(head := (f.seek(at), f.read(8))[1]) == 8:
                chunks.setdefault(head[:4], (at + 8, struct.unpack("<I", head[4:])[0]))
                at += 8 + chunks[head[:4]][1] if head[:4] != b"data" else 8 + struct.unpack("<I", head[4:])[0]
            f.seek(chunks[b"fmt "][0] + 12)
            block = struct.unpack("<H", f.read(2))[0]
        frames.append(chunks[b"data"][1] // block)
    return min(frames)


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve(site):
    """The site on a port of its own; returns the server and its origin."""
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), partial(Quiet, directory=site))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, f"http://127.0.0.1:{server.server_address[1]}"


def browser_start(work, downloads):
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--no-first-run", "--window-size=1000,1400", f"--user-data-dir={work}/profile",
                 "--lang=en-US", f"--log-net-log={work}/net.json"):
        options.add_argument(flag)
    options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                              "download.prompt_for_download": False,
                                              "intl.accept_languages": "en-US"})
    browser = webdriver.Chrome(service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"),
                               options=options)
    browser.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
    return browser


def browser_pss_kib(browser):
    """The proportional set size of every process of this browser, in KiB."""
    root = browser.service.process.pid
    children, total = {}, 0
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            parent = int(open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()[1])
            children.setdefault(parent, []).append(int(pid))
        except (OSError, IndexError, ValueError):
            pass
    todo = list(children.get(root, []))
    while todo:
        pid = todo.pop()
        todo += children.get(pid, [])
        try:
            total += sum(int(l.split()[1]) for l in open(f"/proc/{pid}/smaps_rollup") if l.startswith("Pss:"))
        except OSError:
            pass
    return total


def requests_of(netlog, initiators):
    """Every URL the browser's network log shows requested by the pages and workers of
    those origins (the browser's own requests, for updates and the like, aside)."""
    text = open(netlog).read()
    try:
        log = json.loads(text)
    except json.JSONDecodeError:  # a log the browser did not get to close: its events are all there
        log = json.loads(text.rstrip().rstrip(",") + "]}")
    start = log["constants"]["logEventTypes"]["URL_REQUEST_START_JOB"]
    return [e["params"]["url"] for e in log["events"]
            if e["type"] == start and e.get("params", {}).get("initiator") in initiators]


def disk_files(browser):
    """The names in the page's private file system."""
    return browser.execute_async_script("""
        const done = arguments[0];
        navigator.storage.getDirectory().then(async (d) => {
          const names = []; for await (const n of d.keys()) names.push(n); done(names);
        }).catch(() => done(null));""")


def page_run(browser, url, paths, downloads=None, wait=120, settle=0.0, load=True, during=None):
    """Runs the page on two files: the report, exit status, saved bytes (None where no
    link is offered) and the status and picture hooks."""
    if load:
        browser.get(url)
    time.sleep(settle)  # as long as a person takes to choose the files, for the benchmark
    browser.find_element(By.ID, "first").send_keys(paths[0])
    browser.find_element(By.ID, "second").send_keys(paths[1])
    browser.find_element(By.ID, "combine").click()
    status = browser.find_element(By.ID, "status")
    ended = lambda _: status.get_attribute("data-exit") is not None or status.get_attribute("data-error")
    while during and not ended(None):
        during()
    WebDriverWait(browser, wait, poll_frequency=0.05).until(ended)
    report = browser.execute_script("return document.getElementById('report')?.textContent")
    links = browser.find_elements(By.ID, "download")
    got = None
    if links and downloads:
        # The browser may change characters of the name that its file system refuses.
        links[0].click()
        done = lambda: [f for f in os.listdir(downloads) if not f.endswith(".crdownload")]
        WebDriverWait(browser, 120).until(lambda _: done() and not any(
            f.endswith(".crdownload") for f in os.listdir(downloads)))
        got = open(f"{downloads}/{done()[0]}", "rb").read()
        os.remove(f"{downloads}/{done()[0]}")
    hooks = {k: status.get_attribute(f"data-{k}") for k in ("exit", "error", "ms", "output")}
    hooks["shorter"] = browser.execute_script(
        "return document.getElementById('picture')?.dataset.shorterFrames")
    hooks["name"] = links[0].get_attribute("download") if links else None
    hooks["status"] = status.text
    page_run.ms = int(hooks["ms"] or 0)  # the run's own time, for the benchmark
    return report, int(hooks["exit"] or -1), got, hooks


def main():
    native, site, examples = (os.path.abspath(a) for a in sys.argv[1:4])
    shot = sys.argv[4] if len(sys.argv) > 4 else None
    work = tempfile.mkdtemp(prefix="wavpair-web-")
    downloads = f"{work}/downloads"
    os.makedirs(downloads)
    # A copy of the site without its WebAssembly: an engine that cannot load.
    broken = f"{work}/broken"
    shutil.copytree(site, broken)
    os.remove(f"{broken}/wavpair.wasm")
    server, origin = serve(site)
    broken_server, broken_origin = serve(broken)
    browser = browser_start(work, downloads)
    failures, checks = [], 0

    def check(name, ok, detail=""):
        nonlocal checks
        checks += 1
        if not ok:
            failures.append(name)
            print(f"FAILED {name} {detail}")

    long, short = (open(f"{examples}/{n}", "rb").read() for n in ("long.wav", "short.wav"))
    big = f"{work}/big.wav"
    wav(frames=50_000_000, rate=44100, seed=3, path=big)  # 200 MB in and out
    cases = [  # name, the files (name, bytes or a path), the page
        ("the examples", [("long.wav", long), ("short.wav", short)], "index.html"),
        ("Japanese names", [("長い録音.wav", long), ("短い.wav", short)], "index.html"),
        ("a mono input", [("stereo.wav", wav()), ("mono.wav", wav(channels=1))], "index.html"),
        ("rates differ", [("a.wav", wav(rate=8000)), ("b.wav", wav(rate=11025))], "index.html"),
        ("not a WAV file", [("a.wav", wav()), ("notes.wav", b"just some text, no RIFF here\n")], "index.html"),
        ("8 bits, the second input longer", [("a.wav", wav(bits=8, frames=500)), ("b.wav", wav(bits=8, seed=5))],
         "index.html"),
        # A name with the report's own words: what the page shows comes from the engine.
        ("a name like the report's lines", [('"data" の長さ: 7.wav', wav(frames=300)), ("b.wav", wav(frames=900))],
         "index.html"),
        ("a name that reorders text", [("a\u202egnp.wav", wav(frames=700)), ("b\u2066.wav", wav(frames=200))],
         "index.html"),
        ("one file's name twice", [("same.wav", long), ("same.wav", short)], "index.html"),
        ("inputs larger than the engine's memory", [("big.wav", big), ("small.wav", wav(rate=44100))],
         "index.html"),
        ("the one-file page from disk", [("long.wav", long), ("short.wav", short)], "file"),
    ]
    try:
        for name, files, page in cases:
            folders = [tempfile.mkdtemp(dir=work), tempfile.mkdtemp(dir=work)]
            paths = []
            for k, (file, data) in enumerate(files):
                # Two files of one name live in two folders; the native tool sees both.
                path = f"{folders[k if files[0][0] == files[1][0] else 0]}/{file}"
                if isinstance(data, str):
                    os.symlink(data, path)
                else:
                    open(path, "wb").write(data)
                paths.append(path)
            if files[0][0] == files[1][0]:
                os.makedirs(f"{folders[0]}/1"), os.makedirs(f"{folders[0]}/2")
                for k in (0, 1):
                    os.symlink(paths[k], f"{folders[0]}/{k + 1}/{files[k][0]}")
                names = [f"1/{files[0][0]}", f"2/{files[1][0]}"]
            else:
                names = [f for f, _ in files]
            want_report, want_status, out = native_run(native, folders[0], names,
                                                       output_name(*[f for f, _ in files]))
            want = hashlib.sha256(open(out, "rb").read()).digest() if want_status == 0 else None
            url = f"file://{site}/wavpair.html" if page == "file" else f"{origin}/{page}"
            base, samples = browser_pss_kib(browser), []
            during = ((lambda: (samples.append(browser_pss_kib(browser) - base), time.sleep(0.05)))
                      if "larger" in name else None)
            report, status, got, hooks = page_run(browser, url, paths, downloads, during=during)
            check(f"{name}: the report", report == want_report, f"\n  got:  {report!r}\n  want: {want_report!r}")
            check(f"{name}: the exit status", status == want_status, f"{status} != {want_status}")
            check(f"{name}: the download", (got is None) == (want is None) and
                  (got is None or hashlib.sha256(got).digest() == want),
                  f"offered: {got is not None}, expected: {want is not None}")
            if want_status == 0:
                check(f"{name}: where the shorter input ends", hooks["shorter"] == str(shorter_frames(*paths)),
                      f"{hooks['shorter']} != {shorter_frames(*paths)}")
                check(f"{name}: the download's name", hooks["name"] == output_name(*[f for f, _ in files])
                      .replace("\u202e", "").replace("\u2066", ""), hooks["name"])
                check(f"{name}: the output on disk where the browser has it",
                      hooks["output"] == ("memory" if page == "file" else "disk"), hooks["output"])
            else:
                check(f"{name}: the refusal explained", hooks["status"].startswith("Refused: ") and
                      "exit status" not in hooks["status"], hooks["status"])
            if during:
                # 200 MB of output: the browser's processes together grow by far less.
                check(f"{name}: the browser's memory stays flat", samples and max(samples) < 128 << 10,
                      f"grew by {max(samples or [0]) >> 10} MiB")
            if page != "file":
                on_disk = disk_files(browser)
                check(f"{name}: no file but the result's on disk", len(on_disk) == (want_status == 0), on_disk)
            if shot and name == "Japanese names":
                browser.execute_script("window.scrollTo(0, 0)")
                browser.save_screenshot(shot)
            for folder in folders:
                shutil.rmtree(folder)

        # A steady tone (a period of 8 frames, so every column holds its peaks) draws as
        # a flat band: the top of each channel's band on one row in every column.
        folder = tempfile.mkdtemp(dir=work)
        tone = b"".join(struct.pack("<hh", v, v) for v in (round(20000 * math.sin(math.pi * k / 4)) for k in range(8)))
        tone_files = [f"{folder}/tone.wav", f"{folder}/tone2.wav"]
        for path, frames in zip(tone_files, (98760, 32920)):
            open(path, "wb").write(wav(frames=frames, piece=tone))
        page_run(browser, f"{origin}/index.html", tone_files)
        tops = browser.execute_script("""
            const c = document.getElementById('picture'), g = c.getContext('2d');
            const d = g.getImageData(0, 0, c.width, c.height / 2).data, tops = new Set();
            for (let x = 0; x < c.width; x++) {
              let y = 0;  // down to the first pixel of the band's blue (not white, not the red line)
              while (y < c.height / 2 && (d[4 * (y * c.width + x) + 2] < 200 || d[4 * (y * c.width + x)] > 100)) y++;
              if (y < c.height / 2) tops.add(y);
            }
            return [...tops];""")
        check("a steady tone draws as a flat band", len(tops) == 1, tops)

        # Two runs on one page, then one cancelled and one after it: each its own, and
        # nothing left of the cancelled one.
        folder = tempfile.mkdtemp(dir=work)
        pair = [f"{folder}/long.wav", f"{folder}/short.wav"]
        open(pair[0], "wb").write(long), open(pair[1], "wb").write(short)
        native_out = open(native_run(native, folder, ["long.wav", "short.wav"])[2], "rb").read()
        page_run(browser, f"{origin}/index.html", pair)
        second = page_run(browser, None, pair[::-1], downloads, load=False)
        check("a second run on the page", second[1] == 0 and second[2] is not None and
              len(disk_files(browser)) == 1, f"{second[3]} {disk_files(browser)}")
        browser.find_element(By.ID, "first").send_keys(big)
        browser.find_element(By.ID, "second").send_keys(pair[1])
        browser.find_element(By.ID, "combine").click()
        time.sleep(0.5)
        browser.find_element(By.ID, "cancel").click()
        check("Cancel: the progress bar back to nothing and Combine usable",
              browser.execute_script("return document.getElementById('progress').value") == 0 and
              browser.find_element(By.ID, "combine").is_enabled())
        time.sleep(1)
        check("Cancel: nothing left on disk", disk_files(browser) == [], disk_files(browser))
        third = page_run(browser, None, pair, downloads, load=False)
        check("Combine after Cancel", third[1] == 0 and third[2] == native_out, third[3])
        check("focus on the saved file's link after a run",
              browser.execute_script("return document.activeElement.id") == "download")

        # An engine that cannot load, and index.html opened from disk: a clear message
        # within a few seconds, and Combine still usable.
        for what, url in (("an engine that cannot load", f"{broken_origin}/index.html"),
                          ("index.html from disk", f"file://{site}/index.html")):
            browser.get(url)
            browser.find_element(By.ID, "first").send_keys(pair[0])
            browser.find_element(By.ID, "second").send_keys(pair[1])
            began = time.time()
            browser.find_element(By.ID, "combine").click()
            status = browser.find_element(By.ID, "status")
            try:
                WebDriverWait(browser, 10).until(lambda _: status.get_attribute("data-error"))
            except TimeoutException:
                pass
            check(f"{what}: said within a few seconds", time.time() - began < 6 and
                  browser.find_element(By.ID, "combine").is_enabled(), status.text)
        check("index.html from disk points to wavpair.html", "wavpair.html" in status.text, status.text)

        # A browser that prefers Japanese gets the page in Japanese, the refusal included.
        browser.execute_cdp_cmd("Network.setUserAgentOverride", {
            "userAgent": browser.execute_script("return navigator.userAgent"), "acceptLanguage": "ja"})
        pair = [f"{folder}/a.wav", f"{folder}/mono.wav"]
        open(pair[0], "wb").write(wav()), open(pair[1], "wb").write(wav(channels=1))
        _, status, _, hooks = page_run(browser, f"{origin}/index.html", pair)
        check("Japanese: the page's language", browser.execute_script("return document.documentElement.lang") == "ja"
              and browser.find_element(By.ID, "combine").text == "合成")
        check("Japanese: the refusal explained", status == 255 and "ステレオ" in hooks["status"], hooks["status"])
    finally:
        browser.quit()
        server.shutdown()
        broken_server.shutdown()
    own = (origin, broken_origin, "null")

    # Every request the page or its worker made, served or opened from disk ("null"),
    # went to the page's own origin.
    urls = requests_of(f"{work}/net.json", own)
    served = [u for u in urls if u.startswith("http")]
    origins = {u.split("/")[2] for u in served}
    check("every request to the page's own origin", any(u.endswith("/wavpair.wasm") for u in served) and
          all(o.startswith("127.0.0.1:") for o in origins), f"{origins}")
    shutil.rmtree(work)
    print(f"{checks - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
