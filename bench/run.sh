#!/usr/bin/env bash
# Runs the benchmarks and prints their ratios. Makes its clips with FFmpeg; compares real-time
# playback CPU with ffplay and mpv (installed here if missing) on a virtual X server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
for tool in mpv:mpv /usr/bin/time:time; do
  command -v "${tool%%:*}" >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${tool##*:}" >/dev/null
done
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$root/build/release" bench >/dev/null
b="$root/build/release/bench"
clips="$root/build/bench-clips"
mkdir -p "$clips"
hd="$clips/h264_1080p30_gop250.avi"
[ -f "$hd" ] || ffmpeg -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=12" \
  -f lavfi -i "sine=frequency=440:duration=12" -c:v libx264 -preset veryfast -crf 20 -g 250 -keyint_min 250 \
  -sc_threshold 0 -pix_fmt yuv420p -c:a libmp3lame "$hd"
beeps="$clips/beeps.avi"
[ -f "$beeps" ] || ffmpeg -v error -y -f lavfi -i "color=black:size=320x240:rate=25:duration=6" \
  -f lavfi -i "sine=frequency=1000:sample_rate=44100:duration=6" -c:v mjpeg -c:a pcm_s16le "$beeps"

export SDL_AUDIODRIVER=dummy
echo "== open time over the damaged-media set"
bash "$root/tests/make_clips.sh" "$root/build/release/clips"
"$b/bench_open_damaged" "$root/build/release/clips" "$root/build/bench-damaged"
echo "== soak: open, play 1 s, seek, close, many times in one process"
vga="$clips/mpeg4_640x480.avi"
[ -f "$vga" ] || ffmpeg -v error -y -f lavfi -i "testsrc2=size=640x480:rate=25:duration=10" \
  -f lavfi -i "sine=frequency=440:duration=10" -c:v mpeg4 -q:v 4 -c:a libmp3lame "$vga"
"$b/bench_soak" "$vga" "${SOAK_SMALL:-300}" "$hd" "${SOAK_HD:-50}"
echo "== engine"
"$b/bench_engine" "$hd" "$beeps"
echo "== capture"
"$b/bench_capture" "$hd"

echo "== real-time playback on Xvfb, 10 s of 1080p30 H.264"
n=88
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
export DISPLAY=":$n"
Xvfb "$DISPLAY" -screen 0 1920x1200x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
cpu() {  # user+system CPU seconds of a command
  /usr/bin/time -f "%U %S" -o /tmp/plim-bench-time "$@" >/tmp/plim-bench-out 2>/dev/null || true
  awk '{printf "%.2f", $1 + $2}' /tmp/plim-bench-time
}
ten="$clips/h264_1080p30_10s.avi"
[ -f "$ten" ] || ffmpeg -v error -y -i "$hd" -t 10 -c copy "$ten"
plim=$(cpu "$b/plim_play" "$ten"); dropped=$(grep DROPPED /tmp/plim-bench-out | tail -1)
first=$(grep 'first frame' /tmp/plim-bench-out || true)
ffplayv=$(cpu ffplay -v error -autoexit -an "$ten")
mpvcpu=$(cpu mpv --really-quiet --vo=x11 --ao=null "$ten")
echo "plim_play: ${plim} s CPU, $dropped, $first"
echo "ffplay:    ${ffplayv} s CPU"
echo "mpv x11:   ${mpvcpu} s CPU"
awk -v p="$plim" -v m="$mpvcpu" -v f="$ffplayv" 'BEGIN { if (m > 0) printf "ratio plim/mpv %.2f (goal <= 0.75), plim/ffplay %.2f\n", p / m, p / f }'
