"""decode() and read() on every kind of input, and the results' fields."""
from __future__ import annotations

import ctypes
import os
import pickle
import shutil
import subprocess
from pathlib import Path

import numpy as np
import pytest
from PIL import Image

import vantor
from vantor import _vantor
from images import eci_picture, picture, structured_pictures, symbol_modules, write_bmp


def facts(results):
    """What must agree between two decodes of the same pixels."""
    return [(s.bytes, s.version, s.level, s.mask, s.corners, s.corrected) for s in results], results.reason


@pytest.fixture(scope="module")
def grey():
    return picture(b"strides and views", module=3, level="M")


class TestFields:
    def test_generated_symbol_facts(self):
        # 4 pixels a module and a 4-module quiet zone: the symbol's outer
        # corners are 16 pixels in from each side of the picture.
        for data, level, version, mask in [(b"fields", "L", 1, 3), (b"version 2 H", "H", 2, 6),
                                           (b"x" * 80, "Q", 7, 0)]:
            modules = symbol_modules(data, level=level, version=version, mask=mask)
            px = picture(data, level=level, version=version, mask=mask)
            side = (modules.shape[0] - 8) * 4
            (s,) = vantor.decode(px)
            assert (s.bytes, s.text, s.version, s.level, s.mask) == (data, data.decode(), version, level, mask)
            expected = [(16, 16), (16 + side, 16), (16 + side, 16 + side), (16, 16 + side)]
            for (x, y), (ex, ey) in zip(s.corners, expected):
                assert abs(x - ex) <= 2 and abs(y - ey) <= 2, (s.corners, expected)
            assert s.corrected == 0 and not s.mirrored and not s.inverted
            assert s.eci is None and s.structured_append is None and s.fnc1 == 0 and not s.gs1

    def test_zero_bytes_and_kanji_bytes_are_exact(self):
        data = b"\x00a\x00b\x00"
        (s,) = vantor.decode(picture(data))
        assert s.bytes == data and s.text == "\x00a\x00b\x00"
        sjis = "日本語".encode("shift_jis")
        (k,) = vantor.decode(picture(sjis))
        assert k.bytes == sjis and k.text == "日本語"

    def test_eci_structured_append_mirrored_inverted(self):
        (s,) = vantor.decode(eci_picture("é".encode(), 26))
        assert (s.eci, s.bytes, s.structured_append) == (26, "é".encode(), None)
        data = b"structured append across several symbols, version one each"
        parts = [vantor.decode(p) for p in structured_pictures(data)]
        parity = 0
        for byte in data:
            parity ^= byte
        assert [r[0].structured_append for r in parts] == \
            [vantor.StructuredAppend(i, len(parts), parity) for i in range(len(parts))]
        assert b"".join(r[0].bytes for r in parts) == data
        together = np.hstack(structured_pictures(data)[::-1])
        assert vantor.decode(together, all=True).joined == data
        assert vantor.decode(together).joined is None  # one symbol: nothing to join
        px = picture(b"mirror and negative")
        (mirrored,) = vantor.decode(px.T)
        (inverted,) = vantor.decode(255 - px)
        assert (mirrored.mirrored, mirrored.inverted, inverted.mirrored, inverted.inverted) == (True, False, False, True)
        assert mirrored.bytes == inverted.bytes == b"mirror and negative"

    def test_no_symbol_gives_an_empty_list_with_the_reason(self):
        r = vantor.decode(np.full((60, 80), 255, np.uint8))
        assert r == [] and isinstance(r, vantor.Results)
        assert r.reason == vantor.Reason.NO_EYE_PATTERNS and r.reason_text == r.reason.text != ""
        assert r.stage == vantor.Stage.NONE

    def test_damaged_symbol_reason_and_readings(self):
        px = picture(b"damaged data area", module=4, level="L")
        px[60:84, 44:84] = 255 - px[60:84, 44:84]  # invert a block of data modules
        r = vantor.decode(px, thorough=False)
        assert r == []
        assert r.reason not in (vantor.Reason.OK, vantor.Reason.NO_EYE_PATTERNS)
        assert r.stage >= vantor.Stage.ARRANGED
        assert r.readings and all(isinstance(x, vantor.Reading) for x in r.readings)
        assert max(x.stage for x in r.readings) == r.stage

    def test_results_pickle(self):
        r = vantor.decode(picture(b"pickled"), trace=True)
        back = pickle.loads(pickle.dumps(r))
        assert back == r and facts(back) == facts(r)
        assert back.readings == r.readings and back.trace == r.trace and back.stage == r.stage

    def test_enums_match_the_c_header(self):
        assert {m.name: m.value for m in vantor.Reason} == _vantor.REASONS
        assert {m.name: m.value for m in vantor.Stage} == _vantor.STAGES
        assert {m.name: m.value for m in vantor.ReadStatus} == _vantor.READ_STATUSES

    def test_display_text(self):
        assert vantor.display_text("日本".encode("shift_jis")) == "日本"
        assert vantor.display_text("ü".encode("utf-8")) == "ü"
        assert vantor.display_text(b"\xfc\x00") == "ü\x00"


class TestOptions:
    def test_all_returns_every_symbol(self):
        a, b = picture(b"left symbol"), picture(b"right symbol")
        both = np.hstack([a, np.full((a.shape[0], 40), 255, np.uint8), b[: a.shape[0], :]])
        assert [s.bytes for s in vantor.decode(both)] in ([b"left symbol"], [b"right symbol"])
        assert sorted(s.bytes for s in vantor.decode(both, all=True)) == [b"left symbol", b"right symbol"]

    def test_thorough_search_can_be_left_out(self):
        mirrored = picture(b"only the thorough search reads a mirror image").T
        assert vantor.decode(mirrored)
        r = vantor.decode(mirrored, thorough=False)
        assert r == [] and r.reason != vantor.Reason.OK

    def test_effort(self):
        shading = np.add.outer(np.arange(240), np.arange(320)).astype(np.uint8) // 4 + 60
        full = vantor.decode(shading, effort="exhaustive")
        assert full == [] and full.readings[-1].pass_ == 6
        quick = vantor.decode(shading)
        assert quick == [] and quick.reason == vantor.Reason.NO_EYE_PATTERNS
        assert quick.readings and all(r.pass_ == 0 for r in quick.readings)
        mirrored = picture(b"only the thorough search reads a mirror image").T
        assert [s.bytes for s in vantor.decode(mirrored)] == [s.bytes for s in vantor.decode(mirrored, effort="exhaustive")]
        # The fast effort makes the default's first search, which reads it.
        assert [s.bytes for s in vantor.decode(mirrored, effort="fast")] == [s.bytes for s in vantor.decode(mirrored)]
        with pytest.raises(ValueError, match="effort"):
            vantor.decode(shading, effort="slow")
        with pytest.raises(TypeError):
            vantor.decode(shading, effort=2)

    def test_trace_and_debug_images(self, tmp_path):
        r = vantor.decode(picture(b"traced"), trace=True, debug_dir=tmp_path)
        assert r and r.trace and r.trace.endswith("\n")
        assert vantor.decode(picture(b"traced")).trace is None
        assert any(p.suffix == ".bmp" for p in tmp_path.iterdir())

    def test_bad_depth(self, grey):
        with pytest.raises(ValueError):
            vantor.decode(grey, depth=4)


class TestBuffers:
    def test_views_decode_as_their_packed_copies(self, grey):
        h, w = grey.shape
        canvas = np.full((h + 40, w + 60), 255, np.uint8)
        canvas[20:20 + h, 30:30 + w] = grey
        inset = canvas[20:20 + h, 30:30 + w]
        assert not inset.flags.c_contiguous  # read in place, rows w + 60 apart
        doubled = np.repeat(grey, 2, axis=1)
        views = {
            "inset": inset,
            "every other column": doubled[:, ::2],
            "flipped rows": grey[::-1],
            "flipped columns": grey[:, ::-1],
            "transposed": grey.T,
            "fortran order": np.asfortranarray(grey),
            "one channel": grey[:, :, None],
            "broadcast rows": np.broadcast_to(grey[h // 2], (h, w)),
        }
        for name, view in views.items():
            assert facts(vantor.decode(view)) == facts(vantor.decode(np.ascontiguousarray(view))), name
        assert facts(vantor.decode(inset)) == facts(vantor.decode(grey))
        assert facts(vantor.decode(doubled[:, ::2])) == facts(vantor.decode(grey))

    def test_corners_are_those_of_the_view(self, grey):
        h, w = grey.shape
        canvas = np.full((h + 50, w + 50), 255, np.uint8)
        canvas[50:, 50:] = grey
        (whole,) = vantor.decode(canvas)
        (part,) = vantor.decode(canvas[50:, 50:])
        for (x, y), (px, py) in zip(whole.corners, part.corners):
            assert abs(x - 50 - px) < 0.01 and abs(y - 50 - py) < 0.01

    def test_read_only_and_foreign_buffers(self, grey):
        h, w = grey.shape
        expected = facts(vantor.decode(grey))
        frozen = grey.copy()
        frozen.setflags(write=False)
        assert facts(vantor.decode(frozen)) == expected
        view = memoryview(bytearray(grey.tobytes())).cast("B", shape=[h, w])
        assert facts(vantor.decode(view)) == expected
        c_array = ((ctypes.c_ubyte * w) * h).from_buffer_copy(grey.tobytes())  # format "<B"
        assert facts(vantor.decode(c_array)) == expected

    def test_bool_pixels_are_two_level(self, grey):
        two_level = grey > 127
        assert facts(vantor.decode(two_level)) == facts(vantor.decode(grey, depth=1))


class TestColour:
    def test_rgb_is_the_mean_of_its_channels(self):
        modules = np.repeat(np.repeat(symbol_modules(b"colour"), 4, 0), 4, 1)
        dark, light = np.array([30, 90, 150], np.uint8), np.array([250, 200, 230], np.uint8)
        rgb = np.where(modules[:, :, None], dark, light)
        grey = (rgb.astype(np.uint16).sum(axis=2) // 3).astype(np.uint8)
        (s,) = vantor.decode(rgb)
        assert s.bytes == b"colour"
        assert facts(vantor.decode(rgb)) == facts(vantor.decode(grey))
        rgba = np.dstack([rgb, np.full(modules.shape, 255, np.uint8)])
        assert facts(vantor.decode(rgba)) == facts(vantor.decode(grey))
        assert facts(vantor.decode(rgb[:, :, ::-1])) == facts(vantor.decode(grey))  # BGR, channels backwards
        assert facts(vantor.decode(rgba[::2, ::2])) == facts(vantor.decode(grey[::2, ::2]))

    def test_transparency_is_composited_over_white(self):
        modules = np.repeat(np.repeat(symbol_modules(b"transparent ground"), 4, 0), 4, 1)
        # Black everywhere; only the alpha draws the symbol.
        rgba = np.zeros(modules.shape + (4,), np.uint8)
        rgba[:, :, 3] = np.where(modules, 255, 0)
        (s,) = vantor.decode(rgba)
        assert s.bytes == b"transparent ground"
        la = rgba[:, :, 2:]  # grey 0 and the alpha
        assert facts(vantor.decode(la)) == facts(vantor.decode(rgba))


class TestPillow:
    def test_modes(self, grey):
        expected = facts(vantor.decode(grey))
        image = Image.fromarray(grey, "L")
        assert facts(vantor.decode(image)) == expected
        for mode in ("RGB", "RGBA", "LA", "P", "I", "F"):
            assert facts(vantor.decode(image.convert(mode))) == expected, mode
        assert facts(vantor.decode(image.convert("1"))) == facts(vantor.decode(grey, depth=1))

    def test_sixteen_bit_grey_is_scaled_as_the_file_readers_scale_it(self, tmp_path, grey):
        # A 16-bit scan opened by Pillow (mode I or I;16) reads as its path
        # does; levels beyond 16 bits or floats beyond 0-255 have no known
        # range and are refused with what to pass instead.
        wide = grey.astype(np.uint16) * 257
        path = tmp_path / "scan16.png"
        Image.fromarray(wide).save(path)
        expected = facts(vantor.decode(path))
        assert expected[0] and expected == facts(vantor.decode(grey))
        with Image.open(path) as image:
            assert facts(vantor.decode(image)) == expected, image.mode
            assert facts(vantor.decode(image.convert("I"))) == expected
        assert facts(vantor.decode(Image.fromarray(wide))) == expected  # I;16
        assert facts(vantor.decode(wide)) == expected  # a uint16 array
        assert facts(vantor.decode(Image.fromarray(wide.byteswap().view(">u2")))) == expected
        for image in (Image.fromarray(wide.astype(np.int32) * 70000), Image.fromarray(wide.astype(np.float32))):
            with pytest.raises(TypeError, match="no known grey range; pass 8-bit grey"):
                vantor.decode(image)

    def test_opened_file_decodes_as_the_path(self, tmp_path, grey):
        path = write_bmp(tmp_path / "pillow.bmp", grey)
        with Image.open(path) as image:
            assert image.mode == "RGB"
            assert facts(vantor.decode(image)) == facts(vantor.decode(path))


class TestFiles:
    def test_path_types_and_read(self, tmp_path, grey):
        path = write_bmp(tmp_path / "file.bmp", grey)
        expected = facts(vantor.decode(grey))
        for p in (str(path), path, os.fsencode(path)):
            assert facts(vantor.decode(p)) == expected
        pixels = vantor.read(path)
        assert pixels.dtype == np.uint8 and pixels.shape == grey.shape
        assert np.array_equal(pixels, grey)
        r = vantor.decode(path)
        assert r.page_count == 1 and r.warnings == ()
        assert facts(vantor.decode_data(path.read_bytes())) == expected

    def test_pages_and_readings_count_from_1_and_all_reads_every_page(self, tmp_path):
        texts = [b"page one", b"page two", b"page three"]
        frames = [Image.fromarray(picture(t)) for t in texts]
        path = tmp_path / "pages.tif"
        frames[0].save(path, save_all=True, append_images=frames[1:])
        assert [s.bytes for s in vantor.decode(path)] == [texts[0]]
        for number, text in enumerate(texts, 1):
            (s,) = vantor.decode(path, page=number)
            assert (s.bytes, s.page) == (text, number)
            assert np.array_equal(vantor.read(path, page=number), picture(text))
        with pytest.raises(vantor.ReadError, match=r"no page 4 \(it holds 3, counted from 1\)"):
            vantor.decode(path, page=4)
        for bad in (0, -1):
            with pytest.raises(ValueError, match="pages count from 1"):
                vantor.decode(path, page=bad)
        every = vantor.decode(path, all=True)
        assert [(s.bytes, s.page) for s in every] == [(t, n) for n, t in enumerate(texts, 1)]
        assert every.page_count == 3 and [r["page"] for r in every.json_rows] == [1, 2, 3]
        assert [line for line in every.explain if line.startswith("page")] == ["page 1:", "page 2:", "page 3:"]
        assert [s.bytes for s in vantor.decode(path, all=True, page=2)] == [texts[1]]
        # The reading named as --explain names it: "reading 1" is reading 1.
        (s,) = vantor.decode(picture(b"first reading"), effort="exhaustive", thorough=False)
        assert s.pass_ >= 0 and s.reading >= 1
        assert f"result: decoded (pass {s.pass_}, reading {s.reading})" in vantor.decode(
            picture(b"first reading"), effort="exhaustive", thorough=False).explain
        readings = vantor.decode(picture(b"first reading"), effort="exhaustive", thorough=False).readings
        assert 1 in {r.reading for r in readings} and {r.reading for r in readings} <= {1, 2}
        blank = vantor.decode(np.full((60, 80), 255, np.uint8), effort="exhaustive").readings
        assert {r.reading for r in blank} == {-1}  # no eye patterns: no reading

    def test_contents_of_a_file_decode_as_bytes_bytearray_and_memoryview(self, tmp_path, grey):
        path = write_bmp(tmp_path / "file.bmp", grey)
        expected = facts(vantor.decode(path))
        data = path.read_bytes()
        for contents in (data, bytearray(data), memoryview(data)):
            assert facts(vantor.decode(contents)) == expected, type(contents)
        # A path given as bytes is still a path; the contents of a file that
        # is no image are refused as such, naming the formats that are read.
        with pytest.raises(FileNotFoundError):
            vantor.decode(os.fsencode(tmp_path / "missing.bmp"))
        with pytest.raises(vantor.ReadError) as info:
            vantor.decode(b"plain text\n")
        assert info.value.status == vantor.ReadStatus.UNKNOWN_FORMAT
        assert "not an image format Vantor reads (BMP, JPEG, GIF, PNG, TIFF, WebP" in str(info.value)

    def test_examples(self, examples):
        for name in ("hello.bmp", "hello.gif", "hello.jpg", "hello-1bit.bmp"):
            (s,) = vantor.decode(examples / name)
            assert s.text == "Hello, Vantor!", name
        (k,) = vantor.decode(examples / "kanji.bmp")
        assert k.text == "日本語のテキスト"
        two_level = vantor.read(examples / "hello-1bit.bmp")
        assert set(np.unique(two_level)) <= {0, 255}
        assert facts(vantor.decode(two_level, depth=1)) == facts(vantor.decode(examples / "hello-1bit.bmp"))


class TestBadInput:
    @pytest.mark.parametrize("pixels, error", [
        (np.zeros((40, 40)), TypeError),
        (np.zeros((40, 40), np.int16), TypeError),
        (np.zeros((40, 40), np.int8), TypeError),
        (np.zeros(40, np.uint8), ValueError),
        (np.zeros((4, 40, 40, 3), np.uint8), ValueError),
        (np.zeros((40, 40, 5), np.uint8), ValueError),
        (np.zeros((40, 40, 0), np.uint8), ValueError),
        (np.zeros((0, 40), np.uint8), ValueError),
        (np.zeros((40, 0), np.uint8), ValueError),
        (b"not a path?\0", ValueError),
        (bytearray(100), ValueError),
        (42, TypeError),
        (None, TypeError),
        ([[0, 255], [255, 0]], TypeError),
    ])
    def test_pixels(self, pixels, error):
        with pytest.raises(error) as info:
            vantor.decode(pixels)
        assert "vantor" in str(info.value) or isinstance(info.value, ValueError)

    def test_wider_than_the_decoder_fits(self):
        try:
            r = vantor.decode(np.full((20, 40000), 255, np.uint8))
        except ValueError as e:
            assert "vantor" in str(e)
        else:
            assert r == [] and r.reason != vantor.Reason.OK

    def test_files(self, tmp_path):
        missing = tmp_path / "missing.bmp"
        with pytest.raises(FileNotFoundError) as info:
            vantor.decode(missing)
        assert info.value.filename == str(missing) and info.value.status == vantor.ReadStatus.NO_SUCH_FILE
        assert str(missing) in info.value.reader_message
        with pytest.raises(FileNotFoundError):
            vantor.read(missing)
        with pytest.raises(IsADirectoryError):
            vantor.decode(tmp_path)
        text = tmp_path / "text.bmp"
        text.write_text("plain text, not an image\n")
        empty = tmp_path / "empty.bmp"
        empty.write_bytes(b"")
        cut = tmp_path / "cut.bmp"
        write_bmp(cut, picture(b"cut short"))
        cut.write_bytes(cut.read_bytes()[:200])
        for path, status in [(text, vantor.ReadStatus.UNKNOWN_FORMAT), (empty, vantor.ReadStatus.EMPTY_FILE),
                             (cut, vantor.ReadStatus.DAMAGED)]:
            with pytest.raises(vantor.ReadError) as info:
                vantor.decode(path)
            e = info.value
            assert isinstance(e, OSError) and isinstance(e, ValueError)
            assert e.status == status and e.filename == str(path) and e.strerror, path
            assert str(e) == (e.reader_message or f"{path}: {status.text}")
            with pytest.raises(vantor.ReadError):
                vantor.read(path)
        with pytest.raises(TypeError):
            vantor.read(np.zeros((4, 4), np.uint8))

    @pytest.mark.skipif(os.geteuid() == 0, reason="root reads any file")
    def test_permission_denied(self, tmp_path):
        path = write_bmp(tmp_path / "locked.bmp", picture(b"locked"))
        path.chmod(0)
        with pytest.raises(PermissionError):
            vantor.decode(path)


class TestFormats:
    def test_kind_and_version_name_and_the_formats_option(self):
        px = picture(b"model two", level="M", version=3)
        (s,) = vantor.decode(px)
        assert (s.format, s.version_name, s.version) == ("QRCode", "3", 3)
        assert len(vantor.decode(px, formats="qr")) == 1
        assert len(vantor.decode(px, formats=["microqr", "rmqr"])) == 0
        assert len(vantor.decode(px, formats="QR, microqr")) == 1
        for bad in ("datamatrix", "", ["qr", 3], []):
            with pytest.raises(ValueError):
                vantor.decode(px, formats=bad)

    @pytest.mark.skipif(shutil.which("zint") is None, reason="zint writes the other kinds' symbols")
    @pytest.mark.parametrize("symbology, options, fmt, name, option", [
        ("MICROQR", ["--vers=3"], "MicroQRCode", "M3", "microqr"),
        ("RMQR", ["--vers=12"], "rMQRCode", "R11x43", "rmqr"),
    ])
    def test_other_kinds_from_a_file_and_from_pixels(self, tmp_path, symbology, options, fmt, name, option):
        path = tmp_path / f"{option}.png"
        subprocess.run(["zint", "-b", symbology, *options, "--scale=4", "--quietzones", "-d", "OTHER KIND 7",
                        "-o", str(path)], check=True)
        (s,) = vantor.decode(path)
        assert (s.text, s.format, s.version_name) == ("OTHER KIND 7", fmt, name)
        pixels = np.asarray(Image.open(path).convert("L"))
        assert [r.text for r in vantor.decode(pixels, formats=option)] == ["OTHER KIND 7"]
        assert len(vantor.decode(pixels, formats="qr,model1")) == 0
