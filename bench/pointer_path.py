"""pointer_path.py SECONDS: walks the pointer a pixel to the right every 4 ms
and back after 200, so that every 10 ms frame finds it somewhere new; at the
end it puts the pointer back where it found it, so that walks one after
another stay on the same path."""
import sys
import time

from Xlib import display

d = display.Display()
root = d.screen().root
end = time.monotonic() + float(sys.argv[1])
start = root.query_pointer()
step = 0
while time.monotonic() < end:
    step += 1
    k = step % 400
    root.warp_pointer(start.root_x + (k if k < 200 else 400 - k), start.root_y)
    d.flush()
    time.sleep(0.004)
root.warp_pointer(start.root_x, start.root_y)
d.flush()
