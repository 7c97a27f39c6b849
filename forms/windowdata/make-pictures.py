#!/usr/bin/python3
"""Draws the two pictures of the main window with Debian's Pillow and the WenQuanYi font:
banner.jpg (263 x 100: the product name over a red winged heart, on white) and
collect.jpg (51 x 34: the word 采集 in grey on white). Run it from anywhere; it writes beside itself."""
import math
import os

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
SCALE = 4  # draw large, then shrink, for smooth edges


def heart(draw, cx, cy, size, fill):
    points = []
    for i in range(200):
        t = 2 * math.pi * i / 200
        x = 16 * math.sin(t) ** 3
        y = 13 * math.cos(t) - 5 * math.cos(2 * t) - 2 * math.cos(3 * t) - math.cos(4 * t)
        points.append((cx + x * size / 32, cy - y * size / 32))
    draw.polygon(points, fill=fill)


def wing(draw, cx, cy, size, side, fill):
    # Three feathers fanning out from the heart's side.
    for k, (length, angle) in enumerate([(1.0, 18), (0.85, 35), (0.7, 52)]):
        a = math.radians(angle)
        tip = (cx + side * size * length * math.cos(a), cy - size * length * math.sin(a) + k * size * 0.05)
        base1 = (cx, cy - size * 0.08 * (k + 1))
        base2 = (cx + side * size * 0.15, cy + size * 0.1 * k)
        draw.polygon([base1, tip, base2], fill=fill)


def banner():
    w, h = 263 * SCALE, 100 * SCALE
    img = Image.new("RGB", (w, h), "white")
    d = ImageDraw.Draw(img)
    red, dark = (214, 28, 40), (150, 16, 26)
    cx, cy = w // 2, int(h * 0.72)
    wing(d, cx - 18 * SCALE, cy, 42 * SCALE, -1, dark)
    wing(d, cx + 18 * SCALE, cy, 42 * SCALE, 1, dark)
    heart(d, cx, cy, 40 * SCALE, red)
    font = ImageFont.truetype(FONT, 18 * SCALE)
    text = "Paveno"
    box = d.textbbox((0, 0), text, font=font)
    d.text(((w - (box[2] - box[0])) // 2 - box[0], 31 * SCALE - box[1]), text, font=font, fill=(40, 40, 40))
    img.resize((263, 100), Image.LANCZOS).save(os.path.join(HERE, "banner.jpg"), quality=88)


def collect_button():
    w, h = 51 * SCALE, 34 * SCALE
    img = Image.new("RGB", (w, h), "white")
    d = ImageDraw.Draw(img)
    font = ImageFont.truetype(FONT, 17 * SCALE)
    text = "采集"
    box = d.textbbox((0, 0), text, font=font)
    d.text(((w - (box[2] - box[0])) // 2 - box[0], (h - (box[3] - box[1])) // 2 - box[1]), text, font=font,
           fill=(110, 110, 110))
    img.resize((51, 34), Image.LANCZOS).save(os.path.join(HERE, "collect.jpg"), quality=88)


if __name__ == "__main__":
    banner()
    collect_button()
