#!/usr/bin/env python3
"""Screenshots of the skin gallery at 96, 120, 144 and 192 DPI, checked by pixel probes.

For each DPI the test prefix's display DPI (HKCU\\Control Panel\\Desktop, LogPixels)
is set, the gallery is started, and once it has written its layout file the
whole Xvfb screen is captured with ImageMagick's `import`. The pixels are then
compared with what the skin must draw at that scale. The prefix's original
value is restored at the end, whatever happens.

Usage: gallery_screenshots.py <build folder> <skin_gallery.exe> [dpi ...]
Screenshots: <build folder>/gallery/<dpi>/shot.png
"""

import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.abspath(os.path.join(HERE, "..", ".."))
DESKTOP_KEY = r"HKCU\Control Panel\Desktop"

FRAME_BACK = (24, 25, 30)
PROBE_CLIENT = (64, 72, 88)
CLOSE_HOVER = (181, 39, 36)
CLOSE_PRESSED = (149, 16, 14)
CAPTION_HOVER = (49, 63, 73)
TEXT_FILLS = {"text_normal": (7, 165, 216), "text_hover": (23, 190, 244),
              "text_pressed": (5, 138, 181), "text_disabled": (112, 112, 112)}
TEXT_COLOURS = {"text_normal": (255, 255, 255), "text_hover": (255, 255, 255),
                "text_pressed": (255, 255, 255), "text_disabled": (240, 240, 240)}
TRACK = (75, 71, 70)
BAR = (7, 165, 216)
SLIDE_A_RIGHT = (240, 160, 30)
SLIDE_B_LEFT = (40, 170, 60)
WINDOW_BACK = (24, 25, 30)
ACCENT = (7, 165, 216)
WHITE = (255, 255, 255)
BOX_BACK = (47, 48, 52)
LABEL = (185, 186, 187)
CAPTION_TEXT = (200, 200, 200)
LINK = (89, 134, 178)
EDIT_BACK = (47, 48, 52)
ACTIVE_EDGE = (54, 138, 211)
BROWSE = (65, 66, 70)


def dpi_scale(dpi):
    ratio = dpi / 96.0
    return 1.0 if ratio < 1.25 else 1.25 if ratio < 1.5 else 1.5 if ratio < 2 else 2.0


class Harness:
    def __init__(self, build):
        self.build = build
        self.env = dict(os.environ)
        harness = os.path.join(build, "harness")
        self.env.update(WINEPREFIX=os.path.join(build, "wineprefix"), WINEARCH="win64", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", KELM_SOURCE_DIR=SOURCE)
        with open(os.path.join(harness, "display")) as f:
            self.env["DISPLAY"] = f.read().strip()

    def wine(self, *args, check=True):
        result = subprocess.run(["wine", *args], env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=120)
        if check and result.returncode != 0:
            raise RuntimeError("wine %s failed: %s" % (" ".join(args), result.stderr.strip()))
        return result

    def read_log_pixels(self):
        result = self.wine("reg", "query", DESKTOP_KEY, "/v", "LogPixels", check=False)
        for line in result.stdout.splitlines():
            parts = line.split()
            if len(parts) >= 3 and parts[0] == "LogPixels":
                return parts[2]
        return None

    def set_log_pixels(self, value):
        self.wine("reg", "add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(value), "/f")

    def delete_log_pixels(self):
        self.wine("reg", "delete", DESKTOP_KEY, "/v", "LogPixels", "/f", check=False)


class Screen:
    def __init__(self, path):
        size = subprocess.run(["identify", "-format", "%w %h", path], stdout=subprocess.PIPE,
                              text=True, check=True).stdout.split()
        self.width, self.height = int(size[0]), int(size[1])
        self.data = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], stdout=subprocess.PIPE,
                                   check=True).stdout

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])


def png_rgba(path):
    size = subprocess.run(["identify", "-format", "%w %h", path], stdout=subprocess.PIPE,
                          text=True, check=True).stdout.split()
    data = subprocess.run(["convert", path, "-depth", "8", "rgba:-"], stdout=subprocess.PIPE,
                          check=True).stdout
    return int(size[0]), int(size[1]), data


class Checks:
    def __init__(self, dpi):
        self.dpi = dpi
        self.failures = []
        self.passed = 0

    def expect(self, condition, what):
        if condition:
            self.passed += 1
        else:
            self.failures.append("%d DPI: %s" % (self.dpi, what))

    def expect_pixel(self, screen, x, y, colour, what, tolerance=0):
        got = screen.pixel(x, y)
        ok = all(abs(a - b) <= tolerance for a, b in zip(got, colour))
        self.expect(ok, "%s at (%d, %d): expected %s, got %s" % (what, x, y, colour, got))


def read_layout(path):
    layout = {}
    with open(path) as f:
        for line in f:
            parts = line.split()
            layout[parts[0]] = [int(p) for p in parts[1:]]
    return layout


def probe(screen, layout, dpi, checks):
    s = dpi_scale(dpi)
    edge = int(s)
    caption = int(28 * s)
    button = int(30 * s)

    checks.expect(layout["dpi"] == [dpi, dpi], "gallery reads %s DPI" % layout["dpi"])
    size_index = 0 if dpi < 120 else 1 if dpi < 144 else 2 if dpi < 192 else 3
    checks.expect(layout["close_image_id"] == [106 + size_index], "Close image id %s" % layout["close_image_id"])

    # Caption height: frame colour down to the client's first row.
    left, top, right, bottom = layout["frame_close_hover"]
    x = left + edge + 1
    first_client_row = next((y for y in range(top, bottom) if screen.pixel(x, y) == PROBE_CLIENT), None)
    checks.expect(first_client_row is not None and first_client_row - top == edge + caption,
                  "caption plus edge is %s rows, expected %d" %
                  (None if first_client_row is None else first_client_row - top, edge + caption))
    checks.expect(all(screen.pixel(x, y) == FRAME_BACK for y in range(top, top + edge + caption)),
                  "caption rows are all the frame colour")

    # Close button: flush with the right edge, ⌊30·s⌋ wide, filled with the hover colour;
    # its lower part lies under the client area, so ⌊28·s⌋ rows of it show.
    row = top + edge
    run_end = right - edge - 1
    run = 0
    while screen.pixel(run_end - run, row) == CLOSE_HOVER:
        run += 1
    checks.expect(run == button, "Close button is %d pixels wide, expected %d" % (run, button))
    checks.expect(screen.pixel(right - edge, row) == FRAME_BACK or edge == 0, "edge right of Close")
    column = right - edge - 2
    rows = 0
    while screen.pixel(column, row + rows) == CLOSE_HOVER:
        rows += 1
    checks.expect(rows == caption, "Close button shows %d rows, expected %d" % (rows, caption))
    bl, bt, br, bb = layout["caption_button_0"]
    checks.expect((br - bl, bb - bt) == (button, button), "Close button laid out %dx%d" % (br - bl, bb - bt))
    ml, mt, mr, mb = layout["caption_button_3"]
    checks.expect((mr, mb - mt) == (bl, button), "Minimize directly left of Close")

    # Pressed Close and hovered Minimize and Maximize colours.
    l2, t2, r2, _ = layout["frame_close_pressed"]
    checks.expect_pixel(screen, r2 - edge - 2, t2 + edge + 1, CLOSE_PRESSED, "pressed Close")
    l3, t3, r3, _ = layout["frame_minimize_hover"]
    checks.expect_pixel(screen, r3 - edge - button - 2, t3 + edge + 1, CAPTION_HOVER, "hovered Minimize")
    l5, t5, r5, _ = layout["frame_maximize_hover"]
    checks.expect_pixel(screen, r5 - edge - button - 2, t5 + edge + 1, CAPTION_HOVER, "hovered Maximize")

    # The Close picture of this DPI, blended over the hover colour.
    il, it, ir, ib = layout["caption_image_0"]
    size = (16, 20, 24, 32)[size_index]
    checks.expect((ir - il, ib - it) == (size, size), "Close image is %dx%d" % (ir - il, ib - it))
    width, height, rgba = png_rgba(os.path.join(SOURCE, "res", "images", "close_%d.png" % size))
    worst = 0
    for py in range(height):
        for px in range(width):
            r, g, b, a = rgba[(py * width + px) * 4:(py * width + px) * 4 + 4]
            expected = tuple(c * a // 255 + d * (255 - a) // 255 for c, d in zip((r, g, b), CLOSE_HOVER))
            got = screen.pixel(il + px, it + py)
            worst = max(worst, max(abs(e - o) for e, o in zip(expected, got)))
    checks.expect(worst <= 3, "Close image differs from close_%d.png by up to %d" % (size, worst))

    # Text buttons: fill and caption colour per state.
    for name, fill in TEXT_FILLS.items():
        l, t, r, b = layout[name]
        checks.expect_pixel(screen, (l + r) // 2, t + 2, fill, name + " fill")
        checks.expect_pixel(screen, l + int(4 * dpi / 96) + 1, (t + b) // 2, fill, name + " fill left")
        text = TEXT_COLOURS[name]
        band = [screen.pixel(x, y) for y in range(t + 3, b - 3) for x in range(l + 3, r - 3)]
        checks.expect(text in band, "%s caption drawn in %s" % (name, text))
        ceiling = tuple(max(a, c) for a, c in zip(text, fill))
        checks.expect(all(all(v <= m for v, m in zip(p, ceiling)) for p in band),
                      "%s caption no brighter than %s" % (name, text))
    l, t, r, b = layout["text_empty"]
    checks.expect(all(screen.pixel(x, (t + b) // 2) == TEXT_FILLS["text_normal"] for x in range(l + 6, r - 6)),
                  "empty text button shows only its fill")
    l, t, r, b = layout["text_narrow"]
    checks.expect_pixel(screen, (l + r) // 2, (t + b) // 2, TEXT_FILLS["text_normal"], "narrow button middle")
    checks.expect(screen.pixel(l, t) != TEXT_FILLS["text_normal"], "narrow button has round ends")

    # Progress bars: 0, 500 and 1000 of 1000.
    l, t, r, b = layout["progress_500"]
    middle = l + (r - l) // 2
    y = t + (b - t) // 2
    checks.expect_pixel(screen, middle - 1, y, BAR, "done part just left of the middle")
    checks.expect_pixel(screen, middle, y, TRACK, "track from the middle on")
    checks.expect_pixel(screen, middle - 1, t, BAR, "straight cut at the top row")
    checks.expect_pixel(screen, middle - 1, b - 1, BAR, "straight cut at the bottom row")
    checks.expect_pixel(screen, l + int(3 * dpi / 96) + 1, y, BAR, "done part at the left end")
    corner = screen.pixel(l, t)
    checks.expect(max(abs(a - c) for a, c in zip(corner, BAR)) > 30, "done part's left end is round (corner %s)" % (corner,))
    l, t, r, b = layout["progress_0"]
    checks.expect(all(screen.pixel(x, t + (b - t) // 2) == TRACK for x in range(l + 4, r - 4)), "empty bar is track only")
    l, t, r, b = layout["progress_1000"]
    checks.expect(all(screen.pixel(x, t + (b - t) // 2) == BAR for x in range(l + 4, r - 4)), "full bar is done part only")
    checks.expect(screen.pixel(r - 1, t) != BAR, "full bar's right end is round")

    # Slide show at 7.8 s: A shifted 150 pixels left, B's left half on the right.
    l, t, r, b = layout["slides"]
    checks.expect(r - l == 300, "slide area is %d pixels wide" % (r - l))
    y = t + 60
    for x, colour, what in ((0, SLIDE_A_RIGHT, "A's right half at the left edge"),
                            (149, SLIDE_A_RIGHT, "A's right half ends at 149"),
                            (150, SLIDE_B_LEFT, "B's left half starts at 150"),
                            (299, SLIDE_B_LEFT, "B's left half at the right edge")):
        checks.expect_pixel(screen, l + x, y, colour, "slide " + what)


def near(a, b, tolerance):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def count(screen, rect, match):
    l, t, r, b = rect
    return sum(1 for y in range(t, b) for x in range(l, r) if match(screen.pixel(x, y)))


def probe_items(screen, layout, dpi, checks):
    """The image buttons, labels, edit boxes, the disabled frame and the main
    caption's icon and title: each must show what makes it what it is."""
    s = dpi_scale(dpi)
    area = s * s
    bright = lambda p: min(p) > 230

    # Check boxes: ticked is the accent tile with a white tick, unticked the dark box;
    # hovered ones get the outline at their edge.
    for name in ("check_on", "check_on_hover", "check_on_pressed"):
        rect = layout[name]
        checks.expect(count(screen, rect, lambda p: near(p, ACCENT, 8)) > 40 * area, name + " shows the accent tile")
        checks.expect(count(screen, rect, bright) > 6 * area, name + " shows the white tick")
    for name in ("check_off", "check_off_hover"):
        rect = layout[name]
        checks.expect(count(screen, rect, lambda p: near(p, BOX_BACK, 6)) > 40 * area, name + " shows the dark box")
        checks.expect(count(screen, rect, lambda p: near(p, ACCENT, 30)) == 0, name + " shows no accent")
    for name, plain in (("check_on_hover", "check_on"), ("check_off_hover", "check_off")):
        l, t, r, b = layout[name]
        pl, pt, pr, pb = layout[plain]
        checks.expect(screen.pixel(l, (t + b) // 2) != screen.pixel(pl, (pt + pb) // 2),
                      name + " is outlined where " + plain + " is not")

    # Arrows: a light chevron; pointing down its tip is below its ends, up above.
    def chevron_rows(rect):
        l, t, r, b = rect
        middle = (l + r) // 2
        rows = [y for y in range(t, b) if near(screen.pixel(middle, y), LABEL, 40)]
        ends = [y for y in range(t, b) for x in range(l, middle - int(3 * s))
                if near(screen.pixel(x, y), LABEL, 40)]
        return rows, ends
    for name, down in (("arrow_down", True), ("arrow_up", False)):
        tip, ends = chevron_rows(layout[name])
        checks.expect(bool(tip) and bool(ends), name + " is drawn")
        if tip and ends:
            checks.expect((min(tip) > min(ends)) == down, name + " points " + ("down" if down else "up"))

    # Browse buttons: their fill (lighter under the mouse) with the three white dots.
    for name in ("browse", "browse_hover"):
        checks.expect(count(screen, layout[name], bright) >= 3, name + " shows its dots")
    l, t, r, b = layout["browse"]
    checks.expect_pixel(screen, l + int(4 * s), t + int(4 * s), BROWSE, "browse fill")
    l, t, r, b = layout["browse_hover"]
    hovered = screen.pixel(l + int(4 * s), t + int(4 * s))
    checks.expect(sum(hovered) > sum(BROWSE) + 30, "browse_hover fill %s lighter than %s" % (hovered, BROWSE))

    # The logo picture: the accent tile and the white letters.
    checks.expect(count(screen, layout["logo"], lambda p: near(p, ACCENT, 30)) > 30 * area, "logo tile")
    checks.expect(count(screen, layout["logo"], bright) > 30 * area, "logo letters")

    # Labels: their text colour on the window colour; the link underlined.
    checks.expect(count(screen, layout["label"], lambda p: near(p, LABEL, 12)) > 20 * area, "label text")
    checks.expect_pixel(screen, layout["label"][0], layout["label"][1], WINDOW_BACK, "label background")
    l, t, r, b = layout["link_focused"]
    underline = max(sum(1 for x in range(l, r) if near(screen.pixel(x, y), LINK, 12)) for y in range(t, b))
    checks.expect(underline > (r - l) // 2, "the link is underlined (longest run %d of %d)" % (underline, r - l))
    checks.expect(count(screen, layout["label_fallback_font"], lambda p: near(p, CAPTION_TEXT, 12)) > 20 * area,
                  "fallback-font label text")
    checks.expect(count(screen, layout["title"], bright) > 150 * area, "title text")

    # Edit boxes: the box colour, white text, the active one framed in blue; the
    # disabled one's text dimmer than the others'.
    for name in ("edit_inactive", "edit_active", "edit_disabled", "edit_readonly"):
        l, t, r, b = layout[name]
        checks.expect(count(screen, layout[name], lambda p: near(p, EDIT_BACK, 6)) > (r - l) * (b - t) // 3,
                      name + " box colour")
    l, t, r, b = layout["edit_active"]
    checks.expect_pixel(screen, l, (t + b) // 2, ACTIVE_EDGE, "active edit box frame")
    checks.expect(count(screen, layout["edit_inactive"], bright) > 30 * area, "inactive edit box text")
    checks.expect(count(screen, layout["edit_disabled"], bright) == 0, "disabled edit box text is dimmed")

    # The disabled frame: its caption buttons show their pictures faintly.
    fl, ft, fr, fb = layout["frame_disabled"]
    edge = int(s)
    buttons = (fr - edge - 2 * int(30 * s), ft + edge, fr - edge, ft + edge + int(28 * s))
    glyph = max(max(screen.pixel(x, y)) for y in range(buttons[1], buttons[3]) for x in range(buttons[0], buttons[2]))
    checks.expect(glyph < 120, "disabled frame's caption buttons are faint (brightest %d)" % glyph)

    # The main window's caption: the program icon, then the title.
    ml, mt, mr, mb = layout["main"]
    caption = (ml + edge, mt + edge, ml + edge + int(200 * s), mt + edge + int(28 * s))
    icon = (caption[0], caption[1], caption[0] + int(4 * s) + int(18 * s) + 1, caption[3])
    checks.expect(count(screen, icon, lambda p: near(p, ACCENT, 30)) > 20 * area, "caption icon")
    title = (icon[2], caption[1], caption[2], caption[3])
    checks.expect(count(screen, title, lambda p: near(p, CAPTION_TEXT, 20)) > 20 * area, "caption title")


def run_gallery(harness, gallery, dpi, out):
    os.makedirs(out, exist_ok=True)
    for name in ("layout.txt", "stop", "shot.png"):
        if os.path.exists(os.path.join(out, name)):
            os.remove(os.path.join(out, name))
    windows_out = "Z:" + out.replace("/", "\\")
    log = open(os.path.join(out, "gallery.log"), "w")
    process = subprocess.Popen([os.path.join(SOURCE, "tests", "harness", "wine-run.sh"), harness.build,
                                gallery, windows_out], env=harness.env, stdin=subprocess.DEVNULL,
                               stdout=log, stderr=subprocess.STDOUT)
    try:
        layout_path = os.path.join(out, "layout.txt")
        deadline = time.time() + 240
        while not os.path.exists(layout_path):
            if process.poll() is not None or time.time() > deadline:
                raise RuntimeError("the gallery did not get ready at %d DPI" % dpi)
            time.sleep(0.25)
        shot = os.path.join(out, "shot.png")
        subprocess.run(["import", "-display", harness.env["DISPLAY"], "-window", "root", shot], check=True,
                       env=harness.env)
        return read_layout(layout_path), shot
    finally:
        open(os.path.join(out, "stop"), "w").close()
        try:
            process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
        log.close()


def main():
    build, gallery = sys.argv[1], sys.argv[2]
    dpis = [int(d) for d in sys.argv[3:]] or [96, 120, 144, 192]
    harness = Harness(build)
    original = harness.read_log_pixels()
    failures = []
    try:
        for dpi in dpis:
            harness.set_log_pixels(dpi)
            out = os.path.join(build, "gallery", str(dpi))
            layout, shot = run_gallery(harness, gallery, dpi, out)
            checks = Checks(dpi)
            screen = Screen(shot)
            probe(screen, layout, dpi, checks)
            probe_items(screen, layout, dpi, checks)
            print("%d DPI: %d probes passed, %d failed; screenshot %s" %
                  (dpi, checks.passed, len(checks.failures), shot))
            failures += checks.failures
    finally:
        if original is None:
            harness.delete_log_pixels()
        else:
            harness.set_log_pixels(int(original, 0))
    for failure in failures:
        print("FAIL " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
