"""Times decoding a folder with 1 and 2 threads (a benchmark, not a test).

    PYTHONPATH=build/python /usr/bin/python3 python/bench/threads.py [FOLDER]

Without FOLDER it writes 40 pictures of symbols (versions 1 to 10, some
scaled and blurred) into a temporary folder. Each thread count decodes the
whole folder seven times; the best time counts (other work on the
machine only ever makes a run slower). Prints the times and their
ratio: with the interpreter lock released while decoding, 2 threads on 2
cores take little more than half the time of one.
"""
from __future__ import annotations

import os
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import numpy as np
import qrcode
from PIL import Image, ImageFilter

import vantor


def write_pictures(folder: Path, count: int = 40) -> None:
    rng = np.random.default_rng(7)
    for i in range(count):
        q = qrcode.QRCode(version=1 + i % 10, box_size=3 + i % 4, border=4)
        q.add_data(f"benchmark picture {i} " + "x" * int(rng.integers(0, 40)))
        q.make(fit=True)
        image = q.make_image().get_image().convert("L")
        image = image.resize((image.width * 3 // 2, image.height * 3 // 2), Image.BILINEAR)
        image = image.filter(ImageFilter.GaussianBlur(1.0))
        canvas = Image.new("L", (image.width + 200, image.height + 160), 255)
        canvas.paste(image, (100, 80))
        canvas.convert("RGB").save(folder / f"{i:03d}.bmp")


def run(paths, threads: int, repeats: int = 7) -> float:
    best, cpu = float("inf"), 0.0
    for _ in range(repeats):
        start, start_cpu = time.perf_counter(), time.process_time()
        with ThreadPoolExecutor(max_workers=threads) as pool:
            found = sum(1 for r in pool.map(vantor.decode, paths) if r)
        wall = time.perf_counter() - start
        if wall < best:
            best, cpu = wall, time.process_time() - start_cpu
    # CPU time over wall time: how many cores the process kept busy.
    print(f"{threads} thread(s): {best:.3f} s for {len(paths)} files ({found} decoded), "
          f"{cpu / best:.2f} cores busy")
    return best


def main() -> None:
    with tempfile.TemporaryDirectory() as tmp:
        folder = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(tmp)
        if len(sys.argv) <= 1:
            write_pictures(folder)
        paths = sorted(str(p) for p in folder.iterdir() if p.is_file())
        print(f"{os.cpu_count()} cores, load average {os.getloadavg()[0]:.1f}")
        one = run(paths, 1)
        two = run(paths, 2)
        print(f"2 threads / 1 thread: {two / one:.2f}")


if __name__ == "__main__":
    main()
