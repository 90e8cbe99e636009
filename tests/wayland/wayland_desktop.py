"""A headless GNOME session for the tests, started and stopped by them as
with_xvfb.sh does Xvfb: a fresh runtime directory, a private session bus,
PipeWire with WirePlumber, and mutter with one virtual monitor and Xwayland.

The lens is an X client of Xwayland: once Desktop() is up, DISPLAY and
XAUTHORITY name Xwayland, so harness.py finds windows there as it does on
Xvfb. The pointer moves and clicks through mutter's RemoteDesktop API
(XWarpPointer and XTest on Xwayland do not move the compositor's pointer over
Wayland surfaces), and the screen is read back through a screencast of the
monitor that the harness itself holds, never from the program under test.

Needs python3-gi (Gio, Atspi) and python3-xlib; the read-back tool and the pattern
client come from $VISTREL_GRAB and $VISTREL_PATTERN.
"""

import glob
import os
import re
import shutil
import subprocess
import tempfile
import threading
import time

import gi

gi.require_version("Atspi", "2.0")
gi.require_version("Gio", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402

import harness  # noqa: E402
from Xlib import XK, error  # noqa: E402

A11Y_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
START_TIMEOUT = 20.0
CALL_TIMEOUT_MS = 10000

RD_NAME, RD_PATH = "org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop"
SC_NAME, SC_PATH = "org.gnome.Mutter.ScreenCast", "/org/gnome/Mutter/ScreenCast"
RD_SESSION, SC_SESSION = RD_NAME + ".Session", SC_NAME + ".Session"
# The read-back's cursor mode: hidden, so that only the windows are in the picture.
CURSOR_HIDDEN = 0
# Linux input button codes, as RemoteDesktop takes them, by X button number.
BTN_LEFT = 0x110
BUTTONS = {1: BTN_LEFT, 2: 0x112, 3: 0x111}

# A session bus that can activate nothing: no desktop portal, no mutter.
EMPTY_BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:tmpdir=%s</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>
"""


def wait_for(predicate, what, timeout=START_TIMEOUT, procs=()):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        for proc in procs:
            if proc.poll() is not None:
                raise RuntimeError("%s: %s exited with %d" % (what, proc.args[0], proc.returncode))
        if time.monotonic() > deadline:
            raise TimeoutError(what)
        time.sleep(0.05)


class Bus:
    """A connection to a session bus by address, with blocking calls."""

    def __init__(self, address):
        self.address = address
        self.conn = Gio.DBusConnection.new_for_address_sync(
            address,
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
            None, None)

    def call(self, dest, path, interface, member, args=None):
        """A call and its reply, unpacked; a D-Bus error raises GLib.Error."""
        reply = self.conn.call_sync(dest, path, interface, member, args, None, Gio.DBusCallFlags.NONE,
                                    CALL_TIMEOUT_MS, None)
        return reply.unpack() if reply is not None else ()

    def has_owner(self, name):
        return self.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                         GLib.Variant("(s)", (name,)))[0]

    def pump(self, predicate, what, timeout=START_TIMEOUT):
        """Delivers the bus's signals until predicate() holds."""
        context = GLib.MainContext.default()
        deadline = time.monotonic() + timeout
        while not predicate():
            if time.monotonic() > deadline:
                raise TimeoutError(what)
            while context.iteration(False):
                pass
            time.sleep(0.01)


class A11y:
    """What an accessibility bus says of the windows of its applications."""

    ACCESSIBLE = "org.a11y.atspi.Accessible"

    def __init__(self, address):
        self.bus = Bus(address)

    def _call(self, node, member, args=None, interface=ACCESSIBLE):
        return self.bus.call(node[0], node[1], interface, member, args)

    def name(self, node):
        return self._call(node, "Get", GLib.Variant("(ss)", (self.ACCESSIBLE, "Name")),
                          "org.freedesktop.DBus.Properties")[0]

    def role(self, node):
        """The node's Atspi.Role."""
        return Atspi.Role(self._call(node, "GetRole")[0])

    def has(self, node, state):
        """Whether the node is in `state` (an Atspi.StateType)."""
        words = self._call(node, "GetState")[0]
        return bool(words[int(state) // 32] >> (int(state) % 32) & 1)

    def children(self, node):
        return [tuple(c) for c in self._call(node, "GetChildren")[0]]

    def centre(self, node):
        """The centre of the node on the screen."""
        x, y, w, h = self._call(node, "GetExtents", GLib.Variant("(u)", (0,)), "org.a11y.atspi.Component")[0]
        return x + w // 2, y + h // 2

    def descendants(self, node):
        for child in self.children(node):
            yield child
            yield from self.descendants(child)

    def windows(self, pid=None, app=None):
        """The showing top-level windows of the applications of process `pid`
        or named `app`."""
        found = []
        for node in self.children(("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root")):
            try:
                owner = self.bus.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                      "GetConnectionUnixProcessID", GLib.Variant("(s)", (node[0],)))[0]
                if (pid is None or owner == pid) and (app is None or self.name(node) == app):
                    found += [w for w in self.children(node) if self.has(w, Atspi.StateType.SHOWING)]
            except GLib.Error:  # gone while we looked
                pass
        return found

    def find(self, node, role, predicate=lambda name: True):
        """The first descendant of that role whose name passes, or None."""
        for d in self.descendants(node):
            if self.role(d) == role and predicate(self.name(d)):
                return d
        return None


class MutterSession:
    """A RemoteDesktop session and the ScreenCast session tied to it, recording
    the primary monitor: its stream's PipeWire node is the read-back, and the
    stream's coordinates are the monitor's, in which the pointer moves."""

    def __init__(self, bus, cursor_mode=CURSOR_HIDDEN):
        self.bus = bus
        self.rd = bus.call(RD_NAME, RD_PATH, RD_NAME, "CreateSession")[0]
        session_id = bus.call(RD_NAME, self.rd, "org.freedesktop.DBus.Properties", "Get",
                              GLib.Variant("(ss)", (RD_SESSION, "SessionId")))[0]
        sc = bus.call(SC_NAME, SC_PATH, SC_NAME, "CreateSession",
                      GLib.Variant("(a{sv})", ({"remote-desktop-session-id": GLib.Variant("s", session_id)},)))[0]
        self.stream = bus.call(SC_NAME, sc, SC_SESSION, "RecordMonitor",
                               GLib.Variant("(sa{sv})", ("", {"cursor-mode": GLib.Variant("u", cursor_mode)})))[0]
        self.node = None
        self.closed = False

        def added(_conn, _sender, _path, _iface, _name, params):
            self.node = params.unpack()[0]

        def closed(*_):
            self.closed = True

        conn = bus.conn
        self._subscriptions = [
            conn.signal_subscribe(None, SC_NAME + ".Stream", "PipeWireStreamAdded", self.stream, None,
                                  Gio.DBusSignalFlags.NONE, added),
            conn.signal_subscribe(None, RD_SESSION, "Closed", self.rd, None, Gio.DBusSignalFlags.NONE, closed),
        ]
        self._rd_call("Start")
        bus.pump(lambda: self.node is not None, "mutter's screencast gave no PipeWire node")

    def _rd_call(self, member, signature=None, *args):
        return self.bus.call(RD_NAME, self.rd, RD_SESSION, member,
                             GLib.Variant(signature, args) if signature else None)

    def move_pointer(self, x, y):
        self._rd_call("NotifyPointerMotionAbsolute", "(sdd)", self.stream, float(x), float(y))

    def button(self, pressed, button=BTN_LEFT):
        self._rd_call("NotifyPointerButton", "(ib)", button, pressed)

    def key(self, keysym):
        """Presses and releases the key of an X keysym."""
        for pressed in (True, False):
            self._rd_call("NotifyKeyboardKeysym", "(ub)", keysym, pressed)

    def close(self):
        for s in self._subscriptions:
            self.bus.conn.signal_unsubscribe(s)
        if not self.closed:
            try:
                self._rd_call("Stop")
            except GLib.Error:  # it ended with PipeWire
                pass


class Desktop:
    """The whole session. Its environment (the bus, the runtime directory,
    WAYLAND_DISPLAY, and DISPLAY and XAUTHORITY of Xwayland) is put into
    os.environ, so that harness.py and programs started afterwards meet it."""

    def __init__(self, width=1920, height=1080):
        self.size = (width, height)
        self.tmp = tempfile.mkdtemp(prefix="vistrel-wayland-")
        self.log_dir = os.path.join(harness.artifact_dir(), "session")
        shutil.rmtree(self.log_dir, ignore_errors=True)
        os.makedirs(self.log_dir)
        runtime = os.path.join(self.tmp, "runtime")
        os.mkdir(runtime, 0o700)
        for name in ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "DBUS_SESSION_BUS_ADDRESS"):
            os.environ.pop(name, None)
        # Nothing of the user's home is read or kept: settings in memory, the
        # portal's permission store and any state in the scratch directory.
        os.environ.update(XDG_RUNTIME_DIR=runtime, XDG_CURRENT_DESKTOP="GNOME", XDG_SESSION_TYPE="wayland",
                          GSETTINGS_BACKEND="memory")
        for name in ("CONFIG", "DATA", "STATE", "CACHE"):
            path = os.path.join(self.tmp, name.lower())
            os.mkdir(path)
            os.environ["XDG_%s_HOME" % name] = path
        self.procs = {}
        self.session = self.pattern = None
        try:
            bus = self._start("dbus", ["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"],
                              stdout=subprocess.PIPE)
            os.environ["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
            bus.stdout.close()
            self.bus = Bus(os.environ["DBUS_SESSION_BUS_ADDRESS"])
            self.start_pipewire()
            self._start_mutter()
            self.session = MutterSession(self.bus)
            self.a11y = self._start_a11y(self.bus)
        except BaseException:
            self.stop()
            raise

    def _start(self, name, argv, **popen_args):
        """Starts a process of the session, its output (but a pipe asked
        for) in the session's log of that name."""
        with open(os.path.join(self.log_dir, name + ".log"), "a") as log:
            popen_args.setdefault("stdout", log)
            proc = subprocess.Popen(argv, stderr=log, **popen_args)
        self.procs[name] = proc
        return proc

    def start_pipewire(self):
        pw = self._start("pipewire", ["pipewire"])
        socket = os.path.join(os.environ["XDG_RUNTIME_DIR"], "pipewire-0")
        wait_for(lambda: os.path.exists(socket), "pipewire did not start", procs=[pw])
        wp = self._start("wireplumber", ["wireplumber"])
        # WirePlumber links streams once its export client has connected.
        wait_for(lambda: "WirePlumber [export]" in subprocess.run(["pw-cli", "ls", "Client"], capture_output=True,
                                                                  text=True).stdout,
                 "wireplumber did not start", procs=[pw, wp])

    def _start_mutter(self):
        log_path = os.path.join(self.log_dir, "mutter.log")
        open(log_path, "w").close()
        w, h = self.size
        mutter = self._start("mutter", ["mutter", "--headless", "--wayland", "--virtual-monitor", "%dx%d" % (w, h)])

        def displays():
            with open(log_path) as f:
                text = f.read()
            x11 = re.search(r"Using public X11 display (:\d+)", text)
            wl = re.search(r"Using Wayland display name '([^']+)'", text)
            auth = glob.glob(os.path.join(os.environ["XDG_RUNTIME_DIR"], ".mutter-Xwaylandauth.*"))
            return x11 and wl and auth and (x11.group(1), wl.group(1), auth[0])

        x11, wl, auth = wait_for(displays, "mutter did not start Xwayland", procs=[mutter])
        os.environ.update(DISPLAY=x11, WAYLAND_DISPLAY=wl, XAUTHORITY=auth)
        wait_for(lambda: self.bus.has_owner(RD_NAME) and self.bus.has_owner(SC_NAME),
                 "mutter's screencast API did not appear", procs=[mutter])
        wait_for(lambda: subprocess.run(["xdpyinfo"], capture_output=True).returncode == 0,
                 "Xwayland does not answer", procs=[mutter])
        # Services the bus starts on demand (the desktop portal) meet the session.
        env = {k: os.environ[k] for k in ("DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP",
                                          "XDG_SESSION_TYPE", "GSETTINGS_BACKEND", "XDG_CONFIG_HOME",
                                          "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME")}
        self.bus.call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                      "UpdateActivationEnvironment", GLib.Variant("(a{ss})", (env,)))

    def _start_a11y(self, bus, name="a11y", on_display=True):
        """The accessibility bus of a session bus, through which the tests
        read dialogs (the portal's, and the program's message boxes). Qt 6.4
        ignores AT_SPI_BUS_ADDRESS; programs find it through the session bus.
        On the display, the launcher also names its bus on the X root window,
        where registry daemons started later on demand look first: only the
        session's own may be there."""
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus.address)
        if not on_display:
            env.pop("DISPLAY")
        self._start(name, [A11Y_LAUNCHER, "--launch-immediately", "--a11y=1"], env=env)
        wait_for(lambda: bus.has_owner("org.a11y.Bus"), "the accessibility bus did not start")
        return A11y(bus.call("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress")[0])

    def restart_pipewire(self):
        """Stops PipeWire and WirePlumber and starts them again. Every
        screencast ends with them; the harness's own is opened anew."""
        for name in ("wireplumber", "pipewire"):
            harness.stop_processes([self.procs.pop(name)])
        self.session.close()
        self.start_pipewire()
        # Mutter notices the lost connection on its own time.
        wait_for(lambda: self._try_session(), "no screencast after the PipeWire restart")

    def _try_session(self):
        try:
            self.session = MutterSession(self.bus)
            return True
        except (GLib.Error, TimeoutError):
            return False

    def grab(self, rect=None):
        """The monitor's pixels now (all, or the rectangle (x, y, w, h)) as
        a Picture, through the harness's own screencast."""
        out = os.path.join(self.tmp, "grab.ppm")
        args = [os.environ["VISTREL_GRAB"], str(self.session.node), out]
        if rect is not None:
            args += [str(v) for v in rect]
        subprocess.run(args, check=True, capture_output=True, timeout=30)
        with open(out, "rb") as f:
            return harness.Picture.from_ppm(f.read())

    # --- harness.py's input and screenshots, through the session -------------

    def show_pattern(self, picture, path):
        """Puts the pattern client up, full-screen, showing `picture`; waits
        until the read-back shows it."""
        self.pattern = PatternClient(picture, path)
        wait_for(lambda: self.grab().rgb == picture.rgb, "the read-back does not show the pattern")

    def drive_harness(self):
        """Routes harness.py's pointer, buttons, keys and screenshots through
        the session, so that program_common.py's Lens drives the program here."""
        self._x_pointer = harness.pointer
        self._where = None
        for name in ("screenshot", "pointer", "move_pointer", "click", "press", "release", "keys"):
            setattr(harness, name, getattr(self, name))

    def screenshot(self, x=0, y=0, w=None, h=None):
        return self.grab((x, y, self.size[0] - x if w is None else w, self.size[1] - y if h is None else h))

    def pointer(self):
        """Where the harness last put the pointer (Xwayland knows it only over
        its own windows)."""
        return self._where if self._where is not None else self._x_pointer()

    def move_pointer(self, x, y, timeout=5.0):
        """Moves the pointer and waits until the window under it has seen it
        there: the pattern client, or an X window through Xwayland."""
        seen = len(self.pattern.lines)
        if self._where == (x, y):
            # A move to where the pointer is already is no motion: the
            # compositor reports nothing, and a lens started since would
            # never hear where the pointer is. Step off and back.
            self.session.move_pointer(x + 1 if x + 1 < self.size[0] else x - 1, y)
        deadline = time.monotonic() + timeout
        while True:
            self.session.move_pointer(x, y)
            resend = time.monotonic() + 1.0
            while time.monotonic() < resend:
                if (x, y) in self.pattern.pointers_since(seen) or self._x_pointer() == (x, y):
                    self._where = (x, y)
                    return
                time.sleep(0.01)
            if time.monotonic() > deadline:
                raise TimeoutError("pointer did not reach %d,%d" % (x, y))

    def click(self, button=1):
        self.press(button)
        self.release(button)
        self._await_focus()

    def _await_focus(self, timeout=1.0):
        """Mutter gives a clicked X window the keyboard a little after the
        click, and keys sent sooner reach the window that had it: waits
        (boundedly: the click may have closed the window) until the X focus
        lies in the top-level window under the pointer."""
        d = harness.x_display()
        root = d.screen().root
        under = root.query_pointer().child
        deadline = time.monotonic() + timeout
        while under and time.monotonic() < deadline:
            win = d.get_input_focus().focus
            try:
                while win and win not in (root, under) and not isinstance(win, int):
                    win = win.query_tree().parent
            except (error.BadWindow, error.BadDrawable):
                return  # the click closed the focused window
            if win == under:
                return
            time.sleep(0.01)

    def press(self, button=1):
        self.session.button(True, BUTTONS[button])

    def release(self, button=1):
        self.session.button(False, BUTTONS[button])

    def keys(self, *names):
        for name in names:
            self.session.key(XK.string_to_keysym(name))
            time.sleep(0.02)

    def empty_bus(self):
        """A second session bus where no service can be started (no desktop
        portal, no mutter), with an accessibility bus: (its address, the
        reader of its accessibility bus). It goes with the session."""
        config = os.path.join(self.tmp, "empty-bus.conf")
        with open(config, "w") as f:
            f.write(EMPTY_BUS_CONFIG % self.tmp)
        proc = self._start("empty-bus", ["dbus-daemon", "--config-file", config, "--nofork", "--nopidfile",
                                         "--print-address=1"], stdout=subprocess.PIPE)
        address = proc.stdout.readline().decode().strip()
        proc.stdout.close()
        return address, self._start_a11y(Bus(address), "empty-bus-a11y", on_display=False)

    def stop(self):
        if self.pattern is not None:
            self.pattern.stop()
        if self.session is not None:
            try:
                self.session.close()
            except GLib.Error:
                pass
        harness.stop_processes(list(self.procs.values()))
        shutil.rmtree(self.tmp, ignore_errors=True)


class PatternClient:
    """The pattern program on the compositor, full-screen: shows `picture`
    and tells where the compositor's pointer is over it."""

    def __init__(self, picture, path):
        with open(path, "wb") as f:
            f.write(picture.to_ppm())
        env = dict(os.environ, QT_QPA_PLATFORM="wayland")
        self.proc = subprocess.Popen([os.environ["VISTREL_PATTERN"], path], env=env, stdout=subprocess.PIPE,
                                     text=True)
        self.lines = []
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        wait_for(lambda: "shown" in self.lines, "the pattern did not show", procs=[self.proc])

    def _read(self):
        for line in self.proc.stdout:
            self.lines.append(line.strip())

    def pointers_since(self, index):
        """The pointer positions the client saw from its line `index` on."""
        return [tuple(int(v) for v in line.split()[1:]) for line in self.lines[index:] if line.startswith("pointer ")]

    def stop(self):
        harness.stop_processes([self.proc])
        self.proc.stdout.close()
