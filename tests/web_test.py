#!/usr/bin/env python3
# Runs the page in headless Chromium through its hooks (#first, #second, #combine,
# #cancel, #report, #status[data-exit, data-state, data-error], #picture[data-shorter-
# frames], #player, #download and its download attribute) and holds every run to the
# native tool's on the same files: the report as the native build shows it on a UTF-8
# terminal (bounded: all but the lines it says it left out), the exit status, the saved
# file byte for byte, the playing time, the picture (its band, and its red line where
# the shorter input ends), and for a refusal its explanation and which lines are marked.
# Also: Channels wires the chosen channel to both ears; the browser's memory stays flat
# on a large output and a long report; Cancel acts within a second and leaves nothing;
# no file is left behind; a broken engine and the page opened from disk say so; every
# refusal says why in its own words, in both languages; a result too large to hand over
# from memory is refused; axe-core finds nothing; the page at 360 px; installable,
# offline after one visit, a new build that waits for a Reload (and a page another tab's
# Reload left behind); no request leaves the page's origin.
#
#     web_test.py NATIVE_TOOL SITE_DIR EXAMPLES_DIR [SCREENSHOT.png]
import http.server, json, math, os, re, shutil, struct, subprocess, sys, tempfile, threading
import time, wave
from decimal import Decimal, ROUND_HALF_UP
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait
from selenium.common.exceptions import TimeoutException, WebDriverException
from screen import screen_run


# A WAV file of piece repeated (noise by default): its bytes, or written to path in
# pieces when it is large. tag 0xFFFE gives the extensible format chunk (PCM inside);
# chunks: that many empty chunks before the data.
def wav(channels=2, rate=8000, bits=16, frames=1000, seed=1, path=None, piece=None, tag=1,
        chunks=0, bps=None):
    block, size = channels * bits // 8, frames * channels * bits // 8
    piece = piece or bytes((seed * 7919 + i * 104729) % 251 for i in range(min(size, 1 << 16)))
    fmt = struct.pack("<HHIIHH", tag, channels, rate, bps or rate * block, block, bits)
    sub = bytes.fromhex("0100000000001000800000aa00389b71")  # PCM's subformat
    fmt += struct.pack("<HHI", 22, bits, 3) + sub if tag == 0xFFFE else b""
    head = b"WAVEfmt " + struct.pack("<I", len(fmt)) + fmt + b"JUNK\0\0\0\0" * chunks
    head = b"RIFF" + struct.pack("<I", len(head) + 8 + size) + head
    head += b"data" + struct.pack("<I", size)
    body = [piece[: size - at] for at in range(0, size, len(piece))]  # one piece, many times
    return open(path, "wb").writelines([head, *body]) if path else head + b"".join(body)


# Writes path (and its folder): the bytes given, or a link to the file at the path given.
def put(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    os.symlink(data, path) if isinstance(data, str) else open(path, "wb").write(data)
    return path


# The folder the server has now, looked up at each request: the browser opens
# connections ahead of its requests, so a server replaced on the same port would still
# answer some of them with the old site. No folder: the connection closes unanswered,
# as when offline.
class Quiet(http.server.SimpleHTTPRequestHandler):
    log_message = lambda *args: None

    def send_head(self):
        self.directory = self.server.site
        if self.directory is None:
            self.close_connection = True
            return None
        return super().send_head()

    def end_headers(self):
        # Nothing from the browser's own cache: offline, only the service worker has the site.
        self.send_header("Cache-Control", "no-store")
        super().end_headers()


# The site on a port of its own: the server (its `site` may be changed) and its origin.
def serve(site):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Quiet)
    server.site = site
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, f"http://127.0.0.1:{server.server_address[1]}"


def browser_start(work, downloads):
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 "--no-first-run", "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--lang=en-US", "--window-size=1000,1400",
                 f"--user-data-dir={work}/profile", f"--log-net-log={work}/net.json"):
        options.add_argument(flag)
    options.add_experimental_option("prefs", {"intl.accept_languages": "en-US"})
    driver = Service(shutil.which("chromedriver") or "/usr/bin/chromedriver")
    browser = webdriver.Chrome(service=driver, options=options)
    browser.set_page_load_timeout(60)  # a page that never loads fails the test in time
    browser.execute_cdp_cmd("Browser.setDownloadBehavior",
                            {"behavior": "allow", "downloadPath": downloads})
    browser.profile = f"{work}/profile"
    return browser


# measure(pid) summed over every process of this browser (each names its profile).
def browser_total(browser, measure):
    total = 0
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if browser.profile.encode() in open(f"/proc/{pid}/cmdline", "rb").read():
                total += measure(pid)
        except OSError:
            pass
    return total


# The proportional set size of all the browser's processes, in KiB.
browser_pss_kib = lambda browser: browser_total(browser, lambda pid: sum(
    int(line.split()[1]) for line in open(f"/proc/{pid}/smaps_rollup") if line.startswith("Pss:")))


# Whether condition came true within seconds; asked again where the page was between
# documents (a reload) when it was asked.
def until(browser, condition, seconds=10):
    try:
        return WebDriverWait(browser, seconds, poll_frequency=0.02,
                             ignored_exceptions=[WebDriverException]).until(condition)
    except TimeoutException:
        return False


# The names in the page's private file system.
def disk_files(browser):
    return browser.execute_async_script("""navigator.storage.getDirectory().then(async (d) => {
        const names = []; for await (const n of d.keys()) names.push(n); arguments[0](names);
        }).catch(() => arguments[0](null));""")


# Chooses the two files and presses Combine (or not).
def combine(browser, paths, press=True):
    for hook, path in zip(("first", "second"), paths):
        browser.find_element(By.ID, hook).send_keys(path)
    browser.find_element(By.ID, "combine").click() if press else None


# Runs the page on two files: its hooks once the run has ended, with the report, the
# exit status and the saved bytes (None where no link is offered or none asked).
def page_run(browser, url, paths, downloads=None, wait=120, load=True, during=None):
    browser.get(url) if load else None
    browser.execute_script("window.before = 1")  # gone if the run reloads the page (and goes on)
    combine(browser, paths)
    ended = "const s = document.getElementById('status').dataset; return s.exit || s.error"
    WebDriverWait(browser, wait, poll_frequency=0.05, ignored_exceptions=[WebDriverException]) \
        .until(lambda _: browser.execute_script(ended) or during and during() and 0)
    # The report's text, its gap (what it says and how many lines it left out), its
    # elements, and its text shown in the colour of the ending message.
    h = browser.execute_script("""const $ = (id) => document.getElementById(id);
        const s = $('status'), r = $('report'), g = r?.querySelector('.omitted');
        const all = [...(r?.querySelectorAll('*') || [])];
        const red = all.filter((e) => getComputedStyle(e).color === 'rgb(165, 14, 14)');
        return {...s.dataset, report: r?.textContent, gap: g?.textContent || '',
                left: +(g?.dataset.lines || 0), elements: all.length,
                red: red.map((e) => e.textContent).join(''), status: s.textContent,
                shorter: $('picture')?.dataset.shorterFrames, name: $('download')?.download ?? null,
                duration: $('duration')?.textContent, focus: document.activeElement?.id,
                sides: $('sides')?.textContent + $('picture')?.getAttribute('aria-label'),
                played: !!$('player')?.src && $('player').src === $('download')?.href,
                got: null, reloaded: !window.before};""")
    h["exit"], page_run.ms = int(h.get("exit") or -1), int(h.get("ms") or 0)
    if h["name"] and downloads:
        # The browser may change characters of the name that its file system refuses.
        browser.find_element(By.ID, "download").click()
        done = lambda _: (f := os.listdir(downloads)) and not any(
            n.endswith(".crdownload") for n in f) and f
        path = f"{downloads}/{WebDriverWait(browser, 120).until(done)[0]}"
        h["got"] = open(path, "rb").read()
        os.remove(path)
    return h


def main():
    native, site, examples = map(os.path.abspath, sys.argv[1:4])
    shot = (sys.argv[4:] or [None])[0]
    work = tempfile.mkdtemp(prefix="wavpair-web-")
    downloads, folder, big = f"{work}/downloads", f"{work}/files", f"{work}/big.wav"
    os.makedirs(downloads), os.makedirs(folder)
    # An engine that cannot load.
    shutil.copytree(site, f"{work}/broken", ignore=shutil.ignore_patterns("wavpair.wasm"))
    (server, origin), (broken_server, broken_origin) = serve(site), serve(f"{work}/broken")
    browser = browser_start(work, downloads)
    js, results, outs, pictures = browser.execute_script, [], {}, {}
    # A script run on the page, $ finding an element by its id; the value of an expression.
    page = lambda script: js(f"const $ = (id) => document.getElementById(id); {script}")
    val = lambda expr: page(f"return {expr}")
    click = lambda hook: browser.find_element(By.ID, hook).click()

    # The native tool's screen on a UTF-8 pseudo-terminal, and its status.
    def native_run(folder, names, out):
        screen, status = screen_run([native, *names, out], dict(os.environ, LC_ALL="C.UTF-8"),
                                    lambda: os.chdir(folder))
        return screen.decode(), status

    def check(name, ok, detail=""):
        results.append(bool(ok))
        return ok or print(f"FAILED {name} {detail}")

    def quota(size):  # the origin's room on disk
        browser.execute_cdp_cmd("Storage.overrideQuotaForOrigin",
                                {"origin": origin} | ({"quotaSize": size} if size else {}))

    long, short = (open(f"{examples}/{n}", "rb").read() for n in ("long.wav", "short.wav"))
    wav(frames=50_000_000, rate=44100, seed=3, path=big)  # 200 MB in and out
    sine = (round(20000 * math.sin(math.pi * k / 4)) for k in range(8))
    tone = b"".join(struct.pack("<hh", v, v) for v in sine)
    tone8 = bytes(128 + round(78 * math.sin(math.pi * k / 4)) for k in range(8) for _ in "lr")
    # Inputs as large as a result from memory may be, and larger (sparse: it is refused first).
    under, over = f"{work}/under.wav", f"{work}/over.wav"
    limit = int(re.search(r"kMemoryBytes = (\d+)e6", open(f"{site}/app.js").read())[1]) * 10**6
    wav(frames=(limit - 44) // 4, rate=22050, path=under)
    open(over, "wb").write(open(under, "rb").read(44)), os.truncate(over, limit + 1)
    # name, the two files (name and bytes or a path), what else holds (the page:
    # index.html or the file)
    cases = [
        ("the examples", "long.wav", long, "short.wav", short),
        ("Japanese names", "長い録音.wav", long, "短い.wav", short),
        # A report of 50,000 lines: shown bounded, in time, and the browser stays light
        # (doc/PERFORMANCE.md gives larger ones).
        ("50,000 empty chunks", "chunks.wav", wav(chunks=50_000), "b.wav", wav(),
         {"seconds": 60, "memory": 256, "elements": 5000, "text": 2 << 20}),
        # The saved name's stem cut to 200 UTF-8 bytes: to the first input's own name
        # (still a file of its own), and at a character as a reader sees it.
        ("a 200-byte stem", "A" * 200 + ".wav", long, "b.wav", short, {"name": "A" * 200 + ".wav"}),
        ("a stem cut between emoji", "a" * 10 + "👨‍👩‍👧" * 11 + ".wav", long, "b.wav", short,
         {"name": "a" * 10 + "👨‍👩‍👧" * 10 + ".wav"}),
        # What could drive a screen is not in the saved name, nor in the room its stem has;
        # one character larger than all that room is cut between its code points.
        ("marks and a huge character", "\u202e" * 10 + "e" + "\u0301" * 105 + ".wav", long,
         "b.wav", short, {"name": "e" + "\u0301" * 99 + ".wav"}),
        ("a rate of 0 Hz", "a.wav", wav(rate=0), "b.wav", wav(rate=0, frames=400)),
        ("8 bits, the second input longer", "a.wav", wav(bits=8, frames=500), "b.wav",
         wav(bits=8, seed=5)),
        # A name with the report's own words: what the page shows comes from the engine.
        ("a name like the report's lines", '"data" の長さ: 7.wav', wav(frames=300), "b.wav",
         wav(frames=900)),
        ("a name that reorders text", "a\u202egnp.wav", wav(frames=700), "b\u2066.wav",
         wav(frames=200), {"name": "agnp+b.wav"}),
        ("one file's name twice, of equal lengths", "same.wav", wav(seed=4), "same.wav", wav()),
        ("inputs larger than the engine's memory", "big.wav", big, "small.wav", wav(rate=44100),
         {"memory": 128, "live": 1}),
        ("the one-file page from disk", "long.wav", long, "short.wav", short, {"page": "file"}),
        # Opened from disk the result is in memory: one as large as the browser hands over.
        ("the one-file page from disk, the largest result", "a.wav", under, "b.wav", short,
         {"page": "file"}),
        # A steady tone (a period of 8 frames, so every column holds its peaks) draws as a
        # flat band: the top of each channel's band on one row in every column; in 8 bits at
        # the same level, on the same row (and a name's ".WAV" is dropped as ".wav" is).
        ("a steady tone", "tone.wav", wav(frames=98760, piece=tone), "tone2.wav",
         wav(frames=32920, piece=tone), {"flat": 1}),
        ("an 8-bit steady tone", "tone.WAV", wav(bits=8, frames=98760, piece=tone8),
         "tone2.wav", wav(bits=8, frames=32920, piece=tone8), {"flat": "a steady tone"}),
        # A disk with room for the output (as large as the longer input), not for both.
        ("room for the output alone", "a.wav", wav(frames=2_000_000), "b.wav",
         wav(frames=1_500_000), {"quota": 9 << 20}),
        # The second run on a page, the inputs the other way round: its own.
        ("a second run on the page", "short.wav", short, "long.wav", long, {"again": 1}),
    ]
    # Every refusal says why in its own words, the file it concerns and its values.
    high = dict(rate=1 << 30, frames=10, bps=1)
    cases += [(name, "a.wav", a, "b.wav", b, {"says": says, "silent": silent}) for name, a, b, says,
              *silent in [
        ("a mono input", wav(), wav(channels=1),
         "The second file is not stereo (1 channel(s)); both files need two."),
        ("a mono and a six-channel input", wav(channels=1), wav(channels=6),
         "Neither file is stereo; both need two channels."),
        ("a 24-bit input", wav(), wav(bits=24, tag=0xFFFE),
         "The second file is 24-bit; only 8- and 16-bit PCM can be combined."),
        ("an extensible input", wav(), wav(tag=0xFFFE), "The second file is in the extensible "
         "format (FFFE); only plain PCM (format 1) can be combined."),
        ("a float input first", wav(bits=32, tag=3), wav(),
         "The first file is 32-bit floating point; only 8- and 16-bit PCM can be combined."),
        ("an A-law input", wav(), wav(bits=8, tag=6),
         "The second file is A-law compressed; only uncompressed PCM can be combined."),
        ("an ADPCM input", wav(), wav(bits=4, tag=2),
         "The second file is compressed (format 0002); only uncompressed PCM can be combined."),
        ("rates differ", wav(rate=8000), wav(rate=11025),
         "The two files have different sample rates (8000 Hz and 11025 Hz)."),
        ("widths differ", wav(bits=16), wav(bits=8),
         "The two files have different sample widths (16-bit and 8-bit)."),
        ("byte rates differ", wav(), wav(bps=1234), "The two files declare different byte rates."),
        ("not a WAV file", wav(), b"just some text, no RIFF here\n",
         "The second file is not a WAV file."),
        ("a big-endian file", b"RIFX" + wav()[4:], wav(),
         "The first file is not a WAV file (or a big-endian one)."),
        ("a file too short", wav(), b"RIFF", "The second file is too short to be a WAV file."),
        ("no format chunk", wav(), b"RIFF\x0c\0\0\0WAVEdata\0\0\0\0",
         "The second file has no format chunk."),
        ("no audio", wav(), wav()[:44 - 8], "The second file holds no audio (no data chunk)."),
        ("a format chunk cut short", wav()[:30], wav(),
         "The first file ends inside its format chunk.", 1),
        ("audio cut short", wav()[:3000], wav(frames=100),
         "A file ends before the audio it declares, or the result could not be written."),
        ("a rate the header cannot hold", wav(**high), wav(**high),
         "The result could not be written."),
    ]]
    try:
        for name, a, a_data, b, b_data, *bounds in cases:
            bounds = dict(*bounds)
            # Two files of one name live in two folders, as the worker names them.
            names = [f"{k + 1}/{n}" if a == b else n for k, n in enumerate((a, b))]
            paths = [put(f"{folder}/{n}", data) for n, data in zip(names, (a_data, b_data))]
            # While it runs: the browser's memory, and the report while the output is written.
            writing = """const p = $('progress').value; return p > 0 && p < 1
                && $('status').dataset.state === 'running' ? $('report').textContent : null"""
            samples, shown = [], []
            during = (lambda: (samples.append(browser_pss_kib(browser) - base), time.sleep(0.05),
                               shown.append(page(writing)))) if "memory" in bounds else None
            base, began = browser_pss_kib(browser), time.time()
            quota(bounds.get("quota"))  # the browser's own room unless the case says
            url = f"file://{site}/wavpair.html" if "page" in bounds else f"{origin}/index.html"
            h = page_run(browser, url, paths, downloads, during=during, load="again" not in bounds)
            # Each column down to the first pixel of the band's blue (not white nor the red),
            # the columns of the red line on the top row, and the picture's width.
            tops, reds, width = page("""const c = $('picture'), w = c.width, h = c.height / 2;
                const d = c.getContext('2d').getImageData(0, 0, w, h).data, tops = new Set();
                const blue = (i) => d[i + 2] >= 200 && d[i] <= 100, reds = [];
                for (let x = 0, y = 0; x < w; x++, y = 0) {
                    while (y < h && !blue(4 * (y * w + x))) y++;
                    tops.add(y);
                    if (d[4 * x] >= 150 && d[4 * x + 2] <= 100) reds.push(x);
                }
                return [[...tops].filter((y) => y < h), reds, w];""")
            pictures[name] = tops
            took = time.time() - began
            # The native tool writes a name of its own (the page's may be an input's, or
            # more than a file system takes); the closing lines name what the page saved.
            full, out = "+".join(n[:-4] for n in (a, b)) + ".wav", "native-out.wav"
            want_report, status = native_run(folder, names, out)
            want_report = want_report.replace(out, h["name"] or full)
            want = outs[name] = None if status else open(f"{folder}/{out}", "rb").read()
            # Marked: the message that ended the run, not the sizes the scan wrote to the
            # error stream before it.
            err = subprocess.run([native, *names, out], cwd=folder, capture_output=True).stderr
            sizes = r'\n? "(fmt |data)" ?の長さ: -?\d+ \[bytes\]\n'
            ending = status and re.sub(sizes, "", err.decode("cp932")).replace(out, full) or ""
            head, tail = h["report"].split(h["gap"], 1) if h["gap"] else (h["report"], "")
            lines = head.count("\n") + h["left"] + tail.count("\n")
            # The inputs' frames and rate as Python's own reader counts them, the playing time
            # in seconds (0 at 0 Hz; a half rounded up, as the page's numbers round) and where
            # the shorter input runs out.
            inputs = sorted((w.getnframes(), w.getframerate()) for w in map(wave.open, paths)) \
                if not status else [(0, 0)] * 2
            seconds = lambda n: Decimal(n / inputs[0][1] if inputs[0][1] else 0).quantize(
                Decimal("0.001"), ROUND_HALF_UP)
            playing = f"Playing time: {seconds(inputs[1][0])} s" + (
                f"; the shorter input runs out at {seconds(inputs[0][0])} s." if
                inputs[0][0] < inputs[1][0] else ".")
            kept = ("memory" if "page" in bounds else "disk", True, "download")
            # None: not for this case.
            for what, ok in {
                "the report": want_report.startswith(head) and want_report.endswith(tail)
                and lines == want_report.count("\n"),
                "the exit status and the state":
                    (h["exit"], h["state"]) == (status, "refused" if status else "done"),
                "the download and its name": h["got"] == want
                and h["name"] == (None if status else bounds.get("name", full)),
                "where the shorter input ends":
                    None if status else h["shorter"] == str(inputs[0][0]),
                "the playing time in seconds": None if status else h["duration"] == playing,
                # The names as the engine's screen shows them, in the picture's words.
                "the names beside the picture": None if status else all(
                    h["sides"].count(n.split("/")[-1]) >= 2
                    for n in re.findall(r"ファイル名\[(.*)\]", want_report)),
                "the output on disk where the browser has it, in the player, its link in focus":
                    None if status else (h.get("output"), h["played"], h["focus"]) == kept,
                "the refusal explained": h["status"] == f"Refused: {bounds.get('says')}"
                if status or "says" in bounds else None,
                "only the ending message marked": h["red"] == ending
                and bool(ending) == bool(status) - bool(bounds.get("silent")),
                "in time, a bounded report": took < bounds.get("seconds", 120)
                and len(h["report"].encode()) <= bounds.get("text", 2 << 20)
                and h["elements"] <= bounds.get("elements", 5000),
                # What the engine printed before it writes is there while it writes.
                "the report shown while the output is written":
                    want_report[:want_report.rindex("\n[")] in shown if "live" in bounds else None,
                "the browser's memory stays flat": bool(samples)
                and max(samples) < bounds["memory"] << 10 if "memory" in bounds else None,
                "no file but the result's on disk":
                    None if "page" in bounds else len(disk_files(browser)) == (status == 0),
                "a steady tone draws as a flat band": len(tops) == 1 and abs(
                    tops[0] - pictures.get(bounds["flat"], tops)[0]) <= 1 if "flat" in bounds
                else None,
                # At the shorter input's end, and none where the inputs are of one length.
                "the red line": None if status else bool(reds) == (inputs[0][0] < inputs[1][0])
                and all(abs(x - inputs[0][0] / max(inputs[1][0], 1) * width) < 2 for x in reds),
            }.items():
                if ok is not None:
                    check(f"{name}: {what}", ok, h | {"got": None, "report": h["report"][-2000:],
                                                      "want": want_report[-2000:]})
            if shot and name == "Japanese names":
                js("window.scrollTo(0, 0)") or browser.save_screenshot(shot)
            shutil.rmtree(folder), os.makedirs(folder)

        # Channels, on the result shown: the left or the right channel in both ears, or both.
        heard = page("""const heard = [], connect = AudioNode.prototype.connect;
            AudioNode.prototype.connect = function (to, from, into) {
                if (this instanceof ChannelSplitterNode) heard.push([from, into]);
                return connect.apply(this, arguments);
            };
            for (const v of ['left', 'right', 'both']) {
                $('channels').value = v;
                $('channels').dispatchEvent(new Event('change'));
            }
            return heard;""")
        check("Channels: one channel in both ears, or both", heard == [
            [0, 0], [0, 1], [1, 0], [1, 1], [0, 0], [1, 1]], heard)

        # Opened from disk, a result larger than the browser hands over from memory is
        # refused before the run: serve the page, or use the command line.
        h = page_run(browser, f"file://{site}/wavpair.html", [over, under])
        check("the one-file page from disk, a result too large: refused before the run",
              (h["state"], h.get("error"), h["status"], h["report"]) == (
                  "refused", "too-large", "Refused: the result may be as large as the larger "
                  f"file, about {(limit + 1) // 10**6} MB. Here it is kept in memory, and this "
                  f"browser hands over at most {limit // 10**6} MB of it: serve the page from a "
                  "web server, or use the command-line tool.", ""), h)
        browser.get(f"{origin}/index.html")  # served again, for what follows

        # A run cancelled while it writes and one while its report comes: within a second
        # and for good, with no mark of the run before, nothing on disk; and one after them.
        pair = [put(f"{folder}/long.wav", long), put(f"{folder}/short.wav", short)]
        chunky, b = put(f"{folder}/chunky.wav", wav(chunks=200_000)), f"{folder}/b.wav"
        state = lambda: page("""const s = $('status').dataset;
            return [Object.keys(s), s.state, $('progress').value, $('combine').disabled]""")
        for what, path, rate, under_way in (("writing", big, 44100, "$('progress').value > 0"), (
                "reporting", chunky, 8000, "$('report').textContent.length > 1e4")):
            put(b, wav(rate=rate))
            # A press waits for the longest task the page runs meanwhile, then for its handler
            # (from the press reaching the page): not the driver's pressing, tenths of a second.
            js("""window.longest = 0; new PerformanceObserver((l) => l.getEntries().forEach(
                (e) => window.longest = Math.max(window.longest, e.duration)))
                .observe({type: 'longtask'}); document.getElementById('cancel').addEventListener(
                'click', (e) => window.lag = performance.now() - e.timeStamp, {once: true})""")
            combine(browser, [path, b])
            until(browser, lambda _: val(under_way))
            click("cancel")
            until(browser, lambda _: state()[1] == "cancelled")
            said = [val("window.longest + (window.lag ?? 1e9)") < 1000, state(), time.sleep(1.5),
                    state(), disk_files(browser)]
            cancelled = [["state"], "cancelled", 0, False]
            check(f"Cancel while {what}: within a second and for good, nothing of the run before,"
                  " nothing on disk", said == [True, cancelled, None, cancelled, []], said)
        again = lambda: page_run(browser, None, pair, downloads, load=False)["got"]
        check("Combine after Cancel", again() == outs["the examples"])

        # An input changed after it was chosen, and one changed while it is read: refused as
        # the command line refuses a changed input, nothing left on disk.
        changing, c = f"{folder}/changing.wav", put(f"{folder}/c.wav", wav(rate=44100))
        for when, source, says in (
                ("after it was chosen", pair[0], "The first file could not be read."),
                ("while it is read", big, "A file could not be opened.")):
            shutil.copy(source, changing)
            reading = source == big  # changed while the run reads it, or before Combine
            combine(browser, [changing, c], press=reading)
            until(browser, lambda _: not reading or val("$('progress').value > 0"))
            with open(changing, "r+b") as f:  # its middle, the same size
                f.seek(os.path.getsize(changing) // 2), f.write(bytes(1 << 10))
            click("combine") if not reading else None
            until(browser, lambda _: val("$('status').dataset.state !== 'running'"), 60)
            said = [val("$('status').textContent"),
                    until(browser, lambda _: disk_files(browser) == [], 5)]
            check(f"an input changed {when}: refused, nothing on disk",
                  said == [f"Refused: {says}", True], said)

        # A disk without room for the output: refused as a full disk is on the command line,
        # that message alone marked, nothing left on disk; then a run with room.
        quota(4 << 20)
        h, _ = page_run(browser, None, [put(f"{folder}/a.wav", wav(frames=2_000_000)), b],
                        load=False), quota(None)
        said = [h["state"], "could not be written" in h["status"], h["red"].count("\n"),
                val("$('progress').value"), until(browser, lambda _: disk_files(browser) == [], 5),
                again()]
        check("a disk without room for the output: refused, its message marked, the bar empty,"
              " nothing on disk, then a run",
              said == ["refused", True, 1, 0, True, outs["the examples"]],
              said[:5] + [h["status"], h["red"]])

        # A browser that prefers Japanese gets the page in Japanese (its refusals are held
        # below); axe-core (WCAG 2.1 AA, best practice) finds nothing on it before or after
        # a run; at 360 px the report shows its last line and the picture a readable height.
        browser.execute_cdp_cmd("Network.setUserAgentOverride", {
            "userAgent": js("return navigator.userAgent"), "acceptLanguage": "ja"})
        browser.get(origin)
        said = val("[document.documentElement.lang, $('combine').textContent]")
        check("Japanese: the page's language", said == ["ja", "合成"], said)
        for what, data, says in (
                ("a mono input", wav(channels=1),
                 "一つ目のファイルはステレオではありません(1チャンネル)。"
                 "両方とも2チャンネルである必要があります。"),
                ("rates differ", wav(rate=11025),
                 "二つのファイルのサンプリング周波数が異なります(11025 Hz と 22050 Hz)。")):
            said = page_run(browser, None, [put(f"{folder}/{what}.wav", data), pair[1]],
                            load=False)["status"]
            check(f"Japanese: {what} refused in Japanese", said == f"合成できません: {says}", said)
        # axe-core's script, installed from the registry beside the site where missing.
        axe = f"{os.path.dirname(site)}/axe/node_modules/axe-core/axe.min.js"
        os.path.exists(axe) or subprocess.run(
            ["npm", "install", "--silent", "--no-audit", "--no-fund", "--fetch-retries=1",
             "--prefix", f"{os.path.dirname(axe)}/../..", "axe-core@4"],
            capture_output=True, timeout=60)
        axe = open(axe).read() if os.path.exists(axe) else print(
            "SKIPPED axe-core: it could not be installed")
        for when in ("before a run", "after a run") if axe else ():
            browser.get(origin) if when == "before a run" else page_run(
                browser, f"{origin}/index.html", pair)
            js(axe)
            found = browser.execute_async_script("""axe.run(document, {runOnly: ['wcag2a',
                'wcag2aa', 'wcag21a', 'wcag21aa', 'best-practice']})
                .then((r) => arguments[0](r.violations.map((v) => v.id)))""")
            check(f"axe-core finds nothing {when}", found == [], found)
        browser.set_window_size(360, 800)
        page_run(browser, f"{origin}/index.html", [chunky, b])
        hidden, height = page("""const r = $('report');
            const range = document.createRange(), box = r.getBoundingClientRect();
            r.scrollTop = r.scrollHeight; range.selectNodeContents(r);
            const rects = range.getClientRects(), last = rects[rects.length - 1];
            return [last.bottom > box.top + r.clientTop + r.clientHeight
                    || r.scrollWidth > r.clientWidth,
                    $('picture').getBoundingClientRect().height];""")
        check("at 360 px: the report's last line shown, no line cut at the side, the picture "
              "readable", not hidden and height >= 120, height)

        # The page's list of what a name must not show is the engine's: over the code
        # points below U+3000 and from U+FE00, the native screen shows '?' in a name
        # exactly for the characters of the page's list (NUL and '/' are in no name).
        listed = re.findall(r"\\u([0-9a-f]{4})(?:-\\u([0-9a-f]{4}))?", js("return driving.source"))
        ranges = [(int(a, 16), int(b or a, 16)) for a, b in listed]
        points = [c for c in [*range(1, 0x3000), *range(0xFE00, 0xFFFE)] if c != ord("/")]
        differ = []
        for at in range(0, len(points), 80):
            name = put(f"{folder}/{''.join(map(chr, points[at:at + 80]))}.wav", long)
            screen = native_run(folder, [os.path.basename(name), "short.wav"], "o.wav")[0]
            os.remove(name)
            want = "".join("?" if any(a <= c <= b for a, b in ranges) else chr(c)
                           for c in points[at:at + 80])
            differ += [] if f"ファイル名[{want}.wav]" in screen else [hex(points[at])]
        check("the page hides in a name what the engine's screen hides", ranges and not differ,
              differ)

        # Served, the site is installable and works offline after one visit.
        offline_server, offline_origin = serve(site)
        index = f"{offline_origin}/index.html"
        browser.get(index)
        browser.execute_async_script("navigator.serviceWorker.ready.then(() => arguments[0]())")
        errors = browser.execute_cdp_cmd("Page.getInstallabilityErrors", {})["installabilityErrors"]
        check("installable", errors == [], errors)
        offline_server.site = None
        h = page_run(browser, index, pair, downloads)  # none: it fails
        check("offline after one visit: a combine", h["got"] == outs["the examples"], h["status"])
        # New builds whose pages and workers speak other messages than the build before.
        # The first waits: the page says so and keeps running its own build, Dismiss hides
        # the word; another tab's Reload takes it in, and this page, showing a result, then
        # reloads at its next Combine and goes on. Three more are taken in by another tab's
        # Reload pressed while that tab's engine loads (a stall there is a matter of timing),
        # the last by the Reload of an idle page, its files still chosen. Every run ends with
        # the native bytes.
        shown = lambda _=None: val("!$('update').hidden")
        caches = lambda _: browser.execute_async_script(
            "caches.keys().then(arguments[0])") == [f"wavpair-next{turn}"]
        kept = lambda: val("[...document.querySelectorAll('input[type=file]')]"
                           ".map((i) => i.files[0]?.size)")
        plain = outs["the examples"]
        runs = lambda: [("reloaded" if h["reloaded"] else "") + str(h["got"] == plain)
                        for h in (page_run(browser, None, pair, downloads, wait=20, load=False)
                                  for _ in range(3))]

        # Another tab opened, its Reload pressed while its engine still loads.
        def elsewhere():
            tab = browser.current_window_handle
            browser.switch_to.new_window("tab")
            browser.get(index)
            said = [until(browser, shown)]
            val("window.before = 1, $('reload').click()")
            said += [until(browser, lambda _: val("!window.before")) and until(browser, caches)]
            browser.close(), browser.switch_to.window(tab)
            return said
        for turn in range(5):
            old, new = (("end", "fin"), ("fin", "end"))[turn % 2]
            shutil.copytree(offline_server.site or site, f"{work}/next{turn}")
            for file in ("sw.js", "app.js", "worker.js"):
                text = re.sub(r'kCache = "[^"]*"', f'kCache = "wavpair-next{turn}"',
                              open(f"{work}/next{turn}/{file}").read())
                text = text.replace(f'type: "{old}"', f'type: "{new}"')
                open(f"{work}/next{turn}/{file}", "w").write(
                    text.replace(f"{old}: async (", f"{new}: async ("))
            browser.get(index)
            combine(browser, pair, press=False)
            offline_server.site = f"{work}/next{turn}"
            js("""window.before = 1;
                navigator.serviceWorker.getRegistration().then((r) => r.update())""")
            said = [until(browser, shown)]
            if turn == 0:
                said += [runs(), page("$('dismiss').click(); return window.before"), shown()]
                said += elsewhere() + [runs(), kept()]
                check("a new build waits; Dismiss; another tab's Reload; this page's next Combine "
                      "reloads, goes on", said == [True, ["True"] * 3, 1, False, True, True,
                                                   ["reloadedTrue", "True", "True"],
                                                   [len(long), len(short)]], said)
            elif turn < 4:
                said += elsewhere()
                check("another tab's Reload, pressed while its engine loads, takes a new build in",
                      said == [True] * 3, said)
            else:
                val("$('reload').click()")
                said += [until(browser, lambda _: val("!window.before")),
                         until(browser, caches), kept(), runs()]
                check("an idle page's Reload takes a new build in, its files still chosen",
                      said == [True, True, True, [len(long), len(short)], ["True"] * 3], said)
        offline_server.shutdown(), offline_server.server_close()

        # An engine that cannot load, and index.html opened from disk: a clear message
        # within a few seconds, and Combine still usable; from disk, wavpair.html named.
        for what, url in (("an engine that cannot load", f"{broken_origin}/index.html"),
                          ("index.html from disk", f"file://{site}/index.html")):
            browser.get(url)
            began = time.time()
            combine(browser, pair)
            until(browser, lambda _: val("$('status').dataset.error"))
            said = val("[$('status').textContent, $('combine').disabled]")
            check(f"{what}: said within a few seconds", time.time() - began < 6 and not said[1]
                  and ("wavpair.html" in said[0]) == url.startswith("file:"), said)

    finally:
        browser.quit(), server.shutdown(), broken_server.shutdown()

    # Every request the page or its worker made, served or opened from disk ("null"),
    # went to the page's own origin.
    # The browser's network log, its own requests (for updates and the like) aside; a log
    # it did not get to close has its events all there.
    text = open(f"{work}/net.json").read().rstrip()
    log = json.loads(text if text.endswith("}") else text.rstrip(",") + "]}")
    start = log["constants"]["logEventTypes"]["URL_REQUEST_START_JOB"]
    served = [e["params"]["url"] for e in log["events"] if e["type"] == start
              and e.get("params", {}).get("initiator") in (origin, broken_origin, "null")]
    check("every request to the page's own origin", any(u.endswith("/wavpair.wasm") for u in served)
          and all(u.split("/")[2].startswith("127.0.0.1:") for u in served if u.startswith("http")),
          served)
    shutil.rmtree(work)
    print(f"{results.count(True)} passed, {results.count(False)} failed")
    return 1 if False in results else 0


if __name__ == "__main__":
    sys.exit(main())
