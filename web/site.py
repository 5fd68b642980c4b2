#!/usr/bin/env python3
# Makes the site: the page's files, the engine, and the service worker with this
# build's list of files; and wavpair.html, the same page as one file (engine and all)
# for opening from disk, whose Content-Security-Policy admits its inline pieces by
# their hashes. One build identity, a digest of everything the site is made from, is
# written into the page, its worker, the engine and the service worker's cache name,
# so that a page never runs a worker or an engine of another build.
#
#     site.py WEB_DIR ENGINE_JS ONE_FILE_ENGINE_JS SITE_DIR
import base64, hashlib, json, os, re, shutil, sys

web, engine, single, site = sys.argv[1:5]
static = ["index.html", "style.css", "manifest.webmanifest", "icon-192.png", "icon-512.png"]
scripts = ["app.js", "worker.js", "sw.js"]
wasm = engine[:-3] + ".wasm"
read = lambda path: open(path, "rb").read()
digest = hashlib.sha256()
for path in [f"{web}/{n}" for n in static + scripts] + [engine, wasm, single]:
    digest.update(read(path))
build = digest.hexdigest()[:16]

os.makedirs(site, exist_ok=True)
for name in static:
    shutil.copyfile(f"{web}/{name}", f"{site}/{name}")
shutil.copyfile(wasm, f"{site}/wavpair.wasm")
text = {n: read(f"{web}/{n}").decode().replace("@BUILD@", build) for n in scripts}
# The engine says which build it is, for the worker to check.
stamp = f'\nself.wavpairBuild = "{build}";\n'
open(f"{site}/wavpair.js", "w", encoding="utf-8").write(read(engine).decode() + stamp)
cached = ["./"] + static + ["app.js", "worker.js", "wavpair.js", "wavpair.wasm"]
text["sw.js"] = text["sw.js"].replace("@FILES@", json.dumps(cached))
for name in scripts:
    open(f"{site}/{name}", "w", encoding="utf-8").write(text[name])

# The one-file page: the worker with the engine in place of the line that loads it.
hashed = lambda s: "'sha256-" + base64.b64encode(hashlib.sha256(s.encode()).digest()).decode() + "'"
worker = text["worker.js"].replace('importScripts("wavpair.js");\n', read(single).decode() + stamp)
assert "importScripts" not in worker, "the worker still loads the engine from the site"
worker = worker.replace("</script", "<\\/script")
style, app = read(f"{web}/style.css").decode(), text["app.js"]
policy = (f"default-src 'none'; script-src {hashed(app)} 'wasm-unsafe-eval'; "
          f"style-src {hashed(style)}; worker-src blob:; img-src blob: data:; media-src blob:; connect-src data:; "
          "object-src 'none'; base-uri 'none'; form-action 'none'")
page = read(f"{web}/index.html").decode()
page = re.sub(r'<meta http-equiv="Content-Security-Policy" content="[^"]*">',
              lambda m: f'<meta http-equiv="Content-Security-Policy" content="{policy}">', page)
page = page.replace('<link rel="stylesheet" href="style.css">', f"<style>{style}</style>")
# Opened from disk the page is no installable app: no manifest, and an icon of nothing.
page = page.replace('<link rel="manifest" href="manifest.webmanifest">\n', "")
page = page.replace('<link rel="icon" href="icon-192.png">', '<link rel="icon" href="data:,">')
assert "manifest" not in page and "icon-192" not in page, "the one-file page still names the site's files"
page = page.replace('<script src="app.js"></script>',
                    f'<script type="text/plain" id="worker-source">{worker}</script>\n<script>{app}</script>')
open(f"{site}/wavpair.html", "w", encoding="utf-8").write(page)
