"""The lens shown without a display: run on a virtual X server whose root
window shows the test desktop (scripts/run.sh starts it), it drives the real
program through every zoom and colour mode, Smooth, the colour probe, the
control panel and the dialogs, saves a screenshot of each state in demo/ and
a labelled contact sheet, and ends the program with its Exit button.

    python3 scripts/demo.py BUILD_DIR [OUT_DIR]
"""

import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import harness  # noqa: E402
from program_common import (  # noqa: E402
    ABOUT_BUTTON, ABOUT_CLOSE, ABOUT_TITLE, CLOSE_BUTTON, COLOUR_GROUP_AT, EXIT_BUTTON, HIGH_LEVEL, NORMAL_BUTTON, PROBE_BOX,
    RED_GREEN_BOX, SETUP_TITLE, SETUP_VISION, SIMULATION_BUTTON, SMOOTH_BOX, TRACKBAR1, ZOOMS, Dialog, Lens,
)

FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
# Where the cyan and orange blocks meet the text: detail at every zoom.
BLOCKS = (244, 230)
# Between the pure red and green areas, above the row of blocks: what the
# colour modes act on.
RED_GREEN = (136, 130)
RED_CENTRE = (80, 96)


class Demo:
    def __init__(self, out_dir):
        self.out_dir = out_dir
        self.shots = []  # (file, label)
        os.makedirs(out_dir, exist_ok=True)
        for name in os.listdir(out_dir):
            if name.endswith(".png"):
                os.remove(os.path.join(out_dir, name))

    def sweep(self, end, steps=12):
        """Moves the cursor across the desktop to `end`, the way a user would,
        letting the lens follow."""
        w, h = harness.screen_size()
        start = (40, h - 60)
        for i in range(steps + 1):
            x = start[0] + (end[0] - start[0]) * i // steps
            y = start[1] + (end[1] - start[1]) * i // steps
            harness.move_pointer(x, y)
            time.sleep(0.03)
        time.sleep(0.3)

    def shot(self, label):
        name = "%02d-%s.png" % (len(self.shots) + 1, label.lower().replace(" ", "-").replace(",", ""))
        path = os.path.join(self.out_dir, name)
        harness.screenshot().save_png(path)
        # Screenshots leave the pointer out; the label says where it was.
        self.shots.append((path, "%s (cursor %d,%d)" % (label, *harness.pointer())))
        print("  %s" % path)

    def contact_sheet(self):
        path = os.path.join(self.out_dir, "contact-sheet.png")
        argv = ["montage", "-font", FONT, "-pointsize", "14", "-background", "white"]
        for file, label in self.shots:
            argv += ["-label", label, file]
        argv += ["-tile", "4x", "-geometry", "384x288+6+6", path]
        subprocess.run(argv, check=True)
        return path


def choose(lens, rect, within=(0, 0), dx=None):
    lens.click_control(SETUP_VISION)
    dialog = Dialog(SETUP_TITLE)
    dialog.click(rect, within, dx)
    dialog.wait_closed()


def main(argv):
    if len(argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        return 2
    build = os.path.abspath(argv[1])
    out_dir = os.path.abspath(argv[2]) if len(argv) == 3 else os.path.join(ROOT, "demo")
    os.environ["VISTREL_EXE"] = os.path.join(build, "app", "vistrel")
    # Help is not opened by the demo; keep any launcher away from the real desktop.
    os.environ["VISTREL_HELP_LAUNCHER"] = "true"

    demo = Demo(out_dir)
    print("Screenshots:")
    lens = Lens()
    try:
        for zoom in ZOOMS:
            lens.set_zoom(zoom)
            demo.sweep(BLOCKS)
            demo.shot("zoom %d" % zoom)

        lens.set_zoom(4)
        lens.click_control(SMOOTH_BOX)
        demo.sweep(BLOCKS)
        demo.shot("zoom 4, smooth")
        lens.click_control(SMOOTH_BOX)

        lens.set_zoom(2)
        lens.click_control(PROBE_BOX)
        demo.sweep(RED_CENTRE)
        demo.shot("colour probe on red")
        demo.sweep(BLOCKS)
        demo.shot("colour probe on the blocks")
        lens.click_control(PROBE_BOX)

        for label, rect, within, dx in [
            ("zoom 4", None, None, None),
            ("red-green simulation", SIMULATION_BUTTON, (0, 0), None),
            ("correction, low level", RED_GREEN_BOX, COLOUR_GROUP_AT, 8),
            ("correction, high level", HIGH_LEVEL, COLOUR_GROUP_AT, 8),
            ("normal colour", NORMAL_BUTTON, (0, 0), None),
        ]:
            if rect is None:
                lens.set_zoom(4)
            else:
                choose(lens, rect, within, dx)
            demo.sweep(RED_GREEN)
            demo.shot(label)

        lens.open_panel(lens.control_point(TRACKBAR1))
        demo.shot("control panel")

        lens.click_control(SETUP_VISION)
        setup = Dialog(SETUP_TITLE)
        demo.shot("setup your vision")
        setup.click(CLOSE_BUTTON)
        setup.wait_closed()

        lens.click_control(ABOUT_BUTTON)
        about = Dialog(ABOUT_TITLE)
        demo.shot("about program")
        about.click(ABOUT_CLOSE)
        about.wait_closed()

        lens.click_control(EXIT_BUTTON)
        status = lens.proc.wait(timeout=15)
    except BaseException:
        lens.close()
        raise

    sheet = demo.contact_sheet()
    print("Contact sheet: %s" % sheet)
    print("The program ended with status %d." % status)
    return 0 if status == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
