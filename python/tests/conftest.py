"""Shared fixtures: the project's folders, the command-line reader, and a
folder of generated images."""
from __future__ import annotations

import os
import shutil
from pathlib import Path

import numpy as np
import pytest

from images import picture, write_bmp

SOURCE_DIR = Path(os.environ.get("VANTOR_SOURCE_DIR") or Path(__file__).resolve().parents[2])
EXAMPLES = SOURCE_DIR / "examples"


@pytest.fixture(scope="session")
def examples() -> Path:
    if not EXAMPLES.is_dir():
        pytest.skip(f"no examples folder at {EXAMPLES}")
    return EXAMPLES


@pytest.fixture(scope="session")
def cli() -> Path:
    """The command-line reader the Python results are compared with."""
    given = os.environ.get("VANTOR_CLI")
    path = Path(given) if given else SOURCE_DIR / "build" / "vantor"
    if not path.is_file():
        pytest.skip(f"no command-line reader at {path} (set VANTOR_CLI)")
    return path


@pytest.fixture()
def folder(tmp_path: Path) -> Path:
    """A folder of images: symbols of several versions and levels, a blank
    picture, and a file that is no image."""
    cases = [
        ("text", b"first file", {"level": "L"}),
        ("url", b"https://example.com/second?file=2", {"level": "M"}),
        ("zero-bytes", b"\x00zero byte inside\x00", {"level": "Q"}),
        ("kanji", "日本語のテキスト".encode("shift_jis"), {"level": "H"}),
        ("version-7", b"A" * 120, {"level": "M", "version": 7}),
        ("latin-1", bytes(range(0x80, 0xC0)), {"level": "L"}),
    ]
    for i, (name, data, kwargs) in enumerate(cases):
        write_bmp(tmp_path / f"{i:02d}-{name}.bmp", picture(data, **kwargs))
    write_bmp(tmp_path / "90-blank.bmp", np.full((64, 80), 255, np.uint8))
    (tmp_path / "91-not-an-image.bmp").write_bytes(b"this is text, not an image\n")
    return tmp_path


def copy_examples(dest: Path) -> list:
    out = []
    for p in sorted(EXAMPLES.iterdir()):
        if p.is_file():
            out.append(Path(shutil.copy(p, dest / p.name)))
    return out
