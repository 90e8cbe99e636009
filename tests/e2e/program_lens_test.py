"""The lens on a real X server: where it starts, its shape, and what it shows
at every zoom chosen on the slider."""

import unittest

import harness
from program_common import ZOOMS, LensTestCase, desktop_square, stretched

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


if __name__ == "__main__":
    unittest.main(verbosity=2)
