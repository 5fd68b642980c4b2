#!/usr/bin/env python3
# Makes the site (the page, the engine, the service worker with the list of files) and
# wavpair.html, the page as one file to open from disk. The build's identity, a digest of
# all they are made from, names the service worker's cache, so a new build is a new worker.
#
#     site.py WEB_DIR ENGINE_JS ONE_FILE_ENGINE_JS SITE_DIR
import base64, hashlib, json, os, re, shutil, sys

web, engine, single, site = sys.argv[1:5]
static = ["style.css", "manifest.webmanifest", "icon-192.png", "icon-512.png"]
read = lambda path: open(path, encoding="utf-8").read()
sources = [f"{web}/{n}" for n in static + ["index.html", "app.js", "worker.js", "sw.js"]]
sources += [engine, engine[:-3] + ".wasm", single]
build = hashlib.sha256(b"".join(open(p, "rb").read() for p in sources)).hexdigest()[:16]
os.makedirs(site, exist_ok=True)
for name in static:
    shutil.copyfile(f"{web}/{name}", f"{site}/{name}")
shutil.copyfile(engine[:-3] + ".wasm", f"{site}/wavpair.wasm")
scripts = ["app.js", "worker.js", "wavpair.js", "wavpair.wasm"]
files = json.dumps(["./", "index.html"] + static + scripts)
text = {n: read(f"{web}/{n}") for n in ("app.js", "worker.js")}
text["sw.js"] = read(f"{web}/sw.js").replace("@BUILD@", build).replace('["@FILES@"]', files)
text["wavpair.js"] = read(engine)
# The page's policy: its own files only (the one-file page has one of its own, below).
meta = r'(<meta http-equiv="Content-Security-Policy" content=")[^"]*'
served = ("default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; worker-src 'self'; "
          "style-src 'self'; img-src 'self' blob: data:; media-src blob:; connect-src 'self'; "
          "object-src 'none'; base-uri 'none'; form-action 'none'")
text["index.html"] = re.sub(meta, lambda m: m[1] + served, read(f"{web}/index.html"))
for name, content in text.items():
    open(f"{site}/{name}", "w", encoding="utf-8").write(content)


# The one-file page: the worker with the engine in place of the line that loads it, no
# manifest, an empty icon: opened from disk it is no installable app.
def hashed(s):
    return "'sha256-" + base64.b64encode(hashlib.sha256(s.encode()).digest()).decode() + "'"


worker = text["worker.js"].replace('importScripts("wavpair.js");\n', read(single) + "\n")
worker = worker.replace("</script", "<\\/script")
assert "importScripts" not in worker, "the worker still loads the engine from the site"
style, app = read(f"{web}/style.css"), text["app.js"]
policy = (f"default-src 'none'; script-src {hashed(app)} 'wasm-unsafe-eval'; "
          f"style-src {hashed(style)}; worker-src blob:; img-src blob: data:; media-src blob:; "
          "connect-src data:; object-src 'none'; base-uri 'none'; form-action 'none'")
page = re.sub(meta, lambda m: m[1] + policy, read(f"{web}/index.html"))
for old, new in (('<link rel="stylesheet" href="style.css">', f"<style>{style}</style>"),
                 ('<link rel="manifest" href="manifest.webmanifest">\n', ""),
                 ('<link rel="icon" href="icon-192.png">', '<link rel="icon" href="data:,">'),
                 ('<script src="app.js"></script>', f'<script type="text/plain" id="worker-source">'
                  f'{worker}</script>\n<script>{app}</script>')):
    assert old in page, f"index.html no longer has {old}"
    page = page.replace(old, new)
open(f"{site}/wavpair.html", "w", encoding="utf-8").write(page)
