"""Every format and variant Vantor reads, written by Pillow (independent of
Vantor's own test writers) with scripts/make-format-set.py, reads exactly
like the same symbol in a 24-bit BMP: the same symbols, and for lossless
formats the same grey pixels."""
from __future__ import annotations

import subprocess
import sys
from pathlib import Path

import numpy as np

import vantor

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "make-format-set.py"


def test_every_variant_reads_like_its_bmp(tmp_path):
    subprocess.run([sys.executable, str(SCRIPT), str(tmp_path)], check=True, timeout=300)
    rows = [line.split("\t") for line in (tmp_path / "manifest.tsv").read_text().splitlines()]
    assert len(rows) >= 80
    for name, reference, exact in rows:
        want = vantor.decode(tmp_path / reference)
        assert len(want) == 1, reference
        got = vantor.decode(tmp_path / name)
        assert [(s.bytes, s.version, s.level) for s in got] == [(s.bytes, s.version, s.level) for s in want], name
        if exact == "1":
            assert np.array_equal(vantor.read(tmp_path / name), vantor.read(tmp_path / reference)), name
