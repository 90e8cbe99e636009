#!/usr/bin/env bash
# cpu_share.sh [--peer] [BUILD_DIR] [WIDTHxHEIGHT] [SECONDS]
# What the running lens costs the machine, on a private Xvfb of that size
# (default 1920x1080) showing the e2e test desktop: the program's CPU time
# (all its threads), the X server's, their sum, and the frames painted
# (counted through X Damage on the window), SECONDS (default 12) with the
# pointer still, then as long with it moving a pixel every 4 ms so that every
# frame finds it somewhere new. It does so in each mode in turn, switched
# with clicks on the lens's controls (bench/lens_mode.py): plain zoom 2, then
# Smooth, then with Smooth on simulation and correction levels 1 and 2 (the
# dialog keeps level 3 disabled): CPU_SHARE_MODES="plain smooth simulate low
# high" by default, or any part of that list in that order. --peer measures
# xzoom -mag 2 -delay 10 of the same size over the same desktop and pointer
# path in the same run, and prints each mode's cost per frame against
# xzoom's plain one. Then bench_frame on the same server through the real
# X11 capture (skipped with CPU_SHARE_BENCH=0).
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

# Without its peer the run would end at xzoom's turn, after every mode.
if [ "$peer" = 1 ] && ! command -v xzoom >/dev/null; then
  echo "cpu_share: --peer needs xzoom: scripts/install-deps.sh --bench installs it" >&2
  exit 1
fi

if [ "${CPU_SHARE_INNER:-}" != 1 ]; then
  CPU_SHARE_INNER=1 CPU_SHARE_PEER=$peer CPU_SHARE_BENCH=${CPU_SHARE_BENCH:-1} \
    CPU_SHARE_MODES=${CPU_SHARE_MODES:-plain smooth simulate low high} \
    exec "$here/../tests/e2e/with_xvfb.sh" "$size" "$0" "$build" "$size" "$seconds"
fi

peer=${CPU_SHARE_PEER:-$peer}
python=${VISTREL_E2E_PYTHON:-/usr/bin/python3}
[ -x "$python" ] || python=python3
ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# The server of this display: its lock file names it (other servers may run).
server=$(tr -d ' \n' <"/tmp/.X${DISPLAY#:}-lock")
width=${size%x*}
height=${size#*x}
lens=$((2 * width / 5))

# measure NAME PID WINDOW MOVING: prints one line, leaves the cost per frame
# in $per_frame and the share of one core in $share.
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
  share=$(awk -v c=$((b - a)) -v s=$((y - x)) -v t="$ticks" -v d="$seconds" 'BEGIN { printf "%.2f", 100 * (c + s) / t / d }')
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
# Each mode's still share and moving cost per frame, for the summary.
summary=()
for mode in $CPU_SHARE_MODES; do
  if [ "$mode" != plain ]; then
    "$python" "$here/lens_mode.py" "$mode"
    sleep 1
  fi
  measure "$mode" $pid "$window" still
  still_share=$share
  measure "$mode" $pid "$window" moving
  summary+=("$mode $still_share $per_frame")
done
kill $pid
wait $pid 2>/dev/null || true
trap - EXIT

moving_peer=0
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
fi

echo "summary $size: mode, still share of one core, moving ms a frame$([ "$peer" = 1 ] && echo ", ratio to xzoom's plain ms a frame ($moving_peer)")"
for line in "${summary[@]}"; do
  set -- $line
  awk -v m="$1" -v s="$2" -v a="$3" -v b="$moving_peer" \
    'BEGIN { printf "  %-8s still %5.2f%%  moving %6.3f ms", m, s, a; if (b > 0) printf "  ratio %.2f", a / b; printf "\n" }'
done

if [ "${CPU_SHARE_BENCH:-1}" != 0 ]; then
  "$build/bench/bench_frame" --screen x11 --frames 50 --headline 1000
fi
