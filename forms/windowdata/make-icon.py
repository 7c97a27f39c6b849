#!/usr/bin/python3
"""Makes the desktop icon paveno.png (128 x 128, transparent) from the winged heart of banner.jpg with Debian's
Pillow. The heart and its wings are found as the reddish pixels below the product name; the white around them
becomes transparent. Run it from anywhere; it reads and writes beside itself."""
import os

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
SIZE = 128
MARGIN = 4  # transparent pixels kept around the heart, at the icon's size


def reddish(pixel):
    r, g, b = pixel
    return r > 90 and r - max(g, b) > 50


def heart_box(img):
    # The product name is grey; only the heart and the wings are red.
    w, h = img.size
    px = img.load()
    xs, ys = [], []
    for y in range(h):
        for x in range(w):
            if reddish(px[x, y]):
                xs.append(x)
                ys.append(y)
    return min(xs), min(ys), max(xs) + 1, max(ys) + 1


def white_to_alpha(img):
    # Each pixel was drawn as colour * a + white * (1 - a): take a from the darkest channel, then undo the blend.
    out = Image.new("RGBA", img.size)
    src, dst = img.load(), out.load()
    w, h = img.size
    for y in range(h):
        for x in range(w):
            r, g, b = src[x, y]
            a = min(255, (255 - min(r, g, b)) * 255 // 200)
            if a < 8:
                dst[x, y] = (0, 0, 0, 0)
                continue
            k = a / 255

            def undo(c):
                return max(0, min(255, round((c - (1 - k) * 255) / k)))

            dst[x, y] = (undo(r), undo(g), undo(b), a)
    return out


def main():
    banner = Image.open(os.path.join(HERE, "banner.jpg")).convert("RGB")
    left, top, right, bottom = heart_box(banner)
    pad = 2  # the soft edge around the red pixels
    box = (max(left - pad, 0), max(top - pad, 0), min(right + pad, banner.width), min(bottom + pad, banner.height))
    heart = white_to_alpha(banner.crop(box))
    inner = SIZE - 2 * MARGIN
    scale = inner / max(heart.width, heart.height)
    heart = heart.resize((max(1, round(heart.width * scale)), max(1, round(heart.height * scale))), Image.LANCZOS)
    icon = Image.new("RGBA", (SIZE, SIZE), (0, 0, 0, 0))
    icon.alpha_composite(heart, ((SIZE - heart.width) // 2, (SIZE - heart.height) // 2))
    icon.save(os.path.join(HERE, "paveno.png"), optimize=True)


if __name__ == "__main__":
    main()
