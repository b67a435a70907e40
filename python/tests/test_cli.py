"""Python against the command-line reader: the same files give the same
results through vantor.decode as through `vantor --json`, and
`python -m vantor` prints what `vantor` prints."""
from __future__ import annotations

import json
import os
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import vantor
from conftest import copy_examples
from images import eci_picture, picture, structured_pictures, write_bmp


def run(argv, stdin=b"", cwd=None):
    p = subprocess.run(argv, input=stdin, capture_output=True, cwd=cwd, timeout=300)
    return p.returncode, p.stdout, p.stderr


PYTHON_READER = [sys.executable, "-m", "vantor"]


@pytest.fixture()
def files(folder, tmp_path_factory, examples):
    extra = tmp_path_factory.mktemp("examples")
    return sorted(folder.iterdir()) + copy_examples(extra) + [folder / "missing.bmp", folder]


def test_decode_agrees_with_json(cli, files):
    files = files[:-1]  # not the folder itself
    code, out, _ = run([str(cli), "--json"] + [str(f) for f in files])
    lines = [json.loads(line) for line in out.splitlines()]  # bytes: U+0085 in a text ends no line
    assert [line["file"] for line in lines] == [str(f) for f in files]
    for f, line in zip(files, lines):
        try:
            r = vantor.decode(f)
        except OSError as e:
            assert line["decoded"] is False and line["error"] == "unreadable", f
            assert line["cause"] == e.status.name.lower() and line["message"].startswith(e.status.text), f
            if e.status == vantor.ReadStatus.DAMAGED and e.reader_message:
                assert line["message"] == f"{e.status.text}: {e.reader_message}"
            continue
        if not r:
            assert line["decoded"] is False and line["error"] == "no symbol", f
            assert line["reason"] == r.reason_text, f
            continue
        s = r[0]
        assert line["decoded"] is True, f
        assert (line["text"], line["bytes_hex"]) == (s.text, s.bytes.hex()), f
        assert (line["version"], line["level"], line["mask"], line["corrected"]) == \
            (s.version, s.level, s.mask, s.corrected), f
        corners = line["corners"]
        assert list(zip(corners[::2], corners[1::2])) == [pytest.approx(c, abs=1e-4) for c in s.corners], f


def cli_rows(cli, files, flags):
    """The rows `vantor --json --explain` writes, by file."""
    _, out, _ = run([str(cli), "--json", "--explain", *flags] + [str(f) for f in files])
    rows = {}
    for line in out.splitlines():
        row = json.loads(line)
        rows.setdefault(row.pop("file"), []).append(row)
    return rows


@pytest.mark.parametrize("flags, options", [
    ([], {}),
    (["--all"], {"all": True}),
    (["--all", "--effort", "exhaustive", "--no-thorough"], {"all": True, "effort": "exhaustive", "thorough": False}),
    (["--effort", "fast", "--formats", "qr,microqr"], {"effort": "fast", "formats": "qr,microqr"}),
])
def test_json_rows_are_the_command_lines(cli, files, tmp_path, flags, options):
    # Beside the folder's: an ECI symbol, a whole structured-append set and
    # the same set missing a symbol.
    parts = structured_pictures(b"one message over the symbols of a set, " * 3)
    assert len(parts) >= 3
    extra = [write_bmp(tmp_path / "eci.bmp", eci_picture("café".encode("latin-1"), 3)),
             write_bmp(tmp_path / "set.bmp", np.hstack(parts)),
             write_bmp(tmp_path / "set-part.bmp", np.hstack(parts[1:]))]
    files = [f for f in files[:-1] if f.suffix == ".bmp" and f.name != "hello-1bit.bmp"] + extra
    expected = cli_rows(cli, files, flags)
    joined = compared = 0
    for f in files:
        if expected[str(f)][0].get("error") == "unreadable":
            continue
        compared += 1
        rows = list(vantor.decode(f, **options).json_rows)
        assert rows == expected[str(f)], f
        # The same pixels as an array give the same rows.
        assert list(vantor.decode(vantor.read(f), **options).json_rows) == rows, f
        joined += any(row.get("joined") for row in rows)
    # A set's message needs all=True; at the default effort every symbol of
    # the set is read.
    assert joined <= ("all" in options)
    if options == {"all": True}:
        assert joined == 1
    assert compared == len(files) - 2  # all but the missing file and the one that is no image


def test_explain_is_the_command_lines(cli, files):
    for f in files[:3]:
        _, out, _ = run([str(cli), "--explain", str(f)])
        assert "\n".join(f"  {line}" for line in vantor.decode(f).explain) in out.decode(), f


@pytest.mark.parametrize("args", [
    [],
    ["--json"],
    ["--raw", "-0"],
    ["--json", "--all", "--explain"],
    ["--no-thorough", "-j", "1"],
])
def test_python_reader_prints_what_vantor_prints(cli, files, args):
    names = [str(f) for f in files]
    for argv in (args + names[:1], args + names):
        assert run(PYTHON_READER + argv) == run([str(cli)] + argv), argv


def test_python_reader_standard_input_and_file_names(cli, examples, tmp_path):
    image = (examples / "hello.bmp").read_bytes()
    for stdin in (image, b"not an image", b""):
        for args in (["-"], ["--json", "--", "-"]):
            assert run(PYTHON_READER + args, stdin) == run([str(cli)] + args, stdin), (args, stdin[:10])
    # A name that is not UTF-8 reaches the reader as the same bytes.
    name = os.fsdecode(b"caf\xe9.bmp")
    write_bmp(tmp_path / name, picture(b"latin-1 name"))
    for args in ([name], ["--json", name, name]):
        assert run(PYTHON_READER + args, cwd=tmp_path) == run([str(cli)] + args, cwd=tmp_path)


@pytest.mark.parametrize("args", [[], ["--bogus"], ["--raw", "--json", "x"], ["--debug-dir"], ["-j", "0", "x"],
                                  ["--version"], ["--help"]])
def test_python_reader_usage_and_version(cli, args):
    assert run(PYTHON_READER + args) == run([str(cli)] + args)


def test_python_reader_exit_codes(folder, examples):
    cases = {
        0: [examples / "hello.bmp"],
        1: [examples / "hello.bmp", folder / "90-blank.bmp"],
        2: [folder / "90-blank.bmp", folder / "missing.bmp", examples / "hello.bmp"],
    }
    for status, names in cases.items():
        assert run(PYTHON_READER + [str(n) for n in names])[0] == status


def test_python_reader_log_writes_trace_and_debug_images(tmp_path, examples):
    code, out, err = run(PYTHON_READER + ["--log", "--debug-dir", str(tmp_path), str(examples / "hello.bmp")])
    assert code == 0 and out == b"Hello, Vantor!\n"
    assert err.count(b"\n") > 3
    assert any(p.suffix == ".bmp" for p in tmp_path.iterdir())


def test_main_can_be_called(capfd, examples):
    from vantor.__main__ import main

    assert main([str(examples / "kanji.bmp")]) == 0
    assert capfd.readouterr().out == "日本語のテキスト\n"
