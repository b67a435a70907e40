"""Types of the compiled module; the public API is the vantor package."""
from typing import Any, Dict, List, Optional, Tuple

import numpy as np
import numpy.typing as npt

DECODER_VERSION: str
PROGRAM_VERSION: str
REASONS: Dict[str, int]
STAGES: Dict[str, int]
READ_STATUSES: Dict[str, int]

# (symbols, reason, stage, readings, trace, joined, explanation, rows):
# symbols and readings as dicts whose keys are the fields of vantor.Symbol
# and vantor.Reading; rows the --json rows as one JSON array.
RawResults = Tuple[List[Dict[str, Any]], int, int, List[Dict[str, Any]], Optional[str], Optional[bytes],
                   List[str], str]

class DecodeSettings:
    def __init__(self, *, thorough: bool = ..., all_symbols: bool = ..., trace: bool = ...,
                 debug_dir: bytes = ..., kinds: int = ..., effort: str = ...) -> None: ...

def decode_buffer(buffer: Any, depth: int, settings: DecodeSettings) -> RawResults: ...
def decode_file(path: bytes, page: int,
                settings: DecodeSettings) -> Tuple[int, str, str, int, Optional[RawResults]]: ...
def read(path: bytes, page: int) -> Tuple[int, str, Optional[npt.NDArray[np.uint8]], int, int, str]: ...
def run_command_line(arguments: List[bytes]) -> int: ...
def display_text(data: bytes) -> str: ...
def reason_text(reason: int) -> str: ...
def stage_text(stage: int) -> str: ...
def read_status_text(status: int) -> str: ...
