#!/usr/bin/env python3
"""Reads the Model 1 matrices `family_sweep --kind model1 --write DIR` wrote
with another decoder's command-line reader and counts the symbols it reads
with the right text, per version and level.

usage: model1_peer_check.py READER DIR

READER is a command taking an image file and printing the symbol's bytes
with -bytes (such as ZXingReader). Some readers find a symbol of 45 modules
or more only where Model 2's version information would be; for them the
matrix gets those 36 modules written (version information of its version),
which costs its blocks a few codewords that the correction restores.
"""
import collections
import os
import subprocess
import sys
import tempfile


def version_word(version):
    rem = version << 12
    for bit in range(17, 11, -1):
        if rem & (1 << bit):
            rem ^= 0x1F25 << (bit - 12)
    return (version << 12) | rem


def write_pgm(path, rows, scale=4, quiet=4):
    n = len(rows)
    side = (n + 2 * quiet) * scale
    with open(path, 'wb') as f:
        f.write(b'P5\n%d %d\n255\n' % (side, side))
        for y in range(side):
            r = y // scale - quiet
            line = bytearray(side)
            for x in range(side):
                c = x // scale - quiet
                line[x] = 0 if 0 <= r < n and 0 <= c < n and rows[r][c] else 255
            f.write(bytes(line))


def main():
    reader, folder = sys.argv[1], sys.argv[2]
    tally = collections.defaultdict(lambda: [0, 0, 0])  # cases, right, wrong
    with tempfile.TemporaryDirectory() as tmp:
        for name in sorted(os.listdir(folder)):
            with open(os.path.join(folder, name)) as f:
                header = f.readline().rstrip('\n').split(' ', 4)
                rows = [[int(ch) for ch in line.strip()] for line in f if line.strip()]
            version, level, text = int(header[0]), header[1], header[4] if len(header) > 4 else ''
            n = len(rows)
            if version >= 7:
                word = version_word(version)
                for i in range(18):
                    rows[i // 3][n - 11 + i % 3] = (word >> i) & 1
                    rows[n - 11 + i % 3][i // 3] = (word >> i) & 1
            image = os.path.join(tmp, 'symbol.pgm')
            write_pgm(image, rows)
            out = subprocess.run([reader, '-bytes', image], capture_output=True).stdout
            key = (version, level)
            tally[key][0] += 1
            if out == text.encode():
                tally[key][1] += 1
            elif out:
                tally[key][2] += 1
    total = [0, 0, 0]
    for key in sorted(tally):
        cases, right, wrong = tally[key]
        print('%d-%s: %d of %d right, %d wrong' % (key[0], key[1], right, cases, wrong))
        total = [a + b for a, b in zip(total, tally[key])]
    print('all: %d of %d right, %d wrong' % (total[1], total[0], total[2]))


if __name__ == '__main__':
    main()
