#!/usr/bin/env python3
# The page's figures in headless Chromium beside the native tool's on the same files:
# the input read per second on a 100 MB pair, and on a pair whose output is 1 GiB the
# time, the engine's memory and the browser's peak memory (all its renderer processes,
# the worker's among them, sampled every 20 ms). Inputs are noise made by
# wavpair_bench_input; every figure is with them in the page cache.
#
#     web.py NATIVE_TOOL BENCH_INPUT_TOOL SITE_DIR [RUNS]
import os, shutil, subprocess, sys, tempfile, threading, time
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
import web_test  # noqa: E402  the page's hooks, as the tests drive them

native, make_input, site = (os.path.abspath(a) for a in sys.argv[1:4])
runs = int(sys.argv[4]) if len(sys.argv) > 4 else 3
work = tempfile.mkdtemp(prefix="wavpair-web-bench-", dir=os.environ.get("BENCH_DIR", "/var/tmp"))


def renderers_kib():
    total = 0
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if b"--type=renderer" in open(f"/proc/{pid}/cmdline", "rb").read():
                total += next(int(l.split()[1]) for l in open(f"/proc/{pid}/status") if l.startswith("VmRSS"))
        except (OSError, StopIteration):
            pass
    return total


def median(values):
    return sorted(values)[len(values) // 2]


server, origin = web_test.serve(site)
browser = web_test.browser_start(work, work)
try:
    print(f"wavpair in the browser: headless Chromium, {os.cpu_count()} cores, median of {runs} runs")
    for label, a_s, b_s in (("100 MB pair (16-bit, 340 s + 227 s)", 340, 227),
                            ("1 GiB output (16-bit, 6087 s + 3000 s)", 6087, 3000)):
        a, b = f"{work}/a-{a_s}.wav", f"{work}/b-{b_s}.wav"
        subprocess.run([make_input, a, str(a_s), "16", "1"], check=True)
        subprocess.run([make_input, b, str(b_s), "16", "2"], check=True)
        size = os.path.getsize(a) + os.path.getsize(b)
        natives, pages, peaks, memory = [], [], [], 0
        for _ in range(runs):
            start = time.perf_counter()
            subprocess.run([native, a, b, f"{work}/out.wav"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            natives.append(time.perf_counter() - start)
            os.remove(f"{work}/out.wav")
            peak, done = [renderers_kib()], [False]

            def sample():
                while not done[0]:
                    peak[0] = max(peak[0], renderers_kib())
                    time.sleep(0.02)
            sampler = threading.Thread(target=sample)
            sampler.start()
            start = time.perf_counter()
            _, status, _, memory, _ = web_test.page_run(browser, f"{origin}/index.html", [a, b], wait=900,
                                                        settle=1)
            pages.append(web_test.page_run.ms / 1000)
            done[0] = True
            sampler.join()
            peaks.append(peak[0])
            assert status == 0, f"the page refused the pair: {status}"
        mb = size / 1e6
        print(f"{label}: input {mb:.0f} MB; native {median(natives):.2f} s ({mb / median(natives):.0f} MB/s), "
              f"page {median(pages):.2f} s ({mb / median(pages):.0f} MB/s); engine memory "
              f"{memory / 2**20:.0f} MiB; browser renderers' peak {median(peaks) / 1024:.0f} MiB")
        os.remove(a), os.remove(b)
finally:
    browser.quit()
    server.shutdown()
    shutil.rmtree(work)
