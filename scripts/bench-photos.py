#!/usr/bin/env python3
"""Symbol-level read rate per category on the real phone photos of
../shared/photos/qr-v3-dev, Vantor beside zxing-cpp 3.1 and ZBar.

usage: bench-photos.py [--photos DIR] [--vantor PATH] [--effort E]
                       [--category NAME]... [--readers LIST] [--misses FILE]
                       [--zxing PATH] [--zbar PATH]

Each reader decodes each category's pictures in one whole run on one core
(`vantor -j 1 --all --json`, `ZXingReader -formats QRCode -json`,
`zbarimg --xml` with QR Code alone), and the CPU time (user + system) of
that run is taken from the kernel's resource usage of the process.

Scoring, as the photos' README has it: a decoded symbol reads a labelled
symbol when the centre of its four corners lies inside the label's
quadrilateral (imageNNN.corners), each label read at most once; every label
counts, whether or not its text is known. A decoded text that is none of the
payloads known anywhere in the set (the imageNNN.expect* files) is a
misread; a decoded symbol whose centre lies in no label is a false
detection. Both readers with positions report them in stored pixels, as the
labels are (the EXIF orientation of the pictures that carry one is not
applied); a warning names a reader whose symbols on such pictures fit the
labels only once the orientation is undone. zbarimg prints no positions: it
is scored by payload (see score_by_payload).

--misses FILE writes, per picture, which labels each reader read and which it
missed (labels numbered from 0 in the order of the .corners file), its false
detections, misreads and repeats, and at the end the labels zxing-cpp reads
that Vantor misses. A benchmark, not a test: the photos are test material.
"""
from __future__ import annotations

import argparse
import base64
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from dataclasses import dataclass, field
from pathlib import Path
from typing import Dict, List, Optional, Sequence, Tuple

ROOT = Path(__file__).resolve().parent.parent
DEFAULT_PHOTOS = ROOT.parent / "shared" / "photos" / "qr-v3-dev"
DEFAULT_ZXING = ROOT.parent / "shared" / "peers" / "zxing-cpp-3.1" / "bin" / "ZXingReader"
IMAGE_SUFFIXES = (".jpg", ".jpeg", ".png")

Quad = Tuple[float, float, float, float, float, float, float, float]


# --- The labelled set ------------------------------------------------------

def parse_corners(text: str) -> List[Quad]:
    """The labelled quadrilaterals of a .corners file: every number outside
    the comment lines, in groups of eight (x0 y0 ... x3 y3), whatever the
    line breaks; words such as the SETS header are not numbers."""
    numbers: List[float] = []
    for line in text.splitlines():
        if line.lstrip().startswith("#"):
            continue
        for token in line.split():
            try:
                numbers.append(float(token))
            except ValueError:
                pass
    return [tuple(numbers[i:i + 8]) for i in range(0, len(numbers) - len(numbers) % 8, 8)]


def expected_payloads(stem: Path) -> List[bytes]:
    """The known texts of one picture: .expect0, .expect1, ... when there
    are several (.expect is then a copy of .expect0), else .expect."""
    numbered = sorted(stem.parent.glob(stem.name + ".expect[0-9]*"),
                      key=lambda p: int(p.name.rsplit("expect", 1)[1]))
    if numbered:
        return [p.read_bytes() for p in numbered]
    single = stem.with_name(stem.name + ".expect")
    return [single.read_bytes()] if single.exists() else []


@dataclass
class Picture:
    category: str
    file: str                      # relative to the photo folder, as passed to the readers
    labels: List[Quad]
    known: List[bytes]             # this picture's known texts (partial)
    orientation: int = 1           # EXIF orientation, 1 when none
    size: Tuple[int, int] = (0, 0)  # stored width and height


def image_size_and_orientation(path: Path) -> Tuple[Tuple[int, int], int]:
    """Stored width and height, and the EXIF orientation (1 when none or
    out of range), of a JPEG or PNG file, read from its headers alone."""
    data = path.read_bytes()
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        return struct.unpack(">II", data[16:24]), 1
    size, orientation = (0, 0), 1
    i = 2
    while i + 4 <= len(data) and data[i] == 0xFF:
        marker = data[i + 1]
        if marker in (0xD9, 0xDA):
            break
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        if marker == 0xE1 and data[i + 4:i + 10] == b"Exif\0\0":
            orientation = _exif_orientation(data[i + 10:i + 2 + length])
        elif 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            height, width = struct.unpack(">HH", data[i + 5:i + 9])
            size = (width, height)
        i += 2 + length
    return size, orientation


def _exif_orientation(tiff: bytes) -> int:
    if len(tiff) < 8 or tiff[:2] not in (b"II", b"MM"):
        return 1
    order = "<" if tiff[:2] == b"II" else ">"
    ifd = struct.unpack(order + "I", tiff[4:8])[0]
    if ifd + 2 > len(tiff):
        return 1
    count = struct.unpack(order + "H", tiff[ifd:ifd + 2])[0]
    for k in range(count):
        entry = tiff[ifd + 2 + 12 * k:ifd + 14 + 12 * k]
        if len(entry) == 12 and struct.unpack(order + "H", entry[:2])[0] == 0x0112:
            value = struct.unpack(order + "H", entry[8:10])[0]
            return value if 1 <= value <= 8 else 1
    return 1


def stored_from_displayed(x: float, y: float, orientation: int, width: int, height: int) -> Tuple[float, float]:
    """A point of the picture as shown after its EXIF orientation is applied,
    in stored pixels (width and height are the stored ones)."""
    w, h = width, height
    return {
        1: (x, y), 2: (w - x, y), 3: (w - x, h - y), 4: (x, h - y),
        5: (y, x), 6: (y, h - x), 7: (w - y, h - x), 8: (w - y, x),
    }[orientation]


def load_set(photos: Path, categories: Sequence[str]) -> Dict[str, List[Picture]]:
    """The pictures of each category, those with a .corners file only."""
    found: Dict[str, List[Picture]] = {}
    for category in categories:
        pictures = []
        for image in sorted(p for p in (photos / category).iterdir() if p.suffix.lower() in IMAGE_SUFFIXES):
            stem = image.with_suffix("")
            corners = stem.with_name(stem.name + ".corners")
            if not corners.exists():
                continue
            size, orientation = image_size_and_orientation(image)
            pictures.append(Picture(category, f"{category}/{image.name}", parse_corners(corners.read_text()),
                                    expected_payloads(stem), orientation, size))
        found[category] = pictures
    return found


# --- Geometry and matching ----------------------------------------------------

def centre(quad: Sequence[float]) -> Tuple[float, float]:
    return (sum(quad[0::2]) / 4.0, sum(quad[1::2]) / 4.0)


def inside(quad: Sequence[float], x: float, y: float) -> bool:
    """Whether (x, y) lies inside the quadrilateral, by the crossing rule:
    either winding, concave shapes too."""
    result = False
    for i in range(4):
        x1, y1 = quad[2 * i], quad[2 * i + 1]
        x2, y2 = quad[(2 * i + 2) % 8], quad[(2 * i + 3) % 8]
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            result = not result
    return result


def match_labels(candidates: Sequence[Sequence[int]]) -> Dict[int, int]:
    """The largest one-to-one assignment of decoded symbols to labels, where
    candidates[i] lists the labels symbol i may read (those holding its
    centre). Returns symbol -> label. Augmenting paths, so a symbol in two
    overlapping labels yields the one another symbol needs."""
    owner: Dict[int, int] = {}  # label -> symbol

    def place(symbol: int, seen: set) -> bool:
        for label in candidates[symbol]:
            if label in seen:
                continue
            seen.add(label)
            if label not in owner or place(owner[label], seen):
                owner[label] = symbol
                return True
        return False

    for symbol in range(len(candidates)):
        place(symbol, set())
    return {symbol: label for label, symbol in owner.items()}


# --- What the readers print -------------------------------------------------

@dataclass
class Decoded:
    payload: bytes
    quad: Optional[Quad] = None    # stored pixels; None for a reader without positions


def parse_vantor(out: bytes) -> Dict[str, List[Decoded]]:
    found: Dict[str, List[Decoded]] = {}
    for line in out.decode("utf-8", "replace").splitlines():
        if not line.strip():
            continue
        record = json.loads(line)
        # A joined structured-append message is no symbol of its own.
        if not record.get("decoded") or record.get("joined") or "corners" not in record:
            continue
        found.setdefault(record["file"], []).append(
            Decoded(bytes.fromhex(record["bytes_hex"]), tuple(float(v) for v in record["corners"])))
    return found


def parse_zxing(out: bytes) -> Dict[str, List[Decoded]]:
    found: Dict[str, List[Decoded]] = {}
    for line in out.decode("utf-8", "replace").splitlines():
        if not line.startswith("{"):
            continue
        record = json.loads(line)
        points = [tuple(float(v) for v in p.split("x")) for p in record["Position"].split()]
        quad = tuple(v for p in points for v in p)
        found.setdefault(record["FilePath"], []).append(
            Decoded(bytes.fromhex(record["Bytes"].replace(" ", "")), quad))
    return found


_BASE64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"


def zbar_base64(payload: bytes) -> str:
    """The base64 zbarimg --xml writes for these bytes. It widens each byte
    as a signed char, so a byte of 0x80 or more overwrites the bits of the
    bytes before it in its group of three (0.23.92); its text is compared
    with the known payloads in that form."""
    out = []
    for i in range(0, len(payload), 3):
        group = payload[i:i + 3]
        value = 0
        for j, byte in enumerate(group):
            value |= (byte - 256 if byte >= 128 else byte) << (16 - 8 * j)
        value &= 0xFFFFFF
        chars = "".join(_BASE64[(value >> shift) & 63] for shift in (18, 12, 6, 0))
        out.append(chars[:len(group) + 1] + "=" * (3 - len(group)))
    return "".join(out)


def parse_zbar(out: bytes, known: Sequence[bytes]) -> Dict[str, List[Decoded]]:
    """zbarimg --xml: per <source href>, the <data> of each symbol, plain
    text or base64 (format='base64'). Base64 data is taken as the known
    payload it stands for when there is one (see zbar_base64)."""
    by_base64 = {zbar_base64(k): k for k in known}
    found: Dict[str, List[Decoded]] = {}
    ns = "{http://zbar.sourceforge.net/2008/barcode}"
    root = ET.fromstring(out.decode("utf-8", "replace"))
    for source in root.iter(ns + "source"):
        symbols = found.setdefault(source.get("href", ""), [])
        for data in source.iter(ns + "data"):
            text = data.text or ""
            if data.get("format") == "base64":
                packed = re.sub(r"\s+", "", text)
                payload = by_base64.get(packed)
                if payload is None:
                    payload = base64.b64decode(packed)
            else:
                payload = text.encode("utf-8")
            symbols.append(Decoded(payload))
    return found


# --- Scoring --------------------------------------------------------------------

@dataclass
class PictureScore:
    read: List[int] = field(default_factory=list)      # label numbers read (payload scoring: counted only)
    count: int = 0                                        # labels read
    false: List[bytes] = field(default_factory=list)    # texts of the decoded symbols in no label
    repeats: List[bytes] = field(default_factory=list)  # symbols in a label already read
    misreads: List[bytes] = field(default_factory=list)
    reoriented: int = 0                                   # false detections that fit a label in the shown frame


def score_by_position(picture: Picture, decoded: Sequence[Decoded], known_all: set) -> PictureScore:
    centres = [centre(d.quad) for d in decoded]
    candidates = [[k for k, label in enumerate(picture.labels) if inside(label, x, y)] for x, y in centres]
    assigned = match_labels(candidates)
    score = PictureScore()
    score.read = sorted(assigned.values())
    score.count = len(score.read)
    for i, d in enumerate(decoded):
        if d.payload not in known_all:
            score.misreads.append(d.payload)
        if not candidates[i]:
            score.false.append(d.payload)
            if picture.orientation != 1:
                x, y = stored_from_displayed(*centres[i], picture.orientation, *picture.size)
                if any(inside(label, x, y) for label in picture.labels):
                    score.reoriented += 1
        elif i not in assigned:
            score.repeats.append(d.payload)
    return score


def score_by_payload(picture: Picture, decoded: Sequence[Decoded], known_all: set) -> PictureScore:
    """For a reader without positions: a decoded text first reads a label of
    the picture that has that known text; the symbols left over then read
    the labels whose text is not known (there are as many of those as
    labels beyond the known texts), whatever their text; any symbols left
    after that are counted as false detections."""
    score = PictureScore()
    remaining = list(picture.known)
    left = []
    for d in decoded:
        if d.payload not in known_all:
            score.misreads.append(d.payload)
        if d.payload in remaining:
            remaining.remove(d.payload)
            score.count += 1
        else:
            left.append(d)
    unknown_labels = max(0, len(picture.labels) - len(picture.known))
    for d in left:
        if unknown_labels:
            unknown_labels -= 1
            score.count += 1
        else:
            score.false.append(d.payload)
    score.count = min(score.count, len(picture.labels))
    return score


# --- Running the readers ---------------------------------------------------------

@dataclass
class Reader:
    key: str
    title: str
    command: List[str]
    parse: object                  # bytes -> {file: [Decoded]}
    positions: bool = True


def timed_run(command: Sequence[str], cwd: Path) -> Tuple[bytes, float, int, bytes]:
    """Standard output, CPU seconds (user + system, from the kernel's
    accounting of the child), exit status and standard error of one run."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(list(command), cwd=cwd, stdout=out, stderr=err, stdin=subprocess.DEVNULL)
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        err.seek(0)
        return out.read(), usage.ru_utime + usage.ru_stime, process.returncode, err.read()


def program_version(command: Sequence[str]) -> str:
    try:
        done = subprocess.run(list(command), capture_output=True, timeout=30)
    except OSError:
        return "?"
    text = (done.stdout or done.stderr).decode("utf-8", "replace").strip().splitlines()
    return text[0] if text else "?"


def load_average() -> str:
    try:
        return " ".join(Path("/proc/loadavg").read_text().split()[:3])
    except OSError:
        return "unknown"


def short(payload: bytes, limit: int = 40) -> str:
    text = repr(payload)[2:-1]
    return text if len(text) <= limit else text[:limit - 3] + "..."


# --- The table and the misses file ------------------------------------------

@dataclass
class Tally:
    labels: int = 0
    read: int = 0
    cpu: float = 0.0
    misreads: int = 0
    false: int = 0

    def add(self, other: "Tally") -> None:
        self.labels += other.labels
        self.read += other.read
        self.cpu += other.cpu
        self.misreads += other.misreads
        self.false += other.false


Row = Tuple[str, int, Dict[str, Tally]]


def table(rows: List[Row], total: Optional[Row], readers: List[Reader]) -> List[str]:
    head1 = f"{'':14} {'':>5} {'':>6}"
    head2 = f"{'category':14} {'pics':>5} {'labels':>6}"
    for r in readers:
        head1 += f" | {r.title:<34.34}"
        head2 += f" | {'read':>5} {'%':>6} {'CPU s':>8} {'misrd':>5} {'false':>5}"
    ratio = "vantor" in [r.key for r in readers] and "zxing" in [r.key for r in readers]
    if ratio:
        head1 += " | time"
        head2 += " | V/Z"
    rule = "-" * len(head2)
    lines = [head1, head2, rule]
    for row in rows + ([total] if total else []):
        name, pictures, tallies = row
        if row is total:
            lines.append(rule)
        line = f"{name:14} {pictures:>5} {next(iter(tallies.values())).labels:>6}"
        for r in readers:
            t = tallies[r.key]
            pct = 100.0 * t.read / t.labels if t.labels else 0.0
            line += f" | {t.read:>5} {pct:>5.1f}% {t.cpu:>8.2f} {t.misreads:>5} {t.false:>5}"
        if ratio:
            z = tallies["zxing"].cpu
            line += f" | {tallies['vantor'].cpu / z:5.2f}" if z > 0 else " |     -"
        lines.append(line)
    return lines


def main(argv: Optional[Sequence[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--photos", type=Path, default=DEFAULT_PHOTOS, help="the photo folder (default: %(default)s)")
    parser.add_argument("--vantor", type=Path, default=ROOT / "build" / "vantor", help="the vantor program to time")
    parser.add_argument("--effort", choices=("fast", "default", "exhaustive"),
                        help="passed to vantor as --effort (default: none passed)")
    parser.add_argument("--category", action="append", default=[], metavar="NAME",
                        help="only this category (repeatable; default: every one)")
    parser.add_argument("--readers", default="vantor,zxing,zbar",
                        help="comma-separated, of vantor, zxing, zbar (default: all three)")
    parser.add_argument("--zxing", type=Path, default=DEFAULT_ZXING, help="ZXingReader (default: %(default)s)")
    parser.add_argument("--zbar", default=shutil.which("zbarimg") or "/usr/bin/zbarimg", help="zbarimg")
    parser.add_argument("--misses", type=Path, metavar="FILE", help="write per picture what each reader read and missed")
    args = parser.parse_args(argv)

    photos = args.photos.resolve()
    if not photos.is_dir():
        print(f"bench-photos: no photo set at {args.photos}: skipped (the photos are not part of the project)")
        return 0
    categories = sorted(p.name for p in photos.iterdir() if p.is_dir())
    for name in args.category:
        if name not in categories:
            parser.error(f"no category {name!r} in {photos} (there are: {', '.join(categories)})")
    chosen = [c for c in categories if not args.category or c in args.category]

    # Every known payload of the whole set, whatever categories run.
    everything = load_set(photos, categories)
    known_all = {k for pics in everything.values() for p in pics for k in p.known}
    pictures = {c: everything[c] for c in chosen}

    wanted = [k.strip() for k in args.readers.split(",") if k.strip()]
    readers: List[Reader] = []
    notes: List[str] = []
    for key in wanted:
        if key == "vantor":
            vantor = args.vantor.resolve()
            if not os.access(vantor, os.X_OK):
                print(f"bench-photos: no vantor program at {args.vantor} (make run builds it)", file=sys.stderr)
                return 1
            command = [str(vantor), "-j", "1", "--all", "--json"]
            if args.effort:
                command += ["--effort", args.effort]
            readers.append(Reader("vantor", f"Vantor {args.effort or 'default'}", command, parse_vantor))
            notes.append(f"Vantor: {' '.join(command)}")
        elif key == "zxing":
            zxing = args.zxing.resolve()
            if not os.access(zxing, os.X_OK):
                print(f"bench-photos: no ZXingReader at {args.zxing}: its column is left out", file=sys.stderr)
                continue
            version = program_version([str(zxing), "-version"])
            readers.append(Reader("zxing", f"zxing-cpp {version.split()[-1]}",
                                  [str(zxing), "-formats", "QRCode", "-json"], parse_zxing))
            notes.append(f"zxing-cpp: {zxing} -formats QRCode -json (its defaults otherwise)")
        elif key == "zbar":
            zbar = shutil.which(args.zbar)
            if not zbar:
                print(f"bench-photos: no {args.zbar} (install-deps.sh compare installs zbar-tools): "
                      "its column is left out", file=sys.stderr)
                continue
            version = program_version([zbar, "--version"])
            readers.append(Reader("zbar", f"ZBar {version} (by payload)",
                                  [zbar, "--nodbus", "--xml", "-Sdisable", "-Sqrcode.enable", "-Sqrcode.binary"],
                                  lambda out: parse_zbar(out, sorted(known_all)), positions=False))
            notes.append(f"ZBar: {zbar} --xml, QR Code only, exact bytes (-Sqrcode.binary); it prints no positions, "
                         "so it is scored by payload: known texts first, then the labels of unknown text; "
                         "false = symbols left over")
        else:
            parser.error(f"unknown reader {key!r} (vantor, zxing, zbar)")
    if not readers:
        print("bench-photos: no reader to run", file=sys.stderr)
        return 1

    # Read every picture once so that no reader pays for the disk.
    for pics in pictures.values():
        for p in pics:
            (photos / p.file).read_bytes()

    total_pictures = sum(len(v) for v in pictures.values())
    total_labels = sum(len(p.labels) for v in pictures.values() for p in v)
    print(f"bench-photos: {photos}, {len(chosen)} categories, {total_pictures} pictures, {total_labels} labelled "
          f"symbols; one whole run per reader and category on one core, CPU time (user + system); "
          f"{os.cpu_count()} cores online")
    for note in notes:
        print("  " + note)
    print("  read: labels whose quadrilateral holds the centre of a decoded symbol, each once; misrd: texts none of "
          "the set's known payloads; false: decoded symbols in no label")
    print(f"load average at start: {load_average()}", flush=True)

    rows: List[Row] = []
    scores: Dict[str, Dict[str, PictureScore]] = {r.key: {} for r in readers}
    totals = {r.key: Tally() for r in readers}
    warnings: List[str] = []
    for category in chosen:
        pics = pictures[category]
        files = [p.file for p in pics]
        tallies: Dict[str, Tally] = {}
        for reader in readers:
            out, cpu, status, err = timed_run(reader.command + files, photos)
            try:
                decoded = reader.parse(out)
            except (ValueError, ET.ParseError) as error:
                print(f"bench-photos: {reader.title} on {category}: cannot read its output ({error}); "
                      f"exit status {status}, {err.decode('utf-8', 'replace')[:300]}", file=sys.stderr)
                return 1
            if status < 0:
                warnings.append(f"{reader.title} ended on signal {-status} in {category}")
            tally = Tally(cpu=cpu)
            for p in pics:
                found = decoded.get(p.file, [])
                s = (score_by_position if reader.positions else score_by_payload)(p, found, known_all)
                scores[reader.key][p.file] = s
                tally.labels += len(p.labels)
                tally.read += s.count
                tally.misreads += len(s.misreads)
                tally.false += len(s.false)
                if s.reoriented:
                    warnings.append(f"{reader.title}: {s.reoriented} symbol(s) of {p.file} (EXIF orientation "
                                    f"{p.orientation}) fit a label only in the shown frame: does it apply the "
                                    f"orientation?")
            tallies[reader.key] = tally
            totals[reader.key].add(tally)
        rows.append((category, len(pics), tallies))
        print(f"  {category}: done", file=sys.stderr, flush=True)
    total = ("total", total_pictures, totals) if len(rows) > 1 else None
    for line in table(rows, total, readers):
        print(line)
    print(f"load average at the end: {load_average()}")
    for w in warnings:
        print("warning: " + w)

    if args.misses:
        write_misses(args.misses, pictures, readers, scores)
        print(f"per-picture reads and misses: {args.misses}")
    return 0


def write_misses(path: Path, pictures: Dict[str, List[Picture]], readers: List[Reader],
                 scores: Dict[str, Dict[str, PictureScore]]) -> None:
    lines = ["# Per picture: its labels (numbered from 0 as in its .corners file), then per reader the labels",
             "# read and missed; false = decoded symbols in no label, repeat = a symbol in a label already read,",
             "# misread = a text none of the set's known payloads. Readers without positions: a count only."]
    keys = [r.key for r in readers]
    for category, pics in pictures.items():
        for p in pics:
            lines.append(f"{p.file}  labels {len(p.labels)}  known texts {len(p.known)}")
            for r in readers:
                s = scores[r.key][p.file]
                if r.positions:
                    missed = [k for k in range(len(p.labels)) if k not in s.read]
                    line = (f"  {r.key:7} {len(s.read)}/{len(p.labels)}"
                            f"  read: {','.join(map(str, s.read)) or '-'}  missed: {','.join(map(str, missed)) or '-'}")
                else:
                    line = f"  {r.key:7} {s.count}/{len(p.labels)} (by payload)"
                for what, texts in (("false", s.false), ("repeat", s.repeats), ("misread", s.misreads)):
                    if texts:
                        line += f"  {what}: " + " ".join(f"'{short(t)}'" for t in texts)
                lines.append(line)
    if "vantor" in keys and "zxing" in keys:
        lines.append("")
        for reads, misses, title in (("zxing", "vantor", "zxing-cpp reads that Vantor misses"),
                                     ("vantor", "zxing", "Vantor reads that zxing-cpp misses")):
            lines.append(f"# Labels {title}, per category")
            for category, pics in pictures.items():
                entries = []
                for p in pics:
                    extra = sorted(set(scores[reads][p.file].read) - set(scores[misses][p.file].read))
                    if extra:
                        entries.append(f"{Path(p.file).stem}[{','.join(map(str, extra))}]")
                lines.append(f"{category}: {len(entries)} pictures: {' '.join(entries) or '-'}")
    path.write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    sys.exit(main())
