#!/usr/bin/env python3
"""Writes a test set of QR Code pictures in every image format and variant
Vantor reads, each symbol also as the 24-bit BMP it must read like. The
files are made by Pillow, a writer independent of Vantor's test writers.

usage: make-format-set.py FOLDER

FOLDER gets, per symbol, `vN-reference.bmp` and `vN-<variant>.<ext>`, and
`manifest.tsv`: file, reference file, and whether the format is lossless
(then the grey pixels must equal the reference's exactly).
"""
from __future__ import annotations

import sys
from pathlib import Path
from typing import Callable, List, Tuple

import numpy as np
import qrcode
from PIL import Image

# Versions of the symbols (small, middle and large, with and without
# alignment patterns and version information) and the bytes each holds.
VERSIONS = {1: 10, 4: 50, 10: 180, 25: 700}
MODULE_PX = 4
# Dark and light of the colour pictures: their mean is what the readers
# take as grey, so the symbol stays sharp.
DARK, LIGHT = (20, 30, 90), (250, 240, 215)


def symbol_rgb(version: int) -> np.ndarray:
    q = qrcode.QRCode(version=version, error_correction=qrcode.constants.ERROR_CORRECT_M, box_size=1, border=4)
    text = f"format set, version {version}: " + "abcdefghijklmnopqrstuvwxyz" * 30
    q.add_data(text[:VERSIONS[version]])
    q.make(fit=False)
    dark = np.array(q.get_matrix(), dtype=bool)
    big = np.repeat(np.repeat(dark, MODULE_PX, axis=0), MODULE_PX, axis=1)
    return np.where(big[..., None], np.array(DARK, np.uint8), np.array(LIGHT, np.uint8)).astype(np.uint8)


def grey_of(rgb: np.ndarray) -> np.ndarray:
    """Grey as Vantor's readers take it: the truncated mean of R, G and B."""
    return (rgb.astype(np.uint16).sum(axis=2) // 3).astype(np.uint8)


def two_level(rgb: np.ndarray) -> Image.Image:
    return Image.fromarray(grey_of(rgb) >= 128)


# Each variant: name, extension, lossless, and how Pillow writes it.
Writer = Callable[[np.ndarray, Path], None]
VARIANTS: List[Tuple[str, str, bool, Writer]] = [
    ("bmp-8bit-grey", "bmp", True, lambda a, p: Image.fromarray(grey_of(a), "L").save(p)),
    ("bmp-palette", "bmp", True, lambda a, p: Image.fromarray(a, "RGB").quantize(4).save(p)),
    ("bmp-1bit", "bmp", True, lambda a, p: two_level(a).save(p)),
    ("png-grey", "png", True, lambda a, p: Image.fromarray(grey_of(a), "L").save(p)),
    ("png-grey-alpha", "png", True, lambda a, p: Image.fromarray(grey_of(a), "L").convert("LA").save(p)),
    ("png-rgb", "png", True, lambda a, p: Image.fromarray(a, "RGB").save(p)),
    ("png-rgba", "png", True, lambda a, p: Image.fromarray(a, "RGB").convert("RGBA").save(p)),
    ("png-palette", "png", True, lambda a, p: Image.fromarray(a, "RGB").quantize(4).save(p)),
    ("png-1bit", "png", True, lambda a, p: two_level(a).save(p)),
    ("png-16bit", "png", True,
     lambda a, p: Image.fromarray(grey_of(a).astype(np.uint16) * 257, "I;16").save(p)),
    ("tiff-raw", "tif", True, lambda a, p: Image.fromarray(a, "RGB").save(p)),
    ("tiff-lzw", "tif", True, lambda a, p: Image.fromarray(a, "RGB").save(p, compression="tiff_lzw")),
    ("tiff-deflate-grey", "tif", True,
     lambda a, p: Image.fromarray(grey_of(a), "L").save(p, compression="tiff_adobe_deflate")),
    ("tiff-packbits", "tif", True, lambda a, p: Image.fromarray(a, "RGB").save(p, compression="packbits")),
    ("tiff-group4", "tif", True, lambda a, p: two_level(a).save(p, compression="group4")),
    ("webp-lossless", "webp", True, lambda a, p: Image.fromarray(a, "RGB").save(p, lossless=True)),
    ("webp-lossy", "webp", False, lambda a, p: Image.fromarray(a, "RGB").save(p, quality=90)),
    ("pgm", "pgm", True, lambda a, p: Image.fromarray(grey_of(a), "L").save(p)),
    ("ppm", "ppm", True, lambda a, p: Image.fromarray(a, "RGB").save(p)),
    ("pbm", "pbm", True, lambda a, p: two_level(a).save(p)),
    ("gif", "gif", True, lambda a, p: Image.fromarray(a, "RGB").quantize(4).save(p)),
    ("jpeg-grey", "jpg", False, lambda a, p: Image.fromarray(grey_of(a), "L").save(p, quality=90)),
    ("jpeg-rgb", "jpg", False, lambda a, p: Image.fromarray(a, "RGB").save(p, quality=90)),
    ("jpeg-cmyk", "jpg", False, lambda a, p: Image.fromarray(a, "RGB").convert("CMYK").save(p, quality=90)),
]


def main(argv: List[str]) -> int:
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[3], file=sys.stderr)
        return 64
    folder = Path(argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    rows = []
    for version in VERSIONS:
        rgb = symbol_rgb(version)
        reference = folder / f"v{version}-reference.bmp"
        Image.fromarray(rgb, "RGB").save(reference)
        for name, extension, lossless, write in VARIANTS:
            # Two-level variants hold other pixels than the colour reference.
            exact = lossless and "1bit" not in name and name not in ("pbm", "tiff-group4")
            path = folder / f"v{version}-{name}.{extension}"
            write(rgb, path)
            rows.append(f"{path.name}\t{reference.name}\t{int(exact)}\n")
    (folder / "manifest.tsv").write_text("".join(rows))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
