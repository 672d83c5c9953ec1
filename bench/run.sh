#!/usr/bin/env bash
# Runs the benchmarks and prints their ratios. Makes its clips with FFmpeg; compares real-time
# playback CPU with mpv (installed here if missing) on a virtual X server.
# Usage: bench/run.sh [open|soak|engine|capture|playback|interlaced|fullscreen|4k|soak-service ...]; no argument runs them all.
set -euo pipefail
sections=" ${*:-open soak engine capture playback interlaced fullscreen 4k soak-service} "
want() { [[ "$sections" == *" $1 "* ]]; }
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
for tool in mpv:mpv /usr/bin/time:time; do  # the benchmarks' references, not the tests' needs
  command -v "${tool%%:*}" >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${tool##*:}" >/dev/null
done
dpkg-query -W libxext-dev >/dev/null 2>&1 || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends libx11-dev libxext-dev >/dev/null
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
if want open; then
  echo "== open time over the damaged-media set"
  bash "$root/tests/make_clips.sh" "$root/build/release/clips"
  "$b/bench_open_damaged" "$root/build/release/clips" "$root/build/bench-damaged"
fi
if want soak; then
  echo "== soak: open, play 1 s, seek, close, many times in one process"
  vga="$clips/mpeg4_640x480.avi"
  [ -f "$vga" ] || ffmpeg -v error -y -f lavfi -i "testsrc2=size=640x480:rate=25:duration=10" \
    -f lavfi -i "sine=frequency=440:duration=10" -c:v mpeg4 -q:v 4 -c:a libmp3lame "$vga"
  "$b/bench_soak" "$vga" "${SOAK_SMALL:-300}" "$hd" "${SOAK_HD:-200}"
fi
if want engine; then
  echo "== engine"
  "$b/bench_engine" "$hd" "$beeps"
fi
if want capture; then
  echo "== capture"
  "$b/bench_capture" "$hd"
fi
want playback || want interlaced || want fullscreen || want 4k || want soak-service || exit 0

echo "== real-time playback on Xvfb: Plim, mpv and the minimal player, side by side"
# CPU is the player's user+system time plus the X server's during the run; memory is the
# player's maximum resident set; frames dropped as each player counts them.
n=88
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
export DISPLAY=":$n"
Xvfb "$DISPLAY" -screen 0 3900x2300x24 -nolisten tcp -noreset >/dev/null 2>&1 & xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
# A desktop session has a message bus. Without one, the toolkit and SDL each try to start
# one while a file opens (a fork of the whole player), which no user's desktop pays for.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
  mapfile -t bus < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
  export DBUS_SESSION_BUS_ADDRESS=${bus[0]}
  trap 'kill $xvfb ${bus[1]} 2>/dev/null || true' EXIT
fi
ticks=$(getconf CLK_TCK)
xcpu() { awk -v t="$ticks" '{printf "%.3f", ($14 + $15) / t}' "/proc/$xvfb/stat"; }
# Runs a player once; prints "CPU RSS_MiB DROPPED FIRST_FRAME_MS".
measure_once() {
  local x0 x1 dropped first
  x0=$(xcpu)
  /usr/bin/time -f "%U %S %M" -o /tmp/plim-bench-time "$@" >/tmp/plim-bench-out 2>&1 || true
  x1=$(xcpu)
  dropped=$(grep -o 'DROPPED=[0-9]*' /tmp/plim-bench-out | tail -1 | cut -d= -f2)
  first=$(grep -o 'FIRST_FRAME_MS=[0-9]*' /tmp/plim-bench-out | head -1 | cut -d= -f2)
  awk -v x0="$x0" -v x1="$x1" -v d="${dropped:-?}" -v f="${first:-?}" \
    'NR == 1 {printf "%.2f %.0f %s %s\n", $1 + $2 + x1 - x0, $3 / 1024, d, f}' /tmp/plim-bench-time
}
# The i-th of a column of numbers once sorted: the median when i is the middle.
nth() { sort -g | sed -n "$1p"; }
clip10() {  # name size rate codec-args...
  local out="$clips/$1"; shift
  local size=$1 rate=$2; shift 2
  [ -f "$out" ] || ffmpeg -v error -y -f lavfi -i "testsrc2=size=$size:rate=$rate:duration=10" \
    -f lavfi -i "sine=frequency=440:duration=10" "$@" "$out"
  echo "$out"
}
if want playback; then
h1080=$(clip10 h264_1080p30_10s.avi 1920x1080 30 -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p -c:a libmp3lame)
h2160=$(clip10 h264_2160p30_10s.avi 3840x2160 30 -c:v libx264 -preset veryfast -crf 22 -pix_fmt yuv420p -c:a libmp3lame)
mj240=$(clip10 mjpeg_240p25_10s.avi 320x240 25 -c:v mjpeg -q:v 3 -c:a pcm_s16le)
mj2160=$(clip10 mjpeg_2160p30_10s.avi 3840x2160 30 -c:v mjpeg -q:v 6 -c:a pcm_s16le)
printf "%-22s %34s %34s %28s\n" clip "Plim CPU s / RSS MiB / drop / 1st ms" "mpv CPU s / RSS MiB / drop / 1st ms" \
  "minimal CPU s / RSS / drop"
# Each clip is played BENCH_RUNS times (3 unless set) by the three players in turn, so a
# slow spell of the machine weighs on all three alike. A row gives each player's median CPU,
# RSS and time to the first frame, and the most frames it dropped in any run; a ratio is the
# median of the ratios of the runs that went together, steadier than the ratio of two medians.
runs=${BENCH_RUNS:-3}
m=$(((runs + 1) / 2))
rows=()
for c in "$h1080" "$h2160" "$mj240" "$mj2160"; do
  out=$(for _ in $(seq 1 "$runs"); do
    printf "%s %s %s\n" "$(measure_once "$b/plim_play" "$c")" \
      "$(measure_once mpv --no-config --vo=x11 --ao=null --msg-level=all=no,mpv_drops=info \
        --script="$root/bench/mpv_drops.lua" "$c")" \
      "$(measure_once "$b/min_player" "$c" | cut -d' ' -f1-3)"
  done)
  col() { awk -v k="$1" '{print $k}' <<<"$out"; }
  row=()
  for k in 1 2 3 4 5 6 7 8 9 10 11; do
    case $k in 3 | 7 | 11) row+=("$(col $k | sort -g | tail -1)") ;; *) row+=("$(col $k | nth $m)") ;; esac
  done
  printf "%-22s %11s %7s %5s %7s   %11s %7s %5s %7s   %12s %7s %7s\n" "$(basename "$c")" "${row[@]}"
  rows+=("$(basename "$c") $(awk '{print $2 / $6}' <<<"$out" | nth $m) $(awk '{print $1 / $5}' <<<"$out" | nth $m) $(awk '{print $1 / $9}' <<<"$out" | nth $m) $(awk '{print $4 / $8}' <<<"$out" | nth $m)")
done
echo "ratios (goals: RSS <= 0.80 x mpv; CPU <= 0.6 x mpv; first frame <= 0.6 x mpv; CPU <= 1.2 x minimal at 1080p, 1.5 x at 320x240):"
for r in "${rows[@]}"; do
  awk '{printf "  %-22s RSS/mpv %.2f  CPU/mpv %.2f  CPU/minimal %.2f  1st/mpv %.2f\n", $1, $2, $3, $4, $5}' <<<"$r"
done
# BENCH_BASELINE=path/to/another/plim_play (an earlier build): played in turn with this one,
# so a change is measured against what came before it in the same run.
if [ -n "${BENCH_BASELINE:-}" ]; then
echo "== against the baseline $BENCH_BASELINE, in turn (median CPU s / RSS MiB / most dropped / median 1st ms)"
for c in "$h1080" "$h2160" "$mj240" "$mj2160"; do
  out=$(for _ in $(seq 1 "$runs"); do
    printf "%s %s\n" "$(measure_once "$b/plim_play" "$c")" "$(measure_once "$BENCH_BASELINE" "$c")"
  done)
  col() { awk -v k="$1" '{print $k}' <<<"$out"; }
  printf "  %-22s now %6s %5s %3s %5s   baseline %6s %5s %3s %5s   CPU %.2f  RSS %.2f  1st %.2f (now/baseline)\n" \
    "$(basename "$c")" "$(col 1 | nth $m)" "$(col 2 | nth $m)" "$(col 3 | sort -g | tail -1)" "$(col 4 | nth $m)" \
    "$(col 5 | nth $m)" "$(col 6 | nth $m)" "$(col 7 | sort -g | tail -1)" "$(col 8 | nth $m)" \
    "$(awk '{print $1 / $5}' <<<"$out" | nth $m)" "$(awk '{print $2 / $6}' <<<"$out" | nth $m)" \
    "$(awk '{print $4 / $8}' <<<"$out" | nth $m)"
done
fi
fi

if want interlaced; then
runs=${BENCH_RUNS:-3}
m=$(((runs + 1) / 2))
echo "== interlaced video made whole: Plim against mpv --deinterlace=yes, played in turn"
# Camcorder DV (576i, bottom field first) and a TV recording (1080i H.264 with AC-3 in
# MPEG-TS, top field first), two fields of moving content a frame.
clipi() {  # name size field-rate scan codec-args...
  local out="$clips/$1"; shift
  local size=$1 rate=$2 scan=$3; shift 3
  [ -f "$out" ] || ffmpeg -v error -y -f lavfi -i "testsrc2=size=$size:rate=$rate:duration=10,interlace=scan=$scan" \
    -f lavfi -i "sine=frequency=440:duration=10" "$@" "$out"
  echo "$out"
}
dv576=$(clipi dv_576i_10s.dv 720x576 50 bff -target pal-dv)
ts1080=$(clipi h264_1080i_ac3_10s.ts 1920x1080 50 tff -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p \
  -flags +ilme+ildct -top 1 -c:a ac3 -f mpegts)
printf "%-24s %34s %34s %9s %9s\n" clip "Plim CPU s / RSS MiB / drop / 1st ms" "mpv CPU s / RSS MiB / drop / 1st ms" "CPU/mpv" "RSS/mpv"
for c in "$dv576" "$ts1080"; do
  out=$(for _ in $(seq 1 "$runs"); do
    printf "%s %s\n" "$(measure_once "$b/plim_play" "$c")" \
      "$(measure_once mpv --no-config --vo=x11 --ao=null --deinterlace=yes --msg-level=all=no,mpv_drops=info \
        --script="$root/bench/mpv_drops.lua" "$c")"
  done)
  col() { awk -v k="$1" '{print $k}' <<<"$out"; }
  printf "%-24s %11s %7s %5s %7s   %11s %7s %5s %7s   %7.2f %7.2f\n" "$(basename "$c")" \
    "$(col 1 | nth $m)" "$(col 2 | nth $m)" "$(col 3 | sort -g | tail -1)" "$(col 4 | nth $m)" \
    "$(col 5 | nth $m)" "$(col 6 | nth $m)" "$(col 7 | sort -g | tail -1)" "$(col 8 | nth $m)" \
    "$(awk '{print $1 / $5}' <<<"$out" | nth $m)" "$(awk '{print $2 / $6}' <<<"$out" | nth $m)"
done
echo "bwdif's own cost a frame (ffmpeg's decode with and without it, one filter thread; ms of CPU):"
for c in "$dv576" "$ts1080"; do
  cpu() { /usr/bin/time -f "%U %S" ffmpeg -v error -filter_threads 1 -i "$c" -an "$@" -f null - 2>&1 | tail -1 | awk '{print $1 + $2}'; }
  frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$c")
  with=$(cpu -vf bwdif=mode=send_frame:parity=auto:deint=interlaced) without=$(cpu)
  awk -v a="$with" -v b="$without" -v n="$frames" -v c="$(basename "$c")" \
    'BEGIN {printf "  %-24s %.2f ms a frame (%d frames)\n", c, (a - b) * 1000 / n, n}'
done
fi
if want soak-service; then
  echo "== soak through the MCI service and a video window on Xvfb: open, play 1 s, seek, close"
  "$b/bench_soak" --service "$hd" "${SOAK_HD:-200}"
fi
if want fullscreen; then
runs=${BENCH_RUNS:-3}
m=$(((runs + 1) / 2))
echo "== full screen: Plim against mpv --fs, played in turn, each screen an X server of its own"
# CPU here is the player's and that X server's; the picture fills the screen, its shape kept.
h720=$(clip10 h264_720p30_10s.avi 1280x720 30 -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p -c:a libmp3lame)
h1080=$(clip10 h264_1080p30_10s.avi 1920x1080 30 -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p -c:a libmp3lame)
h2160=$(clip10 h264_2160p30_10s.avi 3840x2160 30 -c:v libx264 -preset veryfast -crf 22 -pix_fmt yuv420p -c:a libmp3lame)
printf "%-34s %34s %34s %9s %9s %9s\n" "clip on screen" "Plim CPU s / RSS MiB / drop / X s" "mpv CPU s / RSS MiB / drop / X s" \
  "CPU/mpv" "X/mpv" "RSS/mpv"
main_display=$DISPLAY main_xvfb=$xvfb
# Runs a player once; prints "CPU RSS_MiB DROPPED X_SERVER_S".
measure_fs() {
  local x0 x1 dropped
  x0=$(xcpu)
  /usr/bin/time -f "%U %S %M" -o /tmp/plim-bench-time "$@" >/tmp/plim-bench-out 2>&1 || true
  x1=$(xcpu)
  dropped=$(grep -o 'DROPPED=[0-9]*' /tmp/plim-bench-out | tail -1 | cut -d= -f2)
  awk -v x0="$x0" -v x1="$x1" -v d="${dropped:-?}" \
    'NR == 1 {printf "%.2f %.0f %s %.2f\n", $1 + $2 + x1 - x0, $3 / 1024, d, x1 - x0}' /tmp/plim-bench-time
}
for spec in "$h1080@2560x1440" "$h720@1920x1080" "$h2160@3840x2160"; do
  c=${spec%@*} screen=${spec#*@}
  n=$((n + 1))
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  export DISPLAY=":$n"
  Xvfb "$DISPLAY" -screen 0 "${screen}x24" -nolisten tcp -noreset >/dev/null 2>&1 & xvfb=$!
  for _ in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  out=$(for _ in $(seq 1 "$runs"); do
    printf "%s %s\n" "$(measure_fs "$b/plim_play" --fs "$c")" \
      "$(measure_fs mpv --no-config --vo=x11 --ao=null --fs --msg-level=all=no,mpv_drops=info \
        --script="$root/bench/mpv_drops.lua" "$c")"
  done)
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  col() { awk -v k="$1" '{print $k}' <<<"$out"; }
  printf "%-34s %11s %7s %5s %7s   %11s %7s %5s %7s   %7.2f %9.2f %9.2f\n" "$(basename "$c") on $screen" \
    "$(col 1 | nth $m)" "$(col 2 | nth $m)" "$(col 3 | sort -g | tail -1)" "$(col 4 | nth $m)" \
    "$(col 5 | nth $m)" "$(col 6 | nth $m)" "$(col 7 | sort -g | tail -1)" "$(col 8 | nth $m)" \
    "$(awk '{print $1 / $5}' <<<"$out" | nth $m)" "$(awk '{print $4 / $8}' <<<"$out" | nth $m)" \
    "$(awk '{print $2 / $6}' <<<"$out" | nth $m)"
done
export DISPLAY=$main_display
xvfb=$main_xvfb
fi
want 4k || exit 0
runs=${BENCH_RUNS:-3}
m=$(((runs + 1) / 2))
echo "== 4K on our 2-core machine: Plim against mpv, played in turn"
# Each row: median CPU s (player + X server), median maximum RSS MiB, the most frames dropped
# in any run, median time from open to the first frame (ms). "fit" rows show the picture as
# large as fits a 1920x1080 screen, as the viewer does with a video larger than the screen.
u60=$(clip10 h264_2160p60_10s.mp4 3840x2160 60 -c:v libx264 -preset veryfast -crf 22 -pix_fmt yuv420p -c:a aac)
hevc=$(clip10 hevc10_2160p30_10s.mkv 3840x2160 30 -c:v libx265 -preset ultrafast -x265-params log-level=error \
  -pix_fmt yuv420p10le -c:a aac)
av1=$(clip10 av1_2160p30_10s.mp4 3840x2160 30 -c:v libsvtav1 -preset 12 -pix_fmt yuv420p -c:a aac)
printf "%-26s %34s %34s %9s %9s\n" clip "Plim CPU s / RSS MiB / drop / 1st ms" "mpv CPU s / RSS MiB / drop / 1st ms" "CPU/mpv" "RSS/mpv"
for spec in "$u60" "$hevc" "$av1" "fit:$u60"; do
  c=${spec#fit:}
  fit=() mfit=()
  [ "$spec" = "$c" ] || fit=(--fit 1916x1050) mfit=(--autofit=1916x1050)
  out=$(for _ in $(seq 1 "$runs"); do
    printf "%s %s\n" "$(measure_once "$b/plim_play" "${fit[@]}" "$c")" \
      "$(measure_once mpv --no-config --vo=x11 --ao=null "${mfit[@]}" --msg-level=all=no,mpv_drops=info \
        --script="$root/bench/mpv_drops.lua" "$c")"
  done)
  col() { awk -v k="$1" '{print $k}' <<<"$out"; }
  printf "%-26s %11s %7s %5s %7s   %11s %7s %5s %7s   %7.2f %7.2f\n" "$([ "$spec" = "$c" ] || echo "fit ")$(basename "$c")" \
    "$(col 1 | nth $m)" "$(col 2 | nth $m)" "$(col 3 | sort -g | tail -1)" "$(col 4 | nth $m)" \
    "$(col 5 | nth $m)" "$(col 6 | nth $m)" "$(col 7 | sort -g | tail -1)" "$(col 8 | nth $m)" \
    "$(awk '{print $1 / $5}' <<<"$out" | nth $m)" "$(awk '{print $2 / $6}' <<<"$out" | nth $m)"
done
if [ -n "${BENCH_BASELINE:-}" ]; then
  echo "== 4K against the baseline $BENCH_BASELINE, in turn (median CPU s / RSS MiB / most dropped / median 1st ms)"
  for c in "$u60" "$hevc" "$av1"; do
    out=$(for _ in $(seq 1 "$runs"); do
      printf "%s %s\n" "$(measure_once "$b/plim_play" "$c")" "$(measure_once "$BENCH_BASELINE" "$c")"
    done)
    col() { awk -v k="$1" '{print $k}' <<<"$out"; }
    printf "  %-24s now %6s %5s %3s %5s   baseline %6s %5s %3s %5s\n" "$(basename "$c")" \
      "$(col 1 | nth $m)" "$(col 2 | nth $m)" "$(col 3 | sort -g | tail -1)" "$(col 4 | nth $m)" \
      "$(col 5 | nth $m)" "$(col 6 | nth $m)" "$(col 7 | sort -g | tail -1)" "$(col 8 | nth $m)"
  done
fi
echo "== exact seek and steps at 4K HEVC, a key frame every 250 pictures, against libavcodec alone"
hevc250="$clips/hevc_2160p30_gop250.mkv"
[ -f "$hevc250" ] || ffmpeg -v error -y -f lavfi -i "testsrc2=size=3840x2160:rate=30:duration=12" -c:v libx265 \
  -preset ultrafast -x265-params log-level=error:keyint=250:min-keyint=250:scenecut=0 -pix_fmt yuv420p10le "$hevc250"
"$b/bench_engine" "$hevc250"
