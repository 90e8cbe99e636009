"""The lens's optional stages on a real X server: Smooth, the colour probe,
and the colour modes of the "Setup Your Vision" dialog, each compared with
what vistrel-filter does to the same square of the desktop."""

import unittest

import harness
from program_common import (
    HIGH_LEVEL, COLOUR_GROUP_AT, NORMAL_BUTTON, PROBE_BOX, RED, RED_GREEN_BOX, SETUP_TITLE, SETUP_VISION,
    SIMULATION_BUTTON, SMOOTH_BOX, SWATCH, WHITE, ZOOMS, Dialog, LensTestCase, Square, desktop_square,
    filtered, one_to_one, plain_crop, stretched, visible,
)

# Over the colour blocks (magenta, cyan, orange: reds and greens mixed) and
# texture; the square at zoom 2 stays on a 1920-pixel screen.
COLOUR_CURSOR = (200, 200)
# The middle of the pure red area.
RED_CENTRE = (80, 96)


class Stages(LensTestCase):
    def show(self, cursor, zoom):
        if self.lens.zoom != zoom:
            self.lens.set_zoom(zoom)
        harness.move_pointer(*cursor)

    def test_smooth_enlargement_is_the_filters(self):
        # Zooms whose square the capture fills completely (the filter has no
        # stale column to imitate).
        zooms = [z for z in ZOOMS if int(self.size / z) == 2 * (self.size // (2 * z))]
        self.lens.click_control(SMOOTH_BOX)
        try:
            for zoom in zooms:
                with self.subTest(zoom=zoom):
                    self.show(COLOUR_CURSOR, zoom)
                    square = plain_crop(self.desktop, *COLOUR_CURSOR, zoom, self.size)
                    smooth = filtered(square, "--smooth", str(zoom))
                    self.assertEqual(smooth.width, zoom * (square.width - 1) + 1)
                    self.assertLensShows("smooth%d" % zoom, one_to_one(smooth, self.size))
        finally:
            self.lens.click_control(SMOOTH_BOX)
        # Unticked: blocks again.
        self.show(COLOUR_CURSOR, zooms[-1])
        square = desktop_square(self.desktop, *COLOUR_CURSOR, zooms[-1], self.size)
        self.assertLensShows("smooth-off", stretched(square, self.size))

    def test_colour_probe_over_pure_red(self):
        self.show(RED_CENTRE, 2)
        self.lens.click_control(PROBE_BOX)
        probe = self.lens.probe_rect()
        try:
            harness.move_pointer(*RED_CENTRE)
            # The lens around the probe box is the plain one.
            expected = stretched(desktop_square(self.desktop, *RED_CENTRE, 2, self.size), self.size)
            px, py, pw, ph = probe
            shot = self.assertLensShows("probe-lens", expected, excluded=[(px - 1, py - 1, pw + 2, ph + 2)])
            # The swatch is pure red where the window's shape lets it show, and
            # the box's white face shows right of it.
            sx, sy, sw, sh = SWATCH
            swatch = [
                shot.pixel(px + x, py + y)
                for y in range(sy + 2, sy + sh - 2)
                for x in range(sx + 2, sx + sw - 2)
                if visible(self.size, px + x, py + y)
            ]
            self.assertGreater(len(swatch), 300)
            self.assertEqual(set(swatch), {RED})
            face = {shot.pixel(px + x, py + y) for y in range(sy + 4, sy + sh - 2) for x in (sw + 2, sw + 4)}
            self.assertEqual(face, {WHITE})
        finally:
            self.lens.click_control(PROBE_BOX)
        harness.move_pointer(*RED_CENTRE)
        self.assertLensShows("probe-off", expected)

    def choose(self, rect, within=(0, 0), dx=None):
        """Opens "Setup Your Vision", clicks one of its controls, and waits
        for the dialog to close."""
        self.lens.click_control(SETUP_VISION)
        dialog = Dialog(SETUP_TITLE)
        self.assertEqual(dialog.rect()[:2], (592, 284))
        dialog.click(rect, within, dx)
        dialog.wait_closed()

    def test_vision_modes_are_the_filters(self):
        zoom = 4
        self.show(COLOUR_CURSOR, zoom)
        square = plain_crop(self.desktop, *COLOUR_CURSOR, zoom, self.size)
        steps = [
            ("simulate", SIMULATION_BUTTON, (0, 0), None, ["--colour", "simulate"]),
            # Ticking the box selects "Low Level", which closes the dialog.
            ("low", RED_GREEN_BOX, COLOUR_GROUP_AT, 8, ["--colour", "low"]),
            ("high", HIGH_LEVEL, COLOUR_GROUP_AT, 8, ["--colour", "high"]),
            ("normal", NORMAL_BUTTON, (0, 0), None, []),
        ]
        for name, rect, within, dx, options in steps:
            with self.subTest(mode=name):
                self.choose(rect, within, dx)
                harness.move_pointer(*COLOUR_CURSOR)
                picture = filtered(square, *options) if options else square
                self.assertNotEqual(bool(options), picture.rgb == square.rgb)
                self.assertLensShows("colour-" + name, stretched(Square(picture), self.size))


if __name__ == "__main__":
    unittest.main(verbosity=2)
