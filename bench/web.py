#!/usr/bin/env python3
# The page's figures in headless Chromium, beside the browser's own ceiling measured in
# the same run: a worker that only reads the same two files with FileReaderSync in
# 8 MiB slices and does nothing else. Runs alternate (ceiling, page, ceiling, ...) so
# that both see the same machine; each figure is the median. Also the native tool on
# the same files, and the growth of the browser's memory (the PSS of all its
# processes, sampled every 50 ms) while the page writes a 1 GiB output.
#
#     python3 bench/web.py [RUNS]        (builds what it needs first)
#
# The native tool is built in BUILD_DIR (default build/), the page in build-web/.
# Inputs are noise made by wavpair_bench_input, in BENCH_DIR (default /var/tmp), and
# are in the page cache for every figure.
import os, shutil, subprocess, sys, tempfile, time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(root, "tests"))
import web_test  # noqa: E402  the page's hooks, as the tests drive them
from selenium.webdriver.common.by import By  # noqa: E402

runs = int(sys.argv[1]) if len(sys.argv) > 1 else 3
env = dict(os.environ, NODE_PATH=os.environ.get("NODE_PATH", "/usr/share/nodejs"))
quiet = dict(stdout=subprocess.DEVNULL, check=True)
native_dir = os.path.abspath(os.environ.get("BUILD_DIR", f"{root}/build"))
subprocess.run(["cmake", "-S", root, "-B", native_dir], **quiet)
subprocess.run(["cmake", "--build", native_dir, "--target", "wavpair", "wavpair_bench_input", "-j2"], **quiet)
subprocess.run(["emcmake", "cmake", "-S", root, "-B", f"{root}/build-web"], env=env, stderr=subprocess.DEVNULL,
               **quiet)
subprocess.run(["cmake", "--build", f"{root}/build-web", "-j2"], env=env, **quiet)
native, make_input, site = f"{native_dir}/wavpair", f"{native_dir}/wavpair_bench_input", f"{root}/build-web/site"

# The ceiling: a page whose worker reads both files through and keeps nothing.
CEILING_HTML = """<!DOCTYPE html><meta charset="utf-8"><input type="file" id="first">
<input type="file" id="second"><button id="combine">read</button><p id="status"></p>
<script src="ceiling.js"></script>"""
CEILING_JS = """document.getElementById("combine").onclick = () => {
  const worker = new Worker("ceiling-worker.js");
  const began = performance.now();
  worker.onmessage = () => {
    const status = document.getElementById("status");
    status.dataset.ms = String(Math.round(performance.now() - began));
    status.dataset.exit = "0";
  };
  worker.postMessage(["first", "second"].map((id) => document.getElementById(id).files[0]));
};"""
CEILING_WORKER = """onmessage = ({ data }) => {
  const reader = new FileReaderSync();
  for (const file of data) {
    for (let at = 0; at < file.size; at += 8 << 20) reader.readAsArrayBuffer(file.slice(at, at + (8 << 20)));
  }
  postMessage("done");
};"""


def median(values):
    return sorted(values)[len(values) // 2]


work = tempfile.mkdtemp(prefix="wavpair-web-bench-", dir=os.environ.get("BENCH_DIR", "/var/tmp"))
ceiling = f"{work}/ceiling"
os.makedirs(ceiling)
for name, text in (("index.html", CEILING_HTML), ("ceiling.js", CEILING_JS), ("ceiling-worker.js", CEILING_WORKER)):
    open(f"{ceiling}/{name}", "w").write(text)
server, origin = web_test.serve(site)
ceiling_server, ceiling_origin = web_test.serve(ceiling)
browser = web_test.browser_start(work, work)
try:
    print(f"wavpair in the browser: headless Chromium, {os.cpu_count()} cores, median of {runs} runs")
    for label, a_s, b_s in (("100 MB pair (16-bit, 340 s + 227 s)", 340, 227),
                            ("1.6 GB pair, 1 GiB output (16-bit, 6087 s + 3000 s)", 6087, 3000)):
        a, b = f"{work}/a-{a_s}.wav", f"{work}/b-{b_s}.wav"
        subprocess.run([make_input, a, str(a_s), "16", "1"], check=True)
        subprocess.run([make_input, b, str(b_s), "16", "2"], check=True)
        mb = (os.path.getsize(a) + os.path.getsize(b)) / 1e6
        natives, ceilings, pages, growths = [], [], [], []
        for _ in range(runs):
            began = time.perf_counter()
            subprocess.run([native, a, b, f"{work}/out.wav"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            natives.append(time.perf_counter() - began)
            os.remove(f"{work}/out.wav")
            web_test.page_run(browser, f"{ceiling_origin}/index.html", [a, b], settle=1)
            ceilings.append(web_test.page_run.ms / 1000)
            base, samples = web_test.browser_pss_kib(browser), []
            browser.get(f"{origin}/index.html")
            time.sleep(1)  # as long as a person takes to choose the files: the engine loads
            base = web_test.browser_pss_kib(browser)
            _, status, _, _ = web_test.page_run(browser, None, [a, b], load=False, wait=900, during=lambda: (
                samples.append(web_test.browser_pss_kib(browser) - base), time.sleep(0.05)))
            assert status == 0, f"the page refused the pair: {status}"
            pages.append(web_test.page_run.ms / 1000)
            growths.append(max(samples or [0]))
        c, p = median(ceilings), median(pages)
        print(f"{label}: input {mb:.0f} MB; native {median(natives):.2f} s ({mb / median(natives):.0f} MB/s); "
              f"browser's ceiling {c:.2f} s ({mb / c:.0f} MB/s); page {p:.2f} s ({mb / p:.0f} MB/s), "
              f"{c / p:.2f} of the ceiling; the browser's memory grew by {median(growths) / 1024:.0f} MiB "
              f"(the most of {runs} runs: {max(growths) / 1024:.0f} MiB)")
        os.remove(a), os.remove(b)
finally:
    browser.quit()
    server.shutdown()
    ceiling_server.shutdown()
    shutil.rmtree(work)
