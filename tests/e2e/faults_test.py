"""Close requests the real program meets at awkward moments, on Xvfb with no
window manager: while "Setup Your Vision" is up (the request is refused, as
for any window a modal dialog blocks, and the lens keeps running), and while
every frame stage is busy.

Runs under vistrel_add_e2e_test; the program comes from $VISTREL_EXE.
"""

import time
import unittest

import harness
from program_common import (
    CLOSE_BUTTON,
    SETUP_TITLE,
    SETUP_VISION,
    SMOOTH_BOX,
    Dialog,
    SETTLE_TIMEOUT,
    LensCheck,
    LensTestCase,
    desktop_square,
    stretched,
)

EXIT_TIMEOUT = 30  # seconds; generous for the instrumented build


class CloseRequestUnderTheSetupDialog(LensTestCase):
    def lens_follows(self, name, cx, cy, dialog):
        """The lens shows the square around (cx, cy) where the dialog does not
        cover it."""
        harness.move_pointer(cx, cy)
        ox, oy = self.lens.client_origin()
        dl, dt, dr, db = dialog.rect()
        covered = (dl - ox, dt - oy, dr - dl, db - dt)
        expected = stretched(desktop_square(self.desktop, cx, cy, 2, self.size), self.size)
        check = LensCheck(expected, self.size, excluded=[covered])
        self.assertGreater(check.count, 10000, "%s: the dialog hides too much of the lens" % name)
        deadline = time.monotonic() + SETTLE_TIMEOUT
        while not check.matches(self.lens.client_shot()):
            if time.monotonic() > deadline:
                shot = self.lens.client_shot()
                self.fail(harness.check_same(name, check.masked_expected(shot), shot)[1])
            time.sleep(0.03)

    def test_close_is_refused_while_the_dialog_is_up_and_ends_the_program_after(self):
        self.lens.click_control(SETUP_VISION)
        dialog = Dialog(SETUP_TITLE)
        self.lens_follows("before-close-request", 200, 400, dialog)

        harness.close_window(self.lens.win)
        time.sleep(1.0)
        self.assertIsNone(
            self.lens.proc.poll(),
            "a close request to the lens, blocked by the modal setup dialog, ended the program",
        )
        self.assertTrue(dialog.shown(), "the setup dialog went away with the close request")
        self.assertEqual(
            self.lens.win.get_attributes().map_state, harness.X.IsViewable, "the lens window was hidden"
        )
        # Still a running lens: it follows the pointer under the dialog.
        self.lens_follows("after-refused-close", 300, 500, dialog)

        dialog.click(CLOSE_BUTTON)
        dialog.wait_closed()
        self.assertIsNone(self.lens.proc.poll())
        harness.move_pointer(150, 450)
        time.sleep(0.2)
        harness.close_window(self.lens.win)
        self.assertEqual(self.lens.proc.wait(timeout=EXIT_TIMEOUT), 0)


class CloseRequestWhileEveryStageRuns(LensTestCase):
    def test_close_request_during_smoothed_frames_ends_with_status_0(self):
        self.lens.click_control(SMOOTH_BOX)
        harness.move_pointer(120, 420)
        # Frames of the smoothed lens keep coming; the request lands among them.
        time.sleep(0.5)
        for step in range(20):
            harness.move_pointer(120 + step * 7, 420)
        harness.close_window(self.lens.win)
        self.assertEqual(self.lens.proc.wait(timeout=EXIT_TIMEOUT), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
