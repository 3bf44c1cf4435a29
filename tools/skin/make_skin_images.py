#!/usr/bin/env python3
"""Draws the skin's bitmaps into resources/ (or the folder given as the only argument).

    python3 tools/skin/make_skin_images.py [OUT_DIR]

Only the standard library is used (zlib, struct), and the output is the same byte for
byte on every run, so the committed images can be regenerated and compared. The module
build does not run this: it packs the committed files.

Layout facts shared with resources/skin.xml: the meter bar sits at 21,15 (19 x 230) and
spans +18 LU at the top to -36 LU at the bottom; the short-term indicator's track is the
background's section 42,10,8,240; the unit pictures are drawn right-aligned so that "LU"
and "LUFS" end on the same column wherever the skin places them.
"""

import os
import struct
import sys
import zlib

VERSION = "1.0.0.181"
VENDOR = "Halvernik"

# ---- Colours ------------------------------------------------------------------------------


def rgb(hex_text, alpha=1.0):
    v = int(hex_text.lstrip("#"), 16)
    return ((v >> 16) / 255.0, ((v >> 8) & 255) / 255.0, (v & 255) / 255.0, alpha)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(4))


def scaled(c, f):
    return (c[0] * f, c[1] * f, c[2] * f, c[3])


TEAL = rgb("#06FBC5")  # the skin's "ap.data.normal": values are drawn in it
TEAL_DEEP = rgb("#0B7F6A")
AMBER = rgb("#FFC53D")
RED = rgb("#FF4A3D")
BACK_TOP = rgb("#181C21")
BACK_BOTTOM = rgb("#0F1215")
PANEL = rgb("#1D2228")
PANEL_EDGE = rgb("#2E353E")
PANEL_LIGHT = rgb("#262C33")
WELL = rgb("#07090B")
LABEL = rgb("#8E9BAA")
DIM = rgb("#56616D")
UNIT = rgb("#A9B6C4")

# ---- Canvas -------------------------------------------------------------------------------


class Canvas:
    """Straight-alpha RGBA in floats; every primitive takes a coverage per pixel."""

    def __init__(self, width, height, colour=(0.0, 0.0, 0.0, 0.0)):
        self.w, self.h = width, height
        self.px = [list(colour) for _ in range(width * height)]

    def blend(self, x, y, c, cover=1.0):
        if cover <= 0.0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        a = c[3] * min(cover, 1.0)
        p = self.px[y * self.w + x]
        out_a = a + p[3] * (1.0 - a)
        if out_a <= 0.0:
            return
        for i in range(3):
            p[i] = (c[i] * a + p[i] * p[3] * (1.0 - a)) / out_a
        p[3] = out_a

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y * self.w + x] = list(c)

    def get(self, x, y):
        return tuple(self.px[y * self.w + x])

    def rect(self, x0, y0, x1, y1, c):
        """Fills [x0, x1) x [y0, y1) with fractional edges."""
        for y in range(int(y0), int(-(-y1 // 1))):
            cy = min(y + 1, y1) - max(y, y0)
            for x in range(int(x0), int(-(-x1 // 1))):
                cx = min(x + 1, x1) - max(x, x0)
                self.blend(x, y, c, cx * cy)

    def vgradient(self, x0, y0, x1, y1, top, bottom):
        for y in range(y0, y1):
            t = (y - y0) / max(1, y1 - y0 - 1)
            c = mix(top, bottom, t)
            for x in range(x0, x1):
                self.blend(x, y, c)

    def round_rect(self, x0, y0, x1, y1, r, c):
        """Rounded rectangle [x0, x1) x [y0, y1), corners antialiased by 4 x 4 samples."""
        for y in range(int(y0), int(y1)):
            for x in range(int(x0), int(x1)):
                inside = 0
                for sy in range(4):
                    for sx in range(4):
                        px = x + (sx + 0.5) / 4
                        py = y + (sy + 0.5) / 4
                        dx = max(x0 + r - px, 0.0, px - (x1 - r))
                        dy = max(y0 + r - py, 0.0, py - (y1 - r))
                        if dx * dx + dy * dy <= r * r:
                            inside += 1
                self.blend(x, y, c, inside / 16.0)

    def frame(self, x0, y0, x1, y1, r, edge, fill):
        self.round_rect(x0, y0, x1, y1, r, edge)
        self.round_rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, max(r - 1, 0), fill)

    def disc(self, cx, cy, r, c):
        for y in range(int(cy - r - 1), int(cy + r + 2)):
            for x in range(int(cx - r - 1), int(cx + r + 2)):
                inside = 0
                for sy in range(4):
                    for sx in range(4):
                        dx = x + (sx + 0.5) / 4 - cx
                        dy = y + (sy + 0.5) / 4 - cy
                        if dx * dx + dy * dy <= r * r:
                            inside += 1
                self.blend(x, y, c, inside / 16.0)

    def rgba_rows(self):
        rows = []
        for y in range(self.h):
            row = bytearray()
            for x in range(self.w):
                p = self.px[y * self.w + x]
                row += bytes(max(0, min(255, int(round(v * 255)))) for v in p)
            rows.append(bytes(row))
        return rows


# ---- Lettering ----------------------------------------------------------------------------
# A 5 x 7 face (cap height 7, two rows for descenders) and a 3 x 5 face for scale numbers.
# Glyphs are proportional: blank columns at either side are dropped.

FONT = {
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "B": ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "D": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "G": [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"],
    "H": ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "I": ["###", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
    "J": ["..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."],
    "K": ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "N": ["#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "Q": [".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "W": ["#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."],
    "X": ["#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"],
    "Y": ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
    "Z": ["#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "b": ["#....", "#....", "#.##.", "##..#", "#...#", "#...#", "####."],
    "c": [".....", ".....", ".###.", "#....", "#....", "#...#", ".###."],
    "d": ["....#", "....#", ".##.#", "#..##", "#...#", "#...#", ".####"],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "f": ["..##.", ".#..#", ".#...", "###..", ".#...", ".#...", ".#..."],
    "g": [".....", ".....", ".####", "#...#", "#...#", "#...#", ".####", "....#", ".###."],
    "h": ["#....", "#....", "#.##.", "##..#", "#...#", "#...#", "#...#"],
    "i": [".#.", "...", "##.", ".#.", ".#.", ".#.", "###"],
    "j": ["...#", "....", "..##", "...#", "...#", "...#", "...#", "#..#", ".##."],
    "k": ["#...", "#...", "#..#", "#.#.", "##..", "#.#.", "#..#"],
    "l": ["##.", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
    "m": [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    "n": [".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#"],
    "o": [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    "p": [".....", ".....", "####.", "#...#", "#...#", "#...#", "####.", "#....", "#...."],
    "q": [".....", ".....", ".####", "#...#", "#...#", "#...#", ".####", "....#", "....#"],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "s": [".....", ".....", ".####", "#....", ".###.", "....#", "####."],
    "t": [".#...", ".#...", "###..", ".#...", ".#...", ".#..#", "..##."],
    "u": [".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"],
    "v": [".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "w": [".....", ".....", "#...#", "#...#", "#.#.#", "#.#.#", ".#.#."],
    "x": [".....", ".....", "#...#", ".#.#.", "..#..", ".#.#.", "#...#"],
    "y": [".....", ".....", "#...#", "#...#", "#...#", "#...#", ".####", "....#", ".###."],
    "z": [".....", ".....", "#####", "...#.", "..#..", ".#...", "#####"],
    "0": [".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."],
    "1": [".#.", "##.", ".#.", ".#.", ".#.", ".#.", "###"],
    "2": [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
    "3": ["#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."],
    "4": ["...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."],
    "5": ["#####", "#....", "####.", "....#", "....#", "#...#", ".###."],
    "6": ["..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."],
    "7": ["#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."],
    "8": [".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."],
    "9": [".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."],
    ".": ["..", "..", "..", "..", "..", "##", "##"],
    ",": ["..", "..", "..", "..", "..", "##", "##", ".#", "#."],
    ":": ["..", "##", "##", "..", "##", "##", ".."],
    "-": ["...", "...", "...", "###", "...", "...", "..."],
    "+": [".....", "..#..", "..#..", "#####", "..#..", "..#..", "....."],
    "/": [".....", "....#", "...#.", "..#..", ".#...", "#....", "....."],
    "|": ["#", "#", "#", "#", "#", "#", "#"],
}

MINI = {
    "0": ["###", "#.#", "#.#", "#.#", "###"],
    "1": [".#.", "##.", ".#.", ".#.", "###"],
    "2": ["###", "..#", "###", "#..", "###"],
    "3": ["###", "..#", ".##", "..#", "###"],
    "4": ["#.#", "#.#", "###", "..#", "..#"],
    "5": ["###", "#..", "###", "..#", "###"],
    "6": ["###", "#..", "###", "#.#", "###"],
    "7": ["###", "..#", ".#.", ".#.", ".#."],
    "8": ["###", "#.#", "###", "#.#", "###"],
    "9": ["###", "#.#", "###", "..#", "###"],
    "-": ["...", "...", "###", "...", "..."],
    "+": ["...", ".#.", "###", ".#.", "..."],
    "L": ["#..", "#..", "#..", "#..", "###"],
    "U": ["#.#", "#.#", "#.#", "#.#", "###"],
    "M": ["#.#", "###", "#.#", "#.#", "#.#"],
    "A": [".#.", "#.#", "###", "#.#", "#.#"],
    "X": ["#.#", "#.#", ".#.", "#.#", "#.#"],
}


def glyph_mask(face, ch, bold=False):
    """Rows of booleans for one character, trimmed to its inked columns."""
    if ch == " ":
        return [[False] * (2 if face is MINI else 3)]
    rows = [[c == "#" for c in r] for r in face[ch]]
    if bold:
        rows = [[r[i] or (i > 0 and r[i - 1]) for i in range(len(r))] + [r[-1]] for r in rows]
    return rows


def text_masks(face, text, bold=False):
    return [glyph_mask(face, ch, bold) for ch in text]


def text_width(face, text, bold=False, gap=1):
    masks = text_masks(face, text, bold)
    return sum(len(m[0]) for m in masks) + gap * (len(masks) - 1)


def scale2x(mask):
    """Doubles a boolean mask, rounding its diagonals (the EPX rule)."""
    h, w = len(mask), len(mask[0])
    def at(x, y):
        return mask[y][x] if 0 <= x < w and 0 <= y < h else False
    out = [[False] * (2 * w) for _ in range(2 * h)]
    for y in range(h):
        for x in range(w):
            p = at(x, y)
            a, b, c, d = at(x, y - 1), at(x + 1, y), at(x - 1, y), at(x, y + 1)
            e0 = e1 = e2 = e3 = p
            if c == a and c != d and a != b:
                e0 = a
            if a == b and a != c and b != d:
                e1 = b
            if d == c and d != b and c != a:
                e2 = c
            if b == d and b != a and d != c:
                e3 = d
            out[2 * y][2 * x], out[2 * y][2 * x + 1] = e0, e1
            out[2 * y + 1][2 * x], out[2 * y + 1][2 * x + 1] = e2, e3
    return out


def draw_text(cv, x, y, text, colour, face=FONT, size=1.0, bold=False, smooth=0, gap=1):
    """Draws text with its top-left at (x, y); one font dot is `size` pixels.

    smooth > 0 refines the dots with that many EPX doublings first, so large text
    gets rounded, antialiased diagonals."""
    for mask in text_masks(face, text, bold):
        width = len(mask[0])
        if text != " " and any(any(r) for r in mask):
            m = mask
            for _ in range(smooth):
                m = scale2x(m)
            cell = size / (2 ** smooth)
            for j, row in enumerate(m):
                for i, on in enumerate(row):
                    if on:
                        cv.rect(x + i * cell, y + j * cell, x + (i + 1) * cell, y + (j + 1) * cell, colour)
        x += (width + gap) * size


def draw_text_right(cv, right, y, text, colour, face=FONT, size=1.0, bold=False):
    # Whole-pixel origins keep small lettering crisp.
    draw_text(cv, round(right - text_width(face, text, bold) * size), y, text, colour, face, size, bold)


def draw_text_centre(cv, centre, y, text, colour, face=FONT, size=1.0, bold=False, smooth=0):
    draw_text(cv, round(centre - text_width(face, text, bold) * size / 2.0), y, text, colour, face, size, bold, smooth)


# ---- The meter scale ----------------------------------------------------------------------

METER_X, METER_Y, METER_W, METER_H = 21, 15, 19, 230
LU_TOP, LU_BOTTOM = 18.0, -36.0


def lu_at_row(y):
    """Loudness (LU) at the centre of row y of the meter bar."""
    return LU_TOP - (y + 0.5) * (LU_TOP - LU_BOTTOM) / METER_H


def row_of_lu(lu):
    return (LU_TOP - lu) * METER_H / (LU_TOP - LU_BOTTOM)


def zone_colour(lu):
    if lu >= 6.0:
        return RED
    if lu >= 0.0:
        return AMBER
    t = (lu - LU_BOTTOM) / (0.0 - LU_BOTTOM)
    return mix(TEAL_DEEP, TEAL, t)


def is_gap_row(y):
    # Segments of three rows and a one-row gap, counted from the bottom.
    return (METER_H - 1 - y) % 4 == 3


def meter_bar(lit):
    cv = Canvas(METER_W, METER_H)
    for y in range(METER_H):
        lu = lu_at_row(y)
        for x in range(METER_W):
            if x == 0 or x == METER_W - 1:
                continue  # the meter well shows at either side
            if is_gap_row(y):
                if not lit:
                    cv.set(x, y, WELL)
                continue  # lit: transparent, the unlit bar shows through
            base = zone_colour(lu)
            # A slight rounding across the bar: brighter in the middle.
            shade = 0.82 + 0.18 * (1.0 - abs((x - 9) / 8.0))
            if lit:
                cv.set(x, y, scaled(base, shade))
            else:
                cv.set(x, y, mix(WELL, scaled(base, shade), 0.16))
    return cv


# ---- Background ---------------------------------------------------------------------------


def panel(cv, x0, y0, x1, y1):
    cv.frame(x0, y0, x1, y1, 5, PANEL_EDGE, PANEL)
    cv.rect(x0 + 5, y0 + 1, x1 - 5, y0 + 2, PANEL_LIGHT)


def heading(cv, x, y, text):
    draw_text(cv, x, y, text, LABEL)


def background():
    W, H = 306, 273
    cv = Canvas(W, H)
    cv.vgradient(0, 0, W, H, BACK_TOP, BACK_BOTTOM)

    # Left: the momentary bar with its scale and the short-term indicator's track.
    panel(cv, 2, 3, 54, 269)
    draw_text(cv, METER_X + 5, 7, "LU", DIM, face=MINI)
    cv.rect(METER_X - 1, METER_Y - 1, METER_X + METER_W + 1, METER_Y + METER_H + 1, WELL)
    for lu in range(18, -37, -6):
        y = METER_Y + row_of_lu(lu)
        target = lu == 0
        colour = TEAL if target else DIM
        cv.rect(15, y - 0.5, 19, y + 0.5, colour)
        label = ("+" if lu > 0 else "") + str(lu)
        draw_text_right(cv, 14, round(y) - 2, label, colour if target else LABEL, face=MINI)
    # The track: a groove the handle rides in, with ticks at the scale's steps.
    cv.rect(45, 10, 48, 250, WELL)
    cv.rect(48, 10, 49, 250, PANEL_LIGHT)
    for lu in range(18, -37, -6):
        y = METER_Y + row_of_lu(lu)
        cv.rect(43, y - 0.5, 45, y + 0.5, TEAL if lu == 0 else DIM)

    # Middle: momentary with its maximum, loudness range, true peak.
    panel(cv, 56, 5, 148, 77)
    draw_text_centre(cv, 98, 12, "MOMENTARY", LABEL)
    draw_text_centre(cv, 73, 69, "MAX", DIM, face=MINI)
    panel(cv, 56, 80, 148, 137)
    draw_text_centre(cv, 98, 83, "RANGE", LABEL)
    panel(cv, 56, 140, 148, 192)
    draw_text_centre(cv, 98, 144, "TRUE PEAK", LABEL)
    draw_text_right(cv, 134, 180, "dBTP", UNIT, bold=True)

    # The reset button's seat.
    cv.round_rect(80, 197, 139, 219, 4, rgb("#0A0C0E"))

    # The about switch: the product's name and an "i" in a ring.
    draw_text(cv, 66, 236, "Nivolo", LABEL, size=2.0, smooth=3)
    cv.disc(141, 245, 6.5, LABEL)
    cv.disc(141, 245, 5.3, BACK_BOTTOM)
    cv.rect(140.5, 240.5, 141.5, 241.5, LABEL)
    cv.rect(140.5, 243, 141.5, 249, LABEL)

    # Right: integrated, short-term with its maximum, elapsed time.
    panel(cv, 152, 5, 302, 98)
    heading(cv, 166, 12, "INTEGRATED")
    draw_text(cv, 166, 78, "EBU R128", DIM)
    panel(cv, 152, 102, 302, 181)
    heading(cv, 166, 108, "SHORT TERM")
    draw_text(cv, 196, 166, "MAX", DIM, face=MINI)
    panel(cv, 152, 185, 302, 228)
    heading(cv, 166, 189, "ELAPSED TIME")

    draw_text_right(cv, 298, 255, VENDOR, DIM)
    return cv


# ---- Small pictures -----------------------------------------------------------------------


def unit_label(width, text, right_margin):
    cv = Canvas(width, 12)
    draw_text_right(cv, width - right_margin, 3, text, UNIT, bold=True)
    return cv


def slider_handle():
    cv = Canvas(8, 16)
    cv.round_rect(0, 0, 8, 16, 2.5, rgb("#0A0C0E", 0.9))
    cv.round_rect(1, 1, 7, 15, 2, rgb("#C9D3DD"))
    cv.rect(1, 1, 7, 4, rgb("#E4EAF0", 0.6))
    cv.rect(1, 7, 7, 9, TEAL)  # the reading is where this line is
    return cv


def button_strip():
    """Four 56 x 19 frames stacked: released and pressed, then both lit."""
    under = mix(BACK_TOP, BACK_BOTTOM, 207 / 272.0)
    cv = Canvas(57, 77, under)
    for i, (pressed, lit) in enumerate([(False, False), (True, False), (False, True), (True, True)]):
        top = i * 19
        face_top = rgb("#3A424C") if not pressed else rgb("#20262C")
        face_bottom = rgb("#262C33") if not pressed else rgb("#2B323A")
        cv.round_rect(0, top, 56, top + 19, 4, rgb("#05070A"))
        for y in range(top + 1, top + 18):
            t = (y - top - 1) / 16.0
            c = mix(face_top, face_bottom, t)
            for x in range(1, 55):
                inside = 1.0
                # keep the rounded corners of the outline
                if (x < 3 or x > 52) and (y < top + 3 or y > top + 15):
                    inside = 0.0 if (x in (1, 54) and y in (top + 1, top + 17)) else 0.7
                cv.blend(x, y, c, inside)
        text = TEAL if lit else rgb("#D5DEE7")
        draw_text_centre(cv, 28, top + 6 + (1 if pressed else 0), "RESET", text, bold=True)
    return cv


def about_page(width=306, height=273):
    cv = Canvas(width, height)
    cv.vgradient(0, 0, width, height, rgb("#1A1F25"), rgb("#0C0E11"))
    cv.frame(8, 8, width - 8, height - 8, 8, PANEL_EDGE, rgb("#14181C"))

    # A row of bars in the meter's colours, rising to the target and past it.
    for i in range(27):
        x = 30 + i * 9
        lu = -30 + 40 * (i / 26.0) ** 1.3 + (4 if i % 5 == 2 else 0) - (3 if i % 4 == 1 else 0)
        bar = max(4, int(row_of_lu(LU_BOTTOM) - row_of_lu(lu)) // 3)
        for y in range(0, bar, 3):
            cv.rect(x, 80 - y, x + 6, 82 - y, zone_colour(LU_BOTTOM + (y * 3) * (LU_TOP - LU_BOTTOM) / METER_H))

    draw_text_centre(cv, width / 2, 96, "Nivolo", TEAL, size=5.0, smooth=3)
    draw_text_centre(cv, width / 2, 142, "Loudness Meter", rgb("#D5DEE7"), size=2.0, smooth=3)
    draw_text_centre(cv, width / 2, 166, "EBU R128 / ITU-R BS.1770", LABEL)
    draw_text_centre(cv, width / 2, 190, "Version " + VERSION, rgb("#D5DEE7"), size=2.0, smooth=3)
    draw_text_centre(cv, width / 2, 220, VENDOR, LABEL, size=2.0, smooth=3)
    draw_text_centre(cv, width / 2, 249, "Click anywhere to close", DIM)
    return cv


# ---- File formats -------------------------------------------------------------------------


def png_bytes(cv):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    raw = bytearray()
    previous = bytes(cv.w * 4)
    for row in cv.rgba_rows():
        # Filter each row with whichever of "none" and "up" leaves the smaller sum.
        up = bytes((row[i] - previous[i]) & 255 for i in range(len(row)))
        cost = lambda data: sum(b if b < 128 else 256 - b for b in data)
        if cost(up) < cost(row):
            raw += b"\x02" + up
        else:
            raw += b"\x00" + row
        previous = row
    header = struct.pack(">IIBBBBB", cv.w, cv.h, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def bmp_bytes(cv):
    """24-bit, bottom-up rows padded to four bytes; alpha is flattened onto black."""
    stride = (cv.w * 3 + 3) & ~3
    pixels = bytearray()
    rows = cv.rgba_rows()
    for y in range(cv.h - 1, -1, -1):
        row = rows[y]
        line = bytearray()
        for x in range(cv.w):
            r, g, b, a = row[4 * x:4 * x + 4]
            line += bytes((b * a // 255, g * a // 255, r * a // 255))
        line += bytes(stride - len(line))
        pixels += line
    offset = 14 + 40
    file_header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, cv.w, cv.h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return file_header + info + bytes(pixels)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "resources")
    images = {
        "duravirormeterback.png": png_bytes(meter_bar(lit=False)),
        "duravirormeterfore.png": png_bytes(meter_bar(lit=True)),
        "background.png": png_bytes(background()),
        "Button.bmp": bmp_bytes(button_strip()),
        "LU.png": png_bytes(unit_label(18, "LU", 0)),
        "LUFS.png": png_bytes(unit_label(36, "LUFS", 3)),
        "sliderhandler.png": png_bytes(slider_handle()),
        "Nivolo About.bmp": bmp_bytes(about_page()),
    }
    os.makedirs(out, exist_ok=True)
    for name, data in images.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        print("%-24s %7d bytes" % (name, len(data)))


if __name__ == "__main__":
    main()
