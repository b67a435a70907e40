"""Python against the command-line reader: the same files give the same
results through vantor.decode as through `vantor --json`, and
`python -m vantor` prints what `vantor` prints."""
from __future__ import annotations

import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

import vantor
from conftest import copy_examples
from images import picture, write_bmp


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
