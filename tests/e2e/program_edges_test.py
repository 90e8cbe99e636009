"""The lens with the cursor at the corners and edges of the screen: the part
of the square beyond the screen shows white inside the ellipse, and nothing
breaks. The lens is moved out of the way with its Move handle where it would
sit under the cursor."""

import unittest

import harness
from program_common import LensTestCase, desktop_square, stretched


class Edges(LensTestCase):
    def points(self):
        w, h = self.lens.screen
        return {
            "top-left": (0, 0), "top": (w // 2, 0), "top-right": (w - 1, 0),
            "left": (0, h // 2), "right": (w - 1, h // 2),
            "bottom-left": (0, h - 1), "bottom": (w // 2, h - 1), "bottom-right": (w - 1, h - 1),
        }

    def check_points(self, names, zoom):
        rect = self.lens.rect()
        for name in names:
            cursor = self.points()[name]
            with self.subTest(point=name, zoom=zoom):
                harness.move_pointer(*cursor)
                square = desktop_square(self.desktop, *cursor, zoom, self.size, rect)
                # A quarter of the square (at a corner) or half of it (at an
                # edge) lies off the screen, most of it inside the ellipse.
                self.assertGreater(square.offscreen_white, square.picture.width ** 2 // 6)
                self.assertLensShows("%s-zoom%d" % (name, zoom), stretched(square, self.size))
                self.assertIsNone(self.lens.proc.poll(), "the program ended")

    def test_corners_and_edges(self):
        left, top, right, bottom = self.lens.rect()
        in_the_way = [n for n, (x, y) in self.points().items() if left <= x < right and top <= y < bottom]
        self.assertEqual(in_the_way, ["right"])
        free = [n for n in self.points() if n not in in_the_way]
        for zoom in (2, 8):
            self.lens.set_zoom(zoom)
            self.check_points(free, zoom)
        # Out of the way to the left, then the right edge's middle.
        self.lens.drag_move_handle(-self.lens.screen[0] // 3, 0)
        left, top, right, bottom = self.lens.rect()
        x, y = self.points()["right"]
        self.assertFalse(left <= x < right and top <= y < bottom)
        for zoom in (8, 2):
            self.lens.set_zoom(zoom)
            self.check_points(["right", "top-right", "bottom-right"], zoom)


if __name__ == "__main__":
    unittest.main(verbosity=2)
