#!/usr/bin/env python3
"""Opens the noVNC page in headless Chromium and checks that it shows a
window of the X display behind it: once the page has connected, screenshots
of the window's place in the page's canvas are compared with grabs of the
display (xwd) until they match or the time is up. Then it may click a point
of the display through the page, as a user does.

usage: browser_page.py URL DISPLAY X Y WIDTH HEIGHT SHOT.png [CLICK_X CLICK_Y]

X Y WIDTH HEIGHT is the window's rectangle on the display, CLICK_X CLICK_Y a
point of the display. Chromium is driven over its DevTools pipe, as
Chromium's own --screenshot takes its picture before the page has received
anything from the VNC server. The last screenshot is written to SHOT.png.
"""
import base64
import ctypes
import json
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "package"))
from image_pixels import read_png  # noqa: E402

TOLERANCE = 8         # per channel, for the VNC encoding's rounding
MATCHING_SHARE = 0.99  # a blinking caret may differ
DEADLINE_SECONDS = 60 * int(os.environ.get("PIXMERLE_TIME_FACTOR", "1"))
RELOAD_SECONDS = DEADLINE_SECONDS / 6


def read_xwd(data):
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bits, stride = fields[7], fields[11], fields[12]
    masks, ncolors = fields[14:17], fields[19]
    if bits not in (24, 32):
        raise ValueError("grab with %d bits per pixel" % bits)
    start, step = header_size + 12 * ncolors, bits // 8
    order = "little" if byte_order == 0 else "big"
    shifts = [(mask, (mask & -mask).bit_length() - 1) for mask in masks]

    def pixel(x, y):
        at = start + y * stride + step * x
        value = int.from_bytes(data[at:at + step], order)
        return tuple((value & mask) >> shift for mask, shift in shifts)
    return width, height, pixel


class DevTools:
    """Chromium's DevTools protocol over --remote-debugging-pipe: JSON
    messages ending in a zero byte, commands on fd 3, answers on fd 4."""

    def __init__(self, profile):
        to_browser, self.commands = os.pipe()
        self.answers, from_browser = os.pipe()

        def child_fds():
            reading, writing = os.dup(to_browser), os.dup(from_browser)  # above 4
            os.dup2(reading, 3)
            os.dup2(writing, 4)
        self.process = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--hide-scrollbars", "--remote-debugging-pipe", "--user-data-dir=" + profile,
             "--window-size=1280,900"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            pass_fds=(3, 4), preexec_fn=child_fds)
        os.close(to_browser)
        os.close(from_browser)
        self.next_id, self.pending = 0, b""

    def call(self, method, session=None, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self.commands, json.dumps(message).encode() + b"\0")
        while True:
            while b"\0" not in self.pending:
                chunk = os.read(self.answers, 1 << 16)
                if not chunk:
                    raise RuntimeError("Chromium closed its DevTools pipe")
                self.pending += chunk
            text, self.pending = self.pending.split(b"\0", 1)
            answer = json.loads(text)
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise RuntimeError("%s: %s" % (method, answer["error"]))
                return answer["result"]

    def close(self):
        try:
            self.call("Browser.close")
        except (OSError, RuntimeError):
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def matching_share(rows, expected, dx, dy):
    close = sum(1 for y, row in enumerate(expected) for x, colour in enumerate(row)
                if max(abs(a - b) for a, b in zip(rows[y + dy][x + dx], colour)) <= TOLERANCE)
    return close / float(len(expected) * len(expected[0]))


CANVAS_STATE = """JSON.stringify((() => {
  const canvas = document.querySelector('#noVNC_container canvas');
  const box = canvas ? canvas.getBoundingClientRect() : null;
  return {connected: document.documentElement.classList.contains('noVNC_connected'),
          x: box && box.x, y: box && box.y, width: canvas && canvas.width, height: canvas && canvas.height};
})())"""


def grab(display, left, top, width, height):
    xwd = subprocess.run(["xwd", "-root", "-silent", "-display", display], stdout=subprocess.PIPE, check=True)
    screen_width, screen_height, pixel = read_xwd(xwd.stdout)
    return (screen_width, screen_height), [[pixel(left + x, top + y) for x in range(width)] for y in range(height)]


def click(browser, session, x, y):
    browser.call("Input.dispatchMouseEvent", session, type="mouseMoved", x=x, y=y)
    for kind in ("mousePressed", "mouseReleased"):
        time.sleep(0.2)
        browser.call("Input.dispatchMouseEvent", session, type=kind, x=x, y=y, button="left", clickCount=1)
    time.sleep(0.5)  # for the page to pass the click on before the browser closes


def main():
    url, display, shot_path = sys.argv[1], sys.argv[2], sys.argv[7]
    left, top, width, height = (int(value) for value in sys.argv[3:7])
    click_at = [int(value) for value in sys.argv[8:10]]

    # Chromium's helper processes outlive the browser by a moment; as their
    # subreaper this process collects them instead of leaving zombies.
    ctypes.CDLL(None).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
    profile = tempfile.mkdtemp(prefix="browser-page-")
    browser = DevTools(profile)
    state, share, shot, expected = {}, 0.0, None, None
    try:
        target = browser.call("Target.createTarget", url=url)["targetId"]
        session = browser.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        # The page has shown the dialog as it first was for the whole bound:
        # a tab in the background gets no animation frames, in which noVNC
        # draws the updates after the first picture. In front, and loaded
        # anew while its picture still differs, it shows the display as it is.
        browser.call("Page.bringToFront", session)
        deadline = time.monotonic() + DEADLINE_SECONDS
        loaded = time.monotonic()
        while share < MATCHING_SHARE and time.monotonic() < deadline:
            if shot and time.monotonic() - loaded > RELOAD_SECONDS:
                browser.call("Page.reload", session)
                loaded = time.monotonic()
            time.sleep(0.5)
            answer = browser.call("Runtime.evaluate", session, expression=CANVAS_STATE)
            if "exceptionDetails" in answer or "value" not in answer["result"]:
                # The page is still loading or navigating: its script threw.
                state = {"not evaluated": answer["result"].get("description", answer["result"].get("type"))}
                continue
            state = json.loads(answer["result"]["value"])
            screen, expected = grab(display, left, top, width, height)
            if len({colour for row in expected for colour in row}) < 3:
                sys.exit("the display shows no window at %d,%d %dx%d" % (left, top, width, height))
            if not state["connected"] or (state["width"], state["height"]) != screen:
                continue
            # The canvas may sit at half a pixel; its pixels land on whole ones.
            origin_x, origin_y = int(state["x"]) + left - 1, int(state["y"]) + top - 1
            shot = base64.b64decode(browser.call(
                "Page.captureScreenshot", session, format="png",
                clip={"x": origin_x, "y": origin_y, "width": width + 2, "height": height + 2, "scale": 1})["data"])
            shot_width, shot_height, rows = read_png(shot)
            if (shot_width, shot_height) != (width + 2, height + 2):
                continue
            share, dx, dy = max((matching_share(rows, expected, dx, dy), dx, dy) for dx in range(3) for dy in range(3))
        if share >= MATCHING_SHARE and click_at:
            click(browser, session, origin_x + dx + click_at[0] - left, origin_y + dy + click_at[1] - top)
    finally:
        browser.close()
        shutil.rmtree(profile, ignore_errors=True)
        signal.alarm(15)
        try:
            while True:
                os.wait()
        except ChildProcessError:
            pass
        signal.alarm(0)
    if shot:
        open(shot_path, "wb").write(shot)
    if share < MATCHING_SHARE and expected:
        # What the display showed, beside the page's screenshot.
        with open(shot_path + ".display.ppm", "wb") as grabbed:
            grabbed.write(b"P6 %d %d 255\n" % (width, height))
            grabbed.write(bytes(channel for row in expected for colour in row for channel in colour[:3]))
    if share < MATCHING_SHARE:
        sys.exit("the page does not show the window: page state %s, %.1f%% of its pixels match"
                 % (state, 100 * share))
    print("the page shows the window: %.1f%% of its %dx%d pixels match" % (100 * share, width, height))


if __name__ == "__main__":
    main()
