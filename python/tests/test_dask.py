"""vantor.dask on a LocalCluster of two worker processes gives exactly the
rows of a sequential loop over the same files, and those carry the fields
of the command line's --json --explain rows."""
from __future__ import annotations

import json
import subprocess
from pathlib import Path

import numpy as np
import pandas as pd
import pytest

import vantor
from images import picture, write_bmp

dask = pytest.importorskip("dask")
distributed = pytest.importorskip("distributed")
import vantor.dask as vd  # noqa: E402


def expected_rows(paths):
    """The rows of each file's decode, or its read error's row."""
    rows = []
    for p in paths:
        try:
            fields = vantor.decode(p).json_rows
        except OSError as e:
            fields = ({"decoded": False, "error": "unreadable", "message": str(e)},)
        rows += [(str(p), f.get("bytes_hex"), f.get("corners"), f.get("error"), f.get("message")) for f in fields]
    return rows


def frame_rows(frame: pd.DataFrame):
    return [(row.file, row.bytes_hex, row.corners, row.error, row.message) for row in frame.itertuples()]


def carried(frame: pd.DataFrame):
    """The frame's rows as dicts of the fields each carries."""
    return [{k: v for k, v in row.items() if v is not None and v is not pd.NA} for row in frame.to_dict("records")]


@pytest.fixture(scope="module")
def images(tmp_path_factory):
    folder = tmp_path_factory.mktemp("dask")
    for i in range(30):
        write_bmp(folder / f"{i:03d}.bmp", picture(f"dask file {i}".encode(), module=2 + i % 3,
                                                   level="LMQH"[i % 4]))
    write_bmp(folder / "100-blank.bmp", np.full((50, 50), 255, np.uint8))
    (folder / "101-text.bmp").write_text("not an image")
    return folder


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       dashboard_address=None, silence_logs=40)
    with cluster, distributed.Client(cluster, timeout=120) as c:
        c.wait_for_workers(2, timeout=120)
        yield c


def test_frame_on_two_worker_processes_matches_a_loop(client, images):
    paths = sorted(images.iterdir())
    frame = vd.decode_files(str(images / "*.bmp"), files_per_partition=4)
    assert frame.npartitions == 8
    with distributed.get_task_stream(client) as tasks:
        result = client.compute(frame).result(timeout=300)
    assert list(result.columns) == list(vd.COLUMNS)
    assert frame_rows(result) == expected_rows(paths)
    assert result.decoded.sum() == 30 and (~result.decoded).sum() == 2
    blank = result[result.file.str.endswith("100-blank.bmp")].iloc[0]
    assert blank.error == "no symbol" and blank.reason == vantor.Reason.NO_EYE_PATTERNS.text
    assert len({task["worker"] for task in tasks.data}) == 2  # both processes decoded


def test_bag_of_bytes_and_names(client, images):
    paths = sorted(images.glob("0*.bmp"))[:6]
    items = [(p.name, p.read_bytes()) for p in paths] + [b"raw bytes, not an image"]
    bag = dask.bag.from_sequence(items, npartitions=3)
    rows = vd.decode_bag(bag).compute()
    assert [r["file"] for r in rows] == [p.name for p in paths] + [None]
    assert [r["bytes_hex"] for r in rows[:6]] == [vantor.decode(p)[0].bytes.hex() for p in paths]
    assert rows[6]["error"] == "unreadable" and rows[6]["cause"] == "unknown_format" and rows[6]["message"]


@pytest.mark.filterwarnings("ignore:Running on a single-machine scheduler")
def test_a_folder_is_read_with_its_folders_and_non_images_left_out(tmp_path):
    for name in ("b.bmp", "inner/a.bmp", "a.bmp"):
        (tmp_path / name).parent.mkdir(exist_ok=True)
        write_bmp(tmp_path / name, picture(name.encode()))
    (tmp_path / "notes.txt").write_text("not an image")
    (tmp_path / "inner" / "empty.bmp").write_bytes(b"")
    frame = vd.decode_files(tmp_path).compute(scheduler="sync")
    assert list(frame.file) == [str(tmp_path / n) for n in ("a.bmp", "b.bmp", "inner/a.bmp")]
    assert list(frame.text) == ["a.bmp", "b.bmp", "inner/a.bmp"]


@pytest.mark.filterwarnings("ignore:Running on a single-machine scheduler")
def test_globs_and_empty_matches(images):
    assert vd.expand([str(images / "00?.bmp"), str(images / "100-blank.bmp")]) == \
        [str(images / f"00{i}.bmp") for i in range(10)] + [str(images / "100-blank.bmp")]
    with pytest.raises(FileNotFoundError):
        vd.expand(str(images / "*.png"))
    # Without a client the local scheduler runs it.
    frame = vd.decode_files([images / "000.bmp", images / "001.bmp"]).compute(scheduler="sync")
    assert list(frame.text) == ["dask file 0", "dask file 1"]
    assert str(frame.version.dtype) == "Int64"


@pytest.mark.filterwarnings("ignore:Running on a single-machine scheduler")
def test_rows_carry_the_command_lines_fields(cli, images):
    # Symbols, a picture without one and a file that is no image; the read
    # error's message is the Python error's, the rest as the command line.
    paths = sorted(images.glob("00[0-3].bmp")) + [images / "100-blank.bmp", images / "101-text.bmp"]
    out = subprocess.run([str(cli), "--json", "--explain", *map(str, paths)], capture_output=True, text=True).stdout
    want = [json.loads(line) for line in out.splitlines()]
    got = carried(vd.decode_files(paths).compute(scheduler="sync"))
    assert len(got) == len(want) == len(paths)
    assert got[-1]["message"] and want[-1]["message"]
    for row in got + want:
        row.pop("message", None)
    assert got == want


@pytest.mark.filterwarnings("ignore:Running on a single-machine scheduler")
def test_formats_choose_the_kinds_and_an_empty_folder_is_named(tmp_path):
    write_bmp(tmp_path / "qr.bmp", picture(b"model 2"))
    frame = vd.decode_files(tmp_path, formats="MicroQR, rmqr").compute(scheduler="sync")
    assert list(frame.decoded) == [False]
    frame = vd.decode_files(tmp_path, formats=["qr"]).compute(scheduler="sync")
    assert list(frame.text) == ["model 2"]
    with pytest.raises(ValueError, match="unknown format"):
        vd.decode_bag(tmp_path, formats="qr,code128").compute(scheduler="sync")
    (tmp_path / "empty").mkdir()
    with pytest.raises(ValueError, match="empty: is a directory with no files in it"):
        vd.decode_files(tmp_path / "empty")
