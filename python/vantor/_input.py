"""Turns what a caller hands to decode() into a path or grey pixels."""
from __future__ import annotations

import os
import sys
from typing import Any, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

PathType = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


# Longest path the system takes; longer bytes cannot name a file.
_PATH_MAX = 4096


def is_file_data(image: Any) -> bool:
    """Whether ``image`` holds an image file's contents rather than a path:
    a ``bytearray``, a one-dimensional ``memoryview`` (pixels have two or
    three), or ``bytes`` that no path holds (a zero byte, a line break, or
    more than 4096 bytes). Every format read here has one of these in its
    first bytes but for a plain PNM file of a single line."""
    if isinstance(image, bytearray):
        return True
    if isinstance(image, memoryview):
        return image.ndim == 1
    return isinstance(image, bytes) and (b"\0" in image or b"\n" in image or len(image) > _PATH_MAX)


def as_path(image: Any) -> Optional[bytes]:
    """The file system path ``image`` names, encoded; None when it is no path."""
    if not isinstance(image, (str, bytes, os.PathLike)) or is_file_data(image):
        return None
    path = os.fsencode(image)
    if b"\0" in path:
        raise ValueError("vantor: embedded null byte in path")
    return path


def scaled_16(pixels: npt.NDArray[Any]) -> npt.NDArray[np.uint8]:
    """16-bit grey levels (0 to 65535) scaled to 8 bits, rounded, as the PNG
    reader scales them."""
    wide = pixels.astype(np.uint32)
    return ((wide * 255 + 32767) // 65535).astype(np.uint8)


_WIDE_MODE_HELP = ("pass 8-bit grey (image.convert('L') after scaling to 0-255), a uint8 or uint16 "
                   "array, or the file's path")


def _pil_pixels(image: Any) -> Tuple[npt.NDArray[np.uint8], int]:
    """Grey, two-level or colour pixels of a Pillow image, and their depth.
    16-bit grey is scaled to 8 bits: modes ``I;16*``, and mode ``I`` with
    values above 255 (Pillow opens 16-bit PNG and TIFF files so). Modes
    ``I`` and ``F`` within 0 to 255 are 8-bit levels; beyond, a 32-bit or
    float range is unknown and refused."""
    mode = image.mode
    if mode.startswith("I;16"):
        return scaled_16(np.asarray(image)), 8
    if mode in ("I", "F"):
        pixels = np.asarray(image)
        low, high = (pixels.min(), pixels.max()) if pixels.size else (0, 0)
        if low >= 0 and high <= 255:
            return np.asarray(image.convert("L")), 8
        if mode == "I" and low >= 0 and high <= 65535:
            return scaled_16(pixels), 8
        raise TypeError(f"vantor: a Pillow image of mode {mode} with values from {low} to {high} has no "
                        f"known grey range; {_WIDE_MODE_HELP}")
    if mode == "1":
        return np.where(np.asarray(image), np.uint8(255), np.uint8(0)), 1
    if mode in ("L", "LA", "RGB", "RGBA"):
        return np.asarray(image), 8
    if mode in ("P", "PA"):
        has_alpha = mode == "PA" or "transparency" in image.info
        return np.asarray(image.convert("RGBA" if has_alpha else "RGB")), 8
    return np.asarray(image.convert("L")), 8


def _is_pil_image(image: Any) -> bool:
    module = sys.modules.get("PIL.Image")  # an image exists only once Pillow is loaded
    return module is not None and isinstance(image, module.Image)


def as_pixels(image: Any, depth: Optional[int]) -> Tuple[Any, int]:
    """A uint8 buffer of 2 or 3 dimensions for ``image``, and its depth.

    Numpy arrays and other buffers are passed on as they are (the compiled
    module checks their shape and reads them in place); uint16 arrays are
    scaled to 8 bits; boolean arrays become two-level pixels (True white);
    Pillow images are taken in their
    own mode where the module reads it, else through ``convert("L")``.
    """
    default_depth = 8
    if _is_pil_image(image):
        image, default_depth = _pil_pixels(image)
    elif not isinstance(image, np.ndarray) and (hasattr(image, "__array_interface__") or hasattr(image, "__array__")):
        try:
            memoryview(image)
        except TypeError:
            image = np.asarray(image)
    if isinstance(image, np.ndarray):
        if image.dtype == np.bool_:
            image, default_depth = np.where(image, np.uint8(255), np.uint8(0)), 1
        elif image.dtype == np.uint16:
            image = scaled_16(image)
        elif image.dtype != np.uint8:
            raise TypeError(f"vantor: pixels must be uint8, uint16 (scaled to 8 bits) or bool; the array "
                            f"holds {image.dtype}")
    else:
        try:
            memoryview(image)
        except TypeError:
            raise TypeError(
                "vantor: decode() takes a path, a numpy array or other buffer of uint8 pixels, "
                f"or a Pillow image, not {type(image).__name__}") from None
    return image, default_depth if depth is None else depth
