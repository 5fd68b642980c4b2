#!/usr/bin/env python3
# Makes the site (the page, the engine, the service worker with the list of files) and
# wavpair.html, the page as one file to open from disk. One build identity, a digest of
# all they are made from, goes into the page, its worker, the engine and the cache's name.
#
#     site.py WEB_DIR ENGINE_JS ONE_FILE_ENGINE_JS SITE_DIR
import base64, hashlib, json, os, re, shutil, sys

web, engine, single, site = sys.argv[1:5]
static = ["index.html", "style.css", "manifest.webmanifest", "icon-192.png", "icon-512.png"]
read = lambda path: open(path, encoding="utf-8").read()
sources = [f"{web}/{n}" for n in static + ["app.js", "worker.js", "sw.js"]] + [engine, engine[:-3] + ".wasm", single]
build = hashlib.sha256(b"".join(open(p, "rb").read() for p in sources)).hexdigest()[:16]
os.makedirs(site, exist_ok=True)
for name in static:
    shutil.copyfile(f"{web}/{name}", f"{site}/{name}")
shutil.copyfile(engine[:-3] + ".wasm", f"{site}/wavpair.wasm")
stamp = f'\nself.wavpairBuild = "{build}";\n'  # the engine says which build it is, for the worker to check
files = json.dumps(["./"] + static + ["app.js", "worker.js", "wavpair.js", "wavpair.wasm"])
text = {n: read(f"{web}/{n}").replace("@BUILD@", build).replace("@FILES@", files) for n in ("app.js", "worker.js", "sw.js")}
text["wavpair.js"] = read(engine) + stamp
for name, content in text.items():
    open(f"{site}/{name}", "w", encoding="utf-8").write(content)

# The one-file page: the worker with the engine in place of the line that loads it, no
# manifest, an empty icon: opened from disk it is no installable app.
hashed = lambda s: "'sha256-" + base64.b64encode(hashlib.sha256(s.encode()).digest()).decode() + "'"
worker = text["worker.js"].replace('importScripts("wavpair.js");\n', read(single) + stamp).replace("</script", "<\\/script")
assert "importScripts" not in worker, "the worker still loads the engine from the site"
style, app = read(f"{web}/style.css"), text["app.js"]
policy = (f"default-src 'none'; script-src {hashed(app)} 'wasm-unsafe-eval'; style-src {hashed(style)}; worker-src "
          "blob:; img-src blob: data:; media-src blob:; connect-src data:; object-src 'none'; base-uri 'none'; "
          "form-action 'none'")
page = re.sub(r'(<meta http-equiv="Content-Security-Policy" content=")[^"]*', lambda m: m[1] + policy, read(f"{web}/index.html"))
for old, new in (('<link rel="stylesheet" href="style.css">', f"<style>{style}</style>"),
                 ('<link rel="manifest" href="manifest.webmanifest">\n', ""),
                 ('<link rel="icon" href="icon-192.png">', '<link rel="icon" href="data:,">'),
                 ('<script src="app.js"></script>',
                  f'<script type="text/plain" id="worker-source">{worker}</script>\n<script>{app}</script>')):
    assert old in page, f"index.html no longer has {old}"
    page = page.replace(old, new)
open(f"{site}/wavpair.html", "w", encoding="utf-8").write(page)
