#!/usr/bin/env bash
# Makes fuzz_media's seed inputs: a tiny clip (32 x 24, 3 frames, a little audio) in each container the command
# reads, with the byte MediaFuzzer.cpp takes from an input's end (the name it goes by, the output, the depth).
#   tests/fuzz/make_media_seeds.sh [FOLDER]     (default: tests/fuzz/corpus/fuzz_media)
set -euo pipefail
out=${1:-$(dirname "$0")/corpus/fuzz_media}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
video=(-f lavfi -i "testsrc=size=32x24:rate=5:duration=0.6")
audio=(-f lavfi -i "sine=frequency=440:sample_rate=8000:duration=0.6")

# seed NAME CHOICE FFMPEG-ARGUMENTS...: the file ffmpeg writes, then the choice byte (octal)
seed() {
  local name=$1 choice=$2
  shift 2
  ffmpeg -nostdin -v error -y "$@" "$work/$name"
  cat "$work/$name" > "$out/$name"
  printf "\\$choice" >> "$out/$name"
}

#    name                 choice   (bits 0-2 name: 0 plain, 1 .h264, 2 .hevc, 3 .mjpeg, 4 .m4v, 5 .mpg;
#                                   bits 3-5 output: 0 nut, 1 mkv, 2 mp4, 3 avi, 4 y4m, 5 mov; bit 6: 16 bits;
#                                   bit 7: frames 1 and 2 only, after a seek)
seed h264-aac.mp4          020 "${video[@]}" "${audio[@]}" -c:v libx264 -preset ultrafast -c:a aac -b:a 16k -shortest
seed chunk-h264.mp4        220 "${video[@]}" -c:v libx264 -preset ultrafast -g 2
seed chunk-mpeg2.ts        200 "${video[@]}" -c:v mpeg2video -g 2
seed chunk-ffv1.mkv        310 "${video[@]}" -c:v ffv1 -g 1
seed rotated.mp4           010 "${video[@]}" -c:v libx264 -preset ultrafast -metadata:s:v rotate=90
seed mpeg4-pcm.mov         030 "${video[@]}" "${audio[@]}" -c:v mpeg4 -q:v 31 -c:a pcm_u8 -shortest
printf '1\n00:00:00,000 --> 00:00:00,400\nhi\n' > "$work/words.srt"
seed ffv1-flac-srt.mkv     000 "${video[@]}" "${audio[@]}" -i "$work/words.srt" -f lavfi -i "sine=duration=0.2" \
                                -map 0 -map 1 -map 2 -map 3 -c:v ffv1 -c:a flac -c:s srt -shortest
seed ffv1-10bit.mkv        100 "${video[@]}" -c:v ffv1 -pix_fmt yuv420p10le
seed vp8-alpha.webm        050 -f lavfi -i "testsrc=size=32x24:rate=5:duration=0.6,format=yuva420p" \
                                -c:v libvpx -auto-alt-ref 0 -b:v 50k
seed vp9-opus.webm         010 "${video[@]}" -f lavfi -i "sine=sample_rate=48000:duration=0.6" -c:v libvpx-vp9 \
                                -deadline realtime -b:v 50k -c:a libopus -b:a 8k -shortest
seed mpeg4-mp3.avi         030 "${video[@]}" "${audio[@]}" -c:v mpeg4 -q:v 31 -c:a libmp3lame -b:a 8k -shortest
seed raw.y4m               040 "${video[@]}" -pix_fmt yuv420p
seed ffv1-pcm.nut          000 "${video[@]}" "${audio[@]}" -c:v ffv1 -c:a pcm_u8 -shortest
seed mpeg2-mp2.ts          020 "${video[@]}" "${audio[@]}" -c:v mpeg2video -c:a mp2 -b:a 32k -shortest
seed theora-vorbis.ogg     030 "${video[@]}" "${audio[@]}" -c:v libtheora -c:a libvorbis -shortest
seed palette.gif           000 "${video[@]}"
seed flv1-mp3.flv          050 "${video[@]}" "${audio[@]}" -c:v flv1 -q:v 31 -c:a libmp3lame -ar 11025 -b:a 8k \
                                -shortest
seed mpeg1-mp2.mpg         005 "${video[@]}" "${audio[@]}" -c:v mpeg1video -r 25 -c:a mp2 -b:a 32k -shortest
seed annexb.h264           001 "${video[@]}" -c:v libx264 -preset ultrafast -f h264
seed annexb.hevc           142 "${video[@]}" -c:v libx265 -preset ultrafast -x265-params log-level=none -f hevc
seed raw.mjpeg             013 "${video[@]}" -c:v mjpeg -f mjpeg
seed raw.m4v               024 "${video[@]}" -c:v mpeg4 -q:v 31 -f m4v
seed wmv2-wma.asf          000 "${video[@]}" "${audio[@]}" -c:v wmv2 -c:a wmav2 -b:a 24k -shortest
seed vp9.ivf               010 "${video[@]}" -c:v libvpx-vp9 -deadline realtime -b:v 50k
seed animated.apng         020 "${video[@]}" -f apng -plays 0
seed h263.3gp              000 -f lavfi -i "testsrc=size=128x96:rate=5:duration=0.6" -c:v h263
seed mjpeg-pcm.avi         110 "${video[@]}" "${audio[@]}" -c:v mjpeg -q:v 31 -c:a pcm_u8 -shortest
