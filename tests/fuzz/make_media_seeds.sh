#!/usr/bin/env bash
# Makes the media fuzzer's seeds: the containers and codecs the conformance matrix holds, each
# a complete file of a few KB (tiny pictures, a few frames, a little sound), so that every
# mutation starts from a file that opens. The kept corpus (corpus_media) is these, minimized
# with libFuzzer's -merge=1; run this again only to remake it.
# Usage: tests/fuzz/make_media_seeds.sh OUTDIR
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
ff() { ffmpeg -v error -y "$@"; }
src() { echo "testsrc2=size=$1:rate=$2:duration=$3"; }                 # size rate seconds
tone() { echo "sine=frequency=440:sample_rate=8000:duration=$1"; }      # seconds
ff -f lavfi -i "$(src 64x48 10 0.5)" -f lavfi -i "$(tone 0.5)" -c:v mjpeg -q:v 20 -c:a pcm_u8 -ac 1 mjpeg_pcm.avi
ff -f lavfi -i "$(src 64x48 10 0.8)" -f lavfi -i "$(tone 0.8)" -c:v mpeg4 -bf 2 -q:v 20 -c:a libmp3lame -b:a 8k mpeg4_bf.avi
ff -f lavfi -i "$(src 64x48 10 0.8)" -c:v libx264 -preset ultrafast -bf 3 -b-pyramid normal -crf 40 -pix_fmt yuv420p h264_pyramid.avi
ff -f lavfi -i "$(src 720x480 30000/1001 0.04)" -f lavfi -i "sine=sample_rate=48000:duration=0.04" -target ntsc-dv dv.avi
ff -f lavfi -i "$(src 64x48 25 0.5)" -f lavfi -i "$(tone 0.5)" -c:v mpeg2video -q:v 20 -c:a mp2 -b:a 32k -f mpeg ps.mpg
ff -f lavfi -i "$(src 64x48 25 0.5)" -c:v mpeg1video -q:v 20 -f mpeg mpeg1.mpg
cat ps.mpg ps.mpg > joined.mpg
ff -f lavfi -i "$(src 64x48 25 0.4),interlace" -c:v mpeg2video -flags +ilme+ildct -top 1 -q:v 20 -f mpeg interlaced.mpg
ff -f lavfi -i "color=gray:size=720x480:rate=24000/1001:duration=0.3" -pix_fmt yuv420p -f yuv4mpegpipe - |
  mpeg2enc -v 0 -f 8 -p -a 2 -q 31 -o telecine.m2v
ff -f lavfi -i "sine=sample_rate=48000:duration=0.3" -c:a mp2 -b:a 64k -f mp2 telecine.mp2
mplex -v 0 -f 8 -o telecine.mpg telecine.m2v telecine.mp2
rm -f telecine.m2v telecine.mp2
ff -f lavfi -i "$(src 64x48 10 0.5)" -f lavfi -i "$(tone 0.5)" -c:v libx264 -preset ultrafast -crf 40 -pix_fmt yuv420p \
  -c:a aac -b:a 8k -movflags +faststart h264.mp4
ff -display_rotation 90 -i h264.mp4 -c copy rotated.mp4 2>/dev/null || ff -i h264.mp4 -c copy -metadata:s:v rotate=90 rotated.mp4
ff -f lavfi -i "$(src 64x48 10 0.3)" -f lavfi -i "$(tone 0.3)" -c:v prores_ks -profile:v 0 -c:a pcm_s16le prores.mov
ff -f lavfi -i "$(src 64x48 10 0.5)" -c:v libx265 -preset ultrafast -x265-params log-level=error:crf=40 \
  -pix_fmt yuv420p10le -color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc hdr.mkv
ff -f lavfi -i "$(src 64x48 10 0.5)" -f lavfi -i "sine=sample_rate=48000:duration=0.5" -c:v libvpx-vp9 -deadline realtime \
  -cpu-used 8 -b:v 20k -c:a libopus -b:a 8k vp9.webm
for ts in ts m2ts; do
  ff -f lavfi -i "$(src 64x48 25 0.5)" -f lavfi -i "$(tone 0.5)" -c:v libx264 -preset ultrafast -crf 40 -x264-params open-gop=1 \
    -pix_fmt yuv420p -c:a mp2 -b:a 32k -f mpegts $([ $ts = m2ts ] && echo -mpegts_m2ts_mode 1) opengop.$ts
done
ff -f lavfi -i "$(tone 0.5)" -c:a mp2 -b:a 32k -f mpeg audio_only.mpg
ls -l "$out"
