"""Editor geometry that the artwork has to agree with.

Every length is in window pixels at scale 1 (the 720 x 480 window). Angles are radians measured
clockwise from twelve o'clock, the framework's rotary convention, so the point at angle a on a
circle of radius r about (cx, cy) is (cx + r sin a, cy - r cos a).
"""

import math

WINDOW_W, WINDOW_H = 720, 480
WINDOW_COLOUR = (0x3C, 0x3C, 0x43)

# Panels in the window.
IO_ORIGIN = (38, 57)
DEPTH_SEGMENT_ORIGIN = (WINDOW_W // 2 - 155, 83)
DEPTH_SLIDER_ORIGIN = (DEPTH_SEGMENT_ORIGIN[0] + 20, DEPTH_SEGMENT_ORIGIN[1] + 20)
EQ_ORIGIN = (540, 70)
INFO_CLOSED = (522, 443, 190, 30)
BYPASS_CLOSED = (533, 23, 86, 44)
PRESET_BOUNDS = (66, 23, 84, 44)

# Gain column (column coordinates).
INPUT_FADER = (4, 33, 52, 323)
OUTPUT_FADER = (82, 33, 52, 323)
LINK_BUTTON = (53, 160, 35, 47)
STRIP_XS = (26, 32, 103, 109)
STRIP_TOP, STRIP_BOTTOM = 39.75, 346.25          # where fill-destination puts the 4 x 306.5 strip
METER_ZERO_Y = 40.0                              # mask reaches here at 0 dB
METER_PIXELS_PER_DB = 309.0 / 60.0


def meter_y(db):
    """Column y of the top of a bar showing `db` (0 to -60)."""
    return METER_ZERO_Y - db * METER_PIXELS_PER_DB


FADER_RANGE = (-20.0, 20.0)


def fader_thumb_centre(db):
    """Column y of the thumb's centre at a gain of `db`: the look-and-feel's top edge, truncated
    as it truncates, plus half the 56-pixel thumb."""
    lo, hi = FADER_RANGE
    top = INPUT_FADER[3] - 50.0
    edge = top + (db - lo) * (-5.0 - top) / (hi - lo)
    return INPUT_FADER[1] + int(edge) + 28.0


# Depth knob (slider coordinates; the slider is 271 x 271).
DEPTH_CENTRE = (135.5, 135.5)
DEPTH_START = 3.7070794
DEPTH_END = 8.906415
DEPTH_MASK_INNER, DEPTH_MASK_OUTER = 98.25, 126.75
DEPTH_RANGE = (-15.0, 15.0)


def depth_angle(value):
    lo, hi = DEPTH_RANGE
    return DEPTH_START + (value - lo) / (hi - lo) * (DEPTH_END - DEPTH_START)


# Depth EQ arc (slider coordinates; the slider is 160 x 330 at the panel's origin).
EQ_CENTRE = (-181.8, 170.0)
EQ_START = 2.0483184        # lower end, Depth EQ 1
EQ_END = 1.0681415          # upper end, Depth EQ 4
EQ_OFF_ANGLE = 0.662 * math.pi
EQ_MASK_INNER, EQ_MASK_OUTER = 259.0, 291.0
EQ_RANGE = (1.0, 4.0)
EQ_SWITCH = (5, 310, 64, 64)


def eq_angle(value):
    lo, hi = EQ_RANGE
    return EQ_START + (value - lo) / (hi - lo) * (EQ_END - EQ_START)


def polar(centre, r, a):
    return centre[0] + r * math.sin(a), centre[1] - r * math.cos(a)


def fill_destination(png_w, png_h, box):
    """Where drawImageWithin(fillDestination) puts a PNG that was first halved.

    Returns (ox, oy, dw, dh): the drawn rectangle, which may overhang `box`.
    """
    bx, by, bw, bh = box
    hw, hh = png_w // 2, png_h // 2
    s = max(bw / hw, bh / hh)
    dw, dh = hw * s, hh * s
    return bx + (bw - dw) / 2.0, by + (bh - dh) / 2.0, dw, dh


# Every image: PNG size and the box it is drawn into, in the coordinates of the component
# that draws it. Drawn sizes follow the editor's "half the held image" rule.
IMAGES = {
    "background":        ((2892, 1932), (0, 0, 720, 480)),
    "fader_thumb":       ((226, 226), (0, 0, 56, 56)),
    "level_strip":       ((16, 1226), (0, 40, 4, 306)),
    "link_on":           ((146, 196), (-1, -1, 36, 49)),
    "link_off":          ((130, 180), (1, 1, 32, 45)),
    "depth_ring":        ((1084, 1084), (0, 0, 271, 271)),
    "depth_cap":         ((825, 825), (33, 34, 204, 204)),
    "eq_arc":            ((2420, 2372), (-477, -127, 602, 593)),
    "eq_switch_on":      ((290, 290), (-4, -4, 72, 72)),
    "eq_switch_off":     ((258, 258), (0, 0, 64, 64)),
    "bypass_overlay":    ((2880, 1920), (0, 0, 720, 480)),
    "bypass_face":       ((312, 146), (537, 27, 78, 36)),
    "bypass_face_down":  ((220, 54), (549, 39, 55, 13)),
    "info_panel":        ((1078, 720), (226, 150, 269, 180)),
    "info_face":         ((715, 123), (528, 443, 178, 30)),
    "info_face_hover":   ((723, 131), (527, 442, 180, 32)),
    "preset_face":       ((312, 146), (69, 27, 78, 36)),
    "preset_face_down":  ((220, 54), (81, 39, 55, 13)),
}

# The manual link's hot area on the open information panel, in window coordinates.
MANUAL_LINK_AREA = (338, 268, 45, 12)
