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


def run(argv, stdin=b"", cwd=None):
    p = subprocess.run(argv, input=stdin, capture_output=True, cwd=cwd, timeout=300)
    return p.returncode, p.stdout, p.stderr


def python_reader():
    return [sys.executable, "-m", "vantor"]


@pytest.fixture()
def files(folder, tmp_path_factory, examples):
    extra = tmp_path_factory.mktemp("examples")
    return sorted(folder.iterdir()) + copy_examples(extra) + [folder / "missing.bmp"]


def test_decode_agrees_with_json(cli, files):
    code, out, _ = run([str(cli), "--json"] + [str(f) for f in files])
    lines = [json.loads(line) for line in out.splitlines()]  # bytes: U+0085 in a text ends no line
    assert [line["file"] for line in lines] == [str(f) for f in files]
    for f, line in zip(files, lines):
        try:
            r = vantor.decode(f)
        except (OSError, ValueError) as e:
            assert line["decoded"] is False and line["error"] == "unreadable", f
            assert e.reader_message == line["message"], f
            continue
        if not r:
            assert line["decoded"] is False and line["error"] == "no symbol", f
            if "reason" in line:
                assert line["reason"] in (r.reason.name, r.reason_text), f
            continue
        s = r[0]
        assert line["decoded"] is True, f
        if "version" not in line and b"\0" in s.bytes:
            # The classic reader's text ends at the first zero byte.
            assert line["bytes_hex"] == s.bytes.split(b"\0")[0].hex(), f
        else:
            assert line["text"] == s.text and line["bytes_hex"] == s.bytes.hex(), f
        for key in ("version", "level", "mask", "corrected"):
            if key in line:
                assert line[key] == getattr(s, key), (f, key)
        if "corners" in line:
            got = [tuple(c) if isinstance(c, list) else (c["x"], c["y"]) for c in line["corners"]]
            assert [pytest.approx(c, abs=0.01) for c in got] == list(s.corners), f


@pytest.mark.parametrize("args", [
    [],                        # one file: its text
    ["--json"],
    ["--raw"],
    ["--", "-"],               # "-" after "--" is still standard input
])
def test_python_reader_prints_what_vantor_prints(cli, folder, examples, args):
    if "-" in args:
        cases = [([], (examples / "hello.bmp").read_bytes()), ([], b"not an image")]
    else:
        # (Not the symbol with zero bytes: the classic reader's text ends at
        # the first, the module's does not.)
        many = [str(p) for p in sorted(folder.iterdir()) if "zero" not in p.name] + [str(folder / "missing.bmp")]
        cases = [([str(examples / "kanji.bmp")], b""), (many, b"")]
    for names, stdin in cases:
        assert run(python_reader() + args + names, stdin) == run([str(cli)] + args + names, stdin), names


@pytest.mark.parametrize("args", [[], ["--bogus"], ["--raw", "--json", "x"], ["--debug-dir"], ["--version"],
                                  ["--help"]])
def test_python_reader_usage_and_version(cli, args):
    py_code, py_out, py_err = run(python_reader() + args)
    c_code, c_out, c_err = run([str(cli)] + args)
    assert py_code == c_code
    if "--version" in args:
        assert py_out == c_out
    assert (py_out == b"") == (c_out == b"") and (py_err == b"") == (c_err == b"")
    if c_err:
        assert py_err.splitlines()[0].replace(b"python -m vantor", b"vantor") == c_err.splitlines()[0]


def test_python_reader_exit_codes(cli, folder, examples):
    cases = {
        0: [examples / "hello.bmp"],
        1: [examples / "hello.bmp", folder / "90-blank.bmp"],
        2: [folder / "90-blank.bmp", folder / "missing.bmp", examples / "hello.bmp"],
    }
    for status, names in cases.items():
        argv = [str(n) for n in names]
        assert run(python_reader() + argv)[0] == status == run([str(cli)] + argv)[0]


def test_python_reader_log_writes_trace_and_debug_images(tmp_path, examples):
    code, out, err = run(python_reader() + ["--log", "--debug-dir", str(tmp_path), str(examples / "hello.bmp")])
    assert code == 0 and out == b"Hello, Vantor!\n"
    assert err.count(b"\n") > 3
    assert any(p.suffix == ".bmp" for p in tmp_path.iterdir())
