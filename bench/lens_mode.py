"""lens_mode.py STEP: moves the running lens on to the next mode the way a
user does, with clicks on its controls (as the e2e tests click them), then
puts the pointer back where it was. The steps, in the order cpu_share.sh
takes them: smooth (ticks Smooth), simulate, low, high (the vision dialog's
simulation button, its red-green box, which selects Low Level, and High
Level). The third level's button is disabled in the dialog: no click
reaches it."""
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "e2e"))

import harness  # noqa: E402
from program_common import (  # noqa: E402
    COLOUR_GROUP_AT, HIGH_LEVEL, LENS_TITLE, RED_GREEN_BOX, SETUP_TITLE, SETUP_VISION, SIMULATION_BUTTON,
    SMOOTH_BOX, Dialog, Lens,
)

DIALOG_STEPS = {
    "simulate": (SIMULATION_BUTTON, (0, 0), None),
    "low": (RED_GREEN_BOX, COLOUR_GROUP_AT, 8),
    "high": (HIGH_LEVEL, COLOUR_GROUP_AT, 8),
}


class RunningLens(Lens):
    """The lens cpu_share.sh started, found by its title."""

    def __init__(self):
        self.screen = harness.screen_size()
        self.size = 2 * self.screen[0] // 5
        self.win = harness.find_window(LENS_TITLE, timeout=10)
        if self.win is None:
            sys.exit("lens_mode: no lens window")
        self.zoom = 2


def main():
    step = sys.argv[1]
    if step != "smooth" and step not in DIALOG_STEPS:
        sys.exit("lens_mode: unknown step %s" % step)
    back = harness.pointer()
    lens = RunningLens()
    place = lens.rect()
    if step == "smooth":
        lens.click_control(SMOOTH_BOX)
    else:
        lens.click_control(SETUP_VISION)
        dialog = Dialog(SETUP_TITLE)
        rect, within, dx = DIALOG_STEPS[step]
        dialog.click(rect, within, dx)
        dialog.wait_closed()
    harness.move_pointer(*back)
    # A click that missed could have left the lens elsewhere (over the
    # measured square, or under the pointer), which would measure something
    # else.
    if lens.rect() != place:
        sys.exit("lens_mode: the lens moved from %s to %s" % (place, lens.rect()))


if __name__ == "__main__":
    main()
