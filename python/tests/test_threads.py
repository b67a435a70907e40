"""Threads decoding at once give what one thread gives (the module
releases the interpreter lock, and the decoder keeps no shared state)."""
from __future__ import annotations

import sys
import threading
import time
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




def others_run_during(call) -> bool:
    """Whether a thread that needs the interpreter lock to note the time
    notes it in the middle of ``call`` run on this thread."""
    stop = threading.Event()
    seen = []

    def note_times():
        while not stop.is_set():
            seen.append(time.perf_counter())

    other = threading.Thread(target=note_times)
    other.start()
    time.sleep(0.01)
    start = time.perf_counter()
    call()
    end = time.perf_counter()
    stop.set()
    other.join()
    margin = (end - start) * 0.3
    return any(start + margin < t < end - margin for t in seen)


def test_other_threads_run_while_one_reads_and_decodes(tmp_path):
    # Only if the module lets go of the lock while it works. (Whether two
    # threads also get two cores is the benchmark's matter:
    # python/bench/threads.py.)
    # Noise keeps the classic readings busy; the thorough search is left out,
    # as it takes far longer on noise.
    noise = (np.random.default_rng(1).random((500, 600)) * 255).astype(np.uint8)
    path = write_bmp(tmp_path / "noise.bmp", noise)
    # Long enough to read that a busy machine still lets the other thread
    # in during the middle of it: 7.5 MP, some 10 ms.
    big = write_bmp(tmp_path / "big.bmp", np.tile(noise, (5, 5)))
    interval = sys.getswitchinterval()
    sys.setswitchinterval(0.001)
    try:
        for call in (lambda: vantor.decode(noise, thorough=False), lambda: vantor.decode(path, thorough=False),
                     lambda: vantor.read(big)):
            # A loaded machine may not run the other thread at all for a
            # while: it gets five chances.
            assert any(others_run_during(call) for _ in range(5))
    finally:
        sys.setswitchinterval(interval)
