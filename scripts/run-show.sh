#!/usr/bin/env bash
# Runs the show the way the README's first command promises: in a window on the desktop when a display is
# reachable, otherwise headless for ten minutes of show time (a few seconds of real time), leaving the
# last frame in a PNG file and saying where it is. Any arguments go to kestapp before the mode.
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/release/app/kestapp
if [ ! -x "$program" ]; then
  echo "run-show: $program is missing; build first: cmake --preset release && cmake --build --preset release" >&2
  exit 1
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "The show is starting full screen: press any key to end it, click a bubble to pop it."
  if "$program" --video=sdl "$@" /s; then
    exit 0
  fi
  echo "The show could not open a window (see above)."
fi

snapshot="$PWD/show.png"
echo "No display is reachable: playing ten minutes of the show headless instead."
"$program" --video=headless --seconds=600 --seed=1 --snapshot="$snapshot" "$@" /s
echo "The show's last frame is in $snapshot"
