#!/usr/bin/env bash
# `make run`: starts the lens on the user's display. Without a display it
# shows the lens on a virtual X server instead: scripts/demo.py drives it over
# a test desktop and leaves screenshots and a contact sheet in demo/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build}" && pwd)

# A Wayland desktop: the program captures through the desktop's screencast
# and shows its window through Xwayland, which gives DISPLAY.
if [ -n "${WAYLAND_DISPLAY:-}" ] || [ "${XDG_SESSION_TYPE:-}" = wayland ]; then
  if [ -z "${DISPLAY:-}" ]; then
    echo "This Wayland desktop runs no Xwayland (DISPLAY is unset); the lens window needs it." >&2
    exit 1
  fi
  exec "$build/app/vistrel"
fi
if [ -n "${DISPLAY:-}" ]; then
  exec "$build/app/vistrel"
fi

echo "No display: showing the lens on a virtual screen (Xvfb) instead."
# Debian's own python3 has python-xlib, which the driver needs.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
exec "$root/tests/e2e/with_xvfb.sh" 1024x768 \
  "$python" "$root/tests/e2e/harness.py" paint -- \
  "$python" "$root/scripts/demo.py" "$build" "$root/demo"
