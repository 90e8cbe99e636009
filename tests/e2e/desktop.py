"""A desktop on the test's X server: a window manager, a compositor and RandR
monitors, set up before a command runs and taken down after it.

    python3 desktop.py [--wm openbox] [--compositor picom] [--monitor WxH+X+Y]... -- CMD ARGS...

Runs inside with_xvfb.sh (DISPLAY set) and returns CMD's status. The first
--monitor is the primary one. The tests use wm_name() and compositor_name()
to check what runs.
"""

import os
import subprocess
import sys
import time

import harness

START_TIMEOUT = 15.0
# openbox's own default settings, not whatever a developer's home holds.
OPENBOX = ["openbox", "--sm-disable", "--config-file", "/etc/xdg/openbox/rc.xml"]
# No configuration file: no shadows, fading or rounded corners, nothing
# painted but the windows. XRender: Xvfb has no GPU.
PICOM = ["picom", "--config", "/dev/null", "--backend", "xrender"]


def _name_of(win):
    d = harness.x_display()
    prop = win.get_full_property(d.intern_atom("_NET_WM_NAME"), d.intern_atom("UTF8_STRING"))
    return bytes(prop.value).decode("utf-8", "replace") if prop else None


def wm_name():
    """The running window manager's name as _NET_SUPPORTING_WM_CHECK gives
    it (the check window names itself as its own check), or None."""
    d = harness.x_display()
    check = d.intern_atom("_NET_SUPPORTING_WM_CHECK")
    prop = d.screen().root.get_full_property(check, harness.Xatom.WINDOW)
    if not prop or not prop.value:
        return None
    win = d.create_resource_object("window", prop.value[0])
    try:
        own = win.get_full_property(check, harness.Xatom.WINDOW)
        if not own or own.value[0] != win.id:
            return None
        return _name_of(win)
    except Exception:  # a stale id: the manager has gone
        return None


def compositor_name():
    """The name of the window that owns _NET_WM_CM_S0 ("" when it has none),
    or None when no compositor runs."""
    d = harness.x_display()
    owner = d.get_selection_owner(d.intern_atom("_NET_WM_CM_S0"))
    if getattr(owner, "id", owner) == harness.X.NONE:
        return None
    try:
        return _name_of(owner) or ""
    except Exception:
        return None


def _wait(predicate, what, proc):
    deadline = time.monotonic() + START_TIMEOUT
    while not predicate():
        if proc.poll() is not None:
            raise RuntimeError("%s exited with %d" % (what, proc.returncode))
        if time.monotonic() > deadline:
            raise TimeoutError("%s did not come up" % what)
        time.sleep(0.05)


def _set_monitors(geometries):
    """Splits the screen into RandR monitors; the first, which takes the
    screen's output, is the primary one."""
    for i, geometry in enumerate(geometries):
        size, x, y = geometry.split("+")
        w, h = (int(v) for v in size.split("x"))
        # Millimetres at 96 dpi.
        with_mm = "%d/%dx%d/%d+%s+%s" % (w, w * 254 // 960, h, h * 254 // 960, x, y)
        name = ("*" if i == 0 else "") + "vistrel-%d" % i
        output = "screen" if i == 0 else "none"
        subprocess.run(["xrandr", "--setmonitor", name, with_mm, output], check=True, capture_output=True)


def _main(args):
    if "--" not in args:
        print(__doc__, file=sys.stderr)
        return 2
    options, command = args[: args.index("--")], args[args.index("--") + 1 :]
    wm, compositor, monitors = None, None, []
    while options:
        flag, value, options = options[0], options[1] if len(options) > 1 else None, options[2:]
        if flag == "--wm" and value == "openbox":
            wm = value
        elif flag == "--compositor" and value == "picom":
            compositor = value
        elif flag == "--monitor" and value:
            monitors.append(value)
        else:
            print(__doc__, file=sys.stderr)
            return 2
    log_path = os.path.join(harness.artifact_dir(), "desktop.log")
    os.makedirs(os.path.dirname(log_path), exist_ok=True)
    started = []
    with open(log_path, "w") as log:
        try:
            if monitors:
                _set_monitors(monitors)
            if wm:
                started.append(subprocess.Popen(OPENBOX, stdout=log, stderr=log))
                _wait(lambda: wm_name() == "Openbox", "openbox", started[-1])
            if compositor:
                started.append(subprocess.Popen(PICOM, stdout=log, stderr=log))
                _wait(lambda: compositor_name() is not None, "picom", started[-1])
            return subprocess.run(command).returncode
        finally:
            harness.stop_processes(started)


if __name__ == "__main__":
    sys.exit(_main(sys.argv[1:]))
