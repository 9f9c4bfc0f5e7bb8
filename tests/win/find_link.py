#!/usr/bin/env python3
"""find_link.py SCREENSHOT: the middle of the first web address shown in it, as "X Y".

Addresses in the help viewer are drawn in pure blue and underlined: the first row holding a
long run of that colour is an underline, and the text lies just above it."""
import subprocess
import sys

ppm = subprocess.run(["convert", sys.argv[1], "ppm:-"], capture_output=True, check=True).stdout
# P6 header: magic, width, height, maximum, each followed by whitespace.
fields = ppm.split(maxsplit=4)
width, height, pixels = int(fields[1]), int(fields[2]), fields[4]
for y in range(height):
    run_start, run = 0, 0
    for x in range(width):
        i = 3 * (y * width + x)
        if pixels[i:i + 3] == b"\x00\x00\xff":
            if run == 0:
                run_start = x
            run += 1
        else:
            if run >= 80:
                print(run_start + run // 2, y - 5)
                sys.exit(0)
            run = 0
sys.exit("no web address found")
