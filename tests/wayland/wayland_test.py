"""The program on a headless GNOME session (wayland_desktop.py): its window
through Xwayland, its picture from a PipeWire screencast, checked against a
second screencast of the monitor while a native client shows the test
desktop full-screen and the pointer moves through mutter's RemoteDesktop.

    python3 wayland_test.py [unittest names...]

The program comes from $VISTREL_EXE (with VISTREL_SCREENCAST=mutter unless a
test wants the desktop portal), the filter from $VISTREL_FILTER.
"""

import os
import subprocess
import time
import unittest

import harness
import program_common
import wayland_desktop
from wayland_desktop import Atspi
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
Role = Atspi.Role

DESKTOP = None


def setUpModule():
    global DESKTOP
    DESKTOP = wayland_desktop.Desktop(1920, 1080)
    try:
        path = os.path.join(harness.artifact_dir(), "desktop.ppm")
        DESKTOP.show_pattern(harness.make_desktop(*DESKTOP.size), path)
        os.environ["VISTREL_DESKTOP_PPM"] = path
        DESKTOP.drive_harness()
    except BaseException:
        DESKTOP.stop()
        raise


def tearDownModule():
    DESKTOP.stop()


# --- the program's windows, read on the accessibility bus ----------------------


def program_windows(a11y, pid):
    """(role, text) of the showing windows of process `pid`: a message box's
    text is that of its labels, the lens is the frame "VISTREL"."""
    out = []
    for win in a11y.windows(pid=pid):
        role = a11y.role(win)
        if role == Role.FRAME:
            out.append((role, a11y.name(win)))
        else:
            labels = [a11y.name(n) for n in a11y.descendants(win) if a11y.role(n) == Role.LABEL]
            out.append((role, " ".join(text for text in labels if text)))
    return out


def message_boxes(a11y, pid):
    return [text for role, text in program_windows(a11y, pid) if role == Role.ALERT]


def wait_for_box(a11y, proc, text, timeout=20.0):
    """Waits for a message box of `proc` whose text begins with `text`."""
    deadline = time.monotonic() + timeout
    while not any(t.startswith(text) for t in message_boxes(a11y, proc.pid)):
        if proc.poll() is not None or time.monotonic() > deadline:
            raise AssertionError("no box %r; the program's windows: %s, status %s"
                                 % (text, program_windows(a11y, proc.pid), proc.poll()))
        time.sleep(0.1)


def dismiss_box(a11y, pid):
    """Clicks OK in the program's message box, as the user does, once the
    compositor has placed the box (Qt knows its place only after)."""
    for win in a11y.windows(pid=pid):
        if a11y.role(win) == Role.ALERT:
            ok = a11y.find(win, Role.PUSH_BUTTON, lambda name: name == "OK")
            at = [None]

            def placed():
                was, at[0] = at[0], a11y.centre(ok)
                time.sleep(0.2)
                return was == at[0]

            wait_until(placed, "the box keeps moving")
            # From beside the button, as a hand brings it there: a pointer
            # that an earlier box left on the spot has not entered this one.
            harness.move_pointer(at[0][0] - 30, at[0][1] - 20)
            harness.move_pointer(*at[0])
            harness.click(1)
            return


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



class PipeWireRestart(WaylandLensCase):
    def test_the_failure_shows_until_the_stream_is_back(self):
        self.lens.set_zoom(4)
        harness.move_pointer(*CURSOR)
        expected = stretched(desktop_square(self.desktop, *CURSOR, 4, self.size), self.size)
        self.assertLensShows("wl-before-restart", expected)
        DESKTOP.restart_pipewire()
        proc = self.lens.proc
        wait_for_box(DESKTOP.a11y, proc, CAPTURE_FAILURE)
        # Every frame without a stream shows the box again; once the program
        # has its new screencast, OK ends it.
        deadline = time.monotonic() + 30
        while True:
            boxes = message_boxes(DESKTOP.a11y, proc.pid)
            if not boxes:
                break
            self.assertLess(time.monotonic(), deadline, "the failure never ended")
            self.assertEqual(boxes, [CAPTURE_FAILURE])
            dismiss_box(DESKTOP.a11y, proc.pid)
            time.sleep(0.5)
        # The picture is back, and follows the pointer.
        for at in (CURSOR, (400, 500)):
            harness.move_pointer(*at)
            square = desktop_square(self.desktop, *at, 4, self.size)
            self.assertLensShows("wl-after-restart-%d-%d" % at, stretched(square, self.size))
        self.assertIsNone(proc.poll())


class ColourMode(WaylandLensCase):
    def test_simulation_is_the_filters(self):
        zoom = 4
        self.lens.set_zoom(zoom)
        # Enter in "Setup Your Vision" presses its focused first button,
        # "Simulation", which closes it.
        self.lens.click_control(SETUP_VISION)
        dialog = Dialog(SETUP_TITLE)
        # The compositor gives it the keyboard some time after it shows.
        wait_until(lambda: harness.x_display().get_input_focus().focus == dialog.win, "the dialog has no focus")
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
        address, a11y = DESKTOP.empty_bus()
        for name, env in (("no portal", {}), ("no mutter API", {"VISTREL_SCREENCAST": "mutter"})):
            with self.subTest(name):
                environment = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address,
                                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", **env)
                proc = subprocess.Popen([os.environ["VISTREL_EXE"]], env=environment)
                try:
                    assertFailsToStart(self, a11y, proc)
                finally:
                    harness.stop_processes([proc])


def assertFailsToStart(case, a11y, proc):
    """The program's one window is the start-up failure's box; OK ends it
    with status 0."""
    wait_for_box(a11y, proc, START_FAILURE)
    windows = program_windows(a11y, proc.pid)
    case.assertEqual(len(windows), 1, "windows beside the box: %s" % windows)
    dismiss_box(a11y, proc.pid)
    case.assertEqual(proc.wait(timeout=20), 0)


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
    found = [w for w in DESKTOP.a11y.windows(app=PORTAL) if DESKTOP.a11y.name(w) == SHARE_DIALOG]
    return found[0] if found else None


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
        self.proc = subprocess.Popen([os.environ["VISTREL_EXE"]], env=env)
        self.addCleanup(harness.stop_processes, [self.proc])
        wait_until(share_dialog, "no %r dialog of the portal" % SHARE_DIALOG, 30)
        self.assertTrue(portal_requests(), "the dialog is up but no portal request waits")
        self.assertIsNone(self.proc.poll())
        return share_dialog()

    def tab_to(self, node):
        """Tabs through the dialog until `node` has the keyboard focus."""
        for _ in range(8):
            if DESKTOP.a11y.has(node, Atspi.StateType.FOCUSED):
                return
            harness.keys("Tab")
            time.sleep(0.2)
        self.fail("Tab never reached %r" % DESKTOP.a11y.name(node))

    def test_share_starts_the_lens_on_the_portals_screencast(self):
        a11y = DESKTOP.a11y
        dialog = self.start()
        monitor = a11y.find(dialog, Role.LIST_ITEM)
        self.tab_to(monitor)
        if not a11y.has(monitor, Atspi.StateType.SELECTED):
            harness.keys("space")
        wait_until(lambda: a11y.has(monitor, Atspi.StateType.SELECTED), "the monitor is not selected")
        self.tab_to(a11y.find(dialog, Role.PUSH_BUTTON, lambda name: name.endswith("Share")))
        harness.keys("Return")
        wait_until(lambda: not share_dialog(), "the dialog stayed")
        self.lens = PortalLens(self.proc)
        self.size = self.lens.size
        harness.move_pointer(*CURSOR)
        square = desktop_square(self.desktop, *CURSOR, 2, self.size)
        self.assertLensShows("wl-portal", stretched(square, self.size))
        self.assertEqual(portal_requests(), [])

    def test_cancel_fails_the_start_up(self):
        dialog = self.start()
        self.tab_to(DESKTOP.a11y.find(dialog, Role.PUSH_BUTTON, lambda name: name.endswith("Cancel")))
        harness.keys("Return")
        assertFailsToStart(self, DESKTOP.a11y, self.proc)


if __name__ == "__main__":
    unittest.main(verbosity=2)
