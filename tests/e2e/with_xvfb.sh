#!/usr/bin/env bash
# with_xvfb.sh WIDTHxHEIGHT CMD ARGS...
# Runs CMD on a private Xvfb server of that size (depth 24, MIT-SHM on, no
# TCP, no window manager) and returns CMD's status. Xvfb is stopped afterwards.
# VISTREL_XVFB_MIT_SHM=off starts it without MIT-SHM, as a remote display is.
set -uo pipefail

if [ $# -lt 2 ] || ! [[ $1 =~ ^[0-9]+x[0-9]+$ ]]; then
  echo "usage: $0 WIDTHxHEIGHT CMD [ARGS...]" >&2
  exit 2
fi
size=$1
shift
# Run from a Wayland desktop, the program would take the desktop's screencast
# instead of this server's screen.
unset WAYLAND_DISPLAY XDG_SESSION_TYPE

xvfb_pid=""
stop_xvfb() {
  if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
}
trap stop_xvfb EXIT
trap 'exit 130' INT TERM

log=$(mktemp -t with_xvfb.XXXXXX)
# Several test runs may start servers at once: take the first number whose
# lock we win, and move on when Xvfb finds it taken after all.
for n in $(seq 90 189); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  # -noreset: the test desktop lives in the root window's background and must
  # outlast the client that painted it.
  shm=+
  [ "${VISTREL_XVFB_MIT_SHM:-on}" = off ] && shm=-
  Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp -noreset -dpi 96 "${shm}extension" MIT-SHM >"$log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 100); do
    if ! kill -0 "$xvfb_pid" 2>/dev/null; then
      break
    fi
    # The lock names the server that owns :n; another run's server may answer
    # there while ours is still finding out that it lost the race.
    if [ "$({ tr -d ' \n' <"/tmp/.X$n-lock"; } 2>/dev/null)" = "$xvfb_pid" ] &&
      DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
      export DISPLAY=":$n"
      break 2
    fi
    sleep 0.1
  done
  stop_xvfb
  xvfb_pid=""
done
if [ -z "$xvfb_pid" ]; then
  echo "with_xvfb.sh: could not start Xvfb" >&2
  cat "$log" >&2
  rm -f "$log"
  exit 1
fi
rm -f "$log"

"$@"
status=$?
exit $status
