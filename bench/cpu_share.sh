#!/usr/bin/env bash
# cpu_share.sh [--peer] [BUILD_DIR] [WIDTHxHEIGHT] [SECONDS]
# What the running lens costs the machine, on a private Xvfb of that size
# (default 1920x1080) showing the e2e test desktop: the program's CPU time
# (all its threads), the X server's, their sum, and the frames painted
# (counted through X Damage on the window), SECONDS (default 12) with the
# pointer still, then as long with it moving a pixel every 4 ms so that every
# frame finds it somewhere new. --peer measures xzoom -mag 2 -delay 10 of the
# same size over the same desktop and pointer path in the same run, and
# prints the ratios of the costs per frame. Then bench_frame on the same
# server through the real X11 capture (skipped with CPU_SHARE_BENCH=0).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
peer=0
if [ "${1:-}" = --peer ]; then
  peer=1
  shift
fi
build=${1:-$here/../build-perf}
size=${2:-1920x1080}
seconds=${3:-12}

if [ "${CPU_SHARE_INNER:-}" != 1 ]; then
  CPU_SHARE_INNER=1 CPU_SHARE_PEER=$peer CPU_SHARE_BENCH=${CPU_SHARE_BENCH:-1} \
    exec "$here/../tests/e2e/with_xvfb.sh" "$size" "$0" "$build" "$size" "$seconds"
fi

peer=${CPU_SHARE_PEER:-$peer}
python=${VISTREL_E2E_PYTHON:-/usr/bin/python3}
[ -x "$python" ] || python=python3
ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
server=$(pgrep -n Xvfb)
width=${size%x*}
height=${size#*x}
lens=$((2 * width / 5))

# measure NAME PID WINDOW MOVING: prints one line, leaves the cost per frame
# in $per_frame.
measure() {
  local mover=
  if [ "$4" = moving ]; then
    "$python" "$here/pointer_path.py" $((seconds + 1)) &
    mover=$!
  fi
  local a x f b y
  a=$(cpu_ticks "$2")
  x=$(cpu_ticks "$server")
  f=$("$python" "$here/frames.py" "$3" "$seconds")
  b=$(cpu_ticks "$2")
  y=$(cpu_ticks "$server")
  [ -n "$mover" ] && wait "$mover"
  per_frame=$(awk -v c=$((b - a)) -v s=$((y - x)) -v t="$ticks" -v f="$f" 'BEGIN { printf "%.3f", (f > 0 ? 1000 * (c + s) / t / f : 0) }')
  awk -v c=$((b - a)) -v s=$((y - x)) -v t="$ticks" -v d="$seconds" -v f="$f" -v n="$1" -v m="$4" -v p="$per_frame" \
    'BEGIN { printf "%-8s %-7s program %5.2f%%  X server %5.2f%%  total %5.2f%% of one core  %4d frames  %s ms a frame\n", n, m, 100*c/t/d, 100*s/t/d, 100*(c+s)/t/d, f, p }'
}

# The e2e test desktop (text, textures, colours) on the root window.
if ! "$python" "$here/../tests/e2e/harness.py" paint; then
  echo "cpu_share: the test desktop could not be painted; measuring over a blank root"
fi
xdotool mousemove $((width / 4)) $((height / 2))
echo "cpu_share: screen $size, lens $lens, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"

QT_QPA_PLATFORM=xcb "$build/app/vistrel" &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null' EXIT
sleep 3
window=$(xdotool search --name '^VISTREL$' | head -1)
window=$(printf '0x%x' "$window")
measure vistrel $pid "$window" still
still_ours=$per_frame
measure vistrel $pid "$window" moving
moving_ours=$per_frame
kill $pid
wait $pid 2>/dev/null || true
trap - EXIT

if [ "$peer" = 1 ]; then
  xzoom -mag 2 -delay 10 -geometry "${lens}x${lens}" &
  pid=$!
  trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null' EXIT
  sleep 2
  window=$(xwininfo -root -tree | awk '/"xzoom/ { print $1; exit }')
  measure xzoom $pid "$window" still
  measure xzoom $pid "$window" moving
  moving_peer=$per_frame
  kill $pid
  wait $pid 2>/dev/null || true
  trap - EXIT
  awk -v a="$moving_ours" -v b="$moving_peer" 'BEGIN { if (b > 0) printf "ratio moving, vistrel to xzoom, per frame: %.2f\n", a / b }'
fi

if [ "${CPU_SHARE_BENCH:-1}" != 0 ]; then
  "$build/bench/bench_frame" --screen x11 --frames 50 --headline 1000
fi
