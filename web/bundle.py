#!/usr/bin/env python3
# Makes the one-file page: index.html with its style, its script and the worker (the
# engine inside, WebAssembly and all) written into it, and a Content-Security-Policy
# that admits exactly those inline pieces by their hashes.
#
#     bundle.py WEB_DIR ENGINE_JS OUT_HTML
import base64, hashlib, re, sys

web, engine, out = sys.argv[1:4]
read = lambda name: open(f"{web}/{name}", encoding="utf-8").read()
digest = lambda text: "'sha256-" + base64.b64encode(hashlib.sha256(text.encode()).digest()).decode() + "'"

# The worker with the engine in place of the line that loads it from the site.
worker = read("worker.js").replace('importScripts("wavpair.js");\n',
                                   open(engine, encoding="utf-8").read() + "\n")
assert "importScripts" not in worker, "the worker still loads the engine from the site"
worker = worker.replace("</script", "<\\/script")
style, app = read("style.css"), read("app.js")

page = read("index.html")
policy = (f"default-src 'none'; script-src {digest(app)} 'wasm-unsafe-eval'; "
          f"style-src {digest(style)}; worker-src blob:; img-src blob: data:; media-src blob:; connect-src data:; "
          "object-src 'none'; base-uri 'none'; form-action 'none'")
page = re.sub(r'<meta http-equiv="Content-Security-Policy" content="[^"]*">',
              lambda m: f'<meta http-equiv="Content-Security-Policy" content="{policy}">', page)

page = page.replace('<link rel="stylesheet" href="style.css">', f"<style>{style}</style>")
# Opened from disk the page is no installable app: no manifest, and an icon of nothing.
page = page.replace('<link rel="manifest" href="manifest.webmanifest">\n', "")
page = page.replace('<link rel="icon" href="icon-192.png">', '<link rel="icon" href="data:,">')
assert "manifest" not in page and "icon-192" not in page, "the one-file page still names the site's files"
page = page.replace('<script src="app.js"></script>',
                    f'<script type="text/plain" id="worker-source">{worker}</script>\n<script>{app}</script>')
open(out, "w", encoding="utf-8").write(page)
