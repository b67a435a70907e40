# mypy: allow-untyped-calls, no-warn-return-any
# (Dask itself is untyped.)
"""Decoding many image files on a Dask cluster.

>>> from distributed import Client
>>> import vantor.dask
>>> client = Client("tcp://scheduler:8786")        # or Client() on one machine
>>> frame = vantor.dask.decode_files("/data/scans/**/*.jpg")
>>> frame[frame.decoded].text.compute()

:func:`decode_files` returns a lazy Dask DataFrame with one row per symbol
and one row for each file that gave none (with the reason, or the read
error); computing it runs on whatever ``distributed.Client`` is current,
or on Dask's local scheduler when there is none. :func:`decode_bag` gives
the same rows as a Dask bag of dicts.

The workers read the files themselves: paths must name the same files on
every worker (a shared file system). Items of a bag may instead be the
files' bytes, or ``(name, bytes)`` pairs; bytes are written to a temporary
file on the worker, which is removed after decoding.
"""
from __future__ import annotations

import glob
import json
import os
from typing import Any, Dict, Iterable, List, Optional, Sequence, Tuple, Union, cast

import pandas as pd  # type: ignore[import]
# dask.bag and dask.dataframe re-export these names without declaring it,
# which strict type checking refuses: hence the ignores.
from dask.bag import Bag, from_sequence  # type: ignore[attr-defined]
from dask.dataframe import DataFrame, from_delayed  # type: ignore[attr-defined]
from dask.delayed import delayed

import vantor

from . import _vantor
from ._results import Results

# Column name and pandas dtype of each row: the fields of the rows
# ``vantor --json --explain`` writes, in its order, with the file (and the
# page of a file of several); what a row does not carry is <NA> or None.
COLUMNS: Dict[str, str] = {
    "file": "object",            # the path or name; None for unnamed bytes
    "page": "Int64",             # page number from 1, in a file of several pages
    "decoded": "bool",           # the row holds a symbol or a set's message
    "joined": "boolean",         # the message of a whole structured-append set
    "text": "object",            # display text (str)
    "bytes_hex": "object",       # exact data bytes, in hex
    "version": "Int64",
    "level": "object",
    "mask": "Int64",
    "corners": "object",         # [x, y] * 4 flat: top-left, top-right, bottom-right, bottom-left
    "corrected": "Int64",
    "eci": "Int64",
    "structured_append": "object",  # {"index", "count", "parity"}
    "fnc1": "object",            # {"position"[, "application"]}
    "format": "object",          # the symbol's kind: "QRCode", "MicroQRCode", ...
    "version_name": "object",
    "mirrored": "boolean",        # read from a mirror image
    "inverted": "boolean",        # light modules on dark
    "error": "object",           # "no symbol", or "unreadable" for a file that could not be read
    "reason": "object",          # why there is no symbol
    "cause": "object",           # why the file could not be read: "unknown_format", ...
    "message": "object",         # the read error's message
    "warnings": "object",        # the image reader's warnings
    "explain": "object",         # the --explain lines
}

Row = Dict[str, Any]


class FolderFile(str):
    """A path found in a folder: when it holds no image (an empty file or
    one of no image format) it gives no row, as the command-line reader
    skips it."""
Item = Union[str, "os.PathLike[str]", bytes, bytearray, memoryview, Tuple[Optional[str], bytes]]


def _row(name: Optional[str], page: Optional[int], fields: Dict[str, Any]) -> Row:
    row: Row = dict.fromkeys(COLUMNS)
    row.update(file=name, page=page)
    row.update(fields)
    return row


def rows_for_results(name: Optional[str], page: int, results: Results) -> List[Row]:
    """The rows of one decoded file, those of :attr:`Results.json_rows`: one
    per symbol, then one for a whole structured-append set's message; or one
    with the reason."""
    number = page if (results.page_count or 1) > 1 else None
    return [_row(name, number, fields) for fields in results.json_rows]


def rows_for_item(item: Item, options: Dict[str, Any]) -> List[Row]:
    """Reads and decodes one item of a bag: a path, bytes, or (name, bytes).

    A file that cannot be read gives one row with error ``"unreadable"``,
    its cause and the error's message, instead of failing the whole
    computation.
    """
    page = options.get("page", 1)
    if isinstance(item, tuple):
        name, data = item
    elif isinstance(item, (bytes, bytearray, memoryview)):
        name, data = None, item
    else:
        name, data = str(os.fsdecode(item)), None
    try:
        if data is None:
            results = vantor.decode(name, **options)
        else:
            results = vantor.decode_data(data, **options)
    except (OSError, MemoryError) as e:
        skipped = (vantor.ReadStatus.UNKNOWN_FORMAT, vantor.ReadStatus.EMPTY_FILE)
        if isinstance(item, FolderFile) and getattr(e, "status", None) in skipped:
            return []
        status = getattr(e, "status", vantor.ReadStatus.DAMAGED)
        return [_row(name, None, json.loads(_vantor.unreadable_row(int(status), str(e))))]
    rows = rows_for_results(name, page, results)
    # A PDF document gives the rows of every page after the first.
    if data is None and page == 1 and (results.page_count or 1) > 1 and _is_pdf(name):
        for more in range(2, (results.page_count or 1) + 1):
            try:
                rows += rows_for_results(name, more, vantor.decode(name, **dict(options, page=more)))
            except (OSError, MemoryError) as e:
                status = getattr(e, "status", vantor.ReadStatus.DAMAGED)
                rows.append(_row(name, more, json.loads(_vantor.unreadable_row(int(status), str(e)))))
    return rows


def _is_pdf(path: str) -> bool:
    try:
        with open(path, "rb") as f:
            return f.read(4) == b"%PDF"
    except OSError:
        return False


def frame_of(rows: List[Row]) -> pd.DataFrame:
    """Rows as a pandas DataFrame with the columns and dtypes of COLUMNS."""
    frame = pd.DataFrame.from_records(rows, columns=list(COLUMNS))
    return frame.astype(COLUMNS)


def _partition_rows(items: Iterable[Item], options: Dict[str, Any]) -> List[Row]:
    return [row for item in items for row in rows_for_item(item, options)]


def _partition_frame(items: Iterable[Item], options: Dict[str, Any]) -> pd.DataFrame:
    return frame_of(_partition_rows(items, options))


def folder_files(folder: str) -> List[str]:
    """The files of a folder and of every folder in it, depth first, each
    folder's names in byte order, as :class:`FolderFile`; links to folders
    are not followed."""
    out: List[str] = []
    with os.scandir(folder) as listing:
        children = sorted(listing, key=lambda c: os.fsencode(c.name))
    for child in children:
        path = os.path.join(folder, child.name)
        if child.is_dir(follow_symlinks=False):
            out.extend(folder_files(path))
        elif child.is_file():
            out.append(FolderFile(path))
    return out


def expand(paths: Union[str, "os.PathLike[str]", Sequence[Union[str, "os.PathLike[str]"]]]) -> List[str]:
    """Paths with each glob pattern (``*``, ``?``, ``[...]``, ``**``) replaced by
    the files it matches, sorted, and each folder by its files (those of no
    image format give no row); a pattern that matches nothing is an error."""
    if isinstance(paths, (str, os.PathLike)):
        paths = [paths]
    out: List[str] = []
    for p in paths:
        p = os.fspath(p)
        if glob.has_magic(p):
            matches = sorted(m for m in glob.glob(p, recursive=True) if not os.path.isdir(m))
            if not matches:
                raise FileNotFoundError(f"vantor.dask: no file matches {p!r}")
            out.extend(matches)
        elif os.path.isdir(p):
            out.extend(folder_files(p))
        else:
            out.append(p)
    return out


def _bag_of(source: Any, files_per_partition: int) -> Bag:
    if isinstance(source, Bag):
        return source
    files = expand(source)
    if not files:
        named = [source] if isinstance(source, (str, os.PathLike)) else list(source)
        if named and all(os.path.isdir(p) for p in named):
            raise ValueError(f"vantor.dask: {', '.join(str(os.fspath(p)) for p in named)}: is a directory with no files in it")
        raise ValueError("vantor.dask: no files given")
    npartitions = max(1, -(-len(files) // max(1, files_per_partition)))
    return from_sequence(files, npartitions=npartitions)


def decode_bag(source: Any, *, files_per_partition: int = 64, thorough: bool = True, all: bool = False,
               page: int = 1, effort: str = "default",
               formats: Union[None, str, Sequence[str]] = None) -> Bag:
    """A Dask bag of result rows (dicts with the keys of :data:`COLUMNS`).

    ``source`` is a path, a folder (read with every folder in it, as the
    command-line reader reads one), a glob pattern, a list of them, or a Dask bag
    whose items are paths, bytes of image files, or ``(name, bytes)``
    pairs. Rows keep the order of the files, and of the symbols in each.
    ``files_per_partition`` sets the size of each task for paths; a bag
    keeps its own partitions. The decoding options are those of
    :func:`vantor.decode` (``page`` counted from 1, ``formats`` the kinds
    looked for).
    """
    options = {"thorough": thorough, "all": all, "page": page, "effort": effort, "formats": formats}
    return _bag_of(source, files_per_partition).map_partitions(_partition_rows, options)


def decode_files(source: Any, *, files_per_partition: int = 64, thorough: bool = True, all: bool = False,
                 page: int = 1, effort: str = "default",
                 formats: Union[None, str, Sequence[str]] = None) -> DataFrame:
    """A Dask DataFrame of results: one row per symbol, one per file without.

    Takes what :func:`decode_bag` takes. The columns are those of
    :data:`COLUMNS`, the fields of the command line's ``--json --explain``
    rows; ``decoded`` tells symbol rows from the others, whose ``error`` is
    ``"no symbol"`` (with the ``reason``) or ``"unreadable"`` (with the
    ``cause`` and ``message``). Nothing runs until the frame is computed,
    then on the current ``distributed.Client``, if any.
    """
    options = {"thorough": thorough, "all": all, "page": page, "effort": effort, "formats": formats}
    bag = _bag_of(source, files_per_partition)
    parts = [delayed(_partition_frame, pure=True)(part, options) for part in bag.to_delayed()]
    return cast(DataFrame, from_delayed(parts, meta=frame_of([]), verify_meta=False))
