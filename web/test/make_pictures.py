#!/usr/bin/env python3
"""Writes the web tests' pictures into the directory it is given: grey PGM
pictures (symbols plain, mirrored, inverted, turned, under perspective, two
at once, ECI, GS1 and structured-append content, camera-sized scenes, thirty
random ones, and pictures without a symbol), the same symbols as PNG, JPEG, WebP,
GIF and BMP files in colour, and a Y4M video of a symbol moving and turning
for the camera test. Everything is drawn from a fixed seed."""
import math
import random
import subprocess
import sys
from pathlib import Path

import numpy as np
import qrcode
from PIL import Image, ImageDraw, ImageFilter

LEVELS = {"L": qrcode.constants.ERROR_CORRECT_L, "M": qrcode.constants.ERROR_CORRECT_M,
          "Q": qrcode.constants.ERROR_CORRECT_Q, "H": qrcode.constants.ERROR_CORRECT_H}


def symbol(text, level="M", scale=4, version=None):
    """A grey picture of one symbol with a four-module quiet zone."""
    qr = qrcode.QRCode(version=version, error_correction=LEVELS[level], box_size=scale, border=4)
    qr.add_data(text.encode("utf-8"))
    qr.make(fit=version is None)
    return qr.make_image(fill_color="black", back_color="white").convert("L")


def segmented(header, data, level="M", scale=4, version=3):
    """A symbol whose bit stream starts with `header`, (value, bits) pairs
    such as an ECI or structured-append header, then one byte segment of
    `data`; terminated, padded and corrected as any other symbol."""
    buffer = qrcode.util.BitBuffer()
    for value, bits in header:
        buffer.put(value, bits)
    buffer.put(0b0100, 4)
    buffer.put(len(data), 8)
    for byte in data:
        buffer.put(byte, 8)
    blocks = qrcode.base.rs_blocks(version, LEVELS[level])
    limit = sum(block.data_count * 8 for block in blocks)
    for _ in range(min(limit - len(buffer), 4)):
        buffer.put_bit(False)
    while len(buffer) % 8:
        buffer.put_bit(False)
    for i in range((limit - len(buffer)) // 8):
        buffer.put((0xEC, 0x11)[i % 2], 8)
    qr = qrcode.QRCode(version=version, error_correction=LEVELS[level], box_size=scale, border=4)
    qr.data_cache = qrcode.util.create_bytes(buffer, blocks)
    qr.make(fit=False)
    return qr.make_image(fill_color="black", back_color="white").convert("L")


def micro_symbol(text, version, level, scale=5):
    """A grey picture of one Micro QR symbol M1..M4 from zint's command line
    (level 1..3: L, M, Q), with a two-module quiet zone."""
    dump = subprocess.run(["zint", "-b", "MICROQR", f"--vers={version}", f"--secure={level}", "-d", text, "--dump"],
                          check=True, capture_output=True, text=True).stdout.split("\n")
    size = 9 + 2 * version
    rows = [bin(int(line.replace(" ", ""), 16))[2:].zfill(4 * len(line.replace(" ", "")))[:size]
            for line in dump if line.strip()]
    assert len(rows) == size, f"zint gave {len(rows)} rows for M{version}"
    modules = np.full((size + 4, size + 4), 255, np.uint8)
    for y, row in enumerate(rows):
        for x, bit in enumerate(row):
            if bit == "1":
                modules[y + 2, x + 2] = 0
    return Image.fromarray(modules, "L").resize(((size + 4) * scale, (size + 4) * scale), Image.NEAREST)


def on_background(img, size, at, rng, noise=12):
    """img pasted at `at` on a light, slightly noisy background of `size`."""
    base = np.full((size[1], size[0]), 235, np.int16)
    base += rng.integers(-noise, noise + 1, base.shape, dtype=np.int16)
    back = Image.fromarray(np.clip(base, 0, 255).astype(np.uint8), "L")
    back.paste(img, at)
    return back


def perspective(img, pull, rng_pad=40):
    """img seen at an angle: the right edge pulled in by `pull` pixels."""
    w, h = img.size
    padded = Image.new("L", (w + 2 * rng_pad, h + 2 * rng_pad), 255)
    padded.paste(img, (rng_pad, rng_pad))
    W, H = padded.size
    # Output corners map to these source corners.
    src = [(0, 0), (W, -pull), (W, H + pull), (0, H)]
    dst = [(0, 0), (W, 0), (W, H), (0, H)]
    coeffs = perspective_coeffs(dst, src)
    return padded.transform((W, H), Image.PERSPECTIVE, coeffs, Image.BILINEAR, fillcolor=255)


def perspective_coeffs(dst, src):
    rows = []
    for (x, y), (u, v) in zip(dst, src):
        rows.append([x, y, 1, 0, 0, 0, -u * x, -u * y])
        rows.append([0, 0, 0, x, y, 1, -v * x, -v * y])
    a = np.array(rows, float)
    b = np.array([c for p in src for c in p], float)
    return np.linalg.solve(a, b).tolist()


def grey_pictures(rng):
    """name -> grey PIL image."""
    out = {}
    texts = ["Hello, browser", "https://example.org/ticket/40417?seat=12F", "Grüße aus 東京",
             "0123456789" * 6, "MIXED case AND digits 42"]
    for i, text in enumerate(texts):
        level = "LMQH"[i % 4]
        img = symbol(text, level, scale=3 + i % 3)
        out[f"plain-{i}"] = on_background(img, (img.width + 60, img.height + 40), (30 + i, 20), rng)
    big = symbol("version ten " * 12, "Q", scale=3)
    out["large"] = on_background(big, (big.width + 80, big.height + 80), (40, 40), rng)
    base = symbol("mirrored symbol", "M", scale=5)
    out["mirrored"] = on_background(base.transpose(Image.Transpose.TRANSPOSE), (base.width + 50, base.height + 50), (25, 25), rng)
    inv = Image.eval(symbol("light on dark", "H", scale=4), lambda v: 255 - v)
    out["inverted"] = on_background(inv, (inv.width + 40, inv.height + 40), (20, 20), rng)
    for angle in (17, 45, 130):
        img = symbol(f"turned {angle} degrees", "M", scale=5).rotate(angle, Image.BICUBIC, expand=True, fillcolor=255)
        out[f"turned-{angle}"] = on_background(img, (img.width + 30, img.height + 30), (15, 15), rng)
    for pull in (20, 45):
        img = perspective(symbol(f"perspective {pull}", "Q", scale=5), pull)
        out[f"perspective-{pull}"] = on_background(img, (img.width + 20, img.height + 20), (10, 10), rng)
    a, b = symbol("first of two", "M", scale=4), symbol("second of two", "L", scale=4)
    two = on_background(a, (a.width + b.width + 60, max(a.height, b.height) + 40), (20, 20), rng)
    two.paste(b, (a.width + 40, 20))
    out["two"] = two
    # ECI, GS1 (FNC1 first), FNC1 second with an application indicator,
    # and a structured-append set of two parts side by side.
    eci = segmented([(0b0111, 4), (26, 8)], "Grüße über ECI".encode())
    out["eci"] = on_background(eci, (eci.width + 40, eci.height + 40), (20, 20), rng)
    gs1 = segmented([(0b0101, 4)], b"0109501101020917172012310ABC123")
    out["gs1"] = on_background(gs1, (gs1.width + 40, gs1.height + 40), (20, 20), rng)
    second = segmented([(0b1001, 4), (37, 8)], b"AB-12345")
    out["fnc1-second"] = on_background(second, (second.width + 40, second.height + 40), (20, 20), rng)
    halves = [b"The first half, ", b"and the second!"]
    parity = 0
    for byte in b"".join(halves):
        parity ^= byte
    parts = [segmented([(0b0011, 4), (i, 4), (1, 4), (parity, 8)], half) for i, half in enumerate(halves)]
    both = on_background(parts[0], (2 * parts[0].width + 60, parts[0].height + 40), (20, 20), rng)
    both.paste(parts[1], (parts[0].width + 40, 20))
    out["parts"] = both
    # Camera-sized scenes: uneven light, a blurred symbol at an angle.
    for name, size, pull, scale in (("scene-vga", (640, 480), 30, 4), ("scene-hd", (1280, 960), 60, 7)):
        img = perspective(symbol(f"{name}: https://example.org/a/{size[0]}", "M", scale=scale), pull)
        img = img.rotate(12, Image.BICUBIC, expand=True, fillcolor=255).filter(ImageFilter.GaussianBlur(1.2))
        yy, xx = np.mgrid[0:size[1], 0:size[0]]
        light = 150 + 80 * (xx / size[0]) - 40 * (yy / size[1])
        scene = np.clip(light + rng.normal(0, 6, light.shape), 0, 255).astype(np.uint8)
        back = Image.fromarray(scene, "L")
        at = ((size[0] - img.width) // 3, (size[1] - img.height) // 2)
        shaded = np.asarray(img, np.float32) * (light[at[1]:at[1] + img.height, at[0]:at[0] + img.width] / 255)
        back.paste(Image.fromarray(shaded.clip(0, 255).astype(np.uint8), "L"), at)
        out[name] = back
    # Micro QR, M1 to M4: plain, turned, mirrored, under perspective.
    for version, text, level in ((1, "12345", 1), (2, "QR 42", 2), (3, "Micro 42", 2), (4, "MICRO Q 4", 3)):
        img = micro_symbol(text, version, level, scale=4 + version % 2)
        out[f"micro-m{version}"] = on_background(img, (img.width + 40, img.height + 30), (20, 15), rng)
    img = micro_symbol("turned micro", 4, 1).rotate(35, Image.BICUBIC, expand=True, fillcolor=255)
    out["micro-turned"] = on_background(img, (img.width + 30, img.height + 30), (15, 15), rng)
    img = micro_symbol("1234567890", 3, 1, scale=6).transpose(Image.Transpose.TRANSPOSE)
    out["micro-mirrored"] = on_background(img, (img.width + 30, img.height + 30), (15, 15), rng)
    img = perspective(micro_symbol("at an angle", 4, 1, scale=6), 15)
    out["micro-perspective"] = on_background(img, (img.width + 20, img.height + 20), (10, 10), rng)
    arr = rng.integers(0, 256, (180, 240), dtype=np.uint8)
    out["noise"] = Image.fromarray(arr, "L")
    out["blank"] = Image.new("L", (200, 150), 240)
    stripes = Image.new("L", (220, 160), 255)
    draw = ImageDraw.Draw(stripes)
    for x in range(0, 220, 14):
        draw.rectangle([x, 0, x + 6, 159], fill=0)
    out["stripes"] = stripes
    # Three eye patterns' worth of squares but no symbol between them.
    eyes = Image.new("L", (200, 200), 255)
    draw = ImageDraw.Draw(eyes)
    for x, y in ((20, 20), (140, 20), (20, 140)):
        draw.rectangle([x, y, x + 34, y + 34], fill=0)
        draw.rectangle([x + 5, y + 5, x + 29, y + 29], fill=255)
        draw.rectangle([x + 10, y + 10, x + 24, y + 24], fill=0)
    out["eyes-only"] = eyes
    return out


def random_pictures(rng, count):
    """Symbols of random text, level and size, some under perspective, all
    turned, some mirrored, blurred or scaled, on noisy backgrounds."""
    chars = "abcdefghijklmnopqrstuvwxyz0123456789 "
    out = {}
    for i in range(count):
        text = "".join(chars[k] for k in rng.integers(0, len(chars), int(rng.integers(5, 120))))
        img = symbol(text, "LMQH"[int(rng.integers(0, 4))], scale=int(rng.integers(2, 7)))
        if rng.random() < 0.5:
            img = perspective(img, int(rng.integers(0, img.width // 4 + 1)))
        img = img.rotate(float(rng.uniform(0, 360)), Image.BICUBIC, expand=True, fillcolor=255)
        if rng.random() < 0.3:
            img = img.transpose(Image.Transpose.TRANSPOSE)
        if rng.random() < 0.5:
            img = img.filter(ImageFilter.GaussianBlur(float(rng.uniform(0.3, 2.0))))
        if rng.random() < 0.5:
            img = img.resize((int(img.width * rng.uniform(0.5, 1.3)), int(img.height * rng.uniform(0.5, 1.3))),
                             Image.BILINEAR)
        size = (img.width + int(rng.integers(10, 200)), img.height + int(rng.integers(10, 200)))
        out[f"random-{i:02d}"] = on_background(img, size, (int(rng.integers(0, 10)), int(rng.integers(0, 10))), rng,
                                               noise=int(rng.integers(0, 40)))
    return out


def colour_picture(grey, rng):
    """The grey picture tinted: dark modules navy, light ones cream."""
    g = np.asarray(grey, np.float32) / 255
    dark, light = np.array([20, 30, 90]), np.array([250, 240, 215])
    rgb = dark + g[..., None] * (light - dark)
    return Image.fromarray(rgb.round().astype(np.uint8), "RGB")


def file_pictures(rng, folder):
    """The same colour symbols in each format the page test drops."""
    img = symbol("dropped into the page", "M", scale=5)
    pic = colour_picture(on_background(img, (img.width + 40, img.height + 40), (20, 20), rng, noise=0), rng)
    names = []
    for fmt, ext, kwargs in (("PNG", "png", {}), ("JPEG", "jpg", {"quality": 92}),
                             ("WEBP", "webp", {"lossless": True}), ("GIF", "gif", {}),
                             ("BMP", "bmp", {})):
        path = folder / f"drop.{ext}"
        pic.save(path, fmt, **kwargs)
        names.append(path.name)
    # Translucent: dark modules partly opaque on a transparent ground, which
    # the readers put over white.
    grey = np.asarray(on_background(img, (img.width + 40, img.height + 40), (20, 20), rng, noise=0), np.float32)
    alpha = (255 - grey) * 0.8 + 20
    rgba = np.stack([np.full_like(grey, 30), np.full_like(grey, 60), np.full_like(grey, 120), alpha], axis=-1)
    Image.fromarray(rgba.round().astype(np.uint8), "RGBA").save(folder / "drop-alpha.png")
    names.append("drop-alpha.png")
    whole = (folder / "drop.png").read_bytes()
    (folder / "broken.png").write_bytes(whole[: len(whole) // 3])
    lossy = folder / "drop-lossy.webp"
    pic.save(lossy, "WEBP", quality=80)
    names.append(lossy.name)
    return names


def video(folder, frames=60, size=(640, 480)):
    """A Y4M video: a symbol crossing the frame and turning, on grey."""
    img = symbol("camera test 7", "M", scale=6)
    path = folder / "camera.y4m"
    w, h = size
    with open(path, "wb") as f:
        f.write(f"YUV4MPEG2 W{w} H{h} F10:1 Ip A1:1 C420jpeg\n".encode())
        for k in range(frames):
            angle = 40 * math.sin(2 * math.pi * k / frames)
            turned = img.rotate(angle, Image.BICUBIC, expand=True, fillcolor=255)
            frame = Image.new("L", size, 120)
            x = int(40 + (w - turned.width - 80) * k / (frames - 1))
            y = int((h - turned.height) / 2 + 30 * math.sin(2 * math.pi * k / frames))
            frame.paste(turned, (x, y))
            f.write(b"FRAME\n")
            f.write(frame.tobytes())
            f.write(bytes([128]) * (2 * (w // 2) * (h // 2)))
    return path.name


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    rng = np.random.default_rng(25)
    random.seed(25)
    for name, img in {**grey_pictures(rng), **random_pictures(rng, 30)}.items():
        img.save(folder / f"{name}.pgm")
        if name == "eyes-only":
            img.save(folder / "none.png")
    file_pictures(rng, folder)
    video(folder)


if __name__ == "__main__":
    main()
