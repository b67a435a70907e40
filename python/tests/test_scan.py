"""vantor.scan over the pages of PDF documents and the frames of videos, and
PDF pages through decode() and read()."""
from __future__ import annotations

import io
import shutil
import subprocess
import threading
import time

import numpy as np
import pytest
from PIL import Image

import vantor
from images import picture

img2pdf = pytest.importorskip("img2pdf")


def pdf_of(pictures, dpi=300):
    pages = []
    for pixels in pictures:
        out = io.BytesIO()
        Image.fromarray(pixels, "L").save(out, format="PNG")
        pages.append(out.getvalue())
    return img2pdf.convert(pages, layout_fun=img2pdf.get_fixed_dpi_layout_fun((dpi, dpi)))


def blank(height=200, width=300):
    return np.full((height, width), 255, np.uint8)


def with_symbol(text, height=360, width=640, x=40, y=40):
    frame = np.full((height, width), 230, np.uint8)
    sym = picture(text, module=5)
    frame[y:y + sym.shape[0], x:x + sym.shape[1]] = sym
    return frame


def test_pdf_pages_scan_decode_and_read(tmp_path):
    path = tmp_path / "doc.pdf"
    path.write_bytes(pdf_of([picture(b"first page", module=8), blank(), picture(b"third page", module=8)]))
    hits = list(vantor.scan(path))
    assert [h.page for h in hits] == [1, 2, 3]
    assert [[s.text for s in h.symbols] for h in hits] == [["first page"], [], ["third page"]]
    assert all(h.frame is None and h.time is None for h in hits)

    assert vantor.decode(path, page=3)[0].text == "third page"
    assert vantor.decode(path).page_count == 3
    # img2pdf places the pixels at 300 dpi: the default renders them 1:1.
    assert vantor.read(path, page=2).shape == (200, 300)
    with pytest.raises(vantor.ReadError):
        vantor.decode(path, page=4)


def test_scan_of_a_damaged_pdf_raises(tmp_path):
    path = tmp_path / "cut.pdf"
    path.write_bytes(b"%PDF-1.4\n" + b"\x80" * 500)
    with pytest.raises(vantor.ReadError) as caught:
        list(vantor.scan(path))
    assert "damaged or truncated PDF document" in str(caught.value.reader_message)


@pytest.mark.skipif(shutil.which("ffmpeg") is None, reason="ffmpeg makes the test video")
def test_video_frames_and_the_lock(tmp_path):
    frames = [with_symbol(b"clip text") if 10 <= i < 40 else np.full((360, 640), 230, np.uint8)
              for i in range(60)]
    y4m = tmp_path / "clip.y4m"
    with open(y4m, "wb") as out:
        out.write(b"YUV4MPEG2 W640 H360 F25:1 Ip A1:1 C420jpeg\n")
        for f in frames:
            out.write(b"FRAME\n" + f.tobytes() + bytes([128]) * (320 * 180 * 2))
    clip = tmp_path / "clip.mp4"
    subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", str(y4m), "-c:v", "libx264",
                    "-pix_fmt", "yuv420p", str(clip)], check=True)
    hits = list(vantor.scan(clip))
    assert [(h.frame, round(h.time, 3), [s.text for s in h.symbols]) for h in hits] == [(10, 0.4, ["clip text"])]
    assert len(list(vantor.scan(clip, every_frame=True))) == 30

    # Another thread runs while the frames decode: the lock is let go. Each
    # scan returns to Python only twice, so a held lock would allow a few
    # ticks, not dozens.
    ticks = []
    stop = threading.Event()

    def tick():
        while not stop.is_set():
            ticks.append(time.monotonic())
            time.sleep(0.001)

    ticker = threading.Thread(target=tick)
    ticker.start()
    try:
        for _ in range(4):
            list(vantor.scan(clip))
    finally:
        stop.set()
        ticker.join()
    assert len(ticks) > 30


def test_dask_rows_for_every_pdf_page(tmp_path):
    vdask = pytest.importorskip("vantor.dask")
    path = tmp_path / "doc.pdf"
    path.write_bytes(pdf_of([picture(b"one", module=8), blank(), picture(b"three", module=8)]))
    rows = vdask.decode_bag(str(path)).compute(scheduler="synchronous")
    assert [(r["page"], r["decoded"], r["text"] if r["decoded"] else None) for r in rows] == [
        (1, True, "one"), (2, False, None), (3, True, "three")]
