"""The exceptions a failed file read raises."""
from __future__ import annotations

import enum
import errno
import os

from . import _vantor
from ._input import PathType

_RS = _vantor.READ_STATUSES


class ReadStatus(enum.IntEnum):
    """Why reading an image file failed; ``ReadStatus.OK`` when it did not."""

    OK = _RS["OK"]
    NO_SUCH_FILE = _RS["NO_SUCH_FILE"]
    PERMISSION_DENIED = _RS["PERMISSION_DENIED"]
    IS_DIRECTORY = _RS["IS_DIRECTORY"]
    EMPTY_FILE = _RS["EMPTY_FILE"]
    UNKNOWN_FORMAT = _RS["UNKNOWN_FORMAT"]
    DAMAGED = _RS["DAMAGED"]
    OUT_OF_MEMORY = _RS["OUT_OF_MEMORY"]
    INVALID_ARGUMENT = _RS["INVALID_ARGUMENT"]

    @property
    def text(self) -> str:
        """A short English text for the status."""
        return _vantor.read_status_text(int(self))


class ReadError(OSError, ValueError):
    """An image file that is empty, damaged or in a format Vantor does not read.

    Both an :class:`OSError` and a :class:`ValueError`. ``status`` is the
    :class:`ReadStatus`, ``filename`` the path, ``strerror`` the reader's
    own message (or the status text when the reader gave none).
    """

    status: ReadStatus
    reader_message: str

    def __str__(self) -> str:
        # The readers' messages name the file themselves.
        return self.reader_message or f"{self.filename}: {self.strerror}"


# Statuses that are the file system's own errors keep their usual exception.
_OS_ERRORS = {
    ReadStatus.NO_SUCH_FILE: (FileNotFoundError, errno.ENOENT),
    ReadStatus.PERMISSION_DENIED: (PermissionError, errno.EACCES),
    ReadStatus.IS_DIRECTORY: (IsADirectoryError, errno.EISDIR),
}


def read_failure(status: int, message: str, path: PathType) -> Exception:
    """The exception for a failed read of ``path``: each carries ``status``
    (:class:`ReadStatus`) and ``reader_message``, the reader's own text
    ("" when it gave none)."""
    code = ReadStatus(status)
    reader_message = message.strip()
    filename = os.fspath(path)
    error: Exception
    if code in _OS_ERRORS:
        kind, number = _OS_ERRORS[code]
        error = kind(number, os.strerror(number), filename)
    elif code == ReadStatus.OUT_OF_MEMORY:
        error = MemoryError(f"{filename!r}: {reader_message or code.text}")
    else:
        error = ReadError(errno.EINVAL, reader_message or code.text, filename)
    error.status = code  # type: ignore[attr-defined]
    error.reader_message = reader_message  # type: ignore[attr-defined]
    return error
