"""The program as a screen reader meets it, on the real accessibility stack:
a private session bus, at-spi2-core's bus launcher on it (which starts the
accessibility bus, where the registry daemon is started on demand), the
program with accessibility on, and pyatspi on that bus walking its tree.

Runs under vistrel_add_e2e_test (Xvfb, no window manager) with Debian's own
python3, which has pyatspi. Every query goes over the bus: the client's cache
is off for the program.
"""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402

import harness  # noqa: E402
from program_common import Lens, wait_until  # noqa: E402

LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
SESSION_TIMEOUT = 10.0

pyatspi = None  # imported once the private buses exist


class Stack:
    """The session bus and the accessibility bus, private to this run and
    stopped afterwards."""

    def __init__(self):
        self.tmp = tempfile.mkdtemp(prefix="vistrel-a11y-")
        runtime = os.path.join(self.tmp, "runtime")
        os.mkdir(runtime, 0o700)
        # The launcher keeps its bus socket in the runtime directory; settings
        # stay in memory.
        os.environ.update(XDG_RUNTIME_DIR=runtime, GSETTINGS_BACKEND="memory")
        self.procs = []
        bus = self._start(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"],
                          stdout=subprocess.PIPE)
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
        session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        self._start([LAUNCHER, "--launch-immediately", "--a11y=1"])
        # Wait for the launcher's name without asking for it: asking would
        # have the session bus start a second launcher of its own.
        wait_until(lambda: self._call(session, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                      "org.freedesktop.DBus", "NameHasOwner", GLib.Variant("(s)", ("org.a11y.Bus",)))[0],
                   "the bus launcher did not start", SESSION_TIMEOUT)
        self.address = self._call(session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress")[0]
        self.a11y = Gio.DBusConnection.new_for_address_sync(
            self.address,
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
            None, None)

    def _start(self, argv, **popen_args):
        proc = subprocess.Popen(argv, **popen_args)
        self.procs.append(proc)
        return proc

    @staticmethod
    def _call(conn, dest, path, interface, member, args=None):
        return conn.call_sync(dest, path, interface, member, args, None, Gio.DBusCallFlags.NONE, 5000, None).unpack()

    def call(self, dest, path, interface, member, args=None):
        """A call on the accessibility bus; a D-Bus error raises GLib.Error."""
        return self._call(self.a11y, dest, path, interface, member, args)

    def bus_name_of(self, pid):
        """The accessibility bus name of the registered application of process `pid`."""
        apps = self.call("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root", "org.a11y.atspi.Accessible",
                         "GetChildren")[0]
        for name, _ in apps:
            if self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                         "GetConnectionUnixProcessID", GLib.Variant("(s)", (name,)))[0] == pid:
                return name
        raise AssertionError("process %d has no application on the accessibility bus" % pid)

    def stop(self):
        self.a11y.close_sync(None)
        harness.stop_processes(self.procs)  # the launcher stops the bus it started
        shutil.rmtree(self.tmp, ignore_errors=True)


STACK = None

# What screen readers register for; the program learns of them when it starts.
EVENTS = ("object:property-change:accessible-description", "object:property-change:accessible-value")


def setUpModule():
    global STACK, pyatspi
    STACK = Stack()
    import pyatspi as module

    pyatspi = module


def tearDownModule():
    STACK.stop()


def descendants(node):
    for child in node:
        if child is not None:
            yield child
            yield from descendants(child)


def has(node, state):
    return node.getState().contains(state)


class A11yCase(unittest.TestCase):
    """One program per test class, found in the registry by its process."""

    @classmethod
    def setUpClass(cls):
        cls.events = []
        cls.listener = lambda e: cls.events.append((e.type, e.source.name))
        pyatspi.Registry.registerEventListener(cls.listener, *EVENTS)
        cls.lens = Lens({"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"})
        cls.app = None

        def registered():
            for app in pyatspi.Registry.getDesktop(0):
                if app is not None and app.get_process_id() == cls.lens.proc.pid:
                    cls.app = app
            return cls.app is not None

        wait_until(registered, "the program did not register with the accessibility bus", SESSION_TIMEOUT)
        cls.app.set_cache_mask(Atspi.Cache.NONE)
        cls.window = cls.find(cls.app, pyatspi.ROLE_FRAME, "VISTREL")

    @classmethod
    def tearDownClass(cls):
        pyatspi.Registry.deregisterEventListener(cls.listener, *EVENTS)
        cls.lens.close()

    @staticmethod
    def find(node, role, name):
        for d in descendants(node):
            if d.getRole() == role and d.name == name:
                return d
        raise AssertionError("no %s %r under %r" % (pyatspi.Role(role), name, node.name))

    def wait_for(self, predicate, message):
        """Waits, delivering the bus's events, until predicate() holds."""
        context = GLib.MainContext.default()
        deadline = time.monotonic() + 5
        while not predicate():
            self.assertIsNone(self.lens.proc.poll(), "the program died")
            if time.monotonic() > deadline:
                self.fail(message)
            while context.iteration(False):
                pass
            time.sleep(0.02)

    def assertControls(self, parent, rows):
        """Each row: role, name, and whether it is checked, enabled, showing
        (None where it does not matter)."""
        for role, name, checked, enabled, showing in rows:
            with self.subTest(name=name):
                node = self.find(parent, role, name)
                got = (has(node, pyatspi.STATE_CHECKED) if checked is not None else None,
                       has(node, pyatspi.STATE_ENABLED), has(node, pyatspi.STATE_SHOWING))
                self.assertEqual(got, (checked, enabled, showing))

    def press(self, node, action):
        actions = node.queryAction()
        names = [actions.getName(i) for i in range(actions.nActions)]
        self.assertIn(action, names, "%r offers no %s" % (node.name, action))
        actions.doAction(names.index(action))

    def open_dialog(self, button, name):
        self.press(self.find(self.window, pyatspi.ROLE_PUSH_BUTTON, button), "Press")
        found = []

        def shown():
            found[:] = [c for c in self.app if c is not None and c.getRole() == pyatspi.ROLE_DIALOG
                        and c.name == name and has(c, pyatspi.STATE_SHOWING)]
            return bool(found)

        self.wait_for(shown, "no dialog %r showing" % name)
        dialog = found[0]
        self.assertTrue(has(dialog, pyatspi.STATE_MODAL), "%r is not modal" % name)
        return dialog

    def wait_closed(self, dialog):
        self.wait_for(lambda: not has(dialog, pyatspi.STATE_SHOWING), "%r did not close" % dialog.name)


class Tree(A11yCase):
    def test_lens_controls_roles_names_states_and_actions(self):
        r = pyatspi
        # Pointer away from the lens: the control panel is hidden.
        harness.move_pointer(5, 5)
        panel = [
            (r.ROLE_CHECK_BOX, "Select -- To see  colour value", False, True),
            (r.ROLE_PANEL, "Move", None, True),
            (r.ROLE_CHECK_BOX, "Smooth", False, True),
            (r.ROLE_PUSH_BUTTON, "Setup Vision", None, True),
            (r.ROLE_SLIDER, "Zoom Factor", None, True),
            (r.ROLE_PUSH_BUTTON, "About Program", None, True),
            (r.ROLE_PUSH_BUTTON, "Help", None, True),
            (r.ROLE_PUSH_BUTTON, "Exit", None, True),
        ]
        self.assertControls(self.app, [(r.ROLE_FRAME, "VISTREL", None, True, True)])
        self.assertControls(self.window, [(r.ROLE_IMAGE, "Enlarged picture", None, True, True),
                                          (r.ROLE_PANEL, "Colour probe", None, True, False)])
        self.wait_for(lambda: not has(self.find(self.window, r.ROLE_PANEL, "Lens controls"), r.STATE_SHOWING),
                      "the control panel stayed up")
        self.assertControls(self.window, [row + (False,) for row in panel])
        # The pointer in the lens brings the panel up.
        self.lens.open_panel(self.lens.client_origin())
        self.assertControls(self.window, [row + (True,) for row in panel])

        # Toggle works, and what it switches on shows: the colour probe.
        for name, effect in (("Smooth", None), ("Select -- To see  colour value", "Colour probe")):
            box = self.find(self.window, r.ROLE_CHECK_BOX, name)
            for checked in (True, False):
                self.press(box, "Toggle")
                self.wait_for(lambda: has(box, r.STATE_CHECKED) == checked, "%r not checked=%s" % (name, checked))
                if effect:
                    probe = self.find(self.window, r.ROLE_PANEL, effect)
                    self.wait_for(lambda: has(probe, r.STATE_SHOWING) == checked, "%r showing is wrong" % effect)

    def test_zoom_slider_speaks_its_zoom_and_announces_each_move(self):
        slider = self.find(self.window, pyatspi.ROLE_SLIDER, "Zoom Factor")
        value = slider.queryValue()
        self.assertEqual((value.minimumValue, value.maximumValue, value.currentValue), (1, 5, 1))
        self.assertEqual(slider.description, "x 2")
        try:
            for position, zoom in ((3, "x 6"), (5, "x 12"), (2, "x 4"), (4, "x 8"), (1, "x 2")):
                del self.events[:]
                value.currentValue = position
                # Qt's bridge names the object that changed, not the new
                # text: a screen reader reads the description then.
                for kind in EVENTS:
                    self.wait_for(lambda: (kind, "Zoom Factor") in self.events, "no %s: %s" % (kind, self.events))
                self.assertEqual((value.currentValue, slider.description), (position, zoom))
        finally:
            value.currentValue = 1

    def test_setup_dialog(self):
        r = pyatspi
        dialog = self.open_dialog("Setup Vision", "Setup Your Vision")
        try:
            self.assertControls(dialog, [
                (r.ROLE_PUSH_BUTTON, "Simulation Red-Green Colour Blind", None, True, True),
                (r.ROLE_PUSH_BUTTON, "Normal Color", None, True, True),
                (r.ROLE_SLIDER, "Squint", None, False, True),
                (r.ROLE_PUSH_BUTTON, "Close", None, True, True),
                (r.ROLE_PANEL, "Colour-blind", None, True, True),
                (r.ROLE_CHECK_BOX, "Red-Green colour blind", False, True, True),
                (r.ROLE_RADIO_BUTTON, "Low Level", False, True, True),
                (r.ROLE_RADIO_BUTTON, "High Level", False, True, True),
                (r.ROLE_RADIO_BUTTON, "Severe - Unknown", False, False, True),
                (r.ROLE_CHECK_BOX, "Yellow-Blue colour blind", False, False, True),
            ])
            # The disabled squint slider refuses a value, and its actions.
            squint = self.find(dialog, r.ROLE_SLIDER, "Squint")
            value = squint.queryValue()
            value.currentValue = 25
            actions = squint.queryAction()
            for i in range(actions.nActions):
                actions.doAction(i)
            time.sleep(0.2)
            self.assertEqual((value.currentValue, squint.description), (15, "0 degrees"))
        finally:
            self.press(self.find(dialog, r.ROLE_PUSH_BUTTON, "Close"), "Press")
            self.wait_closed(dialog)

        # Checking "Red-Green colour blind" selects Low Level, which closes the dialog.
        dialog = self.open_dialog("Setup Vision", "Setup Your Vision")
        self.press(self.find(dialog, r.ROLE_CHECK_BOX, "Red-Green colour blind"), "Toggle")
        self.wait_closed(dialog)
        dialog = self.open_dialog("Setup Vision", "Setup Your Vision")
        self.assertControls(dialog, [(r.ROLE_CHECK_BOX, "Red-Green colour blind", True, True, True),
                                     (r.ROLE_RADIO_BUTTON, "Low Level", True, True, True)])
        # "Normal Color" clears it and closes.
        self.press(self.find(dialog, r.ROLE_PUSH_BUTTON, "Normal Color"), "Press")
        self.wait_closed(dialog)
        self.assertFalse(has(self.find(dialog, r.ROLE_CHECK_BOX, "Red-Green colour blind"), r.STATE_CHECKED))

    def test_about_dialog(self):
        r = pyatspi
        dialog = self.open_dialog("About Program", "About Program")
        self.assertControls(dialog, [
            (r.ROLE_IMAGE, "Vistrel: a magnifying glass over a page", None, True, True),
            (r.ROLE_LABEL, "E-mail: vistrel@example.org", None, True, True),
            (r.ROLE_PUSH_BUTTON, "Close", None, True, True),
        ])
        self.press(self.find(dialog, r.ROLE_PUSH_BUTTON, "Close"), "Press")
        self.wait_closed(dialog)


# Calls that Qt 6.4's bridge, unguarded, answers by reading arguments that are
# not there: each killed the program. (object, interface, member, arguments)
HOSTILE_CALLS = [
    ("root", "org.freedesktop.DBus.Properties", "GetAll", ("(s)", ("org.a11y.atspi.Accessible",))),
    ("window", "org.freedesktop.DBus.Properties", "GetAll", ("(s)", ("org.a11y.atspi.Component",))),
    ("root", "org.freedesktop.DBus.Properties", "Get", ("(s)", ("org.a11y.atspi.Accessible",))),
    ("root", "org.a11y.atspi.Accessible", "GetChildAtIndex", None),
    ("window", "org.a11y.atspi.Component", "GetExtents", None),
    ("button", "org.a11y.atspi.Action", "DoAction", None),
]


class HostileCalls(A11yCase):
    def test_malformed_calls_are_refused_and_the_program_lives(self):
        bus = STACK.bus_name_of(self.lens.proc.pid)
        paths = {
            "root": "/org/a11y/atspi/accessible/root",
            "window": self.window.path,
            "button": self.find(self.window, pyatspi.ROLE_PUSH_BUTTON, "About Program").path,
        }
        for target, interface, member, args in HOSTILE_CALLS:
            with self.subTest(call="%s %s.%s" % (target, interface, member)):
                variant = GLib.Variant(*args) if args else None
                with self.assertRaises(GLib.Error) as refused:
                    STACK.call(bus, paths[target], interface, member, variant)
                # Refused by the program, not lost with it.
                self.assertNotIn("NoReply", refused.exception.message)
                self.assertIsNone(self.lens.proc.poll(), "the program died")
        # A tool's whole walk over the tree, as gdbus introspect does it.
        subprocess.run(["gdbus", "introspect", "--address", STACK.address, "--dest", bus,
                        "--object-path", "/org/a11y/atspi/accessible/root", "--recurse"],
                       check=True, capture_output=True, timeout=30)
        self.assertIsNone(self.lens.proc.poll(), "the program died")
        # And it still answers, and still obeys: Exit ends it with status 0.
        self.assertEqual(STACK.call(bus, paths["window"], "org.a11y.atspi.Accessible", "GetRole"),
                         (int(pyatspi.ROLE_FRAME),))
        self.press(self.find(self.window, pyatspi.ROLE_PUSH_BUTTON, "Exit"), "Press")
        self.assertEqual(self.lens.proc.wait(timeout=10), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
