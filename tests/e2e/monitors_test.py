"""The real program on one X screen split into two RandR monitors side by
side, the primary one (1280 x 1024) on the left (desktop.py sets them up).

The lens takes its size and place from the primary monitor, which is also
"the screen" of the off-screen paint; the capture covers the whole desktop,
so the second monitor shows through that paint and only what lies beyond
the desktop stays white.
"""

import os
import subprocess
import unittest

import harness
from program_common import LensTestCase, desktop_square, stretched

PRIMARY = (1280, 1024)


class TwoMonitors(LensTestCase):
    lens_screen = PRIMARY

    @classmethod
    def setUpClass(cls):
        # First of all: Qt sees the two monitors, the primary at (0, 0).
        probe = subprocess.run([os.environ["VISTREL_SCREEN_CAPTURE"], "--gtest_filter=TwoMonitors.*"],
                               capture_output=True, text=True)
        if probe.returncode != 0:
            raise AssertionError("the screens are not as set up:\n" + probe.stdout + probe.stderr)
        super().setUpClass()

    def test_sized_and_placed_by_the_primary_monitor(self):
        self.assertEqual(self.size, 512)
        self.assertEqual(self.lens.rect(), (1280 - 520, 135, 1280, 135 + 539))

    def test_cursor_across_the_monitors_and_at_the_desktops_edges(self):
        width, height = harness.screen_size()
        self.assertEqual((width, height), (2560, 1024))
        # Where the cursor is, and whether its square reaches beyond the desktop.
        points = [
            ("second-monitor", (1900, 500), False),
            ("border", (1280, 800), False),
            ("last-primary-column", (1279, 800), False),
            ("second-monitor-bottom", (1900, height - 1), True),
            ("desktop-right-edge", (width - 1, 500), True),
            ("desktop-bottom-right-corner", (width - 1, height - 1), True),
            ("desktop-left-edge", (0, 500), True),
        ]
        rect = self.lens.rect()
        for name, cursor, beyond in points:
            with self.subTest(point=name):
                harness.move_pointer(*cursor)
                square = desktop_square(self.desktop, *cursor, 2, self.size, rect, screen=PRIMARY)
                # White inside the square's ellipse only beyond the desktop.
                self.assertEqual(square.offscreen_white > 0, beyond)
                self.assertLensShows(name, stretched(square, self.size))


if __name__ == "__main__":
    unittest.main(verbosity=2)
