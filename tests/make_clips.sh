#!/usr/bin/env bash
# Makes the short test clips, once per build tree: one per container and codec the viewer
# must play, plus damaged files. Usage: make_clips.sh OUTDIR
set -euo pipefail
out=$1
mkdir -p "$out"
stamp=$(md5sum "$0" | cut -d' ' -f1)
cd "$out"
[ "$(cat .done 2>/dev/null)" = "$stamp" ] && exit 0
ff() { ffmpeg -v error -y "$@"; }
src() { echo "testsrc2=size=$1:rate=$2:duration=$3"; }
tone() { echo "sine=frequency=660:sample_rate=44100:duration=$1"; }

ff -f lavfi -i "$(src 320x240 25 3)" -f lavfi -i "$(tone 3)" -c:v mjpeg -q:v 2 -c:a pcm_s16le mjpeg_pcm.avi
ff -f lavfi -i "$(src 320x240 25 3)" -f lavfi -i "$(tone 3)" -c:v mpeg4 -q:v 2 -c:a libmp3lame mpeg4_mp3.avi
ff -f lavfi -i "$(src 320x240 25 3)" -c:v libx264 -preset veryfast -crf 16 -pix_fmt yuv420p h264.avi
ff -f lavfi -i "$(src 160x120 25 2)" -c:v rawvideo -pix_fmt bgr24 raw_rgb.avi
ff -f lavfi -i "$(src 320x240 25 3)" -c:v mpeg1video -q:v 2 -f mpeg mpeg1.mpg
ff -f lavfi -i "$(src 352x288 25 3)" -f lavfi -i "$(tone 3)" -c:v mpeg2video -q:v 2 -c:a mp2 -f vob mpeg2_mp2.mpeg
ff -f lavfi -i "$(src 320x240 25 2),scale=321:241" -c:v mpeg4 -q:v 2 odd_321x241.avi
ff -f lavfi -i "$(src 1920x1080 30 2)" -c:v libx264 -preset ultrafast -crf 18 -pix_fmt yuv420p hd_1080.avi
ff -f lavfi -i "$(tone 2)" -c:a pcm_s16le audio_only.avi
# Everyday widths that are not a multiple of 16, with B-frames and a key frame every second.
ff -f lavfi -i "$(src 322x240 25 2)" -c:v mpeg4 -bf 2 -g 25 -q:v 2 mpeg4_322x240_bf.avi
ff -f lavfi -i "$(src 426x240 25 2)" -c:v mpeg4 -bf 2 -g 25 -q:v 2 mpeg4_426x240_bf.avi
ff -f lavfi -i "$(src 854x480 25 2)" -c:v libx264 -preset veryfast -bf 3 -g 25 -pix_fmt yuv420p h264_854x480_bf.avi
ff -f lavfi -i "$(src 1366x768 30000/1001 1)" -c:v libx264 -preset veryfast -bf 3 -g 15 -pix_fmt yuv420p h264_1366x768_bf.avi
# More sound formats: AC-3 in 5.1 (mixed down for the device), AAC, MS ADPCM.
ff -f lavfi -i "$(src 160x120 25 2)" -f lavfi -i "$(tone 2)" -c:v mpeg4 -c:a ac3 -ac 6 ac3_51.avi
ff -f lavfi -i "$(src 160x120 25 2)" -f lavfi -i "$(tone 2)" -c:v mpeg4 -c:a aac aac.avi
ff -f lavfi -i "$(src 160x120 25 2)" -f lavfi -i "$(tone 2)" -c:v mpeg4 -c:a adpcm_ms adpcm.avi
ff -f lavfi -i "$(src 320x240 25 40)" -c:v mpeg4 -q:v 5 -g 50 long_40s.avi
# A beep at known times for sound-and-picture sync: a white frame exactly when each beep starts.
ff -f lavfi -i "color=black:size=160x120:rate=25:duration=4,drawbox=enable='lt(mod(t,1),0.04)':color=white:t=fill" \
   -f lavfi -i "sine=frequency=1000:sample_rate=44100:duration=4,volume=enable='gte(mod(t,1),0.04)':volume=0" \
   -c:v mjpeg -q:v 3 -c:a pcm_s16le beeps.avi
# A 30 ms beep at every whole second, for the sound heard through a real sound server.
beep() { echo "sine=frequency=1000:sample_rate=44100:duration=$1,volume=enable='gte(mod(t,1),0.03)':volume=0"; }
ff -f lavfi -i "$(src 160x120 25 4)" -f lavfi -i "$(beep 4)" -c:v libx264 -preset veryfast -bf 3 -pix_fmt yuv420p \
   -c:a libmp3lame -b:a 128k beeps_h264_mp3.avi
ff -f lavfi -i "$(src 160x120 25 4)" -f lavfi -i "$(beep 4)" -c:v mpeg2video -q:v 3 -c:a mp2 -f vob beeps_mpeg2.mpg

# Today's containers, opened from the desktop: H.264 with a B-pyramid and AAC in MP4, 10-bit
# HEVC in Matroska.
ff -f lavfi -i "$(src 320x240 25 3)" -f lavfi -i "$(tone 3)" -c:v libx264 -preset veryfast -x264-params bframes=3:b-pyramid=normal \
   -pix_fmt yuv420p -c:a aac h264_aac.mp4
ff -f lavfi -i "$(src 352x288 25 3)" -f lavfi -i "$(tone 3)" -c:v libx265 -x265-params log-level=error \
   -pix_fmt yuv420p10le -c:a aac hevc10.mkv
# Larger than most screens: 4K H.264 in MP4.
ff -f lavfi -i "$(src 3840x2160 25 1)" -c:v libx264 -preset ultrafast -crf 23 -pix_fmt yuv420p uhd_2160.mp4
# Today's files for the damaged set: MP4 with its index at the front, VP9 in WebM (a key
# picture every second, as streaming encoders write), ProRes in MOV, open-GOP H.264 in TS
# and M2TS.
ff -f lavfi -i "$(src 320x240 25 2)" -f lavfi -i "$(tone 2)" -c:v libx264 -preset veryfast -bf 3 -pix_fmt yuv420p \
   -c:a aac -movflags +faststart h264_faststart.mp4
ff -f lavfi -i "$(src 320x240 25 2)" -f lavfi -i "$(tone 2)" -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -g 25 -b:v 400k \
   -c:a libopus vp9_opus.webm
ff -f lavfi -i "$(src 320x240 25 1)" -f lavfi -i "$(tone 1)" -c:v prores_ks -profile:v 2 -c:a pcm_s16le prores_pcm.mov
for ts in ts m2ts; do
  ff -f lavfi -i "$(src 320x240 25 2)" -f lavfi -i "$(tone 2)" -c:v libx264 -preset veryfast -bf 3 -g 25 \
     -x264-params open-gop=1 -pix_fmt yuv420p -c:a ac3 -f mpegts $([ $ts = m2ts ] && echo -mpegts_m2ts_mode 1) h264_opengop.$ts
done
# Pixels that are not square and interlaced pictures (two fields taken apart in time, of
# moving content): a 16:9 DVD, top field first, and a camcorder's 4:3 DV, bottom field first
# (raw DV, as ffmpeg's DV target writes it whatever the name).
fields() { echo "$(src "$1" "$2" "$3"),interlace=scan=$4"; }
ff -f lavfi -i "$(fields 720x480 60000/1001 2 tff)" -f lavfi -i "$(tone 2)" -target ntsc-dvd -aspect 16:9 \
   -flags +ilme+ildct -top 1 dvd_ntsc_169.mpg
ff -f lavfi -i "$(fields 720x480 60000/1001 2 bff)" -f lavfi -i "$(tone 2)" -target ntsc-dv dv_ntsc_43.avi
# Two sound tracks: a DVD's (MP2 first, AC-3 5.1 of a higher rate second, no default marked)
# and a Matroska file whose second track is marked default.
ff -f lavfi -i "$(src 720x480 30000/1001 1)" -f lavfi -i "$(tone 1)" -f lavfi -i "sine=frequency=440:duration=1" \
   -map 0 -map 1 -map 2 -target ntsc-dvd -aspect 16:9 -c:a:0 mp2 -b:a:0 128k -c:a:1 ac3 -ac:a:1 6 -b:a:1 448k dvd_two_tracks.vob
ff -f lavfi -i "$(src 160x120 25 1)" -f lavfi -i "$(tone 1)" -f lavfi -i "sine=frequency=440:duration=1" \
   -map 0 -map 1 -map 2 -c:v mpeg4 -c:a aac -disposition:a:0 0 -disposition:a:1 default second_default.mkv
# Long enough to watch the screen saver stay off while it plays.
ff -f lavfi -i "$(src 160x120 25 6)" -f lavfi -i "$(tone 6)" -c:v mpeg4 -q:v 5 -c:a libmp3lame six_seconds.avi
# A phone's portrait video: stored on its side, with a display matrix that turns it upright.
ff -f lavfi -i "$(src 320x240 25 3)" -f lavfi -i "$(tone 3)" -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac \
   phone_stored.mp4
ff -i phone_stored.mp4 -c copy -metadata:s:v:0 rotate=90 phone_rotate90.mp4 && rm phone_stored.mp4
# HDR: 10-bit HEVC tagged PQ (BT.2020), mapped to SDR for the screen.
ff -f lavfi -i "$(src 160x90 25 1)" -c:v libx265 -x265-params log-level=error -pix_fmt yuv420p10le \
   -color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc hdr_pq.mkv
# A disk that pauses while this one is read.
ff -f lavfi -i "$(src 640x360 25 4)" -f lavfi -i "$(tone 4)" -c:v mjpeg -q:v 3 -c:a pcm_s16le slow_disk.avi
# Sound that ends early or pauses: the picture must go on to the end in real time.
ff -f lavfi -i "$(src 640x360 25 6)" -f lavfi -i "$(tone 1)" -c:v mjpeg -q:v 4 -c:a pcm_s16le short_sound.avi
ff -f lavfi -i "$(src 352x288 25 6)" -f lavfi -i "$(tone 6)" -af "aselect='not(between(t,1,3.5))'" \
   -c:v mpeg2video -q:v 3 -c:a mp2 -f vob gap_sound.mpg
# Real-world timing: sound longer than the picture (1 s of picture, 3 s of sound); an AVI that
# holds its picture from 1 s to 4 s (no new picture, empty index entries); two program
# streams of 2 s joined end to end, as split recordings are.
ff -f lavfi -i "$(src 160x120 25 1)" -f lavfi -i "$(tone 3)" -c:v mpeg4 -c:a libmp3lame long_sound.avi
# The same from a camera: PCM sound whose length the AVI header leaves out.
ff -f lavfi -i "$(src 160x120 25 1)" -f lavfi -i "$(tone 3)" -c:v mjpeg -c:a pcm_s16le long_pcm_sound.avi
ff -f lavfi -i "$(src 160x120 25 5)" -vf "select='not(between(t,1.02,4))'" -fps_mode passthrough -c:v mpeg4 held.avi
for i in 1 2; do ff -f lavfi -i "$(src 160x120 25 2)" -f lavfi -i "$(tone 2)" -c:v mpeg2video -c:a mp2 -f vob part$i.mpg; done
cat part1.mpg part2.mpg > joined.mpg; rm -f part1.mpg part2.mpg
# Sound whose format changes half-way: raw streams of two formats joined, then muxed as they are.
mp3() { ff -f lavfi -i "sine=frequency=660:sample_rate=$1:duration=1" -ac "$2" -c:a libmp3lame -write_xing 0 -id3v2_version 0 -f mp3 "$3"; }
mp3 44100 2 s1.mp3; mp3 44100 1 s2.mp3; mp3 22050 2 s3.mp3
cat s1.mp3 s2.mp3 > stereo_mono.mp3; cat s1.mp3 s3.mp3 > rate_change.mp3
for c in "ac3 6 a1.ac3" "ac3 2 a2.ac3" "mp2 2 m1.mp2" "mp2 1 m2.mp2"; do
  set -- $c; ff -f lavfi -i "sine=frequency=660:sample_rate=48000:duration=1" -ac "$2" -c:a "$1" -f "$1" "$3"
done
cat a1.ac3 a2.ac3 > ac3_change.ac3; cat m1.mp2 m2.mp2 > mp2_change.mp2
ff -f lavfi -i "$(src 160x120 25 2)" -i stereo_mono.mp3 -c:v mpeg4 -c:a copy mp3_stereo_mono.avi
ff -f lavfi -i "$(src 160x120 25 2)" -i rate_change.mp3 -c:v mpeg4 -c:a copy mp3_rate_change.avi
ff -f lavfi -i "$(src 160x120 25 2)" -i ac3_change.ac3 -c:v mpeg4 -c:a copy ac3_51_stereo.avi
ff -f lavfi -i "$(src 160x120 25 2)" -i mp2_change.mp2 -c:v mpeg2video -c:a copy -f vob mp2_stereo_mono.mpg
rm -f s?.mp3 stereo_mono.mp3 rate_change.mp3 a?.ac3 m?.mp2 ac3_change.ac3 mp2_change.mp2
# Files that do not say how long they are: an MPEG-1 elementary stream (its length guessed
# from a bit rate that is wrong) and motion JPEG as a multipart stream (no length at all).
ff -f lavfi -i "$(src 320x240 25 3)" -c:v mpeg1video -q:v 2 -f mpeg1video es_mpeg1.mpg
ff -f lavfi -i "$(src 320x240 25 3)" -c:v mjpeg -q:v 4 -f mpjpeg mpjpeg.mpg

# The fuzz target's clip: short and small, so each input runs fast.
ff -f lavfi -i "$(src 64x48 25 0.5)" -f lavfi -i "$(tone 0.5)" -c:v mjpeg -c:a pcm_s16le fuzz_clip.avi

# Damaged files.
head -c 20000 mpeg4_mp3.avi > truncated.avi
cp mpeg4_mp3.avi bitflip.avi
python3 - <<'PY'
import random
data = bytearray(open('bitflip.avi', 'rb').read())
rnd = random.Random(7)
for _ in range(400):
    i = rnd.randrange(2048, len(data))
    data[i] ^= 1 << rnd.randrange(8)
open('bitflip.avi', 'wb').write(bytes(data))
PY
: > empty.avi
printf 'this is not a video at all\n%.0s' $(seq 1 50) > notavideo.avi
echo "$stamp" > .done
