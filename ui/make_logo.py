#!/usr/bin/env python3
"""Draws the window's logo (logo.jpg) and the desktop icon (quillfen.png, 64x64).

The logo is shown 125x31 and drawn three times as large (375x93), so that screens with
two or three device pixels to a pixel get a sharp picture; the window scales it down for
the screen at hand. Everything is drawn here from a few shapes and a tiny block font,
then encoded by ffmpeg. Run from any folder: python3 ui/make_logo.py
"""
import math
import os
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
BACKGROUND = (240, 240, 240)  # the window's button face; drawn see-through by the window
INK = (24, 40, 120)

# 4x7 block letters, '#' = ink
GLYPHS = {
    "H": ["#..#", "#..#", "#..#", "####", "#..#", "#..#", "#..#"],
    "D": ["###.", "#..#", "#..#", "#..#", "#..#", "#..#", "###."],
    "V": ["#..#", "#..#", "#..#", "#..#", "#..#", ".##.", ".##."],
}


def canvas(w, h, colour):
    return [[colour for _ in range(w)] for _ in range(h)]


def disc(img, cx, cy, r, hole, scale=1):
    """A shaded disc with a few grooves and a centre hole; sizes in units of `scale` pixels."""
    cx, cy, r, hole = cx * scale, cy * scale, r * scale, hole * scale
    for y in range(len(img)):
        for x in range(len(img[0])):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if d > r or d < hole:
                continue
            t = (d - hole) / (r - hole)
            angle = math.atan2(y - cy, x - cx)
            shine = 0.5 + 0.5 * math.cos(2 * angle)
            groove = 0.85 if int(d / scale * 1.5) % 3 == 0 else 1.0
            red = int((70 + 120 * shine * (1 - t)) * groove)
            green = int((110 + 110 * shine) * groove)
            blue = int((200 + 50 * t) * groove)
            img[y][x] = (min(red, 255), min(green, 255), min(blue, 255))


def text(img, s, left, top, sx, sy, gap):
    x = left
    for ch in s:
        if ch == " ":
            x += 2 * sx
            continue
        rows = GLYPHS[ch]
        for gy, row in enumerate(rows):
            for gx, cell in enumerate(row):
                if cell != "#":
                    continue
                for dy in range(sy):
                    for dx in range(sx):
                        img[top + gy * sy + dy][x + gx * sx + dx] = INK
        x += 4 * sx + gap


def encode(img, out, alpha=False):
    """Writes img through ffmpeg; with alpha, background pixels become see-through."""
    h, w = len(img), len(img[0])
    with tempfile.NamedTemporaryFile(suffix=".pam", delete=False) as f:
        kind = b"RGB_ALPHA" if alpha else b"RGB"
        f.write(b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL 255\nTUPLTYPE %s\nENDHDR\n"
                % (w, h, 4 if alpha else 3, kind))
        for row in img:
            for px in row:
                f.write(bytes(px))
                if alpha:
                    f.write(b"\x00" if px == BACKGROUND else b"\xff")
        ppm = f.name
    try:
        args = ["ffmpeg", "-loglevel", "error", "-y", "-i", ppm]
        if out.endswith(".jpg"):
            args += ["-q:v", "2", "-pix_fmt", "yuvj444p"]
        subprocess.run(args + [out], check=True)
    finally:
        os.unlink(ppm)


def main():
    k = 3  # device pixels to a pixel
    logo = canvas(125 * k, 31 * k, BACKGROUND)
    disc(logo, 16, 15.5, 14, 3, k)
    text(logo, "HD DVD", 38 * k, 5 * k, 3 * k, 3 * k, 3 * k)
    encode(logo, os.path.join(HERE, "logo.jpg"))

    icon = canvas(64, 64, BACKGROUND)
    disc(icon, 32, 32, 30, 6)
    encode(icon, os.path.join(HERE, "quillfen.png"), alpha=True)


if __name__ == "__main__":
    main()
