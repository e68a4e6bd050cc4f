#!/usr/bin/python3
"""Composes a 720 x 480 picture of the editor from the artwork, drawn the way the editor draws it.

    /usr/bin/python3 tools/artwork/preview.py [artwork folder] [output.png] [state ...]

States: bypassed, info, eqoff, depth=V, eq=V, in=V, out=V, levels=a,b,c,d. Each image is halved,
then scaled into its box with fill-destination placement; the value masks are drawn from the
same paths the look-and-feels build. Useful for judging the artwork without building the plug-in.
"""

import math
import os
import sys

from PIL import Image, ImageDraw, ImageFont

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import geometry as G  # noqa: E402

SUPER = 4
MASK = G.WINDOW_COLOUR + (255,)


class Preview:
    def __init__(self, folder):
        self.folder = folder
        self.img = Image.new("RGBA", (G.WINDOW_W, G.WINDOW_H), MASK)
        self.cache = {}

    def held(self, name):
        if name not in self.cache:
            png = Image.open(os.path.join(self.folder, name + ".png")).convert("RGBA")
            self.cache[name] = png.resize((png.width // 2, png.height // 2), Image.BILINEAR)
        return self.cache[name]

    def draw(self, name, box, clip=None):
        """drawImageWithin(fillDestination) of a held image into a window-space box."""
        im = self.held(name)
        bx, by, bw, bh = box
        s = max(bw / im.width, bh / im.height)
        ox = bx + (bw - im.width * s) / 2.0
        oy = by + (bh - im.height * s) / 2.0
        layer = im.transform(self.img.size, Image.AFFINE, (1 / s, 0, -ox / s, 0, 1 / s, -oy / s),
                             resample=Image.BILINEAR)
        self.composite(layer, clip)

    def composite(self, layer, clip=None):
        if clip is not None:
            cx, cy, cw, ch = clip
            m = Image.new("L", self.img.size, 0)
            ImageDraw.Draw(m).rectangle([cx, cy, cx + cw - 1, cy + ch - 1], fill=255)
            r, g, b, a = layer.split()
            from PIL import ImageChops
            layer = Image.merge("RGBA", (r, g, b, ImageChops.multiply(a, m)))
        self.img = Image.alpha_composite(self.img, layer)

    def fill_path(self, points, colour, clip=None):
        big = Image.new("RGBA", (G.WINDOW_W * SUPER, G.WINDOW_H * SUPER), (0, 0, 0, 0))
        ImageDraw.Draw(big).polygon([(x * SUPER, y * SUPER) for x, y in points], fill=colour)
        self.composite(big.resize(self.img.size, Image.BOX), clip)

    def text(self, s, box, size, colour, justify="centre"):
        font = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", size)
        d = ImageDraw.Draw(self.img)
        x, y, w, h = box
        if justify == "centre":
            d.text((x + w / 2, y + h / 2), s, font=font, fill=colour, anchor="mm")
        else:
            d.text((x + w / 2, y), s, font=font, fill=colour, anchor="mt")


def arc(points, cx, cy, r, a0, a1, steps=48):
    for i in range(steps + 1):
        a = a0 + (a1 - a0) * i / steps
        points.append((cx + r * math.sin(a), cy - r * math.cos(a)))


def depth_mask(ox, oy, a):
    cx = cy = 135.5
    p = [(ox + cx, oy + cy)]
    arc(p, ox + cx, oy + cy, 126.75, G.DEPTH_END, a)
    m = a - 1.5708
    X, Y = 121.75 * math.cos(m) + 135.5, 121.75 * math.sin(m) + 135.5
    arc(p, ox + X, oy + Y, 5, a, a + 1.5708, 12)
    p.append((ox + 103.25 * math.cos(m + 0.05) + 135.5, oy + 103.25 * math.sin(m + 0.05) + 135.5))
    X, Y = 103.25 * math.cos(m) + 135.5, 103.25 * math.sin(m) + 135.5
    arc(p, ox + X, oy + Y, 5, a + 1.5708, a + 3.1416, 12)
    return p


def eq_mask(ox, oy, theta):
    cx, cy = G.EQ_CENTRE
    tc = theta + 0.018

    def P(r, phi):
        return ox + cx + r * math.cos(phi - 1.5708), oy + cy + r * math.sin(phi - 1.5708)

    p = [P(259, G.EQ_END)]
    arc(p, ox + cx, oy + cy, 291, G.EQ_END, tc, 64)
    c = P(286, tc)
    arc(p, c[0], c[1], 5, tc, tc - 1.5708, 12)
    p.append(P(265, theta))
    c = P(265, tc)
    arc(p, c[0], c[1], 5, tc - 1.5708, tc - 3.1416, 12)
    arc(p, ox + cx, oy + cy, 259, tc, G.EQ_END, 64)
    return p


def meter_mask(ox, oy, x, length):
    p = []
    arc(p, ox + x + 2, oy + 41, 2, -math.pi / 2, math.pi / 2, 8)
    p.append((ox + x + 4, oy + length + 40))
    arc(p, ox + x + 2, oy + length + 40, 2, math.pi / 2, -math.pi / 2, 8)
    return p


def compose(folder, state):
    v = Preview(folder)
    v.draw("background", (0, 0, 720, 480))

    # Gain column: strips, meter masks, faders, link.
    cx0, cy0 = G.IO_ORIGIN
    levels = state.get("levels", [-12.0, -14.0, -6.0, -7.5])
    for x, level in zip(G.STRIP_XS, levels):
        v.draw("level_strip", (cx0 + x, cy0 + 40, 4, 306))
        v.fill_path(meter_mask(cx0, cy0, x, max(-60.0, min(0.0, level)) * -309.0 / 60.0), MASK)
    for fader, value in ((G.INPUT_FADER, state.get("in", 0.0)), (G.OUTPUT_FADER, state.get("out", -3.5))):
        fx, fy, fw, fh = fader
        top = fh - 50.0
        y = int(top + (value + 20.0) * (-5.0 - top) / 40.0)
        x = int(fw // 2 - 28)
        clip = (cx0 + fx, cy0 + fy, fw, fh)
        v.draw("fader_thumb", (cx0 + fx + x, cy0 + fy + y, 56, 56), clip)
        v.text("%.1f" % value, (cx0 + fx + x, cy0 + fy + y, 56, 56), 13, (255, 255, 255, 255))
    lx, ly, lw, lh = G.LINK_BUTTON
    if state.get("link", False):
        v.draw("link_on", (cx0 + lx - 1, cy0 + ly - 1, 36, 49), (cx0 + lx, cy0 + ly, lw, lh))
    else:
        v.draw("link_off", (cx0 + lx + 1, cy0 + ly + 1, 32, 45), (cx0 + lx, cy0 + ly, lw, lh))

    # Depth knob.
    dx, dy = G.DEPTH_SLIDER_ORIGIN
    v.draw("depth_ring", (dx, dy, 271, 271))
    v.fill_path(depth_mask(dx, dy, G.depth_angle(state.get("depth", 4.0))), MASK, (dx, dy, 271, 271))
    v.draw("depth_cap", (dx + 33, dy + 34, 204, 204))
    if state.get("hover", False):
        v.text("%.1f" % state.get("depth", 4.0), (dx + 110, dy + 165, 50, 25), 17, (255, 255, 255, 255), "top")

    # Depth EQ arc and its switch.
    ex, ey = G.EQ_ORIGIN
    eq_on = not state.get("eqoff", False)
    theta = G.eq_angle(state.get("eq", 2.5)) if eq_on else G.EQ_OFF_ANGLE
    v.draw("eq_arc", (ex - 477, ey - 127, 602, 593), (ex, ey, 160, 330))
    v.fill_path(eq_mask(ex, ey, theta), MASK, (ex, ey, 160, 330))
    sx, sy, sw, sh = G.EQ_SWITCH
    if eq_on:
        v.draw("eq_switch_on", (ex + sx - 4, ey + sy - 4, 72, 72), (ex + sx, ey + sy, sw, sh))
    else:
        v.draw("eq_switch_off", (ex + sx, ey + sy, 64, 64), (ex + sx, ey + sy, sw, sh))

    v.draw("preset_face", G.IMAGES["preset_face"][1])
    v.draw("info_face_hover" if state.get("infohover") else "info_face", G.IMAGES["info_face"][1] if not state.get("infohover") else G.IMAGES["info_face_hover"][1])
    if state.get("info", False):
        v.draw("info_panel", G.IMAGES["info_panel"][1])
    v.draw("bypass_face", G.IMAGES["bypass_face"][1])
    if state.get("bypassed", False):
        v.draw("bypass_overlay", (0, 0, 720, 480))
    return v.img


def parse(args):
    state = {}
    for a in args:
        if "=" in a:
            k, val = a.split("=", 1)
            state[k] = [float(x) for x in val.split(",")] if k == "levels" else float(val)
        else:
            state[a] = True
    return state


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "resources", "artwork")
    out = sys.argv[2] if len(sys.argv) > 2 else "/tmp/lumbrane-preview.png"
    img = compose(folder, parse(sys.argv[3:]))
    img.convert("RGB").save(out)
    print(out)


if __name__ == "__main__":
    main()
