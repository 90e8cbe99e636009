#!/usr/bin/env bash
# cpu_share.sh [BUILD_DIR] [WIDTHxHEIGHT] [SECONDS]
# The running program's own CPU time (all its threads, not the X server's) as
# a share of one core, on a private Xvfb of that size (default 1920x1080)
# showing the e2e test desktop:
# SECONDS (default 20) with the cursor still over the desktop, then as long
# with it moving a pixel to and fro every 10 ms. Then bench_frame on the same
# server through the real X11 capture, zoom 2 with Smooth on (skipped with
# CPU_SHARE_BENCH=0).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build-perf}
size=${2:-1920x1080}
seconds=${3:-20}

if [ "${CPU_SHARE_INNER:-}" != 1 ]; then
  CPU_SHARE_INNER=1 CPU_SHARE_BENCH=${CPU_SHARE_BENCH:-1} exec "$here/../tests/e2e/with_xvfb.sh" "$size" "$0" "$build" "$size" "$seconds"
fi

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
share() { # pid seconds
  local before after
  before=$(cpu_ticks "$1")
  sleep "$2"
  after=$(cpu_ticks "$1")
  awk -v d=$((after - before)) -v t="$ticks" -v s="$2" 'BEGIN { printf "%.2f%%", 100 * d / t / s }'
}

width=${size%x*}
height=${size#*x}
# The e2e test desktop (text, textures, colours) on the root window: a blank
# root is one colour, which no colour stage finds costly.
# The system's python has python3-xlib (a pyenv one in PATH may not).
python=${VISTREL_E2E_PYTHON:-/usr/bin/python3}
[ -x "$python" ] || python=python3
if ! "$python" "$here/../tests/e2e/harness.py" paint; then
  echo "cpu_share: the test desktop could not be painted; measuring over a blank root"
fi
xdotool mousemove $((width / 4)) $((height / 2))
QT_QPA_PLATFORM=xcb "$build/app/vistrel" &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null' EXIT
sleep 3
echo "cpu_share: screen $size, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "still:  $(share $pid "$seconds") of one core over ${seconds} s"
(
  end=$((SECONDS + seconds + 1))
  while [ $SECONDS -lt $end ]; do
    xdotool mousemove_relative -- 1 0
    sleep 0.01
    xdotool mousemove_relative -- -1 0
    sleep 0.01
  done
) &
mover=$!
echo "moving: $(share $pid "$seconds") of one core over ${seconds} s"
wait $mover
kill $pid
wait $pid 2>/dev/null || true
trap - EXIT
if [ "${CPU_SHARE_BENCH:-1}" != 0 ]; then
  "$build/bench/bench_frame" --screen x11 --frames 50 --headline 1000
fi
