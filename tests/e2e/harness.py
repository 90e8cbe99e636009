"""End-to-end test harness: a known desktop on a real X server, and the means
to drive and inspect programs on it.

Meant to run under with_xvfb.sh (no window manager). Needs python3-xlib,
xdotool and ImageMagick's convert (for the text of the test desktop).

    python3 harness.py paint [--ppm FILE] [-- CMD ARGS...]
        paints the test desktop on the root window, optionally writes its
        pixels to FILE (binary PPM) and then runs CMD with
        VISTREL_DESKTOP_PPM=FILE, returning its status.
    python3 harness.py screenshot FILE.png
"""

import os
import struct
import subprocess
import sys
import time
import zlib

from Xlib import X, Xatom, display
from Xlib.protocol import event

FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


# --- pictures ----------------------------------------------------------------


class Picture:
    """Pixels as R,G,B bytes, row after row."""

    def __init__(self, width, height, rgb=None):
        self.width, self.height = width, height
        self.rgb = bytearray(rgb) if rgb is not None else bytearray(3 * width * height)
        assert len(self.rgb) == 3 * width * height

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.rgb[i : i + 3])

    def fill(self, x, y, w, h, colour):
        """Fills a rectangle, clipped to the picture."""
        x0, y0 = max(x, 0), max(y, 0)
        x1, y1 = min(x + w, self.width), min(y + h, self.height)
        if x0 >= x1:
            return
        run = bytes(colour) * (x1 - x0)
        for row in range(y0, y1):
            i = 3 * (row * self.width + x0)
            self.rgb[i : i + len(run)] = run

    def paste(self, other, x, y):
        """Copies another picture in at (x, y), clipped."""
        for row in range(other.height):
            ty = y + row
            if not 0 <= ty < self.height:
                continue
            x0, x1 = max(x, 0), min(x + other.width, self.width)
            if x0 >= x1:
                continue
            src = 3 * (row * other.width + (x0 - x))
            dst = 3 * (ty * self.width + x0)
            self.rgb[dst : dst + 3 * (x1 - x0)] = other.rgb[src : src + 3 * (x1 - x0)]

    def crop(self, x, y, w, h):
        """The rectangle (x, y, w, h); it must lie inside the picture."""
        assert 0 <= x and 0 <= y and x + w <= self.width and y + h <= self.height
        out = Picture(w, h)
        for row in range(h):
            src = 3 * ((y + row) * self.width + x)
            out.rgb[3 * row * w : 3 * (row + 1) * w] = self.rgb[src : src + 3 * w]
        return out

    def to_ppm(self):
        return b"P6\n%d %d\n255\n" % (self.width, self.height) + bytes(self.rgb)

    @staticmethod
    def from_ppm(data):
        # Header: magic, width, height, maxval, each followed by one whitespace.
        fields, at = [], 0
        while len(fields) < 4:
            while data[at : at + 1].isspace():
                at += 1
            if data[at : at + 1] == b"#":
                at = data.index(b"\n", at) + 1
                continue
            end = at
            while not data[end : end + 1].isspace():
                end += 1
            fields.append(data[at:end])
            at = end
        if fields[0] != b"P6" or fields[3] != b"255":
            raise ValueError("not an 8-bit binary PPM")
        w, h = int(fields[1]), int(fields[2])
        return Picture(w, h, data[at + 1 : at + 1 + 3 * w * h])

    def to_png(self):
        """An 8-bit RGB PNG, unfiltered rows."""

        def chunk(kind, body):
            return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

        stride = 3 * self.width
        raw = b"".join(b"\0" + bytes(self.rgb[y * stride : (y + 1) * stride]) for y in range(self.height))
        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        return (
            b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 6))
            + chunk(b"IEND", b"")
        )

    def save_png(self, path):
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        with open(path, "wb") as f:
            f.write(self.to_png())


def differences(expected, actual, limit=10):
    """(count, first few (x, y, expected, actual)) of pixels that differ."""
    if (expected.width, expected.height) != (actual.width, actual.height):
        raise ValueError(
            "sizes differ: %dx%d and %dx%d" % (expected.width, expected.height, actual.width, actual.height)
        )
    count, first = 0, []
    if expected.rgb == actual.rgb:
        return 0, first
    for y in range(expected.height):
        row = slice(3 * y * expected.width, 3 * (y + 1) * expected.width)
        if expected.rgb[row] == actual.rgb[row]:
            continue
        for x in range(expected.width):
            a, b = expected.pixel(x, y), actual.pixel(x, y)
            if a != b:
                count += 1
                if len(first) < limit:
                    first.append((x, y, a, b))
    return count, first


# --- the test desktop --------------------------------------------------------

# Named areas of the desktop: (x, y, width, height) and their one colour.
SOLID_AREAS = {
    "red": ((32, 48, 96, 96), (255, 0, 0)),
    "green": ((144, 48, 96, 96), (0, 255, 0)),
    "blue": ((256, 48, 96, 96), (0, 0, 255)),
    "grey": ((368, 48, 96, 96), (128, 128, 128)),
}
BLOCK_COLOURS = [
    (255, 255, 0),
    (255, 0, 255),
    (0, 255, 255),
    (255, 128, 0),
    (0, 0, 128),
    (0, 128, 128),
    (128, 0, 0),
    (255, 255, 255),
]
BLOCKS_TOP, BLOCK_SIZE, BLOCK_PITCH = 160, 64, 72
GRADIENT_ROWS = 32  # rows 0..31: black to white, left to right
TEXT_AREA = (32, 240, 640, 80)
TEXT_LINES = ["Vistrel test desktop", "0123456789 AaBbCc"]


def _texture_row(y, width):
    """The background: a different colour at every nearby pixel, so that a
    capture off by one pixel anywhere shows."""
    row = bytearray(3 * width)
    row[0::3] = bytes((3 * x) & 255 for x in range(width))
    row[1::3] = bytes([(5 * y) & 255]) * width
    row[2::3] = bytes((x ^ y) & 255 for x in range(width))
    return row


def _render_text(w, h):
    out = subprocess.run(
        ["convert", "-size", "%dx%d" % (w, h), "xc:white", "-font", FONT, "-pointsize", "30",
         "-fill", "black", "-annotate", "+12+34", TEXT_LINES[0],
         "-fill", "#000080", "-annotate", "+12+70", TEXT_LINES[1],
         "-depth", "8", "ppm:-"],
        check=True,
        capture_output=True,
    ).stdout
    return Picture.from_ppm(out)


def make_desktop(width, height):
    """The test desktop as a Picture; the same for the same size every time."""
    pic = Picture(width, height)
    for y in range(height):
        pic.rgb[3 * y * width : 3 * (y + 1) * width] = _texture_row(y, width)
    grad = bytearray(3 * width)
    for x in range(width):
        v = x * 255 // max(width - 1, 1)
        grad[3 * x : 3 * x + 3] = bytes((v, v, v))
    for y in range(min(GRADIENT_ROWS, height)):
        pic.rgb[3 * y * width : 3 * (y + 1) * width] = grad
    for (x, y, w, h), colour in SOLID_AREAS.values():
        pic.fill(x, y, w, h, colour)
    for i, colour in enumerate(BLOCK_COLOURS):
        pic.fill(32 + i * BLOCK_PITCH, BLOCKS_TOP, BLOCK_SIZE, BLOCK_SIZE, colour)
    x, y, w, h = TEXT_AREA
    pic.paste(_render_text(w, h), x, y)
    return pic


# --- the X server ------------------------------------------------------------

_display = None


def x_display():
    global _display
    if _display is None:
        _display = display.Display()
    return _display


def screen_size():
    s = x_display().screen()
    return s.width_in_pixels, s.height_in_pixels


def paint_root(picture):
    """Makes the picture the root window's background (32-bit BGRX server)."""
    d = x_display()
    s = d.screen()
    root = s.root
    w, h = picture.width, picture.height
    bgrx = bytearray(4 * w * h)
    bgrx[0::4], bgrx[1::4], bgrx[2::4] = picture.rgb[2::3], picture.rgb[1::3], picture.rgb[0::3]
    pixmap = root.create_pixmap(w, h, s.root_depth)
    gc = pixmap.create_gc()
    rows = max(1, 200000 // (4 * w))  # stay under the core protocol's request size
    for y in range(0, h, rows):
        n = min(rows, h - y)
        pixmap.put_image(gc, 0, y, w, n, X.ZPixmap, s.root_depth, 0, bytes(bgrx[4 * w * y : 4 * w * (y + n)]))
    root.change_attributes(background_pixmap=pixmap)
    # A compositor paints the desktop from the pixmap these name, which must
    # then live as long as this client (the command that `paint` runs).
    for name in ("_XROOTPMAP_ID", "ESETROOT_PMAP_ID"):
        root.change_property(d.intern_atom(name), Xatom.PIXMAP, 32, [pixmap.id])
    root.clear_area(0, 0, 0, 0)
    gc.free()
    d.sync()


def screenshot(x=0, y=0, w=None, h=None):
    """The screen's pixels (all of them, or the rectangle given)."""
    sw, sh = screen_size()
    w = sw - x if w is None else w
    h = sh - y if h is None else h
    img = x_display().screen().root.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF)
    data = img.data
    pic = Picture(w, h)
    pic.rgb[0::3], pic.rgb[1::3], pic.rgb[2::3] = data[2::4], data[1::4], data[0::4]
    return pic


# --- pointer -----------------------------------------------------------------


def pointer():
    p = x_display().screen().root.query_pointer()
    return p.root_x, p.root_y


def move_pointer(x, y, timeout=5.0):
    subprocess.run(["xdotool", "mousemove", str(x), str(y)], check=True)
    deadline = time.monotonic() + timeout
    while pointer() != (x, y):
        if time.monotonic() > deadline:
            raise TimeoutError("pointer did not reach %d,%d" % (x, y))
        time.sleep(0.01)


def click(button=1):
    subprocess.run(["xdotool", "click", str(button)], check=True)


def press(button=1):
    subprocess.run(["xdotool", "mousedown", str(button)], check=True)


def release(button=1):
    subprocess.run(["xdotool", "mouseup", str(button)], check=True)


def keys(*names):
    """Presses and releases the keys (X keysym names) one after the other."""
    subprocess.run(["xdotool", "key", "--delay", "20", *names], check=True)


# --- windows -----------------------------------------------------------------


def _names(win):
    names = []
    try:
        n = win.get_wm_name()
        if n:
            names.append(n if isinstance(n, str) else n.decode("latin-1"))
        d = x_display()
        prop = win.get_full_property(d.intern_atom("_NET_WM_NAME"), d.intern_atom("UTF8_STRING"))
        if prop:
            names.append(bytes(prop.value).decode("utf-8", "replace"))
    except Exception:  # the window went away while we looked
        pass
    return names


def find_window(name, timeout=0.0):
    """The first window (depth first from the root) titled `name`, or None."""
    deadline = time.monotonic() + timeout
    while True:
        stack = [x_display().screen().root]
        while stack:
            win = stack.pop()
            if name in _names(win):
                return win
            try:
                stack.extend(reversed(win.query_tree().children))
            except Exception:
                pass
        if time.monotonic() >= deadline:
            return None
        time.sleep(0.05)


def window_rect(win):
    """The outer rectangle (left, top, right, bottom) in root coordinates of
    the top-level window that holds `win` (right and bottom exclusive)."""
    root = x_display().screen().root
    top = win
    while True:
        parent = top.query_tree().parent
        if parent == root or parent == 0:
            break
        top = parent
    g = top.get_geometry()
    pos = top.translate_coords(root, 0, 0)  # root's origin in top's coordinates
    left, upper = -pos.x - g.border_width, -pos.y - g.border_width
    return (left, upper, left + g.width + 2 * g.border_width, upper + g.height + 2 * g.border_width)


def close_window(win):
    """Asks the window to close, as a window manager's close button does."""
    d = x_display()
    protocols, delete = d.intern_atom("WM_PROTOCOLS"), d.intern_atom("WM_DELETE_WINDOW")
    msg = event.ClientMessage(window=win, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    win.send_event(msg, event_mask=X.NoEventMask)
    d.sync()


def request_close(win):
    """Asks the window manager to close the window (_NET_CLOSE_WINDOW, as a
    pager or taskbar does); the manager then asks the window itself."""
    d = x_display()
    root = d.screen().root
    msg = event.ClientMessage(window=win, client_type=d.intern_atom("_NET_CLOSE_WINDOW"),
                              data=(32, [X.CurrentTime, 2, 0, 0, 0]))
    root.send_event(msg, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
    d.sync()


def activate_window(win):
    """Asks the window manager to raise and focus the window
    (_NET_ACTIVE_WINDOW from a pager, which managers obey)."""
    d = x_display()
    root = d.screen().root
    msg = event.ClientMessage(window=win, client_type=d.intern_atom("_NET_ACTIVE_WINDOW"),
                              data=(32, [2, X.CurrentTime, 0, 0, 0]))
    root.send_event(msg, event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask)
    d.sync()


def start_program(argv, window_name, timeout=20.0, **popen_args):
    """Starts argv (subprocess.Popen with popen_args) and waits until its
    window titled window_name is mapped. Returns (process, window)."""
    proc = subprocess.Popen(argv, **popen_args)
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        win = find_window(window_name)
        if win is not None and win.get_attributes().map_state == X.IsViewable:
            return proc, win
        if proc.poll() is not None:
            raise RuntimeError("%s exited with %d before showing its window" % (argv[0], proc.returncode))
        time.sleep(0.05)
    proc.kill()
    proc.wait()
    raise TimeoutError("no window %r within %.0f s" % (window_name, timeout))


# --- checks ------------------------------------------------------------------


def stop_processes(procs):
    """Terminates the processes, newest first, killing any that linger."""
    for proc in reversed(procs):
        proc.terminate()
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def artifact_dir():
    return os.environ.get("VISTREL_E2E_ARTIFACTS", os.path.join(os.getcwd(), "e2e-artifacts"))


def check_same(name, expected, actual):
    """True when the two pictures are equal; otherwise saves both (and a full
    screenshot) under artifact_dir() and returns False with a report."""
    count, first = differences(expected, actual)
    if count == 0:
        return True, ""
    base = os.path.join(artifact_dir(), name)
    expected.save_png(base + "-expected.png")
    actual.save_png(base + "-actual.png")
    screenshot().save_png(base + "-screen.png")
    report = "%s: %d pixels differ, first %s; pictures in %s-*.png" % (name, count, first, base)
    return False, report


def _main(args):
    if args[:1] == ["screenshot"] and len(args) == 2:
        screenshot().save_png(args[1])
        return 0
    if args[:1] == ["paint"]:
        rest = args[1:]
        ppm, command = None, []
        if "--" in rest:
            command = rest[rest.index("--") + 1 :]
            rest = rest[: rest.index("--")]
        if rest[:1] == ["--ppm"] and len(rest) == 2:
            ppm = rest[1]
        elif rest:
            print(__doc__, file=sys.stderr)
            return 2
        pic = make_desktop(*screen_size())
        paint_root(pic)
        env = dict(os.environ)
        if ppm:
            os.makedirs(os.path.dirname(os.path.abspath(ppm)), exist_ok=True)
            with open(ppm, "wb") as f:
                f.write(pic.to_ppm())
            env["VISTREL_DESKTOP_PPM"] = os.path.abspath(ppm)
        if command:
            return subprocess.run(command, env=env).returncode
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(_main(sys.argv[1:]))
