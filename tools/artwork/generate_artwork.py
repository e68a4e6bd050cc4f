#!/usr/bin/python3
"""Draws every image of the editor into resources/artwork/.

    /usr/bin/python3 tools/artwork/generate_artwork.py [output folder]

Each PNG is stored at four times (about; the exact factor follows from the editor's halving and
fill-destination rules) the size at which the editor draws it, and is drawn here in the
coordinates of the component that draws it, from the geometry in geometry.py. Needs python3-pil,
python3-numpy and the fonts-urw-base35 and fonts-dejavu-core packages.
"""

import math
import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from canvas import (Canvas, angle_of, mix, rgb, sd_arc_band, sd_circle, sd_ring,  # noqa: E402
                    sd_round_rect, sd_segment, smoothstep, unwrap_near)
import geometry as G  # noqa: E402

WINDOW = tuple(v / 255.0 for v in G.WINDOW_COLOUR)
HEADER = rgb("#34343a")
DEEP = rgb("#26262b")
GROOVE = rgb("#2b2b31")
EDGE_LIGHT = rgb("#55555e")
LABEL = rgb("#d6d6dd")
SCALE = rgb("#aaaab4")        # every piece of text reaches 4.5:1 on the window and the panels
SCALE_DIM = rgb("#6c6c76")    # minor ticks only, never text
WHITE = rgb("#f2f2f5")
ORANGE_PALE = rgb("#ffd9a8")
ORANGE_MID = rgb("#ff9a3c")
ORANGE_DEEP = rgb("#e8560a")
ORANGE_TEXT = rgb("#ffae5c")
RED = rgb("#ff3b30")


def image_canvas(name):
    size, box = G.IMAGES[name]
    return Canvas(size, box)


# --- window background --------------------------------------------------------------------

def io_to_window(x, y):
    return G.IO_ORIGIN[0] + x, G.IO_ORIGIN[1] + y


def depth_to_window(x, y):
    return G.DEPTH_SLIDER_ORIGIN[0] + x, G.DEPTH_SLIDER_ORIGIN[1] + y


def eq_to_window(x, y):
    return G.EQ_ORIGIN[0] + x, G.EQ_ORIGIN[1] + y


def draw_header(c):
    c.fill(HEADER, c.y - 76.0)
    c.fill(DEEP, np.abs(c.y - 76.5) - 0.5)
    c.fill(rgb("#45454d"), np.abs(c.y - 77.5) - 0.5)
    c.text("Lumbrane", 360, 37, 27, WHITE, font="brand")
    c.text("QUILLFERN", 360, 61, 7.5, SCALE, font="label", tracking=3.2)


def draw_gain_column(c):
    top = G.IO_ORIGIN[1] + G.STRIP_TOP
    bottom = G.IO_ORIGIN[1] + G.STRIP_BOTTOM
    for sx in G.STRIP_XS:
        x, _ = io_to_window(sx, 0)
        # The slot the level strip sits in: visible where the meter hides the strip.
        slot = sd_round_rect(c, x - 1.0, top - 1.0, 6.0, bottom - top + 2.0, 3.0)
        c.fill(GROOVE, slot)
        c.fill(WINDOW, sd_round_rect(c, x, top, 4.0, bottom - top, 2.0))

    # Level scale: ticks beside each pair of strips, one column of numbers between the two meters
    # (both read the same scale). The link switch covers -30 there; its ticks still show it.
    for db in range(0, -61, -5):
        y = G.IO_ORIGIN[1] + G.meter_y(db)
        major = db % 10 == 0
        length = 4.0 if major else 2.5
        colour = SCALE if major else SCALE_DIM
        for pair_left, pair_right in ((26, 36), (103, 113)):
            lx, _ = io_to_window(pair_left, 0)
            rx, _ = io_to_window(pair_right, 0)
            c.fill(colour, sd_segment(c, lx - 3.0 - length, y, lx - 3.0, y, 0.5))
            c.fill(colour, sd_segment(c, rx + 3.0, y, rx + 3.0 + length, y, 0.5))
        if major and db != -30:
            c.text("0" if db == 0 else str(db), 107.5, y, 8.5, SCALE, font="small")

    # The faders' own scale, outside the column: each mark where the thumb's centre stands at
    # that gain, in the thumbs' white so that it does not read as the meters'.
    for db in range(-20, 21, 5):
        y = G.IO_ORIGIN[1] + G.fader_thumb_centre(db)
        major = db % 10 == 0
        colour = LABEL if major else SCALE_DIM
        left = io_to_window(G.INPUT_FADER[0], 0)[0]
        right = io_to_window(G.OUTPUT_FADER[0] + G.OUTPUT_FADER[2], 0)[0]
        c.fill(colour, sd_segment(c, left - (7.0 if major else 5.0), y, left - 3.0, y, 0.55))
        c.fill(colour, sd_segment(c, right + 3.0, y, right + (7.0 if major else 5.0), y, 0.55))
        if major:
            label = "0" if db == 0 else "%+d" % db
            c.text(label, left - 8.5, y, 8.5, LABEL, font="small", anchor="rm")
            c.text(label, right + 8.5, y, 8.5, LABEL, font="small", anchor="lm")

    c.text("INPUT", 68, 431, 9.5, LABEL, tracking=1.6)
    c.text("OUTPUT", 146, 431, 9.5, LABEL, tracking=1.6)
    c.text("dB", 107, 431, 8, SCALE, font="small")


def draw_depth_scale(c):
    cx, cy = depth_to_window(*G.DEPTH_CENTRE)
    for v in range(-15, 16):
        a = G.depth_angle(v)
        major = v % 5 == 0
        r0, r1 = (139.5, 147.0) if major else (140.0, 143.5)
        x0, y0 = G.polar((cx, cy), r0, a)
        x1, y1 = G.polar((cx, cy), r1, a)
        c.fill(SCALE if major else SCALE_DIM, sd_segment(c, x0, y0, x1, y1, 0.6 if major else 0.45))
        if major:
            tx, ty = G.polar((cx, cy), 157.0, a)
            c.text("0" if v == 0 else "%+d" % v, tx, ty, 8.5, SCALE, font="small")
    c.text("BACK", cx - 72.0, 392.0, 8, SCALE, tracking=1.4)
    c.text("FRONT", cx + 72.0, 392.0, 8, SCALE, tracking=1.4)


def draw_eq_scale(c):
    centre = eq_to_window(*G.EQ_CENTRE)
    for i in range(0, 7):
        v = 1.0 + 0.5 * i
        a = G.eq_angle(v)
        major = i % 2 == 0
        r0, r1 = (295.0, 302.0) if major else (295.5, 299.0)
        x0, y0 = G.polar(centre, r0, a)
        x1, y1 = G.polar(centre, r1, a)
        c.fill(SCALE if major else SCALE_DIM, sd_segment(c, x0, y0, x1, y1, 0.6 if major else 0.45))
        if major:
            tx, ty = G.polar(centre, 311.0, a)
            c.text("%d" % v, tx, ty, 9, SCALE, font="small")
    lx, ly = G.polar(centre, 311.0, G.eq_angle(1.0))
    hx, hy = G.polar(centre, 311.0, G.eq_angle(4.0))
    c.text("100 Hz", lx + 7.0, ly, 7.5, SCALE, font="small", anchor="lm")
    c.text("10 kHz", hx + 7.0, hy, 7.5, SCALE, font="small", anchor="lm")

    # Label beside the switch.
    sx, sy = eq_to_window(G.EQ_SWITCH[0] + G.EQ_SWITCH[2], G.EQ_SWITCH[1] + G.EQ_SWITCH[3] / 2)
    c.text("DEPTH EQ", sx + 6, sy - 5, 9.5, LABEL, anchor="lm", tracking=1.6)
    c.text("off = broadband", sx + 6, sy + 8, 7.5, SCALE, font="small", anchor="lm")


def background():
    c = image_canvas("background")
    c.fill(WINDOW, -np.ones_like(c.x))
    draw_header(c)
    draw_gain_column(c)
    draw_depth_scale(c)
    draw_eq_scale(c)
    return c


# --- gain column ------------------------------------------------------------------------

def fader_thumb():
    c = image_canvas("fader_thumb")
    body = sd_round_rect(c, 3.5, 16.0, 49.0, 24.0, 6.0)
    c.shadow(body, 2.2, alpha=0.55, dy=1.8)
    shade = smoothstep(16.0, 40.0, c.y)
    c.fill(mix(rgb("#4a4a53"), rgb("#26262c"), shade), body)
    # Rim: light along the top edge, dark along the bottom.
    rim = np.abs(body + 0.6) - 0.6
    c.fill(mix(rgb("#7a7a86"), rgb("#1c1c20"), smoothstep(18.0, 38.0, c.y)), rim)
    # Level notches at both ends, where the fader's value sits.
    for x0, x1 in ((5.5, 9.5), (46.5, 50.5)):
        c.fill(ORANGE_MID, sd_segment(c, x0, 28.0, x1, 28.0, 0.8))
    return c


def level_strip():
    c = image_canvas("level_strip")
    top, bottom = G.STRIP_TOP, G.STRIP_BOTTOM
    y = c.y
    db = -(y - G.METER_ZERO_Y) / G.METER_PIXELS_PER_DB
    pale = rgb("#f3e3c4")
    colour = mix(pale, ORANGE_MID, smoothstep(-40.0, -12.0, db))
    colour = mix(colour, RED, smoothstep(-6.0, -2.0, db))
    # A faint lengthwise highlight makes the 4-pixel bar read as a lit tube.
    gloss = 1.0 + 0.10 * (1.0 - np.abs(c.x - 1.6) / 2.0)
    c.fill(np.clip(colour * gloss[..., None], 0, 1), sd_round_rect(c, 0.0, top, 4.0, bottom - top, 2.0))
    return c


def chain(c, cx, cy, colour, broken):
    """A vertical two-link chain icon centred at (cx, cy)."""
    gap = 1.6 if broken else 0.0
    for dy in (-4.2 - gap, 4.2 + gap):
        link = sd_round_rect(c, cx - 3.6, cy + dy - 5.6, 7.2, 11.2, 3.6)
        c.fill(colour, np.abs(link + 0.9) - 0.9)


def link_switch(on):
    c = image_canvas("link_on" if on else "link_off")
    cx, cy = 17.0, 19.5
    body = sd_round_rect(c, cx - 11.0, cy - 16.0, 22.0, 32.0, 7.0)
    if on:
        c.shadow(body, 2.4, colour=ORANGE_MID, alpha=0.55)
    else:
        c.shadow(body, 1.4, alpha=0.5, dy=1.0)
    c.fill(mix(rgb("#35353c"), rgb("#28282d"), smoothstep(cy - 16, cy + 16, c.y)), body)
    c.fill(ORANGE_MID if on else rgb("#5a5a64"), np.abs(body + 0.55) - 0.55)
    chain(c, cx, cy, ORANGE_TEXT if on else rgb("#8a8a95"), broken=not on)
    c.text("LINK", cx, 42.0, 6.5, ORANGE_TEXT if on else SCALE, tracking=1.0)
    return c


# --- Depth knob -------------------------------------------------------------------------

DEPTH_TRACK_INNER, DEPTH_TRACK_OUTER = 99.0, 126.0


def depth_ring():
    c = image_canvas("depth_ring")
    cx, cy = G.DEPTH_CENTRE
    r = np.hypot(c.x - cx, c.y - cy)

    # Bevel outside the value band, lit from above.
    bevel = sd_ring(c, cx, cy, 126.5, 135.0)
    light = 0.5 - 0.5 * np.clip((c.y - cy) / 135.0, -1, 1)
    c.fill(mix(rgb("#202025"), rgb("#3a3a42"), light), bevel)
    c.fill(mix(rgb("#1a1a1e"), rgb("#6a6a75"), light ** 2), np.abs(r - 134.6) - 0.45)
    c.fill(rgb("#1c1c21"), np.abs(r - 127.0) - 0.5)

    # Inside the bevel the ring is the window's colour, so the value mask blends in.
    c.fill(WINDOW, r - 126.75)

    # The value track: pale at the start of the sweep, deep orange at its end.
    start = G.DEPTH_START - 4.0 / 112.5
    # Ends a pixel short of the end angle, so no edge shows past the mask at full scale.
    end = G.DEPTH_END - 1.0 / 112.5
    band = sd_arc_band(c, cx, cy, DEPTH_TRACK_INNER, DEPTH_TRACK_OUTER, start, end, 5.0)
    ang = unwrap_near(angle_of(c, cx, cy), 0.5 * (G.DEPTH_START + G.DEPTH_END))
    t = np.clip((ang - G.DEPTH_START) / (G.DEPTH_END - G.DEPTH_START), 0.0, 1.0)
    colour = mix(ORANGE_PALE, ORANGE_MID, smoothstep(0.0, 0.55, t))
    colour = mix(colour, ORANGE_DEEP, smoothstep(0.45, 1.0, t))
    across = (r - DEPTH_TRACK_INNER) / (DEPTH_TRACK_OUTER - DEPTH_TRACK_INNER)
    colour = colour * (1.0 + 0.10 * np.sin(np.clip(across, 0, 1) * math.pi))[..., None]
    c.fill(np.clip(colour, 0, 1), band)
    return c


def depth_cap():
    c = image_canvas("depth_cap")
    cx, cy = 135.0, 136.0                   # where the editor centres the cap
    disc = sd_circle(c, cx, cy, 95.5)
    c.shadow(disc, 3.5, alpha=0.75, dy=1.5)
    dome = np.clip((c.y - (cy - 95.5)) / 191.0, 0.0, 1.0)
    c.fill(mix(rgb("#45454d"), rgb("#36363d"), dome), disc)

    # Knurled rim.
    ang = angle_of(c, cx, cy)
    r = np.hypot(c.x - cx, c.y - cy)
    teeth = 0.5 + 0.5 * np.cos(ang * 72.0)
    knurl = sd_ring(c, cx, cy, 86.0, 93.0)
    c.paint(rgb("#2e2e34"), c.coverage(knurl) * smoothstep(0.6, 0.95, teeth), alpha=0.55)
    light = 0.5 - 0.5 * np.clip((c.y - cy) / 95.5, -1, 1)
    c.fill(mix(rgb("#2b2b31"), rgb("#6e6e79"), light ** 1.5), np.abs(r - 95.0) - 0.5)
    c.fill(rgb("#2c2c32"), np.abs(r - 85.5) - 0.4)

    # Markings across the middle; the value label appears below them on hover.
    c.text("DEPTH", cx, cy - 10.0, 15, LABEL, tracking=3.0)
    c.fill(rgb("#55555f"), sd_segment(c, cx - 34.0, cy + 6.0, cx - 5.0, cy + 6.0, 0.5))
    c.fill(rgb("#55555f"), sd_segment(c, cx + 5.0, cy + 6.0, cx + 34.0, cy + 6.0, 0.5))
    c.fill(ORANGE_MID, sd_circle(c, cx, cy + 6.0, 1.6))
    return c


# --- Depth EQ arc -----------------------------------------------------------------------

EQ_TRACK_INNER, EQ_TRACK_OUTER = 260.5, 289.5


def eq_arc():
    c = image_canvas("eq_arc")
    cx, cy = G.EQ_CENTRE
    r = np.hypot(c.x - cx, c.y - cy)
    lower_end = G.EQ_START + 5.0 / 275.0     # well short of the switched-off mask angle
    assert lower_end < G.EQ_OFF_ANGLE - 0.01

    # The empty channel: dark edges just outside the band the mask covers.
    outline = sd_arc_band(c, cx, cy, G.EQ_MASK_INNER - 2.5, G.EQ_MASK_OUTER + 2.5,
                          G.EQ_END - 2.5 / 275.0, lower_end + 2.5 / 275.0, 7.5)
    c.fill(GROOVE, np.abs(outline + 1.0) - 1.0)

    band = sd_arc_band(c, cx, cy, EQ_TRACK_INNER, EQ_TRACK_OUTER, G.EQ_END + 1.0 / 275.0, lower_end, 5.0)
    ang = unwrap_near(angle_of(c, cx, cy), 1.5)
    t = np.clip((G.EQ_START - ang) / (G.EQ_START - G.EQ_END), 0.0, 1.0)
    colour = mix(ORANGE_PALE, ORANGE_MID, smoothstep(0.0, 0.55, t))
    colour = mix(colour, ORANGE_DEEP, smoothstep(0.45, 1.0, t))
    across = (r - EQ_TRACK_INNER) / (EQ_TRACK_OUTER - EQ_TRACK_INNER)
    colour = colour * (1.0 + 0.10 * np.sin(np.clip(across, 0, 1) * math.pi))[..., None]
    c.fill(np.clip(colour, 0, 1), band)
    return c


def eq_switch(on):
    c = image_canvas("eq_switch_on" if on else "eq_switch_off")
    cx, cy = 32.0, 32.0
    disc = sd_circle(c, cx, cy, 21.0)
    if on:
        c.shadow(disc, 4.0, colour=ORANGE_MID, alpha=0.6)
    else:
        c.shadow(disc, 2.0, alpha=0.6, dy=1.5)
    c.fill(mix(rgb("#3a3a41"), rgb("#27272c"), smoothstep(cy - 21, cy + 21, c.y)), disc)
    c.fill(ORANGE_MID if on else rgb("#5a5a64"), np.abs(disc + 1.0) - 1.0)
    icon = ORANGE_TEXT if on else rgb("#8a8a95")
    # A bell-shaped response curve over a baseline.
    xs = np.linspace(-11.0, 11.0, 45)
    ys = -9.0 * np.exp(-(xs / 4.2) ** 2)
    sd = np.full_like(c.x, 1e9)
    for i in range(len(xs) - 1):
        sd = np.minimum(sd, sd_segment(c, cx + xs[i], cy + 3.0 + ys[i], cx + xs[i + 1], cy + 3.0 + ys[i + 1], 0.9))
    c.fill(icon, sd)
    c.text("ON" if on else "OFF", cx, cy + 11.0, 6.5, icon, tracking=0.8)
    return c


# --- buttons in the header and the footer -----------------------------------------------

def plate_button(name, text, icon):
    c = image_canvas(name)
    x, y, w, h = G.IMAGES[name][1]
    body = sd_round_rect(c, x + 2.0, y + 3.0, w - 4.0, h - 6.0, 7.0)
    c.shadow(body, 1.6, alpha=0.55, dy=1.2)
    c.fill(mix(rgb("#46464e"), rgb("#2d2d33"), smoothstep(y + 3, y + h - 3, c.y)), body)
    c.fill(mix(rgb("#6d6d78"), rgb("#232328"), smoothstep(y + 6, y + h - 6, c.y)), np.abs(body + 0.5) - 0.5)
    mx, my = x + w / 2.0, y + h / 2.0
    text_w = c.text_width(text, 9.0, tracking=1.5)
    left = mx - (text_w + 11.0) / 2.0
    icon(c, left + 3.0, my)
    c.text(text, left + 11.0, my + 0.3, 9.0, LABEL, anchor="lm", tracking=1.5)
    return c


def plate_button_down(name, text):
    c = image_canvas(name)
    x, y, w, h = G.IMAGES[name][1]
    body = sd_round_rect(c, x + 0.5, y + 0.5, w - 1.0, h - 0.5, 6.0)
    c.fill(rgb("#232328"), body)
    c.fill(ORANGE_MID, np.abs(body + 0.4) - 0.4, alpha=0.8)
    c.text(text, x + w / 2.0, y + h / 2.0 + 0.4, 7.5, ORANGE_TEXT, tracking=1.3)
    return c


def power_icon(c, x, y):
    c.fill(rgb("#8f8f9a"), sd_circle(c, x, y, 3.0))


def menu_icon(c, x, y):
    for dy in (-2.5, 0.0, 2.5):
        c.fill(rgb("#8f8f9a"), sd_segment(c, x - 3.0, y + dy, x + 3.0, y + dy, 0.55))


def bypass_overlay():
    c = image_canvas("bypass_overlay")
    fx, fy, fw, fh = G.IMAGES["bypass_face"][1]
    hole = sd_round_rect(c, fx - 1.0, fy + 1.0, fw + 2.0, fh - 2.0, 9.0)
    c.fill(rgb("#141417"), -hole, alpha=0.82)
    # The face stays in view with a lit ring and a lit lamp over its dark one.
    c.fill(ORANGE_MID, np.abs(hole) - 1.0)
    c.shadow(np.abs(hole) - 1.0, 2.5, colour=ORANGE_MID, alpha=0.6)
    text_w = c.text_width("BYPASS", 9.0, tracking=1.5)
    lamp_x = fx + fw / 2.0 - (text_w + 11.0) / 2.0 + 3.0
    lamp = sd_circle(c, lamp_x, fy + fh / 2.0, 3.0)
    c.shadow(lamp, 2.0, colour=ORANGE_MID, alpha=0.9)
    c.fill(rgb("#ffc070"), lamp)
    c.text("BYPASSED", 360, 228, 30, WHITE, font="brand", tracking=4.0)
    c.text("The signal passes through untouched.", 360, 262, 11, LABEL, font="text")
    c.text("Click anywhere to switch Lumbrane back on.", 360, 280, 11, SCALE, font="text")
    return c


def info_icon(c, x, y, colour):
    c.fill(colour, np.abs(sd_circle(c, x, y, 6.0)) - 0.6)
    c.fill(colour, sd_segment(c, x, y - 0.5, x, y + 3.0, 0.75))
    c.fill(colour, sd_circle(c, x, y - 3.0, 0.9))


def info_face(hover):
    c = image_canvas("info_face_hover" if hover else "info_face")
    # Both faces share one layout in window coordinates so the text does not move on hover.
    x, y, w, h = 528, 443, 178, 30
    if hover:
        c.fill(rgb("#46464e"), sd_round_rect(c, x - 0.5, y - 0.5, w + 1.0, h + 1.0, 8.0))
    colour = WHITE if hover else SCALE
    info_icon(c, x + 44.0, y + 15.0, ORANGE_TEXT if hover else SCALE)
    c.text("ABOUT  ·  MANUAL", x + 56.0, y + 15.3, 8.5, colour, anchor="lm", tracking=1.2)
    return c


def info_panel():
    c = image_canvas("info_panel")
    x, y, w, h = 226.0, 150.0, 269.0, 180.0
    body = sd_round_rect(c, x + 1.0, y + 1.0, w - 2.0, h - 2.0, 10.0)
    c.fill(rgb("#2a2a30"), body, alpha=0.97)
    c.fill(rgb("#5c5c66"), np.abs(body + 0.5) - 0.5)
    mx = x + w / 2.0
    c.text("Lumbrane", mx, y + 28.0, 24, WHITE, font="brand")
    c.text("LEARNED DEPTH PROCESSOR", mx, y + 50.0, 7.5, ORANGE_TEXT, tracking=1.8)
    c.fill(rgb("#45454e"), sd_segment(c, x + 40.0, y + 62.0, x + w - 40.0, y + 62.0, 0.5))
    lines = ("Depth brings a source forward or pushes it back.",
             "Depth EQ picks where in the spectrum it acts.",
             "The manual describes every control and preset:")
    for i, line in enumerate(lines):
        c.text(line, mx, y + 76.0 + 13.0 * i, 8.5, LABEL, font="text")

    lx, ly, lw, lh = G.MANUAL_LINK_AREA
    c.fill(rgb("#3a2a1c"), sd_round_rect(c, lx - 1.0, ly - 1.0, lw + 2.0, lh + 2.0, 3.0))
    c.text("Manual", lx + lw / 2.0, ly + lh / 2.0 - 0.3, 9.5, ORANGE_TEXT, font="text-bold")
    uw = c.text_width("Manual", 9.5, font="text-bold")
    c.fill(ORANGE_TEXT, sd_segment(c, lx + lw / 2.0 - uw / 2.0, ly + lh - 0.8,
                                   lx + lw / 2.0 + uw / 2.0, ly + lh - 0.8, 0.4))

    c.text("Quillfern", mx, y + 146.0, 8.5, SCALE, font="brand-book")
    c.text("Click outside this panel to close it.", mx, y + 163.0, 7.5, SCALE, font="small")
    return c


IMAGES = {
    "background": background,
    "fader_thumb": fader_thumb,
    "level_strip": level_strip,
    "link_on": lambda: link_switch(True),
    "link_off": lambda: link_switch(False),
    "depth_ring": depth_ring,
    "depth_cap": depth_cap,
    "eq_arc": eq_arc,
    "eq_switch_on": lambda: eq_switch(True),
    "eq_switch_off": lambda: eq_switch(False),
    "bypass_overlay": bypass_overlay,
    "bypass_face": lambda: plate_button("bypass_face", "BYPASS", power_icon),
    "bypass_face_down": lambda: plate_button_down("bypass_face_down", "BYPASS"),
    "info_panel": info_panel,
    "info_face": lambda: info_face(False),
    "info_face_hover": lambda: info_face(True),
    "preset_face": lambda: plate_button("preset_face", "PRESETS", menu_icon),
    "preset_face_down": lambda: plate_button_down("preset_face_down", "PRESETS"),
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "resources", "artwork")
    os.makedirs(out, exist_ok=True)
    only = set(sys.argv[2:])
    for name, draw in IMAGES.items():
        if only and name not in only:
            continue
        canvas = draw()
        assert (canvas.w, canvas.h) == G.IMAGES[name][0]
        path = os.path.join(out, name + ".png")
        canvas.save(path)
        print("%-18s %4d x %4d  %7d bytes" % (name, canvas.w, canvas.h, os.path.getsize(path)))


if __name__ == "__main__":
    main()
