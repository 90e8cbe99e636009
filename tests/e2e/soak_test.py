"""Soak: the real program on Xvfb for VISTREL_SOAK_SECONDS (180 by default)
while the pointer sweeps the whole screen (over the lens too) and the zoom,
Smooth, the colour probe and the colour mode change every few seconds.

Passes when the program never ends nor shows a window of its own unasked
(an error box), when its resident memory after the first 30 s grows by less
than VISTREL_SOAK_RSS_LIMIT_MB (5; 0 skips the check, as under ASan), and when
at every checkpoint, about a second apart and each at another place, the lens
shows exactly what it must for the current settings (vistrel-filter gives the
colour stages and smoothing). At the end a close request must end it with
status 0. The figures are printed.

Runs under vistrel_add_e2e_test; needs $VISTREL_EXE and $VISTREL_FILTER.
"""

import os
import random
import sys
import time
import unittest

import harness
from program_common import (
    COLOUR_GROUP_AT,
    HIGH_LEVEL,
    NORMAL_BUTTON,
    PROBE_BOX,
    RED_GREEN_BOX,
    SETUP_TITLE,
    SETUP_VISION,
    SETTLE_TIMEOUT,
    SIMULATION_BUTTON,
    SMOOTH_BOX,
    ZOOMS,
    Dialog,
    LensCheck,
    LensTestCase,
    Square,
    filtered,
    one_to_one,
    stretched,
)

SECONDS = float(os.environ.get("VISTREL_SOAK_SECONDS", "180"))
RSS_LIMIT_MB = float(os.environ.get("VISTREL_SOAK_RSS_LIMIT_MB", "5"))
WARM_UP = 30.0  # seconds before the memory baseline is taken
PHASE = 4.0  # seconds between setting changes
CHECK_EVERY = 1.0  # seconds between checkpoints

# Checkpoint places: at every zoom their square lies on a 1024 x 768 screen
# and clear of the lens window.
SPOTS = [(200, 200), (320, 420), (150, 560), (460, 300), (110, 120), (400, 640)]

# The colour modes in the order the dialog goes through them: each is one
# click in "Setup Your Vision", which then closes. (name, control, offset of
# its group, x within the control, vistrel-filter options)
COLOURS = [
    ("simulate", SIMULATION_BUTTON, (0, 0), None, ["--colour", "simulate"]),
    ("low", RED_GREEN_BOX, COLOUR_GROUP_AT, 8, ["--colour", "low"]),
    ("high", HIGH_LEVEL, COLOUR_GROUP_AT, 8, ["--colour", "high"]),
    ("normal", NORMAL_BUTTON, (0, 0), None, []),
]


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    raise RuntimeError("no VmRSS for %d" % pid)


class Soak(LensTestCase):
    def setUp(self):
        self.rng = random.Random(20240611)
        self.zoom, self.smooth, self.probe, self.colour = 2, False, False, 3  # "normal"
        self.expected_cache = {}
        self.changes = self.checkpoints = 0
        self.screen_w, self.screen_h = harness.screen_size()

    # --- the settings -------------------------------------------------------

    def change_something(self, step):
        what = step % 4
        if what == 0:
            zoom = self.rng.choice([z for z in ZOOMS if z != self.zoom])
            self.lens.set_zoom(zoom)
            self.zoom = zoom
        elif what == 1:
            self.lens.click_control(SMOOTH_BOX)
            self.smooth = not self.smooth
        elif what == 2:
            self.lens.click_control(PROBE_BOX)
            self.probe = not self.probe
        else:
            self.colour = (self.colour + 1) % len(COLOURS)
            _, rect, within, dx, _ = COLOURS[self.colour]
            self.lens.click_control(SETUP_VISION)
            dialog = Dialog(SETUP_TITLE)
            dialog.click(rect, within, dx)
            dialog.wait_closed()
        self.changes += 1

    def settings(self):
        return "zoom %d, smooth %s, probe %s, colour %s" % (
            self.zoom, self.smooth, self.probe, COLOURS[self.colour][0])

    # --- what the lens must show ----------------------------------------------

    def expected(self, spot):
        key = (spot, self.zoom, self.smooth, self.colour)
        if key not in self.expected_cache:
            size, zoom = self.size, self.zoom
            h, sw = size // (2 * zoom), int(size / zoom)
            crop = self.desktop.crop(spot[0] - h, spot[1] - h, 2 * h, 2 * h)
            options = COLOURS[self.colour][4]
            if self.smooth:
                square = one_to_one(filtered(crop, *options, "--smooth", str(zoom)), size)
            else:
                picture = filtered(crop, *options) if options else crop
                # At zoom 8 the capture has a column and a row more than the
                # square, whose content is left from earlier frames.
                full = harness.Picture(sw, sw)
                full.paste(picture, 0, 0)
                known = bytearray(sw * sw)
                for y in range(2 * h):
                    known[y * sw : y * sw + 2 * h] = b"\1" * (2 * h)
                square = stretched(Square(full, known), size)
            self.expected_cache[key] = square
        return self.expected_cache[key]

    def checkpoint(self):
        spot = SPOTS[self.checkpoints % len(SPOTS)]
        harness.move_pointer(*spot)
        excluded = []
        if self.probe:
            px, py, pw, ph = self.lens.probe_rect()
            excluded.append((px - 1, py - 1, pw + 2, ph + 2))
        check = LensCheck(self.expected(spot), self.size, excluded)
        self.assertGreater(check.count, 10000)
        deadline = time.monotonic() + SETTLE_TIMEOUT
        while True:
            shot = self.lens.client_shot()
            if check.matches(shot):
                break
            if time.monotonic() > deadline:
                ok, report = harness.check_same(
                    "soak-%d" % self.checkpoints, check.masked_expected(shot), shot)
                self.fail("the lens did not follow the pointer to %s (%s): %s" % (spot, self.settings(), report))
            time.sleep(0.03)
        self.checkpoints += 1

    def assertAlive(self):
        status = self.lens.proc.poll()
        self.assertIsNone(status, "the program ended with status %s (%s)" % (status, self.settings()))
        root = harness.x_display().screen().root
        others = [
            harness._names(w) or ["(untitled %#x)" % w.id]
            for w in root.query_tree().children
            if w.id != self.lens.win.id and w.get_attributes().map_state == harness.X.IsViewable
        ]
        self.assertEqual(others, [], "windows besides the lens showed (an error box?) (%s)" % self.settings())

    # --- the run -----------------------------------------------------------------

    def sweep(self, until):
        """Random pointer positions over the whole screen, corners and the lens included."""
        corners = [(0, 0), (self.screen_w - 1, 0), (0, self.screen_h - 1), (self.screen_w - 1, self.screen_h - 1)]
        while time.monotonic() < until:
            if self.rng.random() < 0.1:
                x, y = self.rng.choice(corners)
            else:
                x, y = self.rng.randrange(self.screen_w), self.rng.randrange(self.screen_h)
            harness.move_pointer(x, y)
            time.sleep(0.02)

    def test_soak(self):
        pid = self.lens.proc.pid
        start = time.monotonic()
        end = start + SECONDS
        baseline = None
        peak = start_rss = rss_mb(pid)
        step = 0
        next_change = start + PHASE
        while time.monotonic() < end:
            now = time.monotonic()
            if now >= next_change:
                # The trail shows which settings memory grows under.
                print("soak: %5.0f s  %6.1f MB  %s" % (now - start, rss_mb(pid), self.settings()), file=sys.stderr)
                self.change_something(step)
                step += 1
                next_change = now + PHASE
            self.sweep(min(time.monotonic() + CHECK_EVERY, end))
            self.checkpoint()
            self.assertAlive()
            rss = rss_mb(pid)
            peak = max(peak, rss)
            if baseline is None and time.monotonic() - start >= WARM_UP:
                baseline = rss
        final = rss_mb(pid)
        elapsed = time.monotonic() - start

        harness.move_pointer(100, 100)
        harness.close_window(self.lens.win)
        status = self.lens.proc.wait(timeout=60)

        growth = final - baseline if baseline is not None else float("nan")
        print(
            "soak: %.0f s, %d checkpoints, %d setting changes; resident memory %.1f MB at start, "
            "%.1f MB at %.0f s, %.1f MB at the end, %.1f MB peak; growth after warm-up %.2f MB; exit status %d"
            % (elapsed, self.checkpoints, self.changes, start_rss, baseline or float("nan"), WARM_UP, final,
               peak, growth, status),
            file=sys.stderr,
        )
        self.assertEqual(status, 0)
        self.assertGreaterEqual(self.checkpoints, int(SECONDS / (CHECK_EVERY + 2.0)))
        if RSS_LIMIT_MB > 0:
            self.assertIsNotNone(baseline, "the soak ended before its warm-up")
            self.assertLess(growth, RSS_LIMIT_MB, "resident memory grew by %.2f MB" % growth)


if __name__ == "__main__":
    unittest.main(verbosity=2)
