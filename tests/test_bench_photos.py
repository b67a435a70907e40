#!/usr/bin/env python3
"""The scoring of scripts/bench-photos.py: the labels it reads from the photo
set, which decoded symbol reads which label, and how it reads what the other
readers print. A wrong rule here would misstate every rate it prints."""
import importlib.util
import struct
import sys
import tempfile
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parent.parent / "scripts" / "bench-photos.py"
script_loader = importlib.util.spec_from_file_location("bench_photos", SCRIPT)
bp = importlib.util.module_from_spec(script_loader)
sys.modules["bench_photos"] = bp
script_loader.loader.exec_module(bp)

SQUARE = (10.0, 10.0, 50.0, 10.0, 50.0, 50.0, 10.0, 50.0)
CHINESE = "正宗铁观音茶叶 乐品乐茶 \nhttp://detail.tmall.com/item.htm?id=1".encode("utf-8")


def picture(labels, known=(), orientation=1, size=(100, 100)):
    return bp.Picture("cat", "cat/image001.jpg", list(labels), list(known), orientation, size)


def at(x, y, payload=b"A", half=5.0):
    """A decoded symbol centred on (x, y)."""
    return bp.Decoded(payload, (x - half, y - half, x + half, y - half, x + half, y + half, x - half, y + half))


class LabelsOfTheSet(unittest.TestCase):
    def test_corners_are_numbers_in_eights_whatever_the_lines(self):
        text = ("# list of hand selected 2D points\nSETS\n"
                "1 2 3 4 5 6 7 8\n"
                "9 10\n11 12\n13 14\n15 16\n"
                "# 99 99 99 99 99 99 99 99\n17 18 19\n")
        self.assertEqual(bp.parse_corners(text), [(1, 2, 3, 4, 5, 6, 7, 8), (9, 10, 11, 12, 13, 14, 15, 16)])

    def test_known_texts_in_numeric_order_and_the_single_file(self):
        with tempfile.TemporaryDirectory() as d:
            folder = Path(d)
            for k, text in ((0, b"zero"), (1, b"one"), (2, b"two"), (10, b"ten")):
                (folder / f"image001.expect{k}").write_bytes(text)
            (folder / "image001.expect").write_bytes(b"zero")
            (folder / "image003.expect").write_bytes(b"alone\n")
            self.assertEqual(bp.expected_payloads(folder / "image001"), [b"zero", b"one", b"two", b"ten"])
            self.assertEqual(bp.expected_payloads(folder / "image003"), [b"alone\n"])
            self.assertEqual(bp.expected_payloads(folder / "image005"), [])

    def test_jpeg_size_and_orientation_from_its_headers(self):
        for order in ("<", ">"):
            tiff = (b"II" if order == "<" else b"MM") + struct.pack(order + "HI", 42, 8)
            tiff += struct.pack(order + "H", 2)
            tiff += struct.pack(order + "HHI", 0x010F, 2, 4) + b"abc\0"   # another tag first
            tiff += struct.pack(order + "HHIH", 0x0112, 3, 1, 6) + b"\0\0"
            tiff += struct.pack(order + "I", 0)
            app1 = b"Exif\0\0" + tiff
            sof = struct.pack(">BHHB", 8, 3024, 4032, 1) + b"\x01\x11\x00"
            data = (b"\xff\xd8" + b"\xff\xe1" + struct.pack(">H", len(app1) + 2) + app1
                    + b"\xff\xc0" + struct.pack(">H", len(sof) + 2) + sof + b"\xff\xd9")
            with tempfile.NamedTemporaryFile(suffix=".jpg") as f:
                f.write(data)
                f.flush()
                self.assertEqual(bp.image_size_and_orientation(Path(f.name)), ((4032, 3024), 6), order)


class Geometry(unittest.TestCase):
    def test_inside_a_quadrilateral_of_either_winding_and_a_concave_one(self):
        reverse = SQUARE[6:8] + SQUARE[4:6] + SQUARE[2:4] + SQUARE[0:2]
        for quad in (SQUARE, reverse):
            self.assertTrue(bp.inside(quad, 30, 30))
            self.assertTrue(bp.inside(quad, 11, 49))
            self.assertFalse(bp.inside(quad, 51, 30))
            self.assertFalse(bp.inside(quad, 30, 9))
        dart = (0.0, 0.0, 40.0, 20.0, 0.0, 40.0, 10.0, 20.0)  # the notch points in from the left
        self.assertTrue(bp.inside(dart, 20, 20))
        self.assertFalse(bp.inside(dart, 5, 20))

    def test_shown_points_map_back_to_the_stored_pixel_they_show(self):
        width, height = 4, 3
        stored = [[(x, y) for x in range(width)] for y in range(height)]

        def rot_cw(g):
            return [list(row) for row in zip(*g[::-1])]

        def flip_h(g):
            return [row[::-1] for row in g]

        def flip_v(g):
            return g[::-1]

        # What a viewer shows for each EXIF orientation.
        shown = {1: stored, 2: flip_h(stored), 3: flip_v(flip_h(stored)), 4: flip_v(stored),
                 5: rot_cw(flip_v(stored)), 6: rot_cw(stored), 7: rot_cw(flip_h(stored)),
                 8: rot_cw(rot_cw(rot_cw(stored)))}
        for orientation, grid in shown.items():
            for y, row in enumerate(grid):
                for x, (sx, sy) in enumerate(row):
                    got = bp.stored_from_displayed(x + 0.5, y + 0.5, orientation, width, height)
                    self.assertEqual(got, (sx + 0.5, sy + 0.5), (orientation, x, y))


class Matching(unittest.TestCase):
    def test_each_label_is_read_once_and_overlaps_are_shared_out(self):
        self.assertEqual(bp.match_labels([[0, 1], [0]]), {0: 1, 1: 0})
        self.assertEqual(bp.match_labels([[0], [0], []]), {0: 0})
        self.assertEqual(bp.match_labels([[2, 0], [2], [0, 1]]), {0: 0, 1: 2, 2: 1})

    def test_reads_repeats_false_detections_and_misreads(self):
        right = (60.0, 10.0, 90.0, 10.0, 90.0, 40.0, 60.0, 40.0)
        p = picture([SQUARE, right], known=[b"A"])
        decoded = [at(30, 30, b"A"), at(32, 28, b"A"), at(75, 80, b"A"), at(75, 25, b"junk")]
        s = bp.score_by_position(p, decoded, {b"A"})
        self.assertEqual(s.read, [0, 1])
        self.assertEqual(s.repeats, [b"A"])
        self.assertEqual(s.false, [b"A"])
        self.assertEqual(s.misreads, [b"junk"])  # read by position, and counted as a misread

    def test_a_symbol_placed_in_the_shown_frame_is_flagged(self):
        # Stored 200 x 100, shown turned (orientation 6): a stored label near
        # the top-left shows near the top-right.
        p = picture([(0.0, 0.0, 40.0, 0.0, 40.0, 40.0, 0.0, 40.0)], orientation=6, size=(200, 100))
        s = bp.score_by_position(p, [at(80, 20)], {b"A"})
        self.assertEqual((s.read, len(s.false), s.reoriented), ([], 1, 1))
        s = bp.score_by_position(p, [at(20, 20)], {b"A"})
        self.assertEqual((s.read, s.reoriented), ([0], 0))

    def test_payload_scoring_takes_known_texts_then_labels_of_unknown_text(self):
        p = picture([SQUARE] * 3, known=[b"A", b"B"])
        s = bp.score_by_payload(p, [bp.Decoded(b"A"), bp.Decoded(b"A"), bp.Decoded(b"C")], {b"A", b"B"})
        self.assertEqual((s.count, s.false, s.misreads), (2, [b"C"], [b"C"]))
        s = bp.score_by_payload(picture([SQUARE], known=[b"A"]), [bp.Decoded(b"B"), bp.Decoded(b"A")], {b"A", b"B"})
        self.assertEqual((s.count, s.false), (1, [b"B"]))


class ReaderOutput(unittest.TestCase):
    def test_vantor_symbols_without_failures_or_joined_messages(self):
        out = ('{"file":"a/x.jpg","decoded":true,"text":"hi","bytes_hex":"6869","corners":[1,2,3,4,5,6,7,8]}\n'
               '{"file":"a/x.jpg","decoded":true,"joined":true,"text":"hihi","bytes_hex":"68696869"}\n'
               '{"file":"a/y.jpg","decoded":false,"error":"no symbol","reason":"no eye patterns found"}\n')
        got = bp.parse_vantor(out.encode())
        self.assertEqual(list(got), ["a/x.jpg"])
        self.assertEqual([(d.payload, d.quad) for d in got["a/x.jpg"]], [(b"hi", (1, 2, 3, 4, 5, 6, 7, 8))])

    def test_zxing_bytes_and_position(self):
        out = b'{"FilePath":"a/x.jpg","Text":"hi","Bytes":"68 69","Position":"402x267 215x224 252x49 439x86"}\n'
        d = bp.parse_zxing(out)["a/x.jpg"][0]
        self.assertEqual((d.payload, d.quad), (b"hi", (402, 267, 215, 224, 252, 49, 439, 86)))

    def test_zbar_xml_plain_and_base64_data(self):
        # What zbarimg 0.23.92 writes for this symbol (its base64 of bytes
        # of 0x80 and over is lossy; see zbar_base64).
        chinese_b64 = bp.zbar_base64(CHINESE)
        self.assertTrue(chinese_b64.startswith("//+j//+X//+B//+C"))
        self.assertEqual(bp.zbar_base64(b"http://x.y/?id=1"), "aHR0cDovL3gueS8/aWQ9MQ==")
        out = ("<barcodes xmlns='http://zbar.sourceforge.net/2008/barcode'>\n"
               "<source href='a/x.jpg'>\n<index num='0'>\n"
               "<symbol type='QR-Code' quality='1'><data><![CDATA[Version 1 QR]]></data></symbol>\n"
               f"<symbol type='QR-Code' quality='1'><data format='base64' length='{len(CHINESE)}'><![CDATA[\n"
               f"{chinese_b64[:76]}\n{chinese_b64[76:]}\n]]></data></symbol>\n"
               "<symbol type='QR-Code' quality='1'><data format='base64' length='2'><![CDATA[\nAAE=\n]]></data>"
               "</symbol>\n</index>\n</source>\n<source href='a/y.jpg'>\n</source>\n</barcodes>\n")
        got = bp.parse_zbar(out.encode(), [b"Version 1 QR", CHINESE])
        self.assertEqual([d.payload for d in got["a/x.jpg"]], [b"Version 1 QR", CHINESE, b"\x00\x01"])
        self.assertEqual(got["a/y.jpg"], [])


if __name__ == "__main__":
    unittest.main()
