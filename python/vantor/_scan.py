"""vantor.scan: the pages of a document or the frames of a video, one at a time."""
from __future__ import annotations

from dataclasses import dataclass
from typing import Iterable, Iterator, Optional, Tuple, Union

from . import _vantor
from ._errors import read_failure
from ._input import PathType, as_path
from ._results import Results, Symbol


@dataclass(frozen=True)
class Hit:
    """One page of a file (``page`` from 1, ``frame`` and ``time`` None), or
    one frame of a video with symbols to report (``frame`` from 0, ``time``
    in seconds from the video's start, ``page`` None)."""

    page: Optional[int]
    frame: Optional[int]
    time: Optional[float]
    results: Results

    @property
    def symbols(self) -> Tuple[Symbol, ...]:
        return tuple(self.results)


def scan(path: PathType, *, every_frame: bool = False, thorough: bool = True,
         formats: Union[None, str, Iterable[str]] = None) -> Iterator[Hit]:
    """Yields every page of an image or PDF file with every symbol on it, or,
    for a video file, each frame in which a symbol first appears (a text
    seen again after a second out of view counts as new; ``every_frame``
    gives every frame's symbols). Video frames are read at the fast effort
    and read again at the default effort once a symbol shows.

    Each step reads and decodes without the interpreter lock. Raises
    :class:`ReadError` (or its subclasses) as :func:`decode` does when the
    file, or a later page, cannot be read.
    """
    from . import _settings  # the package's own settings builder

    encoded = as_path(path)
    if encoded is None:
        raise TypeError(f"vantor: scan() takes a path, not {type(path).__name__}")
    scanner = _vantor.Scanner(encoded, _settings(thorough, True, False, None, formats), bool(every_frame))
    while True:
        step = scanner.next()
        if step is None:
            return
        status, message, page, frame, seconds, warnings, raw = step
        if raw is None:
            raise read_failure(status, message, path)
        results = Results._from_raw(raw, page + 1 if frame < 0 else 1, warnings=tuple(warnings.splitlines()))
        if frame < 0:
            yield Hit(page=page + 1, frame=None, time=None, results=results)
        else:
            yield Hit(page=None, frame=frame, time=seconds, results=results)
