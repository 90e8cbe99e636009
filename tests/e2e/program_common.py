"""Driving the real lens on the test desktop, and predicting what it shows.

Used by the program_*_test.py scripts, which run under vistrel_add_e2e_test
(with_xvfb.sh, the desktop painted, no window manager). The program and the
filter come from $VISTREL_EXE and $VISTREL_FILTER.

Where things are: the lens window's outer rectangle comes from the X server;
its client area (the lens picture, S x S) starts 4 pixels right of and 23
below the outer corner. Controls are found from the layout of the control
panel, which is centred in the client area.
"""

import os
import subprocess
import tempfile
import time
import unittest

import harness

NAVY = (0, 0, 128)
MAROON = (128, 0, 0)
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)
RED = (255, 0, 0)

CLIENT_OFFSET = (4, 23)
PANEL1_SIZE = (257, 186)
GROUPBOX1_AT = (8, 8)  # in Panel1
# Controls inside GroupBox1: (left, top, width, height).
TRACKBAR1 = (8, 87, 225, 17)
SLIDER_TICK_ROW = 12  # of TRACKBAR1: the tick marks, one pixel wide each
MOVE_HANDLE = (8, 46, 73, 34)
SMOOTH_BOX = (88, 56, 65, 17)
PROBE_BOX = (15, 22, 216, 16)
CHECK_BOXES = (SMOOTH_BOX, PROBE_BOX)
SETUP_VISION = (152, 46, 81, 34)
ABOUT_BUTTON = (8, 136, 75, 25)
HELP_BUTTON = (89, 136, 70, 25)
EXIT_BUTTON = (163, 136, 70, 25)
# The probe box and its swatch, laid out for a 409-pixel lens.
PROBE_PANEL = (104, 15, 164, 68)
PROBE_LAYOUT_SIZE = 409
SWATCH = (0, 0, 68, 38)
# The vision dialog's controls in its client area; the group's children in the group.
SIMULATION_BUTTON = (8, 8, 185, 33)
NORMAL_BUTTON = (8, 48, 185, 33)
CLOSE_BUTTON = (0, 158, 191, 26)
COLOUR_GROUP_AT = (198, 9)
RED_GREEN_BOX = (9, 26, 160, 19)
LOW_LEVEL = (32, 56, 113, 17)
HIGH_LEVEL = (32, 80, 113, 17)
ABOUT_CLOSE = (0, 266, 303, 27)

LENS_TITLE = "VISTREL"
SETUP_TITLE = "Setup Your Vision"
ABOUT_TITLE = "Form2"

ZOOMS = [2, 4, 6, 8, 12]  # slider positions 1..5

SETTLE_TIMEOUT = 5.0


def centre_of(rect):
    x, y, w, h = rect
    return x + w // 2, y + h // 2


def run(argv):
    return subprocess.run(argv, check=True, capture_output=True)


# --- pictures ---------------------------------------------------------------


def read_ppm(path):
    with open(path, "rb") as f:
        return harness.Picture.from_ppm(f.read())


def read_image(path):
    """Any picture ImageMagick reads, as 8-bit RGB."""
    return harness.Picture.from_ppm(run(["convert", path, "-depth", "8", "ppm:-"]).stdout)


def filtered(square, *options):
    """`square` passed through vistrel-filter with `options`."""
    with tempfile.TemporaryDirectory() as tmp:
        src, out = os.path.join(tmp, "in.ppm"), os.path.join(tmp, "out.png")
        with open(src, "wb") as f:
            f.write(square.to_ppm())
        run([os.environ["VISTREL_FILTER"], *options, src, out])
        return read_image(out)


class Square:
    """What the capture bitmap holds: a picture and, per pixel, whether its
    content is known (stale columns, off-screen corners and the lens window's
    own pixels are not)."""

    def __init__(self, picture, known=None):
        self.picture = picture
        n = picture.width * picture.height
        self.known = bytearray(b"\1" * n) if known is None else known


def desktop_square(desktop, cx, cy, zoom, size, lens_rect=None, screen=None):
    """The capture of the frame: 2h (+1) pixels each way around (cx, cy), as
    the frame takes it from a screen showing `desktop`. When the square
    leaves the screen (the desktop, or the primary monitor of size `screen`),
    pixels off the desktop are white inside the ellipse inscribed in the
    square; the corners outside it, the column and row the capture does not
    reach, and the pixels of the lens window itself are unknown."""
    h = size // (2 * zoom)
    sw = int(size / zoom)
    pic = harness.Picture(sw, sw)
    known = bytearray(sw * sw)
    left, top = cx - h, cy - h
    screen_w, screen_h = screen or (desktop.width, desktop.height)
    offscreen = left < 0 or top < 0 or cx + h > screen_w or cy + h > screen_h
    white = 0
    for y in range(sw):
        sy = top + y
        for x in range(sw):
            sx = left + x
            i = y * sw + x
            if x >= 2 * h or y >= 2 * h:
                continue
            if 0 <= sx < desktop.width and 0 <= sy < desktop.height:
                if lens_rect and lens_rect[0] <= sx < lens_rect[2] and lens_rect[1] <= sy < lens_rect[3]:
                    continue
                j = 3 * (sy * desktop.width + sx)
                pic.rgb[3 * i : 3 * i + 3] = desktop.rgb[j : j + 3]
                known[i] = 1
            elif offscreen:
                # Well inside the inscribed ellipse, away from its outline.
                u = (x + 0.5 - sw / 2) / (sw / 2 - 2)
                v = (y + 0.5 - sw / 2) / (sw / 2 - 2)
                if u * u + v * v <= 1:
                    pic.rgb[3 * i : 3 * i + 3] = bytes(WHITE)
                    known[i] = 1
                    white += 1
    square = Square(pic, known)
    square.offscreen_white = white
    return square


def plain_crop(desktop, cx, cy, zoom, size):
    """The captured square when it lies on the screen and is fully captured."""
    h = size // (2 * zoom)
    assert int(size / zoom) == 2 * h, "zoom %d leaves a stale column at size %d" % (zoom, size)
    return desktop.crop(cx - h, cy - h, 2 * h, 2 * h)


def stretched(square, size):
    """The lens picture: client pixel (k, j) shows square pixel
    (k * sw div size, j * sh div size)."""
    sw, sh = square.picture.width, square.picture.height
    xmap = [k * sw // size for k in range(size)]
    pic = harness.Picture(size, size)
    known = bytearray(size * size)
    rows = {}
    for j in range(size):
        sy = j * sh // size
        if sy not in rows:
            src = square.picture.rgb[3 * sy * sw : 3 * (sy + 1) * sw]
            srck = square.known[sy * sw : (sy + 1) * sw]
            rows[sy] = (
                b"".join(src[3 * x : 3 * x + 3] for x in xmap),
                bytes(srck[x] for x in xmap),
            )
        row, rowk = rows[sy]
        pic.rgb[3 * j * size : 3 * (j + 1) * size] = row
        known[j * size : (j + 1) * size] = rowk
    return Square(pic, known)


def one_to_one(picture, size):
    """A picture drawn at the client area's top-left, unscaled; the rest of
    the client area unknown."""
    pic = harness.Picture(size, size)
    known = bytearray(size * size)
    w, h = min(picture.width, size), min(picture.height, size)
    pic.paste(picture, 0, 0)
    for j in range(h):
        known[j * size : j * size + w] = b"\1" * w
    return Square(pic, known)


# --- comparing the lens ------------------------------------------------------


def interior_spans(size):
    """Per client row, the column span [x0, x1) well inside the navy ring
    (the ring's pen covers 4 pixels either side of the ellipse in the box
    (7, 7, S-8, S-28)), with the cross-hair's row and column left out."""
    l, t, r, b = 7, 7, size - 8, size - 28
    cx, cy = (l + r - 1) / 2, (t + b - 1) / 2
    a, c = (r - l - 1) / 2 - 8, (b - t - 1) / 2 - 8
    mid = size // 2
    spans = []
    for y in range(size):
        v = (y - cy) / c
        if abs(y - mid) <= 1 or v * v >= 1:
            spans.append([])
            continue
        half = a * (1 - v * v) ** 0.5
        x0, x1 = int(cx - half) + 1, int(cx + half)
        spans.append([s for s in ((x0, min(x1, mid - 1)), (max(x0, mid + 2), x1)) if s[0] < s[1]])
    return spans


class LensCheck:
    """The pixels of the lens picture to compare with `expected`: inside the
    ring, off the cross-hair, known, and outside the `excluded` client
    rectangles (x, y, w, h)."""

    def __init__(self, expected, size, excluded=()):
        self.expected, self.size = expected, size
        self.runs = []  # (row, x0, x1)
        for y, spans in enumerate(interior_spans(size)):
            for x0, x1 in spans:
                mask = bytearray(expected.known[y * size + x0 : y * size + x1])
                for ex, ey, ew, eh in excluded:
                    if ey <= y < ey + eh:
                        a, b = max(ex, x0), min(ex + ew, x1)
                        if a < b:
                            mask[a - x0 : b - x0] = bytes(b - a)
                at = 0
                while True:
                    start = mask.find(1, at)
                    if start < 0:
                        break
                    end = mask.find(0, start)
                    end = len(mask) if end < 0 else end
                    self.runs.append((y, x0 + start, x0 + end))
                    at = end
        self.count = sum(x1 - x0 for _, x0, x1 in self.runs)

    def matches(self, actual):
        e, a, s = self.expected.picture.rgb, actual.rgb, self.size
        return all(e[3 * (y * s + x0) : 3 * (y * s + x1)] == a[3 * (y * s + x0) : 3 * (y * s + x1)] for y, x0, x1 in self.runs)

    def masked_expected(self, actual):
        """`actual` with the checked pixels replaced by the expected ones."""
        out = harness.Picture(actual.width, actual.height, actual.rgb)
        s = self.size
        for y, x0, x1 in self.runs:
            out.rgb[3 * (y * s + x0) : 3 * (y * s + x1)] = self.expected.picture.rgb[3 * (y * s + x0) : 3 * (y * s + x1)]
        return out


# --- the program ---------------------------------------------------------------


class Lens:
    """The running program and the places of its controls on the screen."""

    def __init__(self, env=None, args=(), screen=None):
        # The primary monitor: the whole X screen unless told otherwise.
        self.screen = screen or harness.screen_size()
        self.size = 2 * self.screen[0] // 5
        environment = dict(os.environ)
        environment.update(env or {})
        self.proc, self.win = harness.start_program(
            [os.environ["VISTREL_EXE"], *args], LENS_TITLE, timeout=30, env=environment
        )
        self.zoom = 2
        # Until its first frame the lens shows the panel over an empty
        # picture, while the first tick may already have hidden the panel:
        # a click then meets the picture, not a control.
        wait_until(self.ring_drawn, "the lens drew no first frame", timeout=30)

    def ring_drawn(self):
        """Whether a frame has drawn the ring: navy over the picture, maroon
        round the control panel."""
        x, y = self.client_origin()
        top_x, top_y = ring_points(self.size)[0]
        return harness.screenshot(x + top_x, y + top_y, 1, 1).pixel(0, 0) in (NAVY, MAROON)

    def close(self):
        """Ends the program if it still runs; returns its status."""
        if self.proc.poll() is None:
            self.proc.kill()
        return self.proc.wait()

    def rect(self):
        return harness.window_rect(self.win)

    def client_origin(self):
        left, top, _, _ = self.rect()
        return left + CLIENT_OFFSET[0], top + CLIENT_OFFSET[1]

    def client_shot(self):
        x, y = self.client_origin()
        return harness.screenshot(x, y, self.size, self.size)

    def groupbox_origin(self):
        """GroupBox1's top-left on the screen (Panel1 centred in the client area)."""
        x, y = self.client_origin()
        px = self.size // 2 - PANEL1_SIZE[0] // 2
        py = self.size // 2 - PANEL1_SIZE[1] // 2
        return x + px + GROUPBOX1_AT[0], y + py + GROUPBOX1_AT[1]

    def control_point(self, rect, dx=None, dy=None):
        """A point of a GroupBox1 control on the screen (its centre by default)."""
        gx, gy = self.groupbox_origin()
        x, y, w, h = rect
        return gx + x + (w // 2 if dx is None else dx), gy + y + (h // 2 if dy is None else dy)

    def panel_showing(self):
        """Whether the control panel is up: Panel1's navy margin either side,
        the white group box and the teal Move handle."""
        gx, gy = self.groupbox_origin()
        shot = harness.screenshot(gx - 4, gy, 250, 60)
        return (
            shot.pixel(0, 50) == NAVY
            and shot.pixel(249, 50) == NAVY
            and shot.pixel(5, 1) == WHITE
            and shot.pixel(4 + MOVE_HANDLE[0] + 3, MOVE_HANDLE[1] + 3) == (0, 128, 128)
        )

    def open_panel(self, at):
        """Puts the pointer on a screen point inside the lens and waits for the
        control panel."""
        x, y = harness.pointer()
        left, top, right, bottom = self.rect()
        if not (left <= x < right and top <= y < bottom):
            # The panel may still be on the screen from before the pointer
            # left; a click now could land between the frame that hides it and
            # the one that shows it again.
            wait_until(lambda: not self.panel_showing(), "the lens kept its control panel")
        harness.move_pointer(*at)
        wait_until(self.panel_showing, "the control panel did not show")

    # Until the program has taken a click or a key, the pointer must stay on
    # the panel: a frame that finds it outside first hides the panel, and the
    # click or key then meets no control. A check box or the slider therefore
    # waits until it shows its new state.

    def click_control(self, rect):
        at = self.control_point(rect)
        self.open_panel(at)
        if rect not in CHECK_BOXES:
            harness.click(1)
            return
        ticked = self.box_ticked(rect)
        harness.click(1)
        wait_until(lambda: self.box_ticked(rect) != ticked, "the check box did not take the click")

    def box_ticked(self, rect):
        """Whether a check box shows its tick: its square is white inside
        until then."""
        gx, gy = self.groupbox_origin()
        x, y, _, h = rect
        shot = harness.screenshot(gx + x + 3, gy + y + 3, 9, h - 6)
        return any(shot.pixel(i, j) != WHITE for j in range(h - 6) for i in range(9))

    def set_zoom(self, zoom):
        """Chooses the zoom on the slider with the keyboard: Home, then Right."""
        self.open_panel(self.control_point(TRACKBAR1))
        harness.click(1)
        harness.keys("Home", *["Right"] * ZOOMS.index(zoom))
        wait_until(lambda: self.slider_zoom() == zoom, "the slider did not move to x%d" % zoom)
        self.zoom = zoom

    def slider_zoom(self):
        """The zoom whose tick lies under the middle of the slider's thumb;
        the thumb's outline alone reaches the slider's top row."""
        gx, gy = self.groupbox_origin()
        x, y, w, _ = TRACKBAR1
        shot = harness.screenshot(gx + x, gy + y, w, SLIDER_TICK_ROW + 1)
        # The slider's face is near white, its lines are darker.
        thumb = [i for i in range(w) if sum(shot.pixel(i, 0)) < 740]
        ticks = [i for i in range(w) if sum(shot.pixel(i, SLIDER_TICK_ROW)) < 740]
        if not thumb or len(ticks) != len(ZOOMS):
            return None
        middle = (thumb[0] + thumb[-1]) / 2
        return ZOOMS[min(range(len(ZOOMS)), key=lambda k: abs(ticks[k] - middle))]

    def probe_rect(self):
        s = self.size
        x, y, w, h = PROBE_PANEL
        if s > PROBE_LAYOUT_SIZE:
            x, y = x * s // PROBE_LAYOUT_SIZE, y * s // PROBE_LAYOUT_SIZE
        return x, y, w, h

    def drag_move_handle(self, dx, dy, steps=4):
        """Press on Move, move the pointer by (dx, dy) in `steps` steps, each
        awaited until the window has followed, release. Returns the window's
        rectangle before, and the pointer's last step."""
        start = self.rect()
        at = self.control_point(MOVE_HANDLE)
        self.open_panel(at)
        harness.press(1)
        try:
            x, y = at
            for i in range(1, steps + 1):
                tx, ty = at[0] + dx * i // steps, at[1] + dy * i // steps
                last = (tx - x, ty - y)
                x, y = tx, ty
                harness.move_pointer(x, y)
                want = (start[0] + x - at[0], start[1] + y - at[1])
                wait_until(lambda: self.rect()[:2] == want, "the window did not follow the pointer to %s" % (want,))
        finally:
            # A button left down would swallow the next test's clicks.
            harness.release(1)
        return start, last


def wait_until(predicate, message, timeout=SETTLE_TIMEOUT):
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            raise AssertionError(message)
        time.sleep(0.02)


class LensTestCase(unittest.TestCase):
    """One program per test class, started on the painted desktop."""

    lens_env = None
    lens_args = ()
    lens_screen = None

    @classmethod
    def setUpClass(cls):
        cls.desktop = read_ppm(os.environ["VISTREL_DESKTOP_PPM"])
        cls.lens = Lens(cls.lens_env, cls.lens_args, cls.lens_screen)
        cls.size = cls.lens.size

    @classmethod
    def tearDownClass(cls):
        cls.lens.close()

    def assertLensShows(self, name, expected, excluded=(), timeout=SETTLE_TIMEOUT):
        """Waits until the lens picture matches `expected` (a Square of client
        size) where it is checked; on failure leaves the pictures."""
        check = LensCheck(expected, self.size, excluded)
        self.assertGreater(check.count, self.size * self.size // 3, "%s: too little left to compare" % name)
        deadline = time.monotonic() + timeout
        while True:
            shot = self.lens.client_shot()
            if check.matches(shot):
                return shot
            if time.monotonic() > deadline:
                ok, report = harness.check_same(name, check.masked_expected(shot), shot)
                self.fail(report)
            time.sleep(0.03)

    def assertOverlay(self, name, shot):
        """The cross-hair (black, one pixel, half the lens long) and the navy ring."""
        s = self.size
        mid, quarter = s // 2, s // 4
        bad = []
        for k in (mid - quarter, mid - quarter // 2, mid + quarter // 2, mid + quarter - 1):
            for p in ((k, mid), (mid, k)):
                if shot.pixel(*p) != BLACK:
                    bad.append(("cross-hair", p, shot.pixel(*p)))
        for p in ring_points(s):
            if shot.pixel(*p) != NAVY:
                bad.append(("ring", p, shot.pixel(*p)))
        if bad:
            shot.save_png(os.path.join(harness.artifact_dir(), name + "-overlay-actual.png"))
        self.assertEqual(bad, [], "%s: overlay pixels wrong" % name)


def ring_points(size):
    """Client points on the ring (top, bottom, left, right): its pen is 8 wide
    around the ellipse in the box (7, 7, size-8, size-28)."""
    cx, cy = (7 + size - 8) // 2, (7 + size - 28) // 2
    return (cx, 8), (cx, size - 30), (8, cy), (size - 10, cy)


def visible(size, x, y, margin=2):
    """Whether client pixel (x, y) lies inside the window's elliptic shape,
    whose box in client coordinates is (4, 4, S-4, S-23), `margin` pixels in."""
    l, t, r, b = 4 + margin, 4 + margin, size - 4 - margin, size - 23 - margin
    u = (x + 0.5 - (l + r) / 2) / ((r - l) / 2)
    v = (y + 0.5 - (t + b) / 2) / ((b - t) / 2)
    return u * u + v * v <= 1


class Dialog:
    """A window of the program other than the lens, found by its title."""

    def __init__(self, title, timeout=SETTLE_TIMEOUT):
        self.title = title
        self.win = harness.find_window(title, timeout=timeout)
        if self.win is None:
            raise AssertionError("no window %r" % title)
        wait_until(self.shown, "%r did not show" % title)

    def shown(self):
        return self.win.get_attributes().map_state == harness.X.IsViewable

    def rect(self):
        return harness.window_rect(self.win)

    def click(self, rect, within=(0, 0), dx=None):
        """Clicks a control (x, y, w, h) of the window, or of a child at `within`."""
        left, top, _, _ = self.rect()
        x, y, w, h = rect
        harness.move_pointer(left + within[0] + x + (w // 2 if dx is None else dx), top + within[1] + y + h // 2)
        harness.click(1)

    def wait_closed(self):
        wait_until(lambda: not self.shown(), "%r did not close" % self.title)
