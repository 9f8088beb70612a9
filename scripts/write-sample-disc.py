#!/usr/bin/env python3
"""Writes a short sample audio CD image, Sample.cue and Sample.bin, into the folder given.

Three tracks of generated tones (a few seconds each): raw CD audio, 44,100 Hz, 16-bit
little-endian stereo, in 2352-byte sectors, as a disc-image drive of Noru CD Ripper reads them.
Usage: write-sample-disc.py FOLDER
"""
import math
import struct
import sys
from pathlib import Path

RATE = 44100
SECTOR_FRAMES = 588
# (seconds, left Hz, right Hz): a few chords' notes, so each track sounds different.
TRACKS = [(6, 261.63, 329.63), (5, 293.66, 369.99), (7, 329.63, 415.30)]


def track_pcm(seconds, left_hz, right_hz):
    frames = seconds * RATE  # whole seconds are whole sectors (75 a second)
    samples = bytearray()
    for n in range(frames):
        fade = min(1.0, n / 2000, (frames - n) / 2000)  # no clicks at the track's ends
        left = int(9000 * fade * math.sin(2 * math.pi * left_hz * n / RATE))
        right = int(9000 * fade * math.sin(2 * math.pi * right_hz * n / RATE))
        samples += struct.pack("<hh", left, right)
    return bytes(samples)


def msf(sector):
    return "%02d:%02d:%02d" % (sector // 4500, sector // 75 % 60, sector % 75)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: write-sample-disc.py FOLDER")
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    sheet = ['PERFORMER "Noru Samples"', 'TITLE "Three Tones"', 'FILE "Sample.bin" BINARY']
    start = 0
    with open(folder / "Sample.bin", "wb") as bin_file:
        for number, (seconds, left_hz, right_hz) in enumerate(TRACKS, start=1):
            pcm = track_pcm(seconds, left_hz, right_hz)
            assert len(pcm) % (SECTOR_FRAMES * 4) == 0
            bin_file.write(pcm)
            sheet += ["  TRACK %02d AUDIO" % number, "    INDEX 01 " + msf(start)]
            start += len(pcm) // (SECTOR_FRAMES * 4)
    (folder / "Sample.cue").write_text("\n".join(sheet) + "\n")
    print(folder / "Sample.cue")


if __name__ == "__main__":
    main()
