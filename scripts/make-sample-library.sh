#!/usr/bin/env bash
# Makes a small sample library in DIR: three short clips made with ffmpeg, each with an SRT
# sidecar that carries a title ("Start:"), an application id ("BID:"), marks and death notes.
set -euo pipefail
dir=${1:?usage: make-sample-library.sh DIR}
mkdir -p "$dir"

clip() {  # name source seconds
  ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i "$2=size=640x360:rate=25" \
    -f lavfi -i "sine=frequency=330" \
    -t "$3" -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac "$dir/$1"
}

clip "harbour-walk.mp4" testsrc2 40
cat > "$dir/harbour-walk.srt" <<'SRT'
1
00:00:00,500 --> 00:00:03,000
Start: Harbour walk

2
00:00:01,000 --> 00:00:02,000
BID: mpv

3
00:00:04,000 --> 00:00:06,000
The boats come in early.

4
00:00:08,000 --> 00:00:10,000
Mark: the light changes here

5
00:00:15,000 --> 00:00:17,000
Death: Seagull (F)

6
00:00:25,000 --> 00:00:27,000
Death: Crab
(E)

7
00:00:32,000 --> 00:00:34,000
Mark: good ending shot
SRT
sleep 1.1  # a later birth time: the library lists newest first

clip "test-pattern.mov" smptehdbars 25
cat > "$dir/test-pattern.srt" <<'SRT'
1
00:00:01,000 --> 00:00:03,000
Start: Test pattern

2
00:00:05,000 --> 00:00:07,000
Mark: colour bars line up

3
00:00:12,000 --> 00:00:14,000
Death: Signal (E)
SRT
sleep 1.1

clip "mandelbrot-zoom.mp4" mandelbrot 30
cat > "$dir/mandelbrot-zoom.srt" <<'SRT'
1
00:00:00,000 --> 00:00:02,000
Start: Mandelbrot zoom

2
00:00:03,000 --> 00:00:05,000
Zooming in.

3
00:00:10,000 --> 00:00:12,000
Mark: first spiral

4
00:00:20,000 --> 00:00:22,000
Death: Detail (F)
SRT
echo "Sample library made in $dir"
