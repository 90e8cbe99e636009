"""wayland_capture.py BUILD_DIR [WIDTHxHEIGHT] [SECONDS]: the lens on the
headless GNOME session of the wayland tests (mutter with Xwayland, PipeWire),
capturing through mutter's screencast.

Prints, with the pointer moving through RemoteDesktop a few pixels every
4 ms for SECONDS (default 8): the CPU shares of mutter and Xwayland without
the lens (the peer: the same desktop and pointer path in the same run), then
with it, with the frames the lens painted per second (X Damage on its window,
as frames.py counts them) and its own share. Then the latency from a pointer move to the lens's
painted frame: the pointer jumps between far-apart places, and the lens
window is read (through Xwayland, every millisecond) until its centre shows
what it showed there once settled. Median and 90th percentile of 40 jumps.
"""

import os
import statistics
import subprocess
import sys
import threading
import time

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(here)
sys.path[:0] = [os.path.join(root, "tests", "e2e"), os.path.join(root, "tests", "wayland")]

import harness  # noqa: E402
import wayland_desktop  # noqa: E402

PATCH = 24  # the side of the centre patch compared, in lens pixels


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def pid_of(name):
    out = subprocess.run(["pgrep", "-n", "-x", name], capture_output=True, text=True).stdout.split()
    return int(out[0]) if out else None


def centre_patch(window, side):
    x = (side - PATCH) // 2
    return window.get_image(x, x, PATCH, PATCH, harness.X.ZPixmap, 0xFFFFFFFF).data


def main():
    build = os.path.abspath(sys.argv[1])
    width, height = (int(v) for v in (sys.argv[2] if len(sys.argv) > 2 else "1920x1080").split("x"))
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 8.0
    os.environ.setdefault("VISTREL_GRAB", os.path.join(build, "tests/wayland/wayland_screencast_grab"))
    os.environ.setdefault("VISTREL_PATTERN", os.path.join(build, "tests/wayland/wayland_pattern_client"))
    desktop = wayland_desktop.Desktop(width, height)
    lens = None
    try:
        desktop.show_pattern(harness.make_desktop(width, height), os.path.join(desktop.tmp, "pattern.ppm"))
        session = desktop.session
        height_half = height // 2
        stop = threading.Event()
        left = width - 2 * width // 5 - 40  # the pointer stays off the lens

        def mover():
            x, step = 100, 3
            while not stop.is_set():
                session.move_pointer(x, height_half)
                x += step
                if x > left or x < 100:
                    step = -step
                time.sleep(0.004)

        def shares_while_moving(procs, during):
            stop.clear()
            thread = threading.Thread(target=mover)
            thread.start()
            before = {k: cpu_seconds(p) for k, p in procs.items()}
            result = during()
            after = {k: cpu_seconds(p) for k, p in procs.items()}
            stop.set()
            thread.join()
            return {k: 100.0 * (after[k] - before[k]) / seconds for k in procs}, result

        compositor = {"mutter": pid_of("mutter"), "Xwayland": pid_of("Xwayland")}
        peer, _ = shares_while_moving(compositor, lambda: time.sleep(seconds))
        print("%dx%d moving, %.0f s, no lens: mutter %.1f %% + Xwayland %.1f %% = %.1f %%"
              % (width, height, seconds, peer["mutter"], peer["Xwayland"], sum(peer.values())))

        lens = subprocess.Popen([os.path.join(build, "app/vistrel")], env=dict(os.environ, VISTREL_SCREENCAST="mutter"),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        outer = harness.find_window("VISTREL", timeout=20)
        side = 2 * width // 5
        # The picture is the client window under the frame.
        picture = outer
        for child in outer.query_tree().children:
            geometry = child.get_geometry()
            if geometry.width == side and geometry.height == side:
                picture = child
        time.sleep(1.0)

        def count_frames():
            return int(subprocess.run([sys.executable, os.path.join(here, "frames.py"), hex(picture.id),
                                       str(seconds)], capture_output=True, text=True, check=True).stdout.split()[0])

        shares, frames = shares_while_moving(dict(compositor, lens=lens.pid), count_frames)
        print("%dx%d moving, %.0f s, lens: %.0f frames/s painted; lens %.1f %% + mutter %.1f %% + Xwayland %.1f %% "
              "= %.1f %% (%.2f times the desktop without it)"
              % (width, height, seconds, frames / seconds, shares["lens"], shares["mutter"], shares["Xwayland"],
                 sum(shares.values()), sum(shares.values()) / max(sum(peer.values()), 0.1)))

        # Latency: what each place looks like once settled, then jumps.
        places = [(200 + (i % 4) * (left - 300) // 3, 150 + (i // 4) * (height - 300) // 2) for i in range(12)]
        settled = {}
        for place in places:
            session.move_pointer(*place)
            time.sleep(0.6)
            settled[place] = centre_patch(picture, side)
        latencies = []
        for jump in range(40):
            place = places[(jump * 5) % len(places)]
            if centre_patch(picture, side) == settled[place]:
                continue
            start = time.monotonic()
            session.move_pointer(*place)
            while centre_patch(picture, side) != settled[place]:
                if time.monotonic() - start > 2.0:
                    break
                time.sleep(0.001)
            else:
                latencies.append(1000.0 * (time.monotonic() - start))
            time.sleep(0.1)
        latencies.sort()
        print("pointer move to painted frame: median %.1f ms, 90th percentile %.1f ms (%d jumps)"
              % (statistics.median(latencies), latencies[int(0.9 * (len(latencies) - 1))], len(latencies)))
    finally:
        if lens is not None:
            harness.stop_processes([lens])
        desktop.stop()


if __name__ == "__main__":
    main()
