#!/usr/bin/env bash
# `make run`: starts the lens on the user's display.
set -euo pipefail
build=${1:-build}
if [ -x "$build/app/vistrel" ]; then
  exec "$build/app/vistrel"
fi
# Until the program exists: show that the timer ticks as it should.
exec "$build/bench/bench_tick"
