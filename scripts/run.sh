#!/usr/bin/env bash
# Builds Plim (Release) and starts it in a folder that holds a sample video. Without a
# display it starts a virtual X server with a small window manager, drives Plim as a user
# would (opens the sample through the chooser and plays it), saves a screenshot of it
# playing, and keeps running until interrupted.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$root/build/release" plim

samples="$root/samples"
mkdir -p "$samples"
if ! ls "$samples"/*.avi "$samples"/*.mpg >/dev/null 2>&1; then
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=320x240:rate=25:duration=8" \
    -f lavfi -i "sine=frequency=440:duration=8" -c:v mpeg4 -q:v 3 -c:a libmp3lame -b:a 96k \
    "$samples/sample.avi"
fi
cd "$samples"

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT INT TERM

if [ -z "${DISPLAY:-}" ]; then
  n=77
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  export DISPLAY=":$n"
  echo "plim: no display; starting Plim on a virtual X server (Xvfb $DISPLAY) with openbox"
  export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}  # no sound card either: play silently
  Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 & pids+=($!)
  for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  openbox >/dev/null 2>&1 & pids+=($!)
  "$root/build/release/src/plim" & plim=$!; pids+=($plim)
  main=""
  for _ in $(seq 1 100); do
    main=$(xdotool search --onlyvisible --name '^Plim$' 2>/dev/null | head -n 1) && [ -n "$main" ] && break
    sleep 0.1
  done
  sleep 1
  # Show Plim's main job as a user would: open the sample through the chooser, play it.
  click() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep 0.6; }
  click "$main" 8 8                                   # open a video
  dialog=""
  for _ in $(seq 1 50); do
    dialog=$(xdotool search --onlyvisible --name 'ﾀﾞｲｱﾛｸﾞ' 2>/dev/null | head -n 1) && [ -n "$dialog" ] && break
    sleep 0.1
  done
  if [ -n "$dialog" ]; then
    click "$dialog" 200 12                            # the first video in the folder
    click "$dialog" 193 190                           # OK
    sleep 1.5
    click "$main" 45 8                                # play
    sleep 2
  fi
  shot="$root/build/plim-screenshot.png"
  import -window root "$shot"
  echo "plim: screenshot of Plim playing the sample saved to $shot (Ctrl+C ends it)"
  wait "$plim"
else
  exec "$root/build/release/src/plim"
fi
