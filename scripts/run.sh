#!/usr/bin/env bash
# Builds Plim (Release) and starts it in a folder that holds a sample video. Without a
# display it starts a virtual X server with a small window manager, saves a screenshot once
# the main window is up, and keeps running until interrupted.
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
  Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
  for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  openbox >/dev/null 2>&1 & pids+=($!)
  "$root/build/release/src/plim" & plim=$!; pids+=($plim)
  for _ in $(seq 1 100); do
    xdotool search --name '^Plim$' >/dev/null 2>&1 && break
    sleep 0.1
  done
  sleep 1
  shot="$root/build/plim-screenshot.png"
  import -window root "$shot"
  echo "plim: screenshot of the main window saved to $shot"
  wait "$plim"
else
  exec "$root/build/release/src/plim"
fi
