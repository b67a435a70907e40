"""python -m vantor: prints the text of the QR Code symbol in each image file.

The output, options and exit status are those of the ``vantor``
command-line reader, for users who have only the Python package.
"""
from __future__ import annotations

import json
import os
import shutil
import sys
import tempfile
from dataclasses import dataclass, field
from typing import BinaryIO, List, Optional, Sequence

from . import _vantor
from ._results import Results, Symbol

EXIT_OK, EXIT_NO_SYMBOL, EXIT_UNREADABLE, EXIT_USAGE = 0, 1, 2, 64

USAGE = """\
usage: python -m vantor [options] FILE...
Prints the text of the QR Code symbol in each image file
(JPEG, GIF, BMP 24-bit or 1-bit); FILE - reads standard input.

options:
  --raw            write the symbol's exact bytes, no newline
  --json           one JSON object per file and line: file, decoded,
                   text (UTF-8), bytes_hex (the exact bytes), error
  --log            trace the decoder on standard error and write
                   its debug images
  --debug-dir DIR  where --log writes the debug images
                   (default: the current directory)
  --version        print the version and exit
  --help           print this help and exit

exit status: 0 every file gave text, 1 a file had no symbol,
2 a file could not be read, 64 usage error
"""


@dataclass
class Options:
    raw: bool = False
    json: bool = False
    log: bool = False
    debug_dir: str = ""
    files: List[str] = field(default_factory=list)


@dataclass
class FileResult:
    """The outcome of one file."""

    name: str                       # as given; "-" for standard input
    readable: bool = False
    message: str = ""               # the reader's reason when not readable
    results: Optional[Results] = None

    @property
    def symbol(self) -> Optional[Symbol]:
        return self.results[0] if self.results else None


class UsageError(Exception):
    pass


def parse(argv: Sequence[str]) -> Optional[Options]:
    """The options, or None after --version/--help was answered."""
    opt = Options()
    options_done = False
    args = list(argv)
    i = 0
    while i < len(args):
        arg = args[i]
        if options_done or not arg.startswith("-") or arg == "-":
            opt.files.append(arg)
        elif arg == "--":
            options_done = True
        elif arg == "--raw":
            opt.raw = True
        elif arg == "--json":
            opt.json = True
        elif arg == "--log":
            opt.log = True
        elif arg == "--debug-dir":
            i += 1
            if i >= len(args):
                raise UsageError("--debug-dir needs a directory")
            opt.debug_dir = args[i]
        elif arg.startswith("--debug-dir="):
            opt.debug_dir = arg[len("--debug-dir="):]
        elif arg == "--version":
            sys.stdout.write(f"vantor {_vantor.PROGRAM_VERSION} (decoder {_vantor.DECODER_VERSION})\n")
            return None
        elif arg in ("--help", "-h"):
            sys.stdout.write(USAGE)
            return None
        else:
            raise UsageError(f"unknown option {arg}")
        i += 1
    if not opt.files:
        raise UsageError("")
    if opt.json and opt.raw:
        raise UsageError("--raw and --json cannot be combined")
    return opt


def _spool(stream: BinaryIO) -> str:
    """Copies standard input to a temporary file (the readers seek)."""
    with tempfile.NamedTemporaryFile(prefix="vantor-stdin-", delete=False) as spool:
        shutil.copyfileobj(stream, spool)
        return spool.name


def process(opt: Options, name: str) -> FileResult:
    r = FileResult(name)
    read_path = name
    spooled = False
    if name == "-":
        try:
            read_path = _spool(sys.stdin.buffer)
            spooled = True
        except OSError as e:
            r.message = f"standard input: {e.strerror or e}\n"
            return r
    settings = _vantor.DecodeSettings(thorough=True, all_symbols=False, trace=opt.log,
                                      debug_dir=os.fsencode(opt.debug_dir or ".") if opt.log else b"")
    try:
        status, message, _warnings, pages, raw = _vantor.decode_file(os.fsencode(read_path), 0, settings)
    finally:
        if spooled:
            os.unlink(read_path)
    r.readable = raw is not None
    # Messages name the file as the user gave it, not the spool file.
    r.message = message.replace(read_path, "-") if spooled else message
    if raw is not None:
        r.results = Results._from_raw(raw, page_count=pages)
        if opt.log and r.results.trace:
            sys.stderr.write(r.results.trace)
            sys.stderr.flush()
    return r


def _json_text(value: str) -> str:
    # Escapes as the command-line reader does: control characters and DEL
    # as \\u00XX, everything else as UTF-8.
    return json.dumps(value, ensure_ascii=False).replace("\x7f", "\\u007f")


def _display_name(name: str) -> str:
    # A file name that is not UTF-8 is shown with U+FFFD for its bad bytes.
    return os.fsencode(name).decode("utf-8", "replace")


def json_line(r: FileResult) -> str:
    items = [("file", _json_text(_display_name(r.name))),
             ("decoded", "true" if r.symbol else "false")]
    s = r.symbol
    if s is not None:
        items += [("text", _json_text(s.text)), ("bytes_hex", _json_text(s.bytes.hex()))]
    elif not r.readable:
        items += [("error", _json_text("unreadable")), ("message", _json_text(r.message.rstrip("\r\n")))]
    else:
        items += [("error", _json_text("no symbol"))]
    return "{" + ",".join(f"{_json_text(k)}:{v}" for k, v in items) + "}\n"


def print_text(opt: Options, r: FileResult, several: bool, out: BinaryIO, err: BinaryIO) -> None:
    prefix = os.fsencode(r.name) + b": " if several else b""
    if not r.readable:
        if r.message:
            err.write(r.message.encode("utf-8", "surrogateescape"))
        err.write(prefix + b"unsupported format: JPEG, GIF, BMP (24-bit, 1-bit)\n")
    elif r.symbol is None:
        err.write(prefix + b"no QR Code found\n")
    elif opt.raw:
        out.write(r.symbol.bytes)
    else:
        out.write(prefix + r.symbol.text.encode("utf-8") + b"\n")
    err.flush()


def main(argv: Optional[Sequence[str]] = None) -> int:
    try:
        opt = parse(sys.argv[1:] if argv is None else argv)
    except UsageError as e:
        if str(e):
            sys.stderr.write(f"vantor: {e}\n")
        sys.stderr.write(USAGE)
        return EXIT_USAGE
    if opt is None:
        return EXIT_OK

    out, err = sys.stdout.buffer, sys.stderr.buffer
    status = EXIT_OK
    several = len(opt.files) > 1
    for name in opt.files:
        # Flushed before each file so that --log traces and results keep
        # their order on a terminal.
        out.flush()
        r = process(opt, name)
        if opt.json:
            out.write(json_line(r).encode("utf-8"))
        else:
            print_text(opt, r, several, out, err)
        if not r.readable:
            status = EXIT_UNREADABLE
        elif r.symbol is None and status == EXIT_OK:
            status = EXIT_NO_SYMBOL
    try:
        out.flush()
    except OSError:
        return EXIT_UNREADABLE
    return status


if __name__ == "__main__":
    sys.exit(main())
