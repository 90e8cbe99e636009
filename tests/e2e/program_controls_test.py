"""The lens's controls on a real X server: the Move handle, About Program,
Help, and the two ways of ending."""

import os
import tempfile
import time
import unittest

import harness
from program_common import (
    ABOUT_BUTTON, ABOUT_CLOSE, ABOUT_TITLE, EXIT_BUTTON, HELP_BUTTON, WHITE, Dialog, LensTestCase,
    desktop_square, stretched, wait_until,
)

HERE = os.path.dirname(os.path.abspath(__file__))
RECORD = os.path.join(tempfile.mkdtemp(prefix="vistrel-help-"), "opened")


class Controls(LensTestCase):
    lens_env = {
        "VISTREL_HELP_LAUNCHER": os.path.join(HERE, "program_help_launcher.sh"),
        "VISTREL_HELP_RECORD": RECORD,
    }

    def test_move_handle_drags_the_window(self):
        start, last = self.lens.drag_move_handle(-300, 40)
        # Each motion moved the window with the pointer (checked on the way);
        # the release moves it once more by the last motion's offset.
        moved = (-300 + last[0], 40 + last[1])
        wait_until(lambda: self.lens.rect()[:2] == (start[0] + moved[0], start[1] + moved[1]),
                   "the window is at %s after the drag, not at %s" % (self.lens.rect(), (start[0] + moved[0], start[1] + moved[1])))
        # Then it goes on magnifying, from its new place.
        cursor = (150, 150)
        harness.move_pointer(*cursor)
        square = desktop_square(self.desktop, *cursor, self.lens.zoom, self.size, self.lens.rect())
        self.assertLensShows("after-drag", stretched(square, self.size))
        # The same drag reversed brings it back.
        self.lens.drag_move_handle(300, -40)
        wait_until(lambda: self.lens.rect()[:2] == start[:2], "the window did not come back")

    def test_about_opens_centred_and_closes(self):
        self.lens.click_control(ABOUT_BUTTON)
        about = Dialog(ABOUT_TITLE)
        width, height = self.lens.screen
        left, top = (width - 304) // 2, (height - 294) // 2
        self.assertEqual(about.rect(), (left, top, left + 304, top + 294))
        shot = harness.screenshot(left, top, 304, 294)
        self.assertEqual(shot.pixel(2, 2), WHITE)
        try:
            # The lens goes on working under the modal box (which may cover
            # part of it).
            cursor = (100, height - 150)
            harness.move_pointer(*cursor)
            square = desktop_square(self.desktop, *cursor, self.lens.zoom, self.size)
            cx, cy = self.lens.client_origin()
            covered = (left - cx, top - cy, 304, 294)
            self.assertLensShows("under-about", stretched(square, self.size), excluded=[covered])
        finally:
            about.click(ABOUT_CLOSE)
            about.wait_closed()

    def test_help_hands_the_help_file_to_the_launcher(self):
        if os.path.exists(RECORD):
            os.remove(RECORD)
        self.lens.click_control(HELP_BUTTON)
        wait_until(lambda: os.path.exists(RECORD), "the help launcher was not called")
        with open(RECORD) as f:
            opened = f.read().rstrip("\n")
        helpfile = os.path.join(os.path.dirname(os.environ["VISTREL_EXE"]), "Help", "VISTREL_HELP.html")
        self.assertEqual(os.path.realpath(opened), os.path.realpath(helpfile))
        self.assertTrue(os.path.isfile(opened))
        self.assertIsNone(self.lens.proc.poll())


class ExitButton(LensTestCase):
    def test_exit_ends_with_status_0(self):
        self.lens.click_control(EXIT_BUTTON)
        self.assertEqual(self.lens.proc.wait(timeout=10), 0)


class CloseRequest(LensTestCase):
    def test_close_request_ends_with_status_0(self):
        harness.move_pointer(100, 100)
        time.sleep(0.1)  # a few frames first
        harness.close_window(self.lens.win)
        self.assertEqual(self.lens.proc.wait(timeout=10), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
