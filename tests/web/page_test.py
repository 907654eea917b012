#!/usr/bin/env python3
"""The page (zirbelon.html) in headless Chromium (SwiftShader):
  picture   its canvas at rows of both scenes and both title bounds, paused with
            ?row=R and served over loopback with every other host unreachable,
            against `zirbelon-render frame --row R` of the host build; the
            page asks for nothing but itself;
  playing   from file://: the start screen, a click, fullscreen, the music's
            clock (also across a hidden page), Escape (or leaving fullscreen),
            the end screen and a start again, driven over the DevTools protocol;
  music end the loop goes on after the tune, its clock held at the end;
  failures  no WebGL: a message in the page; a tune the browser cannot decode,
            or no Web Audio: silence on the page's clock, and a notice.
Nothing may throw uncaught or log an error in any of them.

  tests/web/page_test.py HOST_BUILD PAGE [FAILURES_DIR]
"""

import functools
import http.server
import os
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cdp import Browser  # noqa: E402

WIDTH, HEIGHT = 1920, 1080
# The two rasterisers (SwiftShader here, llvmpipe for the offline frames) round
# differently. The title is a smooth function of its pixel: as in the render
# tests against their independent reference, at most 0.05% of its pixels may be
# more than 2/255 off. The landscape's terraces and cells change colour where a
# ray's samples, one unit apart, cross a cell edge; SwiftShader's sines and
# square roots are less exact than llvmpipe's, and where rays graze the
# terraces the last bits of a ray's direction move such a boundary by pixels:
# up to 3.3% of the pixels differ at the rows below. At most 5% may, while the
# pictures of neighbouring rows differ in 20% to all of their pixels.
TOLERANCE = 2
OFF_FRACTION = {"title": 0.0005, "landscape": 0.05}
# Both sides of the title's rows, both of its bounds, and the two scenes at full
# motion; each is a whole number of the tune's frames (1/2205 row), so the page
# pauses exactly there.
ROWS = [600, 1279, 1280, 1310, 1360, 1361]
# Every host but loopback resolves to nothing.
OFFLINE = ["--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1"]

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print(f"FAIL: {message}")
    return condition


def rgb_from_png(png_bytes):
    return subprocess.run(["ffmpeg", "-v", "error", "-i", "-", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                          input=png_bytes, capture_output=True, check=True).stdout


def png_from_rgb(rgb, path):
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24",
                    "-s", f"{WIDTH}x{HEIGHT}", "-i", "-", path], input=bytes(rgb), check=True)


def pixels_off(got, expected):
    """Pixels with a channel more than TOLERANCE apart, and where they are."""
    off = []
    for row in range(HEIGHT):
        start, end = row * WIDTH * 3, (row + 1) * WIDTH * 3
        a, b = got[start:end], expected[start:end]
        if a == b:
            continue
        for x in range(WIDTH):
            i = x * 3
            if (abs(a[i] - b[i]) > TOLERANCE or abs(a[i + 1] - b[i + 1]) > TOLERANCE
                    or abs(a[i + 2] - b[i + 2]) > TOLERANCE):
                off.append(row * WIDTH + x)
    return off


def save_difference(folder, row, got, expected, off):
    os.makedirs(folder, exist_ok=True)
    png_from_rgb(got, os.path.join(folder, f"page-row-{row}.png"))
    png_from_rgb(expected, os.path.join(folder, f"render-row-{row}.png"))
    marked = bytearray(expected)
    for pixel in off:
        marked[pixel * 3:pixel * 3 + 3] = b"\xff\x00\xff"
    png_from_rgb(marked, os.path.join(folder, f"difference-row-{row}.png"))
    print(f"saved the pictures of row {row} in {folder}")


def exceptions_and_errors(browser):
    found = []
    for event in browser.events:
        method, params = event["method"], event.get("params", {})
        if method == "Runtime.exceptionThrown":
            found.append(f"uncaught: {params['exceptionDetails'].get('text')} "
                         f"{params['exceptionDetails'].get('exception', {}).get('description', '')}")
        elif method == "Runtime.consoleAPICalled" and params.get("type") == "error":
            found.append("console.error: " + " ".join(str(a.get("value", a.get("description")))
                                                      for a in params.get("args", [])))
        elif method == "Log.entryAdded" and params["entry"]["level"] == "error":
            found.append(f"log: {params['entry']['text']}")
    return found


def requested_urls(browser):
    return [e["params"]["request"]["url"] for e in browser.events if e["method"] == "Network.requestWillBeSent"]


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def test_picture(host_build, page, failures_dir):
    folder = os.path.dirname(os.path.abspath(page))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(QuietHandler, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}/{os.path.basename(page)}"
    render = os.path.join(host_build, "tools", "render", "zirbelon-render")
    with tempfile.TemporaryDirectory() as scratch, Browser(OFFLINE) as browser:
        for row in ROWS:
            url = f"{base}?row={row}"
            browser.call("Page.navigate", url=url)
            ready = browser.wait_for("window.zirbelon && window.zirbelon.state === 'paused' && "
                                     "window.zirbelon.frames >= 2")
            if not check(ready, f"row {row}: the paused page drew no frame"):
                continue
            seconds = browser.evaluate("window.zirbelon.seconds")
            check(abs(seconds * 20 - row) < 1e-6, f"row {row}: the page stands at row {seconds * 20}")
            data_url = browser.evaluate("document.getElementById('canvas').toDataURL('image/png')")
            got = rgb_from_png(__import__("base64").b64decode(data_url.split(",", 1)[1]))

            reference = os.path.join(scratch, f"row-{row}.png")
            subprocess.run([render, "frame", "--row", str(row), "--dir", os.path.join(host_build, "stage"),
                            "-o", reference], check=True, stdout=subprocess.DEVNULL)
            expected = rgb_from_png(open(reference, "rb").read())
            if not check(len(got) == len(expected) == WIDTH * HEIGHT * 3,
                         f"row {row}: the canvas is not {WIDTH}x{HEIGHT}"):
                continue
            off = pixels_off(got, expected)
            scene = "title" if 1280 <= row <= 1360 else "landscape"
            allowed = int(WIDTH * HEIGHT * OFF_FRACTION[scene])
            print(f"row {row}: {len(off)} pixels more than {TOLERANCE}/255 off (at most {allowed})")
            if not check(len(off) <= allowed, f"row {row}: {len(off)} pixels off, more than {allowed}"):
                save_difference(failures_dir, row, got, expected, off)

        for url in requested_urls(browser):
            parsed = urllib.parse.urlparse(url)
            check(parsed.scheme in ("data", "blob") or url.split("?")[0] == base,
                  f"the page asked for {url}")
        check(not exceptions_and_errors(browser), f"picture: {exceptions_and_errors(browser)}")
    server.shutdown()


def clock_samples(browser, duration_ms):
    """(page time, music time) in ms of every frame for a while: the music's
    position as the frame read it, and when it read it."""
    return browser.evaluate("""new Promise((resolve) => {
        const samples = [];
        const start = performance.now();
        const sample = () => {
          const last = samples[samples.length - 1];
          if (!last || last[0] !== window.zirbelon.read_at)
            samples.push([window.zirbelon.read_at, window.zirbelon.seconds * 1000]);
          if (performance.now() - start < %d) requestAnimationFrame(sample); else resolve(samples);
        };
        requestAnimationFrame(sample);
      })""" % duration_ms)


def line_fit(samples):
    """The least-squares line through (x, y): its slope and the largest distance of a sample from it."""
    n = len(samples)
    mean_x = sum(x for x, _ in samples) / n
    mean_y = sum(y for _, y in samples) / n
    slope = (sum((x - mean_x) * (y - mean_y) for x, y in samples) /
             sum((x - mean_x) ** 2 for x, _ in samples))
    return slope, max(abs(y - mean_y - slope * (x - mean_x)) for x, y in samples)


def click(browser):
    for kind in ("mousePressed", "mouseReleased"):
        browser.call("Input.dispatchMouseEvent", type=kind, x=960, y=540, button="left", clickCount=1)


def escape(browser):
    for kind in ("rawKeyDown", "keyUp"):
        browser.call("Input.dispatchKeyEvent", type=kind, key="Escape", code="Escape",
                     windowsVirtualKeyCode=27, nativeVirtualKeyCode=27)


# Browsers may refuse fullscreen; the page then fills the window.
REFUSE_FULLSCREEN = """
    Element.prototype.requestFullscreen = function () {
      return Promise.reject(new TypeError('fullscreen refused'));
    };"""


def test_playing(page):
    url = "file://" + os.path.abspath(page)
    with Browser(OFFLINE, window=(1280, 800)) as browser:
        browser.call("Page.addScriptToEvaluateOnNewDocument", source=REFUSE_FULLSCREEN)
        browser.call("Page.navigate", url=url)
        check(browser.wait_for("window.zirbelon.state === 'start'"), "file://: no start screen")
        check("click or press a key" in browser.evaluate("document.getElementById('screen').textContent"),
              "the start screen does not say how to start")
        check(browser.evaluate("window.zirbelon.frames") == 0, "frames were drawn before the start")
        escape(browser)
        for kind in ("rawKeyDown", "keyUp"):
            browser.call("Input.dispatchKeyEvent", type=kind, key="Shift", code="ShiftLeft",
                         windowsVirtualKeyCode=16, nativeVirtualKeyCode=16)
        time.sleep(0.3)
        check(browser.evaluate("window.zirbelon.state") == "start",
              "Escape or Shift alone on the start screen started it")

        click(browser)
        check(browser.wait_for("window.zirbelon.state === 'running'"), "the click did not start it")
        check(browser.wait_for("window.zirbelon.seconds > 2", timeout=30), "the music's clock does not run")
        check(browser.evaluate("window.zirbelon.state") == "running", "an earlier Escape ended it")
        check(browser.evaluate("window.zirbelon.notice") == "", "the tune did not play through Web Audio")
        check(browser.evaluate("document.fullscreenElement") is None, "fullscreen was refused, yet it is")
        box = browser.evaluate("(() => { const r = document.getElementById('canvas').getBoundingClientRect();"
                               " return [r.left, r.top, r.width, r.height, innerWidth, innerHeight]; })()")
        left, top, width, height, inner_width, inner_height = box
        fills = abs(width - inner_width) < 1 or abs(height - inner_height) < 1
        check(abs(width * 9 - height * 16) < 16 and fills
              and abs(left * 2 + width - inner_width) < 1 and abs(top * 2 + height - inner_height) < 1,
              f"the canvas is not letterboxed at 16:9 in the window: {box}")
        check(browser.evaluate("getComputedStyle(document.getElementById('canvas')).cursor") == "none",
              "the cursor shows while it runs")

        # The row follows the music: read once a frame, the clock runs at the
        # page's pace, never backwards, within 1 ms of a straight line.
        before = clock_samples(browser, 3000)
        check(len(before) >= 4, f"only {len(before)} frames in 3 s")
        check(all(b[1] >= a[1] for a, b in zip(before, before[1:])), "the music's clock went backwards")
        slope, residual = line_fit(before)
        check(abs(slope - 1) < 0.01, f"the clock runs at {slope:.4f} times the page's pace")
        check(residual < 1.0, f"the clock is {residual:.3f} ms off a straight line")
        # Hidden, the page draws nothing while the music plays on; shown again,
        # the picture is where the music is, on the same line.
        window = browser.call("Browser.getWindowForTarget")["windowId"]
        browser.call("Browser.setWindowBounds", windowId=window, bounds={"windowState": "minimized"})
        check(browser.wait_for("document.visibilityState === 'hidden'"), "the minimised page is not hidden")
        hidden_frames = browser.evaluate("window.zirbelon.frames")
        time.sleep(2)
        check(browser.evaluate("window.zirbelon.frames") == hidden_frames, "the hidden page goes on drawing")
        browser.call("Browser.setWindowBounds", windowId=window, bounds={"windowState": "normal"})
        after = clock_samples(browser, 1500)
        offsets = [music - at for at, music in before + after]
        check(len(after) >= 2 and after[0][0] - before[-1][0] > 2000 and max(offsets) - min(offsets) < 2.0,
              f"shown again, the clock is {max(offsets) - min(offsets):.3f} ms off its line")

        escape(browser)
        check(browser.wait_for("window.zirbelon.state === 'ended'"), "Escape did not end it")
        check("start again" in browser.evaluate("document.getElementById('screen').textContent"),
              "the end screen does not say how to start again")
        frames = browser.evaluate("window.zirbelon.frames")
        time.sleep(0.3)
        check(browser.evaluate("window.zirbelon.frames") == frames, "frames go on after the end")
        check(browser.evaluate("getComputedStyle(document.getElementById('screen')).cursor") != "none",
              "the cursor stays hidden after the end")
        click(browser)
        check(browser.wait_for("window.zirbelon.state === 'start' && window.zirbelon.frames === 0"),
              "a click on the end screen does not start again")
        check(not exceptions_and_errors(browser), f"playing: {exceptions_and_errors(browser)}")
        for request in requested_urls(browser):
            check(request.startswith(("file:", "data:", "blob:")), f"the page asked for {request}")

    # Fullscreen; leaving it ends the presentation too (the browser may take
    # Escape for that alone).
    with Browser(OFFLINE) as browser:
        browser.call("Page.navigate", url=url)
        check(browser.wait_for("window.zirbelon.state === 'start'"), "file://: no start screen")
        click(browser)
        if check(browser.wait_for("document.fullscreenElement !== null"), "the start did not go fullscreen"):
            browser.wait_for("window.zirbelon.frames > 0")
            browser.evaluate("document.exitFullscreen()")
            check(browser.wait_for("window.zirbelon.state === 'ended'"), "leaving fullscreen did not end it")
        check(not exceptions_and_errors(browser), f"leaving fullscreen: {exceptions_and_errors(browser)}")


def test_failures(page):
    url = "file://" + os.path.abspath(page)
    with Browser(OFFLINE + ["--disable-3d-apis"]) as browser:
        browser.call("Page.navigate", url=url)
        check(browser.wait_for("window.zirbelon.state === 'no-webgl'"), "no WebGL: the page does not say so")
        check("WebGL" in browser.evaluate("document.getElementById('screen').textContent"),
              "no WebGL: the message does not name it")
        check(not exceptions_and_errors(browser), f"no WebGL: {exceptions_and_errors(browser)}")

    with Browser(OFFLINE) as browser:
        browser.call("Page.addScriptToEvaluateOnNewDocument", source="""
            OfflineAudioContext.prototype.decodeAudioData = function () {
              return Promise.reject(new DOMException('no decoder', 'EncodingError'));
            };""")
        browser.call("Page.navigate", url=url)
        check(browser.wait_for("window.zirbelon.state === 'start'"), "undecodable tune: no start screen")
        check("silent" in browser.evaluate("window.zirbelon.notice"), "undecodable tune: no notice")
        click(browser)
        check(browser.wait_for("window.zirbelon.seconds > 0.5", timeout=20),
              "undecodable tune: the page's clock does not run")
        check(not exceptions_and_errors(browser), f"undecodable tune: {exceptions_and_errors(browser)}")

    with Browser(OFFLINE) as browser:
        browser.call("Page.addScriptToEvaluateOnNewDocument",
                     source="delete window.AudioContext; delete window.webkitAudioContext;")
        browser.call("Page.navigate", url=url)
        check(browser.wait_for("window.zirbelon.state === 'start'"), "no sound output: no start screen")
        click(browser)
        check(browser.wait_for("window.zirbelon.seconds > 0.5", timeout=20),
              "no sound output: the page's clock does not run")
        check("silent" in browser.evaluate("window.zirbelon.notice"), "no sound output: no notice")
        check(not exceptions_and_errors(browser), f"no sound output: {exceptions_and_errors(browser)}")


def test_music_end(page):
    """After the tune the loop goes on, the clock held at its end, until Escape
    (a tune of one second stands in for the real one)."""
    with Browser(OFFLINE, window=(640, 360)) as browser:
        browser.call("Page.addScriptToEvaluateOnNewDocument", source="""
            OfflineAudioContext.prototype.decodeAudioData = function () {
              return Promise.resolve(new AudioBuffer({length: 44100, numberOfChannels: 2, sampleRate: 44100}));
            };""")
        browser.call("Page.navigate", url="file://" + os.path.abspath(page))
        check(browser.wait_for("window.zirbelon.state === 'start'"), "short tune: no start screen")
        click(browser)
        check(browser.wait_for("window.zirbelon.seconds >= 1", timeout=20),
              "short tune: the clock does not reach its end")
        frames = browser.evaluate("window.zirbelon.frames")
        check(browser.wait_for(f"window.zirbelon.frames >= {frames + 2}", timeout=20),
              "short tune: no frames after the end of the music")
        check(browser.evaluate("[window.zirbelon.state, window.zirbelon.seconds]") == ["running", 1],
              "short tune: the clock does not hold at the end of the music")
        escape(browser)
        check(browser.wait_for("window.zirbelon.state === 'ended'"), "short tune: Escape did not end it")
        check(not exceptions_and_errors(browser), f"short tune: {exceptions_and_errors(browser)}")


def main():
    if len(sys.argv) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    host_build, page = sys.argv[1], sys.argv[2]
    failures_dir = sys.argv[3] if len(sys.argv) == 4 else os.path.join(host_build, "web-test-failures")
    for test in (lambda: test_picture(host_build, page, failures_dir), lambda: test_playing(page),
                 lambda: test_music_end(page), lambda: test_failures(page)):
        test()
    if failures:
        print(f"{len(failures)} checks failed")
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
