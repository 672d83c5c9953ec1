#!/usr/bin/env python3
"""Writes an MJPEG AVI as some capture cards store interlaced video: each frame's chunk holds
two JPEG images, the top field and then the bottom one, each half the height the AVI gives.
Usage: field_mjpeg_avi.py OUT.avi PREFIX WIDTH HEIGHT RATE_NUM RATE_DEN
PREFIX*.jpg are the fields in order, top first; they are removed once written."""
import glob
import os
import struct
import sys


def chunk(tag, data):
    return tag + struct.pack('<I', len(data)) + data + (b'\0' if len(data) % 2 else b'')


def riff_list(tag, data):
    return chunk(b'LIST', tag + data)


def main():
    out, prefix = sys.argv[1], sys.argv[2]
    width, height, rate_num, rate_den = (int(a) for a in sys.argv[3:7])
    names = sorted(glob.glob(prefix + '*.jpg'))
    fields = [open(n, 'rb').read() for n in names]
    frames = [top + bottom for top, bottom in zip(fields[0::2], fields[1::2])]
    largest = max(len(f) for f in frames)
    avih = struct.pack('<10I4I', round(1e6 * rate_den / rate_num), 0, 0, 0x10, len(frames), 0, 1, largest,
                       width, height, 0, 0, 0, 0)
    strh = struct.pack('<4s4sIHHIIIIIIIIhhhh', b'vids', b'MJPG', 0, 0, 0, 0, rate_den, rate_num, 0, len(frames),
                       largest, 0xFFFFFFFF, 0, 0, 0, width, height)
    strf = struct.pack('<IiiHH4sIiiII', 40, width, height, 1, 24, b'MJPG', width * height * 3, 0, 0, 0, 0)
    hdrl = riff_list(b'hdrl', chunk(b'avih', avih) + riff_list(b'strl', chunk(b'strh', strh) + chunk(b'strf', strf)))
    movi, index, offset = b'', b'', 4
    for f in frames:
        c = chunk(b'00dc', f)
        index += struct.pack('<4sIII', b'00dc', 0x10, offset, len(f))
        movi += c
        offset += len(c)
    with open(out, 'wb') as o:
        o.write(chunk(b'RIFF', b'AVI ' + hdrl + riff_list(b'movi', movi) + chunk(b'idx1', index)))
    for n in names:
        os.remove(n)


if __name__ == '__main__':
    main()
