"""Vantor: reads the text of QR Code symbols out of images.

>>> import vantor
>>> for symbol in vantor.decode("photo.jpg"):
...     print(symbol.text, symbol.corners)

:func:`decode` takes a path, a numpy array (or any buffer) of grey or
colour pixels, or a Pillow image, and returns a list of :class:`Symbol`;
when it is empty, its ``reason`` tells why. :func:`read` gives the grey
pixels an image file holds. Both release the interpreter lock while they
read and decode, so threads decode in parallel. :mod:`vantor.dask` decodes
many files on a Dask cluster; ``python -m vantor FILE...`` is a
command-line reader.
"""
from __future__ import annotations

import os
import tempfile
from typing import Any, Dict, Iterable, List, Optional, Union

import numpy as np
import numpy.typing as npt

from . import _vantor
from ._errors import ReadError, ReadStatus, read_failure
from ._input import PathType, as_path, as_pixels, is_file_data
from ._results import Reading, Reason, Results, Stage, StructuredAppend, Symbol
from ._scan import Hit, scan

__version__: str = _vantor.PROGRAM_VERSION
DECODER_VERSION: str = _vantor.DECODER_VERSION
"""The decoding library's own version text."""

__all__ = [
    "DECODER_VERSION", "ReadError", "ReadStatus", "Reading", "Reason", "Results", "Stage",
    "StructuredAppend", "Symbol", "decode", "decode_data", "display_text", "read",
    "Hit", "scan",
]


# The names ``formats`` takes, by the bit of their kind.
_FORMAT_BITS = {"qr": 1, "model1": 2, "microqr": 4, "rmqr": 8}


def _kinds(formats: Union[None, str, Iterable[str]]) -> int:
    """The kind bits of a ``formats`` option: None for all, a comma-separated
    string or an iterable of names."""
    if formats is None:
        return sum(_FORMAT_BITS.values())
    names = formats.split(",") if isinstance(formats, str) else list(formats)
    bits = 0
    for name in names:
        if not isinstance(name, str) or name.strip().lower() not in _FORMAT_BITS:
            raise ValueError(f"vantor: unknown format {name!r}; formats are qr, model1, microqr, rmqr")
        bits |= _FORMAT_BITS[name.strip().lower()]
    if bits == 0:
        raise ValueError("vantor: formats names no kind; formats are qr, model1, microqr, rmqr")
    return bits


def _settings(thorough: bool, all: bool, trace: bool, debug_dir: Optional[PathType],
              formats: Union[None, str, Iterable[str]] = None, effort: str = "default") -> Any:
    directory = os.fsencode(debug_dir) if debug_dir is not None else b""
    if not isinstance(effort, str):
        raise TypeError(f"vantor: effort must be a str, not {type(effort).__name__}")
    return _vantor.DecodeSettings(thorough=bool(thorough), all_symbols=bool(all), trace=bool(trace),
                                  debug_dir=directory, kinds=_kinds(formats), effort=effort)


def _checked(results: Results) -> Results:
    # An image the checks let through can still be one the decoder refuses
    # (more than 2^28 pixels).
    if results.reason == Reason.INVALID_ARGUMENT:
        raise ValueError("vantor: the decoder refused the image (more than 2^28 pixels, or a bad size "
                         f"or stride): {results.reason_text}")
    if results.reason == Reason.OUT_OF_MEMORY:
        raise MemoryError("vantor: out of memory while decoding")
    return results


def _page_index(page: Optional[int]) -> int:
    """The reader's index of a page counted from 1."""
    if page is None:
        return 0
    if isinstance(page, bool) or not isinstance(page, int):
        raise TypeError(f"vantor: page must be an int, not {type(page).__name__}")
    if page < 1:
        raise ValueError(f"vantor: page {page}: pages count from 1")
    return page - 1


def _decode_path(path: bytes, name: Any, page: Optional[int], all: bool, settings: Any) -> Results:
    """A file's symbols: the page asked for, else the first, or with ``all``
    and no page every page, as ``vantor --all`` reads them."""
    first = _page_index(page)
    status, message, warnings, pages, raw = _vantor.decode_file(path, first, settings)
    if raw is None:
        raise read_failure(status, message, name)
    results = _checked(Results._from_raw(raw, first + 1, warnings=warnings.splitlines(), page_count=pages))
    if page is not None or not all or pages <= 1:
        return results
    parts = [results]
    for index in range(1, pages):
        status, message, warnings, _pages, raw = _vantor.decode_file(path, index, settings)
        if raw is None:
            raise read_failure(status, message, name)
        parts.append(_checked(Results._from_raw(raw, index + 1, warnings=warnings.splitlines())))
    return _joined_pages(parts, pages)


def _joined_pages(parts: List[Results], pages: int) -> Results:
    """The results of every page of a file as one: the symbols in page order,
    the rows with their ``page`` and the explanation under each page's name."""
    found = [p for p in parts if p]
    reason = Reason.OK if found else parts[0].reason
    explain: List[str] = []
    rows: List[Dict[str, Any]] = []
    for number, part in enumerate(parts, 1):
        if part.explain:
            explain.append(f"page {number}:")
            explain.extend("  " + line for line in part.explain)
        rows.extend(dict(row, page=number) for row in part.json_rows)
    traces = [p.trace for p in parts if p.trace is not None]
    return Results((s for p in parts for s in p), reason=reason, stage=max(p.stage for p in parts),
                   readings=(r for p in parts for r in p.readings),
                   trace="".join(traces) if traces else None,
                   warnings=(w for p in parts for w in p.warnings), page_count=pages,
                   joined=found[0].joined if len(found) == 1 else None, explain=explain, json_rows=rows)


def decode(image: Any, *, thorough: bool = True, all: bool = False, depth: Optional[int] = None,
           page: Optional[int] = None, trace: bool = False, debug_dir: Optional[PathType] = None,
           formats: Union[None, str, Iterable[str]] = None, effort: str = "default") -> Results:
    """Decodes the QR Code symbols in an image.

    ``image`` is one of:

    - a path (``str``, ``bytes`` or :class:`os.PathLike`): the file is read
      by Vantor's own readers, recognised by its leading bytes; ``page``
      picks the page of a multi-page file, counted from 1 (default: the
      first; with ``all=True``, every page, each symbol's ``page`` telling
      which);
    - an image file's contents: a ``bytearray``, a 1-D ``memoryview``, or
      ``bytes`` that cannot be a path (they hold a zero byte or a line
      break, as every image file does near its start, or are longer than
      4096 bytes). They are read as :func:`decode_data` reads them;
    - a 2-D ``uint8`` numpy array or any object with the buffer protocol,
      ``(height, width)``, 0 black to 255 white. It is read in place, with
      its row stride, when each row's pixels are adjacent bytes; views whose
      pixels are not (``a[:, ::2]``, a transposed array, negative strides)
      are first copied into a packed grey buffer;
    - a 3-D ``uint8`` array ``(height, width, channels)`` with 1 (grey),
      2 (grey, alpha), 3 (RGB) or 4 (RGBA) channels. Colour becomes grey as
      the mean of R, G and B, truncated (as the file readers compute it);
      alpha composites the pixel over white;
    - a ``bool`` array: two-level pixels, True white;
    - a Pillow image: modes ``1``, ``L``, ``LA``, ``RGB``, ``RGBA`` are read
      as their pixels are, palette images through RGB(A), others through
      ``convert("L")``.

    Options: ``thorough`` runs the thorough search when the classic
    readings give no text (default on); ``all`` returns every distinct
    symbol instead of the first; ``depth`` 1 marks two-level pixels (0 or
    255 only, one binarisation) and 8 grey levels (default: 1 for bool
    arrays and mode ``1`` images, else 8; files carry their own);
    ``trace`` keeps the decoder's trace lines in ``Results.trace``;
    ``debug_dir`` is a directory the decoder writes its debug images into;
    ``formats`` chooses the QR kinds looked for, as names ``"qr"``,
    ``"model1"``, ``"microqr"``, ``"rmqr"`` in a list or a comma-separated
    string (default: all; Model 2 is read first, the others when it gives
    no text).
    ``effort`` is ``"default"`` (a quick look first; every pass and the
    thorough search only where it finds eye patterns that could make a
    symbol, so pictures without one cost little), ``"fast"`` (for video
    frames: the default's first steps, the quick look, its search and at
    most four passes; never more than the default costs) or
    ``"exhaustive"`` (every pass and the search, always; ``Results.readings``
    then has every reading). ``Results.readings`` holds the readings that
    ran; a trace or debug directory makes every effort exhaustive.

    Returns a :class:`Results`: a list of :class:`Symbol`, empty when none
    was read, whose ``reason`` then tells why (no exception is raised for an
    image without a symbol).

    Raises :class:`FileNotFoundError`, :class:`PermissionError` or
    :class:`IsADirectoryError` for a file that cannot be opened,
    :class:`ReadError` (an ``OSError`` and a ``ValueError``) for one that is
    empty, damaged or in a format Vantor does not read; each has the
    :class:`ReadStatus` in ``status`` and the reader's own message in
    ``reader_message``. Raises :class:`TypeError` for pixels that are not
    ``uint8`` or an object that is no image, and :class:`ValueError` for a
    wrong shape, an empty image or a bad option.

    The interpreter lock is released while the file is read and the image
    decoded.
    """
    if is_file_data(image):
        return decode_data(image, thorough=thorough, all=all, page=page, trace=trace, debug_dir=debug_dir,
                           formats=formats, effort=effort)
    settings = _settings(thorough, all, trace, debug_dir, formats, effort)
    path = as_path(image)
    if path is not None:
        return _decode_path(path, image, page, all, settings)
    pixels, pixel_depth = as_pixels(image, depth)
    return _checked(Results._from_raw(_vantor.decode_buffer(pixels, pixel_depth, settings)))


def decode_data(data: Any, *, thorough: bool = True, all: bool = False, page: Optional[int] = None,
                trace: bool = False, debug_dir: Optional[PathType] = None,
                formats: Union[None, str, Iterable[str]] = None, effort: str = "default") -> Results:
    """Decodes an image file held in memory: ``data`` is the file's bytes
    (``bytes``, ``bytearray``, ``memoryview`` or another buffer);
    :func:`decode` does the same with such bytes.

    The readers read files, so the bytes are written to a temporary file
    (under ``$TMPDIR``) that is removed again. Options, results and errors
    are those of :func:`decode` for a path; error messages name the
    temporary file.
    """
    view = memoryview(data)
    with tempfile.NamedTemporaryFile(prefix="vantor-", suffix=".img") as spool:
        spool.write(view)
        spool.flush()
        return decode(spool.name, thorough=thorough, all=all, page=page, trace=trace, debug_dir=debug_dir,
                      formats=formats, effort=effort)


def read(path: PathType, *, page: int = 1) -> npt.NDArray[np.uint8]:
    """The grey pixels of an image file as a ``(height, width)`` uint8 array.

    The file is read by Vantor's own readers (the pixels :func:`decode`
    decodes for the same path); ``page`` picks the page of a multi-page
    file, counted from 1. A two-level source (a 1-bit BMP) gives pixels of 0 and 255 only:
    pass ``depth=1`` when decoding them to decode as the file would be.
    Raises as :func:`decode` does for a path. The interpreter lock is
    released while the file is read.
    """
    encoded = as_path(path)
    if encoded is None:
        raise TypeError(f"vantor: read() takes a path, not {type(path).__name__}")
    status, message, array, _depth, _pages, _warnings = _vantor.read(encoded, _page_index(page))
    if array is None:
        raise read_failure(status, message, path)
    return array


def display_text(data: bytes) -> str:
    """Symbol bytes as display text: UTF-8 when they are valid UTF-8, else
    read as Shift JIS, failing that as Latin-1 (what ``Symbol.text`` holds)."""
    return _vantor.display_text(bytes(data))
