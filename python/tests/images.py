"""QR Code pictures for the tests, made with the qrcode package."""
from __future__ import annotations

from pathlib import Path
from typing import Optional

import numpy as np
import qrcode
from PIL import Image

LEVELS = {
    "L": qrcode.constants.ERROR_CORRECT_L,
    "M": qrcode.constants.ERROR_CORRECT_M,
    "Q": qrcode.constants.ERROR_CORRECT_Q,
    "H": qrcode.constants.ERROR_CORRECT_H,
}


def symbol_modules(data: bytes, level: str = "M", version: Optional[int] = None,
                   mask: Optional[int] = None, border: int = 4) -> np.ndarray:
    """The symbol's modules with a quiet zone, True dark."""
    q = qrcode.QRCode(version=version, error_correction=LEVELS[level], box_size=1, border=border,
                      mask_pattern=mask)
    q.add_data(data, optimize=0)
    q.make(fit=version is None)
    return np.array(q.get_matrix(), dtype=bool)


def picture(data: bytes, module: int = 4, **kwargs) -> np.ndarray:
    """A grey picture of the symbol, `module` pixels a module, 0 dark, 255 light."""
    modules = symbol_modules(data, **kwargs)
    big = np.repeat(np.repeat(modules, module, axis=0), module, axis=1)
    return np.where(big, np.uint8(0), np.uint8(255))


def write_bmp(path: Path, pixels: np.ndarray) -> Path:
    """Writes grey pixels as a 24-bit BMP, a format every reader build reads."""
    Image.fromarray(pixels, "L").convert("RGB").save(path, format="BMP")
    return path
