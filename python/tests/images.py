"""QR Code pictures for the tests, made with the qrcode package."""
from __future__ import annotations

import ctypes
import ctypes.util
from pathlib import Path
from typing import List, Optional

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


# ECI and structured append through libqrencode (the C library the
# project's own tests draw with), which the qrcode package does not write.
class _QRcode(ctypes.Structure):
    _fields_ = [("version", ctypes.c_int), ("width", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte))]


class _QRcodeList(ctypes.Structure):
    pass


_QRcodeList._fields_ = [("code", ctypes.POINTER(_QRcode)), ("next", ctypes.POINTER(_QRcodeList))]
_MODE_8 = 2


def _qrencode() -> ctypes.CDLL:
    lib = ctypes.CDLL(ctypes.util.find_library("qrencode") or "libqrencode.so.4")
    lib.QRinput_new2.restype = ctypes.c_void_p
    lib.QRinput_new2.argtypes = [ctypes.c_int, ctypes.c_int]
    lib.QRinput_append.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_char_p]
    lib.QRinput_appendECIheader.argtypes = [ctypes.c_void_p, ctypes.c_uint]
    lib.QRcode_encodeInput.restype = ctypes.POINTER(_QRcode)
    lib.QRcode_encodeInput.argtypes = [ctypes.c_void_p]
    lib.QRcode_encodeString8bitStructured.restype = ctypes.POINTER(_QRcodeList)
    lib.QRcode_encodeString8bitStructured.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_int]
    lib.QRcode_List_free.argtypes = [ctypes.POINTER(_QRcodeList)]
    lib.QRcode_free.argtypes = [ctypes.POINTER(_QRcode)]
    lib.QRinput_free.argtypes = [ctypes.c_void_p]
    return lib


def _pixels(code: "ctypes._Pointer[_QRcode]", module: int = 4, border: int = 4) -> np.ndarray:
    w = code.contents.width
    modules = np.ctypeslib.as_array(code.contents.data, shape=(w * w,)).reshape(w, w) & 1
    modules = np.pad(modules.astype(bool), border)
    return np.where(np.repeat(np.repeat(modules, module, 0), module, 1), np.uint8(0), np.uint8(255))


def eci_picture(data: bytes, eci: int) -> np.ndarray:
    """A symbol of 8-bit data after an ECI header, at level M. (libqrencode
    4.1 writes no FNC1 symbols.)"""
    lib = _qrencode()
    qr_input = lib.QRinput_new2(0, 1)
    try:
        assert lib.QRinput_appendECIheader(qr_input, eci) == 0
        assert lib.QRinput_append(qr_input, _MODE_8, len(data), data) == 0
        code = lib.QRcode_encodeInput(qr_input)
        assert code
        try:
            return _pixels(code)
        finally:
            lib.QRcode_free(code)
    finally:
        lib.QRinput_free(qr_input)


def structured_pictures(data: bytes, version: int = 1) -> List[np.ndarray]:
    """The symbols of a structured-append set holding data, at level L."""
    lib = _qrencode()
    head = lib.QRcode_encodeString8bitStructured(data, version, 0)
    assert head
    try:
        out, entry = [], head
        while entry:
            out.append(_pixels(entry.contents.code))
            entry = entry.contents.next
        return out
    finally:
        lib.QRcode_List_free(head)
