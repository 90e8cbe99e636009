"""The program on a headless GNOME session (wayland_desktop.py): its window
through Xwayland, its picture from a PipeWire screencast, checked against a
second screencast of the monitor while a native client shows the test
desktop full-screen and the pointer moves through mutter's RemoteDesktop.

    python3 wayland_test.py [unittest names...]

The program comes from $VISTREL_EXE (with VISTREL_SCREENCAST=mutter unless a
test wants the desktop portal), the filter from $VISTREL_FILTER.
"""

import os
import time
import unittest

import harness
import program_common
import wayland_desktop
from program_common import (
    SETUP_TITLE, SETUP_VISION, ZOOMS, Dialog, LensTestCase, Square, desktop_square, filtered, plain_crop, stretched,
    wait_until,
)

# Over the blocks, the text and the textured background; the square lies on
# the screen and clear of the lens at every zoom (as in the X11 tests).
CURSOR = (250, 230)
# How long a picture may take: the screencast runs at about 30 frames a
# second on a CPU-bound compositor, and two of them lie between the pointer
# and the read-back.
PICTURE_TIMEOUT = 10.0
START_FAILURE = "Could not start screen capture"
CAPTURE_FAILURE = "Could not capture screen"

DESKTOP = None
pyatspi = None  # imported once the session's accessibility bus exists


def setUpModule():
    global DESKTOP, pyatspi
    DESKTOP = wayland_desktop.Desktop(1920, 1080)
    try:
        path = os.path.join(harness.artifact_dir(), "desktop.ppm")
        DESKTOP.show_pattern(harness.make_desktop(*DESKTOP.size), path)
        os.environ["VISTREL_DESKTOP_PPM"] = path
        DESKTOP.drive_harness()
        import pyatspi as module

        pyatspi = module
    except BaseException:
        DESKTOP.stop()
        raise


def tearDownModule():
    DESKTOP.stop()


# --- the program's message boxes, read on the accessibility bus --------------


def message_boxes(pid):
    """The texts of the showing dialogs of process `pid`, one string each."""
    texts = []
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or app.get_process_id() != pid:
            continue
        for win in app:
            if win is not None and win.getRole() in (pyatspi.ROLE_DIALOG, pyatspi.ROLE_ALERT) and \
                    win.getState().contains(pyatspi.STATE_SHOWING):
                texts.append(" ".join(n.name for n in pyatspi.findAllDescendants(win, lambda n: n.name)
                                      if n.getRole() == pyatspi.ROLE_LABEL))
    return texts


def wait_for_box(proc, text, timeout=20.0):
    """Waits for a message box of `proc` whose text begins with `text`."""
    found = []

    def shown():
        found[:] = message_boxes(proc.pid)
        return any(t.startswith(text) for t in found)

    wait_until(shown, "no box %r (boxes: %s)" % (text, found), timeout)


def lens_windows():
    """The outer rectangles of the viewable X windows of the lens's size (the
    message boxes carry its title too)."""
    w, _ = harness.screen_size()
    s = 2 * w // 5
    found, stack = [], [harness.x_display().screen().root]
    while stack:
        win = stack.pop()
        try:
            stack.extend(win.query_tree().children)
            if program_common.LENS_TITLE in harness._names(win) and \
                    win.get_attributes().map_state == harness.X.IsViewable:
                rect = harness.window_rect(win)
                if (rect[2] - rect[0], rect[3] - rect[1]) == (s + 8, s + 27):
                    found.append(rect)
        except Exception:  # gone while we looked
            pass
    return found


def dismiss_box():
    """OK, as the user gives it: Enter, through the compositor."""
    harness.keys("Return")


# --- the stack itself ------------------------------------------------------------


class Stack(unittest.TestCase):
    """What the lens tests stand on, without the program."""

    def test_the_read_back_is_the_pattern_and_survives_a_pipewire_restart(self):
        picture = harness.make_desktop(*DESKTOP.size)
        ok, report = harness.check_same("stack-read-back", picture, DESKTOP.grab())
        self.assertTrue(ok, report)
        DESKTOP.restart_pipewire()
        wait_until(lambda: DESKTOP.grab().rgb == picture.rgb, "no read-back after the restart", PICTURE_TIMEOUT)

    def test_the_pointer_reaches_the_corners_of_the_monitor(self):
        w, h = DESKTOP.size
        for at in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1), CURSOR):
            seen = len(DESKTOP.pattern.lines)
            DESKTOP.session.move_pointer(*at)
            wait_until(lambda: at in DESKTOP.pattern.pointers_since(seen), "the pattern never saw %s" % (at,))


# --- the lens through mutter's screencast ----------------------------------------


class WaylandLensCase(LensTestCase):
    lens_env = {"VISTREL_SCREENCAST": "mutter", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}

    def assertLensShows(self, name, expected, excluded=(), timeout=PICTURE_TIMEOUT):
        return super().assertLensShows(name, expected, excluded, timeout)


class Lens(WaylandLensCase):
    def test_runs_through_xwayland_at_the_right_edge(self):
        width, _ = self.lens.screen
        s = self.size
        self.assertEqual(self.lens.rect(), (width - (s + 8), 135, width, 135 + s + 27))

    def test_every_zoom_shows_the_square_around_the_pointer(self):
        for zoom in ZOOMS:
            with self.subTest(zoom=zoom):
                self.lens.set_zoom(zoom)
                harness.move_pointer(*CURSOR)
                square = desktop_square(self.desktop, *CURSOR, zoom, self.size)
                shot = self.assertLensShows("wl-zoom%d" % zoom, stretched(square, self.size))
                self.assertOverlay("wl-zoom%d" % zoom, shot)

    def test_corners_and_edges_of_the_monitor(self):
        w, h = self.lens.screen
        rect = self.lens.rect()
        points = {"top-left": (0, 0), "top": (w // 2, 0), "top-right": (w - 1, 0), "left": (0, h // 2),
                  "bottom-left": (0, h - 1), "bottom": (w // 2, h - 1), "bottom-right": (w - 1, h - 1)}
        for zoom in (2, 8):
            self.lens.set_zoom(zoom)
            for name, at in points.items():
                with self.subTest(point=name, zoom=zoom):
                    harness.move_pointer(*at)
                    square = desktop_square(self.desktop, *at, zoom, self.size, rect)
                    self.assertGreater(square.offscreen_white, square.picture.width ** 2 // 6)
                    self.assertLensShows("wl-%s-zoom%d" % (name, zoom), stretched(square, self.size))

    def test_the_control_panel_shows_while_the_pointer_is_over_the_lens(self):
        left, top, right, bottom = self.lens.rect()
        self.lens.open_panel(((left + right) // 2, top + 60))
        harness.move_pointer(*CURSOR)
        wait_until(lambda: not self.lens.panel_showing(), "the control panel stayed", PICTURE_TIMEOUT)
        square = desktop_square(self.desktop, *CURSOR, self.lens.zoom, self.size)
        self.assertLensShows("wl-after-panel", stretched(square, self.size))

    def test_zz_a_pipewire_restart_shows_the_failure_until_the_stream_is_back(self):
        # Last in the class: the program meets a new PipeWire.
        self.lens.set_zoom(4)
        harness.move_pointer(*CURSOR)
        expected = stretched(desktop_square(self.desktop, *CURSOR, 4, self.size), self.size)
        self.assertLensShows("wl-before-restart", expected)
        DESKTOP.restart_pipewire()
        proc = self.lens.proc
        wait_for_box(proc, CAPTURE_FAILURE)
        # Every frame without a stream shows the box again; once the program
        # has its new screencast, OK ends it.
        deadline = time.monotonic() + 30
        while message_boxes(proc.pid):
            self.assertLess(time.monotonic(), deadline, "the failure never ended")
            self.assertEqual(message_boxes(proc.pid), [CAPTURE_FAILURE])
            dismiss_box()
            time.sleep(0.5)
        harness.move_pointer(CURSOR[0] + 1, CURSOR[1])
        harness.move_pointer(*CURSOR)
        self.assertLensShows("wl-after-restart", expected)
        self.assertIsNone(proc.poll())


class ColourMode(WaylandLensCase):
    def test_simulation_is_the_filters(self):
        zoom = 4
        self.lens.set_zoom(zoom)
        # Enter in "Setup Your Vision" presses its focused first button,
        # "Simulation", which closes it.
        self.lens.click_control(SETUP_VISION)
        dialog = Dialog(SETUP_TITLE)
        harness.keys("Return")
        dialog.wait_closed()
        harness.move_pointer(*CURSOR)
        square = plain_crop(self.desktop, *CURSOR, zoom, self.size)
        picture = filtered(square, "--colour", "simulate")
        self.assertNotEqual(picture.rgb, square.rgb)
        self.assertLensShows("wl-colour-simulate", stretched(Square(picture), self.size))


# --- start-up without a screencast -----------------------------------------------


class StartUpFailure(unittest.TestCase):
    """No desktop portal, or no mutter API when the harness asks for it: the
    program says so in a box and ends with status 0 after OK."""

    def test_no_screencast_service(self):
        address, bus = DESKTOP.empty_bus()
        try:
            for name, env in (("no portal", {}), ("no mutter API", {"VISTREL_SCREENCAST": "mutter"})):
                with self.subTest(name):
                    environment = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address,
                                       QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", **env)
                    proc = harness.subprocess.Popen([os.environ["VISTREL_EXE"]], env=environment)
                    try:
                        wait_for_box(proc, START_FAILURE)
                        self.assertEqual(lens_windows(), [], "a lens shows beside the box")
                        dismiss_box()
                        self.assertEqual(proc.wait(timeout=20), 0)
                    finally:
                        harness.stop_processes([proc])
        finally:
            harness.stop_processes([bus])


# --- the desktop portal's path -----------------------------------------------------

PORTAL = "xdg-desktop-portal-gnome"
SHARE_DIALOG = "Screen Share"


def portal_requests():
    """The object paths of the desktop portal's pending requests."""
    paths, stack = [], ["/org/freedesktop/portal/desktop/request"]
    while stack:
        path = stack.pop()
        try:
            xml = DESKTOP.bus.call("org.freedesktop.portal.Desktop", path, "org.freedesktop.DBus.Introspectable",
                                   "Introspect")[0]
        except wayland_desktop.GLib.Error:
            continue
        node = wayland_desktop.Gio.DBusNodeInfo.new_for_xml(xml)
        if any(i.name == "org.freedesktop.portal.Request" for i in node.interfaces):
            paths.append(path)
        stack.extend(path + "/" + child.path for child in node.nodes)
    return paths


def share_dialog():
    """The portal's "Screen Share" window, showing, or None."""
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == PORTAL:
            for win in app:
                if win is not None and win.name == SHARE_DIALOG and win.getState().contains(pyatspi.STATE_SHOWING):
                    return win
    return None


class PortalLens(program_common.Lens):
    """The lens of a program started already, once its window shows."""

    def __init__(self, proc):
        self.screen = harness.screen_size()
        self.size, self.zoom, self.proc = 2 * self.screen[0] // 5, 2, proc
        self.win = None

        def shown():
            self.win = harness.find_window(program_common.LENS_TITLE)
            return self.win is not None and self.win.get_attributes().map_state == harness.X.IsViewable

        wait_until(shown, "no lens window", 20)


class Portal(WaylandLensCase):
    """The program as users start it: the desktop portal asks in its dialog,
    driven here with the keyboard through the compositor. Each test starts
    the program itself."""

    @classmethod
    def setUpClass(cls):
        cls.desktop = program_common.read_ppm(os.environ["VISTREL_DESKTOP_PPM"])

    @classmethod
    def tearDownClass(cls):
        pass

    def start(self):
        env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        env.pop("VISTREL_SCREENCAST", None)
        self.proc = harness.subprocess.Popen([os.environ["VISTREL_EXE"]], env=env)
        self.addCleanup(harness.stop_processes, [self.proc])
        wait_until(share_dialog, "no %r dialog of the portal" % SHARE_DIALOG, 30)
        self.assertTrue(portal_requests(), "the dialog is up but no portal request waits")
        self.assertIsNone(self.proc.poll())
        return share_dialog()

    def test_share_starts_the_lens_on_the_portals_screencast(self):
        dialog = self.start()
        # The monitor comes selected; Tab on to Share and press it.
        share = pyatspi.findDescendant(dialog, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON and "Share" in n.name
                                       and "Cancel" not in n.name)
        for _ in range(4):
            if share.getState().contains(pyatspi.STATE_FOCUSED):
                break
            harness.keys("Tab")
            time.sleep(0.2)
        self.assertTrue(share.getState().contains(pyatspi.STATE_FOCUSED), "Tab never reached Share")
        harness.keys("Return")
        wait_until(lambda: not share_dialog(), "the dialog stayed")
        self.lens = PortalLens(self.proc)
        self.size = self.lens.size
        harness.move_pointer(*CURSOR)
        square = desktop_square(self.desktop, *CURSOR, 2, self.size)
        self.assertLensShows("wl-portal", stretched(square, self.size))
        self.assertEqual(portal_requests(), [])

    def test_cancel_fails_the_start_up(self):
        self.start()
        harness.keys("Escape")
        wait_for_box(self.proc, START_FAILURE)
        dismiss_box()
        self.assertEqual(self.proc.wait(timeout=20), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
