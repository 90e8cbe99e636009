"""The installed program (/usr/bin/vistrel, $VISTREL_EXE) on Xvfb over the
test desktop: the lens at the right edge with its cross-hair and navy ring,
showing the desktop, its help found in the installed data folder, and a close
request ending it with status 0. Run by deb_roundtrip.sh."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

import harness  # noqa: E402
from program_common import HELP_BUTTON, LensTestCase, desktop_square, stretched, wait_until  # noqa: E402

E2E = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e")
RECORD = os.path.join(tempfile.mkdtemp(prefix="vistrel-help-"), "opened")
CURSOR = (250, 230)


class InstalledLens(LensTestCase):
    lens_env = {
        "VISTREL_HELP_LAUNCHER": os.path.join(E2E, "program_help_launcher.sh"),
        "VISTREL_HELP_RECORD": RECORD,
    }

    def test_1_lens_at_the_right_edge_with_cross_hair_and_ring(self):
        width, _ = self.lens.screen
        s = self.size
        self.assertEqual(self.lens.rect(), (width - (s + 8), 135, width, 135 + s + 27))
        harness.move_pointer(*CURSOR)
        square = desktop_square(self.desktop, *CURSOR, 2, s)
        shot = self.assertLensShows("installed-lens", stretched(square, s))
        self.assertOverlay("installed-lens", shot)

    def test_2_help_opens_the_installed_guide(self):
        self.lens.click_control(HELP_BUTTON)
        wait_until(lambda: os.path.exists(RECORD), "the help launcher was not called")
        with open(RECORD) as f:
            self.assertEqual(f.read().rstrip("\n"), "/usr/share/vistrel/Help/VISTREL_HELP.html")

    def test_3_close_request_ends_with_status_0(self):
        harness.move_pointer(*CURSOR)
        harness.close_window(self.lens.win)
        self.assertEqual(self.lens.proc.wait(timeout=10), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
