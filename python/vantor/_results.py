"""What a decode gives back: symbols, the reason none was found, the readings."""
from __future__ import annotations

import enum
import json
from dataclasses import dataclass
from typing import Any, Dict, Iterable, List, Optional, Tuple

from . import _vantor

# The values come from the C header through the compiled module; the names
# are spelled out so that type checkers see them (a test checks both sets).
_R = _vantor.REASONS
_S = _vantor.STAGES


class Reason(enum.IntEnum):
    """Why a decode found no symbol; ``Reason.OK`` when it found one."""

    OK = _R["OK"]
    NO_EYE_PATTERNS = _R["NO_EYE_PATTERNS"]
    EYES_NOT_A_SYMBOL = _R["EYES_NOT_A_SYMBOL"]
    VERSION_UNREADABLE = _R["VERSION_UNREADABLE"]
    GRID_FAILED = _R["GRID_FAILED"]
    FORMAT_UNREADABLE = _R["FORMAT_UNREADABLE"]
    TOO_MANY_ERRORS = _R["TOO_MANY_ERRORS"]
    UNSUPPORTED_CONTENT = _R["UNSUPPORTED_CONTENT"]
    BAD_DATA = _R["BAD_DATA"]
    INVALID_ARGUMENT = _R["INVALID_ARGUMENT"]
    OUT_OF_MEMORY = _R["OUT_OF_MEMORY"]
    NO_SYMBOL = _R["NO_SYMBOL"]

    @property
    def text(self) -> str:
        """A short English text for the reason."""
        return _vantor.reason_text(int(self))


class Stage(enum.IntEnum):
    """How far a reading, or a whole decode, got."""

    NONE = _S["NONE"]
    EYES = _S["EYES"]
    ARRANGED = _S["ARRANGED"]
    VERSION = _S["VERSION"]
    GRID = _S["GRID"]
    FORMAT = _S["FORMAT"]
    CODEWORDS = _S["CODEWORDS"]
    TEXT = _S["TEXT"]

    @property
    def text(self) -> str:
        """A short English text for the stage."""
        return _vantor.stage_text(int(self))


Point = Tuple[float, float]


@dataclass(frozen=True)
class StructuredAppend:
    """A symbol's place in a structured-append set."""

    index: int
    """Position of this symbol in the set, 0 first."""
    count: int
    """Number of symbols in the set."""
    parity: int
    """Parity byte shared by the set."""


@dataclass(frozen=True)
class Symbol:
    """One symbol of the QR family found in an image."""

    bytes: bytes
    """The exact data bytes (kanji as Shift JIS pairs; zero bytes kept)."""
    text: str
    """The bytes for display: UTF-8 kept, else read as Shift JIS, else Latin-1."""
    format: str
    """The kind: ``"QRCode"`` (Model 2), ``"QRCodeModel1"``, ``"MicroQRCode"``
    or ``"rMQRCode"``."""
    version_name: str
    """The version as the kind names it: ``"7"``, ``"M3"``, ``"R13x77"``."""
    version: int
    """Symbol version within its kind: 1 to 40 for Model 2, 1 to 4 for
    Micro QR (M1 to M4), 1 to 32 for rMQR (R7x43 to R17x139 in order)."""
    level: str
    """Error correction level: ``"L"``, ``"M"``, ``"Q"`` or ``"H"``."""
    mask: int
    """Data mask pattern, 0 to 7 (Micro QR 0 to 3; rMQR 0, its one mask)."""
    corners: Tuple[Point, Point, Point, Point]
    """The symbol's top-left, top-right, bottom-right and bottom-left corners
    (outer edge of the eye patterns) as ``(x, y)`` image pixels."""
    corrected: int
    """Codewords the error correction changed."""
    pass_: int
    """Binarisation pass that read it, 0 to 6 as ``--explain`` names them;
    -1 when no pass did (the thorough search, or a Micro QR or rMQR reading)."""
    reading: int
    """The reading of that pass that read it, 1 or 2 as ``--explain`` counts
    them; -1 when ``pass_`` is -1."""
    mirrored: bool
    """Read transposed (a mirror image)."""
    inverted: bool
    """Light modules on a dark ground."""
    eci: Optional[int]
    """ECI designator of the first ECI segment; None when there is none."""
    structured_append: Optional[StructuredAppend]
    """Place in a structured-append set; None when not part of one."""
    fnc1: int
    """FNC1 mode: 0 none, 1 first position (GS1), 2 second position."""
    fnc1_application: Optional[int]
    """Application indicator of an FNC1 in second position, else None."""
    page: int = 1
    """Page of the file it was read on, from 1 (1 for pixels)."""

    @property
    def gs1(self) -> bool:
        """True when the symbol carries GS1 data (FNC1 in first position)."""
        return self.fnc1 == 1

    @classmethod
    def _from_raw(cls, raw: Dict[str, Any], page: int = 1) -> "Symbol":
        sa = raw["structured_append"]
        fields = dict(raw, structured_append=StructuredAppend(*sa) if sa is not None else None,
                      reading=_reading_number(raw["pass_"], raw["reading"]), page=page)
        return cls(**fields)


def _reading_number(pass_: int, reading: int) -> int:
    """A pass's reading counted from 1, as --explain counts it; -1 without
    a pass or a reading (a pass with too few eye patterns to read)."""
    return reading + 1 if pass_ >= 0 and reading >= 0 else -1


@dataclass(frozen=True)
class Reading:
    """The outcome of one classic reading (one module-size estimate of one pass)."""

    pass_: int
    """Binarisation pass, 0 to 6."""
    reading: int
    """The pass's reading, 1 or 2; -1 when the pass found too few eye
    patterns to read any."""
    stage: Stage
    """How far it got."""
    candidates: int
    """Eye pattern candidates of its pass."""
    version: Optional[int]
    level: Optional[str]
    mask: Optional[int]
    blocks: int
    """Reed-Solomon blocks of the symbol."""
    blocks_clean: int
    blocks_corrected: int
    blocks_beyond: int
    """Blocks with more errors than they can repair."""

    @classmethod
    def _from_raw(cls, raw: Dict[str, Any]) -> "Reading":
        return cls(**dict(raw, stage=Stage(raw["stage"]), reading=_reading_number(raw["pass_"], raw["reading"])))


class Results(List[Symbol]):
    """The symbols one decode found (a list, empty when none), with why.

    Besides the symbols: ``reason`` (:class:`Reason`; ``Reason.OK`` when a
    symbol was found) and ``reason_text``, ``stage`` (the furthest
    :class:`Stage` any reading reached), ``readings`` (the classic readings
    run, in order), ``trace`` (the decoder's trace lines when asked for,
    else None), and for files ``warnings`` (the reader's warnings, a tuple of
    lines, as ``--json`` lists them) and ``page_count``; ``joined``, the bytes of a whole
    structured-append set among the symbols joined in index order (decode
    with ``all=True``), else None.

    ``explain`` holds the lines ``vantor --explain`` prints for the same
    decode, and ``json_rows`` the objects ``vantor --json --explain`` writes,
    as dicts with the same keys and nesting, less ``file`` and ``page``: one
    per symbol, then one for a whole structured-append set's message; or one
    telling why there is none.
    """

    reason: Reason
    stage: Stage
    readings: Tuple[Reading, ...]
    trace: Optional[str]
    warnings: Tuple[str, ...]
    page_count: Optional[int]
    joined: Optional[bytes]
    explain: Tuple[str, ...]
    json_rows: Tuple[Dict[str, Any], ...]

    def __init__(self, symbols: Iterable[Symbol] = (), *, reason: Reason = Reason.OK,
                 stage: Stage = Stage.NONE, readings: Iterable[Reading] = (),
                 trace: Optional[str] = None, warnings: Iterable[str] = (),
                 page_count: Optional[int] = None, joined: Optional[bytes] = None,
                 explain: Iterable[str] = (), json_rows: Iterable[Dict[str, Any]] = ()) -> None:
        super().__init__(symbols)
        self.explain = tuple(explain)
        self.json_rows = tuple(json_rows)
        self.joined = joined
        self.reason = reason
        self.stage = stage
        self.readings = tuple(readings)
        self.trace = trace
        self.warnings = tuple(warnings)
        self.page_count = page_count

    @property
    def reason_text(self) -> str:
        """A short English text for ``reason``."""
        return self.reason.text

    def __repr__(self) -> str:
        return f"Results({list.__repr__(self)}, reason={self.reason.name}, stage={self.stage.name})"

    @classmethod
    def _from_raw(cls, raw: Tuple[Any, ...], page: int = 1, **extra: Any) -> "Results":
        symbols, reason, stage, readings, trace, joined, explain, rows = raw
        return cls((Symbol._from_raw(s, page) for s in symbols), reason=Reason(reason), stage=Stage(stage),
                   readings=(Reading._from_raw(r) for r in readings), trace=trace, joined=joined,
                   explain=explain, json_rows=json.loads(rows), **extra)
