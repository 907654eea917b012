#!/usr/bin/env bash
# Writes the MP3 files and broken files the Windows audio tests open, into DIR:
# a 10 ms 1 kHz burst starting exactly at sample 44100 of 2 s of silence
# (stereo, 44.1 kHz), encoded at a constant and at a variable bit rate, with an
# ID3v2 tag, as 22.05 kHz mono (MPEG-2), and cut short; then files that are
# not MP3 at all: empty, text, a tag alone, noise and a program.
#   make_test_tunes.sh DIR
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"

sox -n -r 44100 -c 2 -b 16 click.wav synth 0.01 sine 1000 vol 0.5 pad 1 0.99
sox -n -r 22050 -c 1 -b 16 click22.wav synth 0.01 sine 1000 vol 0.5 pad 1 0.99
lame --quiet -q 2 -b 192 click.wav click_cbr.mp3
lame --quiet -q 2 -V 4 click.wav click_vbr.mp3
lame --quiet -q 2 -b 192 --id3v2-only --tt zirbelon --ta tests click.wav click_id3.mp3
lame --quiet -q 2 -b 64 click22.wav click_mono22.mp3
head -c "$(($(stat -c %s click_cbr.mp3) / 2))" click_cbr.mp3 >click_cut.mp3

: >empty.mp3
echo "this is not a tune" >text.mp3
printf 'ID3\x04\x00\x00\x00\x00\x00\x00' >tag_only.mp3
sox -R -n -t raw -r 8000 -c 1 -b 8 -e unsigned noise.mp3 synth 8 whitenoise
cp "$(command -v sox)" program.mp3
rm click.wav click22.wav
