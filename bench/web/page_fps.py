#!/usr/bin/env python3
"""Frames per second of the page (zirbelon.html) in headless Chromium
(SwiftShader), beside `zirbelon-render bench` (Mesa's llvmpipe) on the same
frames: a frame every 2 s of the tune, each shown paused with ?row=R and timed
over the frames the page draws in a while; the mean time per frame over all of
them, as the bench gives it.

The page draws 1920x1080 pixels whatever its window (the browser scales the
canvas to it); the bench renders each size itself.

  bench/web/page_fps.py HOST_BUILD PAGE [SECONDS_PER_ROW]
"""

import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "web"))
from cdp import Browser  # noqa: E402

SIZES = [(1920, 1080), (640, 360)]
ROWS = range(0, 1960, 40)  # a frame every 2 s of the tune's 1:37.5


def page_ms_per_frame(page, size, seconds_per_row):
    times = []
    url = "file://" + os.path.abspath(page)
    with Browser(["--host-resolver-rules=MAP * ~NOTFOUND"], window=size) as browser:
        for row in ROWS:
            browser.call("Page.navigate", url=f"{url}?row={row}")
            browser.wait_for("window.zirbelon.state === 'paused' && window.zirbelon.frames >= 2", timeout=60)
            first = browser.evaluate("[window.zirbelon.frames, window.zirbelon.read_at]")
            time.sleep(seconds_per_row)
            last = browser.evaluate("[window.zirbelon.frames, window.zirbelon.read_at]")
            if last[0] > first[0]:
                times.append((last[1] - first[1]) / (last[0] - first[0]))
    return sum(times) / len(times), max(times)


def native_ms_per_frame(host_build, size):
    out = subprocess.run([os.path.join(host_build, "tools", "render", "zirbelon-render"), "bench",
                          "--dir", os.path.join(host_build, "stage"), "--size", f"{size[0]}x{size[1]}"],
                         capture_output=True, text=True, check=True).stdout
    found = re.search(r"whole presentation: .*mean ([0-9.]+) ms per frame.*slowest ([0-9.]+) ms", out)
    return float(found.group(1)), float(found.group(2))


def main():
    if len(sys.argv) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    host_build, page = sys.argv[1], sys.argv[2]
    seconds_per_row = float(sys.argv[3]) if len(sys.argv) == 4 else 2.0
    for size in SIZES:
        page_mean, page_slowest = page_ms_per_frame(page, size, seconds_per_row)
        native_mean, native_slowest = native_ms_per_frame(host_build, size)
        print(f"{size[0]}x{size[1]}: page (Chromium, SwiftShader) {page_mean:.1f} ms per frame "
              f"({1000 / page_mean:.1f} frames/s, slowest {page_slowest:.1f} ms); "
              f"native (zirbelon-render bench, llvmpipe) {native_mean:.1f} ms per frame "
              f"({1000 / native_mean:.1f} frames/s, slowest {native_slowest:.1f} ms)", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
