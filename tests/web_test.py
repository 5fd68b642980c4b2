#!/usr/bin/env python3
# Runs the page in headless Chromium through its hooks (#first, #second, #combine,
# #report, #status[data-exit], #download) and holds every run to the native tool's
# on the same files: the report as the native build shows it on a UTF-8 terminal,
# the exit status, and the downloaded file byte for byte. Also: no request leaves the
# page's own origin, the engine's memory stays under 64 MiB on inputs larger than it,
# and the one-file page works opened from disk.
#
#     web_test.py NATIVE_TOOL SITE_DIR EXAMPLES_DIR [SCREENSHOT.png]
import hashlib, http.server, json, os, shutil, struct, sys, tempfile, threading, time
from functools import partial
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait
from screen import screen_run


def wav(channels=2, rate=8000, bits=16, frames=1000, seed=1):
    block = channels * bits // 8
    data = bytes((seed * 7919 + i * 104729) % 251 for i in range(min(frames * block, 1 << 16)))
    data = (data * (frames * block // len(data) + 1))[: frames * block]
    fmt = struct.pack("<HHIIHH", 1, channels, rate, rate * block, block, bits)
    body = b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def output_name(a, b):
    stem = lambda n: n[:-4] if n.lower().endswith(".wav") else n
    return f"{stem(a)}+{stem(b)}.wav"


def native_run(native, folder, names):
    """The native tool's screen on a UTF-8 pseudo-terminal, its status and output."""
    out = output_name(*names)
    screen, status = screen_run([native, *names, out], dict(os.environ, LC_ALL="C.UTF-8"),
                                lambda: os.chdir(folder))
    return screen.decode(), status, f"{folder}/{out}"


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
                 f"--log-net-log={work}/net.json"):
        options.add_argument(flag)
    options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                              "download.prompt_for_download": False})
    browser = webdriver.Chrome(service=Service(shutil.which("chromedriver") or "/usr/bin/chromedriver"),
                               options=options)
    browser.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
    return browser


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


def page_run(browser, url, paths, downloads=None, wait=120, settle=0.0):
    """Runs the page on two files: the report, exit status, download, engine memory and
    the number of pieces the output came in."""
    browser.get(url)
    time.sleep(settle)  # as long as a person takes to choose the files, for the benchmark
    browser.find_element(By.ID, "first").send_keys(paths[0])
    browser.find_element(By.ID, "second").send_keys(paths[1])
    browser.find_element(By.ID, "combine").click()
    status = browser.find_element(By.ID, "status")
    WebDriverWait(browser, wait, poll_frequency=0.05).until(lambda _: status.get_attribute("data-exit") is not None)
    report = browser.execute_script("return document.getElementById('report').textContent")
    links = browser.find_elements(By.ID, "download")
    got = b"" if links else None
    if links and downloads and links[0].is_displayed():
        target = f"{downloads}/{links[0].get_attribute('download')}"
        links[0].click()
        WebDriverWait(browser, 60).until(lambda _: os.path.exists(target) and
                                         not os.path.exists(target + ".crdownload"))
        got = open(target, "rb").read()
        os.remove(target)
    pieces = int(status.get_attribute("data-pieces") or 0)
    page_run.ms = int(status.get_attribute("data-ms") or 0)  # the run's own time, for the benchmark
    return report, int(status.get_attribute("data-exit")), got, int(status.get_attribute("data-memory") or 0), pieces


def main():
    native, site, examples = (os.path.abspath(a) for a in sys.argv[1:4])
    shot = sys.argv[4] if len(sys.argv) > 4 else None
    work = tempfile.mkdtemp(prefix="wavpair-web-")
    downloads = f"{work}/downloads"
    os.makedirs(downloads)
    server, origin = serve(site)
    browser = browser_start(work, downloads)
    failures, checks = [], 0

    def check(name, ok, detail=""):
        nonlocal checks
        checks += 1
        if not ok:
            failures.append(name)
            print(f"FAILED {name} {detail}")

    long, short = (open(f"{examples}/{n}", "rb").read() for n in ("long.wav", "short.wav"))
    cases = [  # name, the files (name, bytes), the page
        ("the examples", [("long.wav", long), ("short.wav", short)], "index.html"),
        ("Japanese names", [("長い録音.wav", long), ("短い.wav", short)], "index.html"),
        ("a mono input", [("stereo.wav", wav()), ("mono.wav", wav(channels=1))], "index.html"),
        ("rates differ", [("a.wav", wav(rate=8000)), ("b.wav", wav(rate=11025))], "index.html"),
        ("not a WAV file", [("a.wav", wav()), ("notes.wav", b"just some text, no RIFF here\n")], "index.html"),
        ("8 bits, the second input longer", [("a.wav", wav(bits=8, frames=500)), ("b.wav", wav(bits=8, seed=5))],
         "index.html"),
        # 64 MB: more than the engine's whole memory, so it cannot be held there.
        ("inputs larger than the engine's memory",
         [("big.wav", wav(frames=16_000_000, rate=44100, seed=3)), ("small.wav", wav(rate=44100))], "index.html"),
        ("the one-file page from disk", [("long.wav", long), ("short.wav", short)], "file"),
    ]
    try:
        for name, files, page in cases:
            folder = tempfile.mkdtemp(dir=work)
            for file, data in files:
                open(f"{folder}/{file}", "wb").write(data)
            want_report, want_status, out = native_run(native, folder, [f for f, _ in files])
            want = open(out, "rb").read() if want_status == 0 else None
            url = f"file://{site}/wavpair.html" if page == "file" else f"{origin}/{page}"
            report, status, got, memory, pieces = page_run(browser, url, [f"{folder}/{f}" for f, _ in files],
                                                           downloads)
            check(f"{name}: the report", report == want_report, f"\n  got:  {report!r}\n  want: {want_report!r}")
            check(f"{name}: the exit status", status == want_status, f"{status} != {want_status}")
            check(f"{name}: the download", (got is None) == (want is None) and
                  (got is None or hashlib.sha256(got).digest() == hashlib.sha256(want).digest()),
                  f"offered: {got is not None}, expected: {want is not None}")
            check(f"{name}: the engine's memory", memory < 64 << 20, f"{memory} bytes")
            # The output leaves the engine as it is written, a block at a time.
            check(f"{name}: the output in pieces", want is None or pieces >= len(want) // (8 << 20) + 1,
                  f"{pieces} pieces for {len(want or b'')} bytes")
            if shot and name == "Japanese names":
                browser.execute_script("window.scrollTo(0, 0)")
                browser.save_screenshot(shot)
            shutil.rmtree(folder)
    finally:
        browser.quit()
        server.shutdown()
    # Every request the page or its worker made, served or opened from disk ("null"),
    # went to the page's own origin.
    urls = requests_of(f"{work}/net.json", (origin, "null"))
    elsewhere = [u for u in urls if not u.startswith(origin + "/")]
    check("every request to the page's own origin", f"{origin}/wavpair.wasm" in urls and not elsewhere,
          f"{elsewhere}")
    shutil.rmtree(work)
    print(f"{checks - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
