"""Threads decoding at once give what one thread gives (the module
releases the interpreter lock, and the decoder keeps no shared state)."""
from __future__ import annotations

from concurrent.futures import ThreadPoolExecutor

import numpy as np

import vantor
from images import picture, write_bmp


def summary(results):
    return [(s.bytes, s.corners, s.version, s.level) for s in results], results.reason, results.readings


def test_threads_agree_with_one_thread(tmp_path):
    images = [picture(f"thread image {i}".encode() * (1 + i % 4), module=2 + i % 3, level="LMQH"[i % 4])
              for i in range(12)]
    images.append(np.full((90, 70), 255, np.uint8))
    paths = [write_bmp(tmp_path / f"{i}.bmp", px) for i, px in enumerate(images)]
    inputs = images + paths
    sequential = [summary(vantor.decode(x)) for x in inputs]
    assert sum(1 for s in sequential if s[0]) == 24
    with ThreadPoolExecutor(max_workers=4) as pool:
        for _ in range(3):
            assert list(pool.map(lambda x: summary(vantor.decode(x)), inputs)) == sequential
            assert all(np.array_equal(a, b) for a, b in zip(pool.map(vantor.read, paths), images))

