"""The harness checked against a real X server (run through with_xvfb.sh
after `harness.py paint --ppm`)."""

import os
import select
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

import harness

# A tiny X client: a blue 200x100 window at (50, 60) that reports button
# presses on stdout and exits 0 when asked to close.
PROBE = r"""
import sys
from Xlib import X, display
d = display.Display()
s = d.screen()
w = s.root.create_window(50, 60, 200, 100, 0, s.root_depth, X.InputOutput, X.CopyFromParent,
                         background_pixel=0x0000FF, event_mask=X.ButtonPressMask)
w.set_wm_name("harness-probe")
delete = d.intern_atom("WM_DELETE_WINDOW")
w.set_wm_protocols([delete])
w.map()
d.sync()
while True:
    e = d.next_event()
    if e.type == X.ButtonPress:
        print("press", e.detail, e.event_x, e.event_y, flush=True)
    elif e.type == X.ClientMessage and e.data[1][0] == delete:
        sys.exit(0)
"""


def decode_png(data):
    """Our own writer's PNGs: 8-bit RGB, filter 0 rows; checks every CRC."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat, size = 8, b"", None
    while at < len(data):
        (length,) = struct.unpack(">I", data[at : at + 4])
        kind, body = data[at + 4 : at + 8], data[at + 8 : at + 8 + length]
        (crc,) = struct.unpack(">I", data[at + 8 + length : at + 12 + length])
        assert crc == zlib.crc32(kind + body), kind
        if kind == b"IHDR":
            size = struct.unpack(">II", body[:8])
            assert body[8:10] == b"\x08\x02"
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    w, h = size
    raw = zlib.decompress(idat)
    rows = [raw[y * (3 * w + 1) : (y + 1) * (3 * w + 1)] for y in range(h)]
    assert all(r[0] == 0 for r in rows)
    return harness.Picture(w, h, b"".join(r[1:] for r in rows))


class Desktop(unittest.TestCase):
    def setUp(self):
        with open(os.environ["VISTREL_DESKTOP_PPM"], "rb") as f:
            self.expected = harness.Picture.from_ppm(f.read())

    def test_painted_desktop_reads_back_exactly(self):
        self.assertEqual((self.expected.width, self.expected.height), harness.screen_size())
        ok, report = harness.check_same("desktop", self.expected, harness.screenshot())
        self.assertTrue(ok, report)
        # Drawing it again gives the same pixels: the desktop is deterministic.
        self.assertEqual(harness.make_desktop(*harness.screen_size()).rgb, self.expected.rgb)

    def test_desktop_holds_the_pure_colours_gradient_and_text(self):
        shot = harness.screenshot()
        for name, ((x, y, w, h), colour) in harness.SOLID_AREAS.items():
            area = shot.crop(x, y, w, h)
            self.assertEqual(area.rgb, bytes(colour) * (w * h), name)
        row = [shot.pixel(x, 0)[0] for x in range(shot.width)]
        self.assertEqual((row[0], row[-1]), (0, 255))
        self.assertEqual(row, sorted(row))
        x, y, w, h = harness.TEXT_AREA
        text = shot.crop(x, y, w, h)
        dark = sum(1 for i in range(0, len(text.rgb), 3) if max(text.rgb[i : i + 3]) < 64)
        self.assertGreater(dark, 500, "no text was drawn")

    def test_rectangle_screenshot_matches_the_whole(self):
        part = harness.screenshot(1000, 700, 24, 68)
        self.assertEqual(part.rgb, self.expected.crop(1000, 700, 24, 68).rgb)


class Pointer(unittest.TestCase):
    def test_move(self):
        for x, y in [(100, 200), (0, 0), (1023, 767)]:
            harness.move_pointer(x, y)
            self.assertEqual(harness.pointer(), (x, y))


class Windows(unittest.TestCase):
    def test_start_find_geometry_click_and_close(self):
        proc, win = harness.start_program(
            [sys.executable, "-c", PROBE], "harness-probe", timeout=20, stdout=subprocess.PIPE
        )
        try:
            self.assertEqual(harness.window_rect(win), (50, 60, 250, 160))
            self.assertIsNotNone(harness.find_window("harness-probe"))
            self.assertIsNone(harness.find_window("no such window"))
            shot = harness.screenshot(50, 60, 200, 100)
            self.assertEqual(shot.rgb, bytes((0, 0, 255)) * (200 * 100))
            harness.move_pointer(60, 75)
            harness.click(1)
            ready, _, _ = select.select([proc.stdout], [], [], 10)
            self.assertTrue(ready, "the click never reached the window")
            self.assertEqual(proc.stdout.readline().split(), [b"press", b"1", b"10", b"15"])
            harness.close_window(win)
            self.assertEqual(proc.wait(timeout=10), 0)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
            proc.stdout.close()


class Artifacts(unittest.TestCase):
    def test_failed_check_leaves_pictures_that_decode(self):
        expected = harness.screenshot(0, 0, 40, 30)
        actual = harness.Picture(40, 30, expected.rgb)
        actual.fill(5, 7, 1, 1, (1, 2, 3))
        with tempfile.TemporaryDirectory() as tmp:
            old = os.environ.get("VISTREL_E2E_ARTIFACTS")
            os.environ["VISTREL_E2E_ARTIFACTS"] = tmp
            try:
                ok, report = harness.check_same("corner", expected, actual)
            finally:
                if old is None:
                    del os.environ["VISTREL_E2E_ARTIFACTS"]
                else:
                    os.environ["VISTREL_E2E_ARTIFACTS"] = old
            self.assertFalse(ok)
            self.assertIn("1 pixels differ", report)
            self.assertIn("(5, 7,", report)
            with open(os.path.join(tmp, "corner-actual.png"), "rb") as f:
                self.assertEqual(decode_png(f.read()).rgb, actual.rgb)
            self.assertTrue(os.path.exists(os.path.join(tmp, "corner-screen.png")))


if __name__ == "__main__":
    unittest.main(verbosity=2)
