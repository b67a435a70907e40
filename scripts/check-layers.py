#!/usr/bin/env python3
"""Lists every #include in lib/ that runs from a lower layer to a higher one.

Layers, lowest first: the shared types, the shared stages, the search
(thorough/, with search.* above its own stages), the Micro QR reader, the pass
loop, and the strategy and entries. A file may include headers of its own
layer or below. Prints one line per backward include; exit status 1 when
there is any.
"""
import os
import re
import sys

LIB = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'lib')

TYPES = {'heap_array', 'memchunk', 'function_ref', 'c_file', 'vectors', 'trace', 'symbol', 'state',
         'bitmap', 'symbol_tables', 'reading'}
STAGES = {'binarise', 'runs', 'eyepattern', 'refine', 'hit_groups', 'grid', 'alignment', 'version', 'format',
          'unmask', 'codewords', 'reed_solomon', 'bitstream', 'display_text', 'data_segments', 'bmp_write'}
PASS_LOOP = {'pass_replay', 'decode_entry'}
NAMES = ['shared types', 'shared stages', 'search stages', 'search', 'single-finder kinds', 'pass loop', 'strategy and entries']


def layer(path):
    rel = os.path.relpath(path, LIB)
    folder, base = os.path.split(rel)
    stem = os.path.splitext(base)[0]
    if folder == 'thorough':
        return 3 if stem == 'search' else 2
    if folder == 'model1':
        return 2  # read through the search's stages, and called by the search
    if folder in ('microqr', 'rmqr', 'single_finder'):
        return 4
    if folder:
        return None
    if stem in TYPES:
        return 0
    if stem in STAGES:
        return 1
    if stem in PASS_LOOP:
        return 5
    return 6  # classic_entry, api_*, cheap_first


def resolve(name, including):
    for base in (os.path.dirname(including), LIB):
        p = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(p):
            return p
    return None


def main():
    back = 0
    for root, _, files in sorted(os.walk(LIB)):
        for f in sorted(files):
            if not f.endswith(('.h', '.cpp')):
                continue
            path = os.path.join(root, f)
            own = layer(path)
            with open(path, encoding='utf-8') as text:
                for n, line in enumerate(text, 1):
                    m = re.match(r'\s*#include "([^"]+)"', line)
                    if not m:
                        continue
                    target = resolve(m.group(1), path)
                    if target is None or own is None:
                        continue
                    theirs = layer(target)
                    if theirs is not None and theirs > own:
                        back += 1
                        print(f'{os.path.relpath(path, LIB)}:{n}: {NAMES[own]} includes {m.group(1)} '
                              f'({NAMES[theirs]})')
    print(f'{back} backward include(s)')
    return 1 if back else 0


if __name__ == '__main__':
    sys.exit(main())
