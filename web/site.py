#!/usr/bin/env python3
# Makes what turns the served site into an installable app that works offline: the
# icons (192 and 512 px), the manifest, and the service worker with this build's list
# of files and a cache named after their digest, so that a new build replaces the old
# cache.
#
#     site.py WEB_DIR SITE_DIR FILE...     (FILE: the site's files the page needs)
import hashlib, json, math, struct, sys, zlib

web, site, files = sys.argv[1], sys.argv[2], sys.argv[3:]
BLUE, GREEN, WHITE = (11, 87, 208), (19, 115, 51), (255, 255, 255)


def pixel(x, y, n):
    """The icon: two waves on white, the left channel's blue above the right's green."""
    u, v = x / n, y / n
    for centre, colour, turns in ((0.3, BLUE, 3), (0.7, GREEN, 5)):
        wave = centre + 0.12 * math.sin(2 * math.pi * turns * u) * math.sin(math.pi * u)
        if abs(v - wave) < 0.035 and 0.08 < u < 0.92:
            return colour
    return WHITE


def png(n):
    rows = b"".join(b"\0" + bytes(c for x in range(n) for c in pixel(x, y, n)) for y in range(n))
    chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data +
                                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", n, n, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


icons = []
for n in (192, 512):
    open(f"{site}/icon-{n}.png", "wb").write(png(n))
    icons.append({"src": f"icon-{n}.png", "sizes": f"{n}x{n}", "type": "image/png", "purpose": "any"})
manifest = {"name": "wavpair", "short_name": "wavpair",
            "description": "Two stereo WAV files side by side, on this computer",
            "start_url": "./index.html", "scope": "./", "display": "standalone",
            "theme_color": "#0b57d0", "background_color": "#fafafa", "icons": icons}
open(f"{site}/manifest.webmanifest", "w").write(json.dumps(manifest, indent=1) + "\n")

cached = ["./"] + files + ["manifest.webmanifest"] + [i["src"] for i in icons]
digest = hashlib.sha256()
for name in cached[1:]:
    digest.update(name.encode() + b"\0" + open(f"{site}/{name}", "rb").read())
worker = open(f"{web}/sw.js", encoding="utf-8").read()
worker = worker.replace("@CACHE@", f"wavpair-{digest.hexdigest()[:16]}").replace("@FILES@", json.dumps(cached))
open(f"{site}/sw.js", "w", encoding="utf-8").write(worker)
