"""The real program under a window manager: openbox alone, or openbox with
the picom compositor ($VISTREL_WM: "openbox" or "openbox+picom"), which
desktop.py starts before the test desktop is painted.

The lens keeps its place and elliptic shape and stays above an ordinary
window that is raised and clicked; Move drags it; both dialogs open above
it, whole on the screen, and answer Escape and Enter; the window manager's
close and Exit end the program with status 0.
"""

import os
import time
import unittest

from Xlib import Xutil

import desktop
import harness
from program_common import (
    ABOUT_BUTTON, ABOUT_TITLE, EXIT_BUTTON, SETTLE_TIMEOUT, SETUP_TITLE, SETUP_VISION, Dialog, LensTestCase,
    Square, desktop_square, filtered, plain_crop, run, stretched, visible, wait_until,
)

COMPOSITED = os.environ["VISTREL_WM"] == "openbox+picom"
CURSOR = (250, 230)
MAGENTA = (255, 0, 255)


def values(win, name):
    """A window property's values (atoms, window ids), [] when unset."""
    prop = win.get_full_property(harness.x_display().intern_atom(name), harness.X.AnyPropertyType)
    return list(prop.value) if prop else []


def atoms(win, name):
    return [harness.x_display().get_atom_name(a) for a in values(win, name)]


def keys(*names):
    run(["xdotool", "key", "--delay", "30", *names])


def keep_shot(name):
    """With $VISTREL_E2E_SHOTS set, keeps a picture of the whole screen (to
    look at how the window manager shows the program)."""
    if os.environ.get("VISTREL_E2E_SHOTS"):
        harness.screenshot().save_png(os.path.join(harness.artifact_dir(), name + ".png"))


class DesktopTestCase(LensTestCase):
    @classmethod
    def setUpClass(cls):
        # The desktop is what the test asked for, before the program starts.
        if desktop.wm_name() != "Openbox":
            raise AssertionError("no openbox: the window manager is %r" % desktop.wm_name())
        want = "picom" if COMPOSITED else None
        if desktop.compositor_name() != want:
            raise AssertionError("_NET_WM_CM_S0 is owned by %r, not %r" % (desktop.compositor_name(), want))
        super().setUpClass()

    def lens_shows_the_desktop_at(self, name, cursor, excluded=()):
        harness.move_pointer(*cursor)
        square = desktop_square(self.desktop, *cursor, self.lens.zoom, self.size, self.lens.rect())
        return self.assertLensShows(name, stretched(square, self.size), excluded)


class OrdinaryWindow:
    """A plain X window of another program, filled with magenta."""

    def __init__(self, x, y, w, h):
        d = harness.x_display()
        s = d.screen()
        self.win = s.root.create_window(x, y, w, h, 0, s.root_depth, harness.X.InputOutput,
                                        harness.X.CopyFromParent, background_pixel=0xFF00FF)
        self.win.set_wm_name("ordinary window")
        # Where the test puts it, not where the window manager would.
        self.win.set_wm_normal_hints(flags=Xutil.USPosition | Xutil.USSize, x=x, y=y, width=w, height=h)
        self.win.set_wm_class("ordinary", "Ordinary")
        self.win.map()
        d.sync()
        wait_until(lambda: self.win.get_attributes().map_state == harness.X.IsViewable, "not mapped")

    def destroy(self):
        self.win.destroy()
        harness.x_display().sync()


class OnTheDesktop(DesktopTestCase):
    def test_lens_keeps_its_place_and_shape(self):
        width, _ = self.lens.screen
        s = self.size
        self.assertEqual(self.lens.rect(), (width - (s + 8), 135, width, 135 + s + 27))
        self.assertIn("_NET_WM_STATE_ABOVE", atoms(self.lens.win, "_NET_WM_STATE"))
        self.assertEqual(values(self.lens.win, "WM_TRANSIENT_FOR"), [])
        # Only the ellipse shows: the desktop just inside the outer corners and
        # in the caption strip, where a frame or a shadow would be.
        left, top, right, bottom = self.lens.rect()
        self.lens_shows_the_desktop_at("lens", CURSOR)
        shot = harness.screenshot()
        for x, y in [(left + 1, top + 1), (right - 2, top + 1), (left + 1, bottom - 2), (right - 2, bottom - 2),
                     ((left + right) // 2, top + 10), (left, (top + bottom) // 2), (right - 1, top + 30)]:
            self.assertEqual(shot.pixel(x, y), self.desktop.pixel(x, y), (x, y))
        keep_shot("lens")

    def test_lens_stays_above_an_ordinary_window(self):
        left, top, _, _ = self.lens.rect()
        other = OrdinaryWindow(left - 200, top + 100, 200 + self.size // 2, self.size // 2)
        try:
            harness.activate_window(other.win)
            outside = (left - 100, top + 150)  # of the window, left of the lens
            harness.move_pointer(*outside)
            harness.click(1)
            wait_until(lambda: harness.screenshot(*outside, 1, 1).pixel(0, 0) == MAGENTA,
                       "the ordinary window does not show")
            # Nothing of it shows through the lens, which it lies under.
            self.lens_shows_the_desktop_at("above-ordinary", CURSOR)
            keep_shot("above-ordinary")
        finally:
            other.destroy()


class Dialogs(DesktopTestCase):
    def assertAboveTheLens(self, name, dialog):
        """The dialog is the lens's, whole on the screen, and nothing of the
        lens (whose ellipse overlaps it) shows over it: its pixels stay the
        same while the lens's picture changes. It has no taskbar entry."""
        width, height = self.lens.screen
        left, top, right, bottom = dialog.rect()
        self.assertTrue(0 <= left < right <= width and 0 <= top < bottom <= height, dialog.rect())
        cx, cy = self.lens.client_origin()
        overlap = sum(visible(self.size, x - cx, y - cy) for y in range(top, bottom, 2) for x in range(left, right, 2))
        self.assertGreater(overlap, 500, "%s: the lens does not overlap the dialog" % name)
        covered = [(left - cx - 2, top - cy - 2, right - left + 4, bottom - top + 4)]
        shots = []
        for cursor in self.away():
            self.lens_shows_the_desktop_at("%s-lens-%d" % (name, cursor[1]), cursor, covered)
            shots.append(self.settled(dialog.rect()))
        ok, report = harness.check_same(name + "-over-the-lens", shots[0], shots[1])
        self.assertTrue(ok, report)
        # What makes the window manager keep it there.
        self.assertEqual(values(dialog.win, "WM_TRANSIENT_FOR"), [self.lens.win.id])
        self.assertEqual(atoms(dialog.win, "_NET_WM_WINDOW_TYPE")[0], "_NET_WM_WINDOW_TYPE_DIALOG")
        state = atoms(dialog.win, "_NET_WM_STATE")
        self.assertIn("_NET_WM_STATE_SKIP_TASKBAR", state)
        self.assertNotIn("_NET_WM_STATE_ABOVE", state)

    def away(self):
        """Two cursor places left of the moved lens and the dialogs, whose
        squares (at zoom 2) lie on the screen and differ."""
        x = self.size // 4 + 2
        return (x, 150), (x, 700)

    def settled(self, rect):
        """The rectangle's pixels once two shots a little apart agree."""
        left, top, right, bottom = rect
        deadline = time.monotonic() + SETTLE_TIMEOUT
        shot = harness.screenshot(left, top, right - left, bottom - top)
        while True:
            time.sleep(0.1)
            again = harness.screenshot(left, top, right - left, bottom - top)
            if again.rgb == shot.rgb or time.monotonic() > deadline:
                return again
            shot = again

    def open(self, button, title):
        self.lens.click_control(button)
        return Dialog(title)

    def test_dialogs_open_above_the_moved_lens_and_answer_their_keys(self):
        # Move, until the lens lies in the middle of the screen, over the
        # places of both dialogs.
        width, _ = self.lens.screen
        start = self.lens.rect()
        dx = width // 2 - (start[0] + start[2]) // 2
        start, last = self.lens.drag_move_handle(dx, 0)
        want = (start[0] + dx + last[0], start[1])
        wait_until(lambda: self.lens.rect()[:2] == want, "the lens is at %s, not %s" % (self.lens.rect(), want))

        for button, title, name in ((ABOUT_BUTTON, ABOUT_TITLE, "about"), (SETUP_VISION, SETUP_TITLE, "setup")):
            with self.subTest(dialog=name):
                dialog = self.open(button, title)
                try:
                    self.assertAboveTheLens(name, dialog)
                    keep_shot(name)
                finally:
                    keys("Escape")
                    dialog.wait_closed()
        # Escape was the Close button, not the focused "Simulation" one.
        self.lens_shows_the_desktop_at("after-escape", self.away()[1])

        # Enter presses the focused button: the About box's Close, then
        # Setup's first, "Simulation Red-Green Colour Blind".
        about = self.open(ABOUT_BUTTON, ABOUT_TITLE)
        keys("Return")
        about.wait_closed()
        setup = self.open(SETUP_VISION, SETUP_TITLE)
        keys("Return")
        setup.wait_closed()
        cursor = self.away()[1]
        harness.move_pointer(*cursor)
        square = plain_crop(self.desktop, *cursor, self.lens.zoom, self.size)
        simulated = filtered(square, "--colour", "simulate")
        self.assertLensShows("enter-simulates", stretched(Square(simulated), self.size))


class WindowManagerClose(DesktopTestCase):
    def test_the_window_managers_close_ends_with_status_0(self):
        self.lens_shows_the_desktop_at("before-close", CURSOR)
        harness.request_close(self.lens.win)
        self.assertEqual(self.lens.proc.wait(timeout=10), 0)


class ExitButton(DesktopTestCase):
    def test_exit_ends_with_status_0(self):
        self.lens.click_control(EXIT_BUTTON)
        self.assertEqual(self.lens.proc.wait(timeout=10), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
