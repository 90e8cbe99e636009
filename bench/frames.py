"""frames.py WINDOW SECONDS: prints how many frames the window (an id such as
0x200001, or a window name) painted over that many seconds, counted through
X Damage: damage that comes closer than 4 ms after the last is one frame."""
import sys
import time

from Xlib import X, display
from Xlib.ext import damage


def find(window, name):
    try:
        if window.get_wm_name() == name:
            return window
    except Exception:
        pass
    for child in window.query_tree().children:
        found = find(child, name)
        if found:
            return found
    return None


def main():
    d = display.Display()
    name, seconds = sys.argv[1], float(sys.argv[2])
    if name.startswith("0x"):
        window = d.create_resource_object("window", int(name, 16))
    else:
        window = find(d.screen().root, name)
    if window is None:
        sys.exit("no window %s" % name)
    d.damage_query_version()
    watch = window.damage_create(damage.DamageReportNonEmpty)
    frames, last = 0, 0.0
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while d.pending_events():
            if d.next_event().type == d.extension_event.DamageNotify:
                now = time.monotonic()
                if now - last > 0.004:
                    frames += 1
                last = now
                d.damage_subtract(watch, X.NONE, X.NONE)
        time.sleep(0.0005)
    print(frames)


if __name__ == "__main__":
    main()
