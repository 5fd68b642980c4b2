#!/usr/bin/env python3
# Lists every line wider than 100 columns (a wide character counts two, as a terminal
# shows it) in the files given or found under the folders given; exits 1 if any.
#
#     columns.py PATH...
import os, sys, unicodedata


def width(line):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in line)


found = 0
for top in sys.argv[1:]:
    paths = [top] if os.path.isfile(top) else sorted(
        os.path.join(d, f) for d, _, fs in os.walk(top) for f in fs)
    for path in paths:
        if path.endswith((".png", ".wav")):
            continue
        for n, line in enumerate(open(path, encoding="utf-8", errors="replace"), 1):
            if width(line.rstrip("\n")) > 100:
                found += 1
                print(f"{path}:{n}: {width(line.rstrip())} columns")
sys.exit(1 if found else 0)
