#!/usr/bin/env python3
# The page's figures in headless Chromium, beside the browser's own floor for the job
# measured in the same run: a worker that only reads both inputs as streams (as the
# page does), one that only reads them with FileReaderSync in 8 MiB slices, and one
# that only writes as many bytes as the output into the private file system in 8 MiB
# blocks, and the streamed read and the write at once in two workers, as the page has
# them (the least the page could take, its engine's work aside). Runs alternate (each
# floor, then the page, ...) so that all see the same machine; each figure is the median.
# Also the native tool on the same files, the processor time all the browser's processes
# take for each job (where it reaches the cores' number times the run's time, the machine
# is the limit), and the growth of the browser's memory (the PSS of all its processes,
# sampled every 50 ms) while the page writes a 1 GiB output.
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

runs = int(sys.argv[1]) if len(sys.argv) > 1 else 3
env = dict(os.environ, NODE_PATH=os.environ.get("NODE_PATH", "/usr/share/nodejs"))
quiet = dict(stdout=subprocess.DEVNULL, check=True)
native_dir = os.path.abspath(os.environ.get("BUILD_DIR", f"{root}/build"))
subprocess.run(["cmake", "-S", root, "-B", native_dir], **quiet)
subprocess.run(["cmake", "--build", native_dir, "--target", "wavpair", "wavpair_bench_input",
                "-j2"], **quiet)
subprocess.run(["emcmake", "cmake", "-S", root, "-B", f"{root}/build-web"], env=env,
               stderr=subprocess.DEVNULL, **quiet)
subprocess.run(["cmake", "--build", f"{root}/build-web", "-j2"], env=env, **quiet)
native, make_input = f"{native_dir}/wavpair", f"{native_dir}/wavpair_bench_input"
site = f"{root}/build-web/site"

# The floors: a page whose worker does one part of the job and nothing else.
FLOOR_HTML = """<!DOCTYPE html><meta charset="utf-8"><input type="file" id="first">
<input type="file" id="second"><button id="combine">go</button><p id="status"></p>
<script src="floor.js"></script>"""
FLOOR_JS = """document.getElementById("combine").onclick = () => {
  // "both": the read and the write at once, each in a worker of its own, as the page has them.
  const jobs = location.search.includes("job=both") ? ["read", "write"] : [null];
  const began = performance.now();
  let left = jobs.length;
  for (const job of jobs) {
    const query = job ? location.search.replace("both", job) : location.search;
    const worker = new Worker("floor-worker.js" + query);
    worker.onmessage = () => {
      if (--left) return;
      const status = document.getElementById("status");
      status.dataset.ms = String(Math.round(performance.now() - began));
      status.dataset.exit = "0";
    };
    worker.postMessage(["first", "second"].map((id) => document.getElementById(id).files[0]));
  }
};"""
FLOOR_WORKER = """const job = new URLSearchParams(location.search);
const kBlock = 8 << 20;
onmessage = async ({ data }) => {
  if (job.get("job") === "read") {
    // As the page reads: a byte stream into one buffer.
    let buffer = new ArrayBuffer(kBlock);
    for (const file of data) {
      const reader = file.stream().getReader({ mode: "byob" });
      for (;;) {
        const { value, done } = await reader.read(new Uint8Array(buffer));
        buffer = value.buffer; // the same memory, handed back
        if (done) break;
      }
    }
  } else if (job.get("job") === "frs") {
    const reader = new FileReaderSync();
    for (const file of data) {
      for (let at = 0; at < file.size; at += kBlock) {
        reader.readAsArrayBuffer(file.slice(at, at + kBlock));
      }
    }
  } else {
    const dir = await navigator.storage.getDirectory();
    const file = await dir.getFileHandle("floor.wav", { create: true });
    const access = await file.createSyncAccessHandle();
    const bytes = +job.get("bytes"), block = new Uint8Array(kBlock).fill(7);
    access.truncate(bytes);
    for (let at = 0; at < bytes; at += kBlock) {
      access.write(block.subarray(0, Math.min(kBlock, bytes - at)), { at });
    }
    access.truncate(bytes);
    access.close();
    await dir.removeEntry("floor.wav");
  }
  postMessage("done");
};"""


# The processor time of all the browser's processes so far, in seconds.
def browser_cpu_s(browser):
    ticks = web_test.browser_total(browser, lambda pid: sum(
        map(int, open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()[11:13])))
    return ticks / os.sysconf("SC_CLK_TCK")


def median(values):
    return sorted(values)[len(values) // 2]


work = tempfile.mkdtemp(prefix="wavpair-web-bench-", dir=os.environ.get("BENCH_DIR", "/var/tmp"))
floor = f"{work}/floor"
os.makedirs(floor)
for name, text in (("index.html", FLOOR_HTML), ("floor.js", FLOOR_JS),
                   ("floor-worker.js", FLOOR_WORKER)):
    open(f"{floor}/{name}", "w").write(text)
server, origin = web_test.serve(site)
floor_server, floor_origin = web_test.serve(floor)
browser = web_test.browser_start(work, work)
try:
    print(f"wavpair in the browser: headless Chromium, {os.cpu_count()} cores, median of {runs}"
          " runs")
    for label, a_s, b_s in (("100 MB pair (16-bit, 340 s + 227 s)", 340, 227),
                            ("1.6 GB pair, 1 GiB output (16-bit, 6087 s + 3000 s)", 6087, 3000)):
        a, b = f"{work}/a-{a_s}.wav", f"{work}/b-{b_s}.wav"
        subprocess.run([make_input, a, str(a_s), "16", "1"], check=True)
        subprocess.run([make_input, b, str(b_s), "16", "2"], check=True)
        mb = (os.path.getsize(a) + os.path.getsize(b)) / 1e6
        t = {k: [] for k in ("native", "read", "frs", "write", "both", "page", "growth",
                             "cpu-read", "cpu-frs", "cpu-write", "cpu-both", "cpu-page")}
        for _ in range(runs):
            os.sync()  # each figure starts with no earlier output still being written out
            began = time.perf_counter()
            subprocess.run([native, a, b, f"{work}/out.wav"], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            t["native"].append(time.perf_counter() - began)
            out = os.path.getsize(f"{work}/out.wav")
            os.remove(f"{work}/out.wav")
            for job in ("read", "frs", "write", "both"):
                os.sync()
                browser.get(f"{floor_origin}/index.html?job={job}&bytes={out}")
                time.sleep(1)
                cpu = browser_cpu_s(browser)
                web_test.page_run(browser, None, [a, b], load=False)
                t[job].append(web_test.page_run.ms / 1000)
                t[f"cpu-{job}"].append(browser_cpu_s(browser) - cpu)
            browser.get(f"{origin}/index.html")
            os.sync()
            time.sleep(1)  # as long as a person takes to choose the files: the engine loads
            base, samples, cpu = web_test.browser_pss_kib(browser), [], browser_cpu_s(browser)
            status = web_test.page_run(browser, None, [a, b], load=False, wait=900, during=lambda: (
                samples.append(web_test.browser_pss_kib(browser) - base), time.sleep(0.05)))["exit"]
            assert status == 0, f"the page refused the pair: {status}"
            t["cpu-page"].append(browser_cpu_s(browser) - cpu)
            t["page"].append(web_test.page_run.ms / 1000)
            t["growth"].append(max(samples or [0]))
        m = {k: median(v) for k, v in t.items()}
        page, most = m["page"], max(t["growth"]) / 1024
        print(f"{label}: input {mb:.0f} MB; native {m['native']:.2f} s; streamed read "
              f"{m['read']:.2f} s ({mb / m['read']:.0f} MB/s); FileReaderSync read "
              f"{m['frs']:.2f} s "
              f"({mb / m['frs']:.0f} MB/s, {m['read'] / m['frs']:.2f} of the streamed rate); write "
              f"{m['write']:.2f} s; page {page:.2f} s ({mb / page:.0f} MB/s): page / max(read, "
              f"write) {page / max(m['read'], m['write']):.2f}, page / (read + write) "
              f"{page / (m['read'] + m['write']):.2f}, page / native {page / m['native']:.2f}; "
              f"read and write at once {m['both']:.2f} s, page / that {page / m['both']:.2f}; "
              f"processor time of the browser's processes: read {m['cpu-read']:.2f} s, write "
              f"{m['cpu-write']:.2f} s, both at once {m['cpu-both']:.2f} s, page "
              f"{m['cpu-page']:.2f} s ({os.cpu_count()} cores); the browser's memory grew by "
              f"{m['growth'] / 1024:.0f} MiB (the most of {runs} runs: {most:.0f} MiB)")
        os.remove(a), os.remove(b)
finally:
    browser.quit()
    server.shutdown()
    floor_server.shutdown()
    shutil.rmtree(work)
