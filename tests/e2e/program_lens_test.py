"""The lens on a real X server: where it starts, its shape, what it shows
at every zoom chosen on the slider, and its layout at the desktop's font
resolution."""

import os
import subprocess
import unittest

import harness
from program_common import NAVY, PANEL1_SIZE, ZOOMS, LensTestCase, desktop_square, stretched, wait_until

# Over the blocks, the text and the textured background; the square lies on
# the screen and clear of the lens at every zoom on both screen sizes.
CURSOR = (250, 230)


class Lens(LensTestCase):
    def test_starts_against_the_right_edge_below_the_top(self):
        width, _ = self.lens.screen
        s = self.size
        self.assertEqual(self.lens.rect(), (width - (s + 8), 135, width, 135 + s + 27))

    def test_only_the_ellipse_shows(self):
        # Just inside the outer corners and the caption strip, the desktop
        # shows through; the ellipse's centre is the lens's.
        left, top, right, bottom = self.lens.rect()
        harness.move_pointer(*CURSOR)
        shot = harness.screenshot()
        for x, y in [(left + 1, top + 1), (right - 2, top + 1), (left + 1, bottom - 2), (right - 2, bottom - 2),
                     ((left + right) // 2, top + 10)]:
            self.assertEqual(shot.pixel(x, y), self.desktop.pixel(x, y), (x, y))

    def test_every_zoom_shows_the_square_around_the_cursor(self):
        for zoom in ZOOMS:
            with self.subTest(zoom=zoom):
                self.lens.set_zoom(zoom)
                harness.move_pointer(*CURSOR)
                square = desktop_square(self.desktop, *CURSOR, zoom, self.size)
                shot = self.assertLensShows("zoom%d" % zoom, stretched(square, self.size))
                self.assertOverlay("zoom%d" % zoom, shot)

    def test_the_lens_follows_the_cursor(self):
        self.lens.set_zoom(4)
        for cursor in [(120, 100), (400, 500)]:
            with self.subTest(cursor=cursor):
                harness.move_pointer(*cursor)
                square = desktop_square(self.desktop, *cursor, 4, self.size)
                self.assertLensShows("follow%d-%d" % cursor, stretched(square, self.size))

    def test_a_still_lens_shows_what_changes_under_it(self):
        # The pointer stays put while a window opens over part of the square
        # and is drawn on: each change shows, and so does the desktop again
        # once the window has gone.
        harness.move_pointer(*CURSOR)
        zoom = self.lens.zoom
        plain = stretched(desktop_square(self.desktop, *CURSOR, zoom, self.size), self.size)
        self.assertLensShows("still-before", plain)
        x, y, w, h = CURSOR[0] - 30, CURSOR[1] - 20, 50, 40
        d = harness.x_display()
        s = d.screen()
        win = s.root.create_window(x, y, w, h, 0, s.root_depth, background_pixel=0x00C08040,
                                   override_redirect=True)
        try:
            changed = harness.Picture(self.desktop.width, self.desktop.height, self.desktop.rgb)
            win.map()
            d.sync()
            changed.fill(x, y, w, h, (0xC0, 0x80, 0x40))
            square = desktop_square(changed, *CURSOR, zoom, self.size)
            self.assertLensShows("still-window", stretched(square, self.size))
            gc = win.create_gc(foreground=0x002060A0)
            win.fill_rectangle(gc, 10, 5, 20, 15)
            d.sync()
            changed.fill(x + 10, y + 5, 20, 15, (0x20, 0x60, 0xA0))
            square = desktop_square(changed, *CURSOR, zoom, self.size)
            self.assertLensShows("still-drawn", stretched(square, self.size))
        finally:
            win.destroy()
            d.sync()
        self.assertLensShows("still-after", plain)


class CommandLine(LensTestCase):
    """The program reads no command line, and Qt gets none of it either."""

    lens_args = ("-reverse", "-platform", "offscreen", "--help", "-style", "fusion", "-geometry", "100x100+0+0")

    def test_arguments_change_nothing(self):
        # On the X server, at its place, magnifying, with its panel laid out
        # left to right (the teal Move handle at the left).
        width, _ = self.lens.screen
        s = self.size
        self.assertEqual(self.lens.rect(), (width - (s + 8), 135, width, 135 + s + 27))
        harness.move_pointer(*CURSOR)
        square = desktop_square(self.desktop, *CURSOR, 2, self.size)
        self.assertLensShows("arguments", stretched(square, self.size))
        self.lens.open_panel(self.lens.control_point((0, 0, 4, 4)))
        self.assertIsNone(self.lens.proc.poll())


class LensAtTwiceTheFontResolution(LensTestCase):
    """The desktop sets Xft.dpi to 192: the control panel is laid out at twice
    its size and centred in a lens of the usual size."""

    @classmethod
    def setUpClass(cls):
        subprocess.run(["xrdb", "-nocpp", "-merge"], input=b"Xft.dpi: 192\n", check=True)
        try:
            super().setUpClass()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if hasattr(cls, "lens"):
            super().tearDownClass()
        subprocess.run(["xrdb", "-nocpp", "-remove"], check=True)

    def navy_extent(self, shot, points):
        """The first and last navy pixel along `points`."""
        navy = [p for p in points if shot.pixel(*p) == NAVY]
        return (navy[0], navy[-1]) if navy else None

    def test_the_control_panel_is_scaled_and_centred(self):
        s = self.size
        w, h = 2 * PANEL1_SIZE[0], 2 * PANEL1_SIZE[1]
        if s < w + 4:
            self.skipTest("the scaled panel is wider than a %d-pixel lens" % s)
        left, top = s // 2 - w // 2, s // 2 - h // 2
        # The pointer on the lens, off the panel: the panel shows.
        x0, y0 = self.lens.client_origin()
        harness.move_pointer(x0 + left // 2, y0 + s // 2)
        # Along a row through the panel and a column down its left margin (16
        # pixels at 192 dpi), the navy runs from bevel to bevel, one pixel in
        # from each edge.
        row = [(x, top + 100) for x in range(s)]
        column = [(left + 8, y) for y in range(s - 23)]
        want = (((left + 1, top + 100), (left + w - 2, top + 100)), ((left + 8, top + 1), (left + 8, top + h - 2)))
        seen = []

        def matches():
            shot = self.lens.client_shot()
            seen[:] = [self.navy_extent(shot, row), self.navy_extent(shot, column)]
            return tuple(seen) == want

        try:
            wait_until(matches, "")
        except AssertionError:
            self.lens.client_shot().save_png(os.path.join(harness.artifact_dir(), "panel-192dpi-actual.png"))
            self.fail("navy from %s along the row and %s down the column, want %s and %s" % (*seen, *want))


if __name__ == "__main__":
    unittest.main(verbosity=2)
