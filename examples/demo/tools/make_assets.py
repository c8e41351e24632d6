#!/usr/bin/env python3
"""Writes the demo's binary assets (sounds and images) with the standard library only.

Run from anywhere: python3 examples/demo/tools/make_assets.py
"""
import math
import os
import random
import struct
import wave
import zlib

DEMO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WWW = os.path.join(DEMO, "www")
RATE = 22050


# ---------------------------------------------------------------- sounds

def write_wav(path, samples):
    """Writes float samples in [-1, 1] as 22050 Hz mono 16-bit PCM."""
    frames = b"".join(
        struct.pack("<h", int(max(-1.0, min(1.0, s)) * 32767)) for s in samples)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(frames)


def envelope(i, n, attack=0.01):
    t = i / RATE
    a = min(1.0, t / attack) if attack > 0 else 1.0
    return a * (1.0 - i / n) ** 2


def catch_sound():
    """A short rising two-note blip (about 0.16 s)."""
    n = int(RATE * 0.16)
    out = []
    phase = 0.0
    for i in range(n):
        freq = 880.0 if i < n * 0.4 else 1320.0
        phase += 2 * math.pi * freq / RATE
        tone = 0.6 * math.sin(phase) + 0.2 * math.sin(2 * phase)
        out.append(0.7 * tone * envelope(i, n, 0.004))
    return out


def miss_sound():
    """A falling, slightly noisy thud (about 0.35 s)."""
    rng = random.Random(7)
    n = int(RATE * 0.35)
    out = []
    phase = 0.0
    for i in range(n):
        t = i / n
        freq = 320.0 * (1.0 - 0.7 * t)
        phase += 2 * math.pi * freq / RATE
        square = 1.0 if math.sin(phase) >= 0 else -1.0
        noise = rng.uniform(-1.0, 1.0)
        out.append(0.45 * (0.8 * square + 0.2 * noise) * envelope(i, n, 0.003))
    return out


# ---------------------------------------------------------------- images

def write_png(path, width, height, pixels):
    """pixels: list of rows, each a list of (r, g, b, a) tuples."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter type: none
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + \
        chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def star_radius(angle, outer, inner, points=5):
    """Distance from the centre to a five-pointed star's edge at an angle."""
    sector = 2 * math.pi / points
    a = (angle + math.pi / 2) % sector  # a tip points straight up
    half = sector / 2
    # Edge from a tip (outer, angle 0) to a notch (inner, angle half), mirrored.
    t = a if a <= half else sector - a
    x0, y0 = outer, 0.0
    x1, y1 = inner * math.cos(half), inner * math.sin(half)
    # Intersect the ray at angle t with the segment tip->notch.
    dx, dy = x1 - x0, y1 - y0
    ct, st = math.cos(t), math.sin(t)
    denom = ct * dy - st * dx
    if abs(denom) < 1e-9:
        return outer
    s = (x0 * dy - y0 * dx) / denom
    return s


def star_image(size, fill, edge, glow=None):
    """An antialiased star (4x4 supersampling) with an optional soft glow."""
    c = (size - 1) / 2.0
    outer = size * 0.47
    inner = outer * 0.45
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            cover = 0
            for sy in range(4):
                for sx in range(4):
                    px = x + (sx + 0.5) / 4 - 0.5 - c
                    py = y + (sy + 0.5) / 4 - 0.5 - c
                    d = math.hypot(px, py)
                    if d <= star_radius(math.atan2(py, px), outer, inner):
                        cover += 1
            alpha = cover / 16.0
            dx, dy = x - c, y - c
            d = math.hypot(dx, dy)
            # Lighter towards the centre.
            k = max(0.0, 1.0 - d / outer)
            col = tuple(int(edge[i] + (fill[i] - edge[i]) * k) for i in range(3))
            if alpha > 0:
                row.append(col + (int(255 * alpha),))
            elif glow is not None and d < size / 2:
                g = int(glow[3] * (1.0 - d / (size / 2)) ** 2)
                row.append(glow[:3] + (g,))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def icon_image(size):
    """A rounded dark square holding a golden star."""
    star = star_image(size, (255, 250, 200), (255, 180, 40))
    radius = size * 0.2
    bg = (16, 18, 32)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            # Rounded-rectangle coverage.
            qx = max(radius - x - 0.5, 0, x + 0.5 - (size - radius))
            qy = max(radius - y - 0.5, 0, y + 0.5 - (size - radius))
            inside = 1.0 - max(0.0, min(1.0, math.hypot(qx, qy) - radius + 0.5))
            # Shrink the star a little inside the square.
            sx = int(round((x - size / 2) / 0.8 + size / 2))
            sy = int(round((y - size / 2) / 0.8 + size / 2))
            r, g, b, a = star[sy][sx] if 0 <= sx < size and 0 <= sy < size else (0, 0, 0, 0)
            fa = a / 255.0
            col = tuple(int(bg[i] * (1 - fa) + (r, g, b)[i] * fa) for i in range(3))
            row.append(col + (int(255 * inside),))
        rows.append(row)
    return rows


def main():
    for sub in ("sounds", "images"):
        os.makedirs(os.path.join(WWW, sub), exist_ok=True)
    write_wav(os.path.join(WWW, "sounds", "catch.wav"), catch_sound())
    write_wav(os.path.join(WWW, "sounds", "miss.wav"), miss_sound())
    write_png(os.path.join(WWW, "images", "star.png"), 32, 32,
              star_image(32, (255, 255, 230), (255, 190, 50), glow=(255, 220, 120, 70)))
    icon = icon_image(64)
    write_png(os.path.join(DEMO, "icon.png"), 64, 64, icon)
    write_png(os.path.join(WWW, "icon.png"), 64, 64, icon)
    print("assets written under", DEMO)


if __name__ == "__main__":
    main()
