"""A small anti-aliased drawing surface for the artwork, addressed in window pixels.

A Canvas is one PNG. It knows where the editor will draw it (the fill-destination placement of
the halved image), so shapes are described in the coordinates of the component that draws the
image and land exactly where the editor shows them. Shapes are signed-distance fields evaluated
per PNG pixel, which gives clean edges without supersampling; text comes from PIL.
"""

import math

import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

from geometry import fill_destination

FONT_DIR = "/usr/share/fonts"
FONTS = {
    "brand": FONT_DIR + "/opentype/urw-base35/URWGothic-Demi.otf",
    "brand-book": FONT_DIR + "/opentype/urw-base35/URWGothic-Book.otf",
    "label": FONT_DIR + "/truetype/dejavu/DejaVuSansCondensed-Bold.ttf",
    "text": FONT_DIR + "/truetype/dejavu/DejaVuSans.ttf",
    "text-bold": FONT_DIR + "/truetype/dejavu/DejaVuSans-Bold.ttf",
    "small": FONT_DIR + "/truetype/dejavu/DejaVuSansCondensed.ttf",
}


def rgb(hex_colour):
    hex_colour = hex_colour.lstrip("#")
    return tuple(int(hex_colour[i:i + 2], 16) / 255.0 for i in (0, 2, 4))


def mix(a, b, t):
    """Blend two colours; t may be an array, giving an (..., 3) array."""
    a = np.asarray(a, dtype=np.float64)
    b = np.asarray(b, dtype=np.float64)
    t = np.asarray(t, dtype=np.float64)[..., None]
    return a + (b - a) * t


def smoothstep(e0, e1, x):
    t = np.clip((x - e0) / (e1 - e0), 0.0, 1.0)
    return t * t * (3.0 - 2.0 * t)


class Canvas:
    def __init__(self, png_size, box):
        self.w, self.h = png_size
        self.ox, self.oy, dw, dh = fill_destination(self.w, self.h, box)
        self.kx = self.w / dw
        self.ky = self.h / dh
        self.k = 0.5 * (self.kx + self.ky)
        self.px = np.zeros((self.h, self.w, 4))          # premultiplied RGBA, 0..1
        xs = self.ox + (np.arange(self.w) + 0.5) / self.kx
        ys = self.oy + (np.arange(self.h) + 0.5) / self.ky
        self.x, self.y = np.meshgrid(xs, ys)

    # --- coordinates -----------------------------------------------------------------------
    def to_px(self, x, y):
        return (x - self.ox) * self.kx, (y - self.oy) * self.ky

    def coverage(self, sd, soften=0.0):
        """Coverage of the region where the signed distance `sd` (window pixels) is negative."""
        width = 1.0 / self.k + soften
        return np.clip(0.5 - sd / width, 0.0, 1.0)

    # --- compositing -----------------------------------------------------------------------
    def paint(self, colour, cov, alpha=1.0):
        """Source-over a colour (tuple or per-pixel array) through a coverage mask."""
        colour = np.asarray(colour, dtype=np.float64)
        a = np.asarray(cov, dtype=np.float64) * alpha
        if a.ndim == 0:
            a = np.full((self.h, self.w), float(a))
        a = a[..., None]
        src = np.concatenate([np.broadcast_to(colour, (self.h, self.w, 3)) * a, a], axis=2)
        self.px = src + self.px * (1.0 - a)

    def fill(self, colour, sd, alpha=1.0, soften=0.0):
        self.paint(colour, self.coverage(sd, soften), alpha)

    def shadow(self, sd, blur, colour=(0, 0, 0), alpha=0.5, dx=0.0, dy=0.0):
        """A blurred copy of a shape, offset by (dx, dy) window pixels."""
        cov = self.coverage(sd)
        img = Image.fromarray((cov * 255).astype(np.uint8), "L")
        img = img.transform(img.size, Image.AFFINE, (1, 0, -dx * self.kx, 0, 1, -dy * self.ky),
                            resample=Image.BILINEAR)
        img = img.filter(ImageFilter.GaussianBlur(blur * self.k))
        self.paint(colour, np.asarray(img, dtype=np.float64) / 255.0, alpha)

    # --- text ------------------------------------------------------------------------------
    def text_mask(self, text, x, y, size, font="label", anchor="mm", tracking=0.0):
        """Coverage of `text` at window position (x, y); `size` and `tracking` in window pixels."""
        face = ImageFont.truetype(FONTS[font], max(1, int(round(size * self.ky))))
        mask = Image.new("L", (self.w, self.h), 0)
        draw = ImageDraw.Draw(mask)
        px, py = self.to_px(x, y)
        if tracking == 0.0:
            draw.text((px, py), text, font=face, fill=255, anchor=anchor)
        else:
            gap = tracking * self.kx
            widths = [face.getlength(c) for c in text]
            total = sum(widths) + gap * (len(text) - 1)
            h_anchor, v_anchor = anchor[0], anchor[1]
            start = px - (total / 2.0 if h_anchor == "m" else total if h_anchor == "r" else 0.0)
            for c, cw in zip(text, widths):
                draw.text((start, py), c, font=face, fill=255, anchor="l" + v_anchor)
                start += cw + gap
        return np.asarray(mask, dtype=np.float64) / 255.0

    def text(self, text, x, y, size, colour, font="label", anchor="mm", tracking=0.0, alpha=1.0):
        self.paint(colour, self.text_mask(text, x, y, size, font, anchor, tracking), alpha)

    def text_width(self, text, size, font="label", tracking=0.0):
        face = ImageFont.truetype(FONTS[font], max(1, int(round(size * self.ky))))
        return (face.getlength(text) / self.kx) + tracking * (len(text) - 1)

    # --- output ----------------------------------------------------------------------------
    def image(self):
        a = self.px[..., 3:4]
        rgb_ = np.where(a > 1e-6, self.px[..., :3] / np.maximum(a, 1e-6), 0.0)
        out = np.concatenate([rgb_, a], axis=2)
        return Image.fromarray(np.clip(np.round(out * 255.0), 0, 255).astype(np.uint8), "RGBA")

    def save(self, path):
        self.image().save(path, optimize=True)


# --- signed distances (window pixels; negative inside) --------------------------------------

def sd_circle(c, cx, cy, r):
    return np.hypot(c.x - cx, c.y - cy) - r


def sd_ring(c, cx, cy, r_in, r_out):
    d = np.hypot(c.x - cx, c.y - cy)
    return np.maximum(r_in - d, d - r_out)


def sd_round_rect(c, x, y, w, h, radius):
    cx, cy = x + w / 2.0, y + h / 2.0
    qx = np.abs(c.x - cx) - (w / 2.0 - radius)
    qy = np.abs(c.y - cy) - (h / 2.0 - radius)
    outside = np.hypot(np.maximum(qx, 0.0), np.maximum(qy, 0.0))
    return outside + np.minimum(np.maximum(qx, qy), 0.0) - radius


def sd_segment(c, x0, y0, x1, y1, half_width):
    vx, vy = x1 - x0, y1 - y0
    t = np.clip(((c.x - x0) * vx + (c.y - y0) * vy) / (vx * vx + vy * vy), 0.0, 1.0)
    return np.hypot(c.x - (x0 + t * vx), c.y - (y0 + t * vy)) - half_width


def angle_of(c, cx, cy):
    """Clockwise-from-up angle of every pixel about (cx, cy), in [0, 2 pi)."""
    return np.mod(np.arctan2(c.x - cx, -(c.y - cy)), 2.0 * math.pi)


def unwrap_near(angle, reference):
    """Shift angles by whole turns to lie within half a turn of `reference`."""
    return angle + 2.0 * math.pi * np.round((reference - angle) / (2.0 * math.pi))


def sd_arc_band(c, cx, cy, r_in, r_out, a0, a1, corner):
    """A band between two radii and two angles (a0 < a1), with its four corners rounded.

    The band is treated as a rounded rectangle in (arc length, radius) about the mid radius;
    over the few pixels of a corner the bend of the arc does not matter.
    """
    rm = 0.5 * (r_in + r_out)
    mid = 0.5 * (a0 + a1)
    ang = unwrap_near(angle_of(c, cx, cy), mid)
    r = np.hypot(c.x - cx, c.y - cy)
    u = (ang - mid) * rm
    v = r - rm
    half_u = 0.5 * (a1 - a0) * rm
    half_v = 0.5 * (r_out - r_in)
    qx = np.abs(u) - (half_u - corner)
    qy = np.abs(v) - (half_v - corner)
    outside = np.hypot(np.maximum(qx, 0.0), np.maximum(qy, 0.0))
    return outside + np.minimum(np.maximum(qx, qy), 0.0) - corner
