#!/usr/bin/env python3
"""Writes the SVG sources of the shell's pictures (resources/pictures/*.svg).

The SVG files are the sources the build renders; this script is how they were drawn, so a change
of palette or style is made here and the files are written again:

    python3 tools/pictures/drawpictures.py resources/pictures

Lettering is drawn as stroked paths from a small built-in stroke alphabet, so no render depends
on an installed font. Every picture is drawn in its own layout size (the viewBox); the build
renders it at 1x and 2x.
"""
import math
import os
import sys

# Palette of the window program.
BLUE = "#0079D8"
BLUE_DARK = "#0071B5"
BLUE_LIGHT = "#39A5FD"
BLUE_PALE = "#CCE4F7"
RED = "#FF015C"
GREEN = "#679F02"
AMBER = "#F5A623"
GREY_TEXT = "#575757"
GREY_LINE = "#D2D2D2"
GREY_FRAME = "#B9B9B9"
GREY_MID = "#9F9F9F"
GREY_TRACK = "#E5E5E5"
GREY_BACK = "#F0F0F0"
GREY_BORDER = "#BFBFBF"
INFO_FILL = "#F0ECEC"
WHITE = "#FFFFFF"

# Stroke alphabet on a grid 10 units high: (advance width, path data).
GLYPHS = {
    "T": (7, "M0 0H7M3.5 0V10"),
    "A": (7.4, "M0 10L3.7 0L7.4 10M1.35 6.3H6.05"),
    "R": (6.4, "M0 10V0H3.4A2.9 2.9 0 0 1 3.4 5.8H0M3.2 5.8L6.4 10"),
    "V": (7.4, "M0 0L3.7 10L7.4 0"),
    "I": (0, "M0 0V10"),
    "K": (6.2, "M0 0V10M6.2 0L0 6.4M2.2 4.2L6.4 10"),
    "D": (7, "M0 0H2.4A4.6 5 0 0 1 2.4 10H0Z"),
    "O": (8, "M4 0A4 5 0 1 1 4 10A4 5 0 1 1 4 0Z"),
    "N": (7, "M0 10V0L7 10V0"),
}
LETTER_GAP = 3.2


def word_width(text):
    return sum(GLYPHS[c][0] for c in text) + LETTER_GAP * (len(text) - 1)


def lettering(text, x, y, height, colour, weight=1.9):
    """Stroked letters with their top-left corner at (x, y), `height` pixels high."""
    s = height / 10.0
    parts, pos = [], 0.0
    for c in text:
        adv, d = GLYPHS[c]
        parts.append(f'<path transform="translate({pos:.2f} 0)" d="{d}"/>')
        pos += adv + LETTER_GAP
    return (f'<g transform="translate({x:.2f} {y:.2f}) scale({s:.4f})" fill="none" '
            f'stroke="{colour}" stroke-width="{weight}" stroke-linecap="round" '
            f'stroke-linejoin="round">' + "".join(parts) + "</g>")


def svg(width, height, body, view=None):
    vb = view or f"0 0 {width} {height}"
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
            f'viewBox="{vb}">\n{body}\n</svg>\n')


# Menu icons: 30 x 30 line drawings, blue on white (normal) or white on the blue gradient
# (selected).
def menu_icon(kind, c):
    def stw(w):
        return f'fill="none" stroke="{c}" stroke-width="{w}" stroke-linecap="round" stroke-linejoin="round"'
    st = stw(2)
    if kind == "SSD":
        return (f'<rect x="5" y="4" width="20" height="22" rx="3" {st}/>'
                f'<rect x="9" y="9" width="12" height="7" rx="1" fill="{c}"/>'
                f'<path d="M10 21H12M14 21H16M18 21H20" {st}/>')
    if kind == "DIAG":
        return (f'<circle cx="13" cy="13" r="8.5" {st}/><path d="M19.5 19.5L26 26" {stw(3)}/>'
                f'<path d="M7.5 13.5H10L12 9.5L14.5 17L16.5 13.5H18.5" {st}/>')
    if kind == "UTIL":
        teeth = "".join(
            f'<rect x="13" y="2.5" width="4" height="5" rx="1" fill="{c}" '
            f'transform="rotate({a} 15 15)"/>' for a in range(0, 360, 45))
        return teeth + f'<circle cx="15" cy="15" r="8" {stw(3)}/>' \
            f'<circle cx="15" cy="15" r="3" fill="{c}"/>'
    if kind == "OPTI":
        return (f'<path d="M4.5 21A10.5 10.5 0 1 1 25.5 21" {stw(2.4)}/>'
                f'<path d="M15 20L21 10.5" {stw(2.4)}/>'
                f'<circle cx="15" cy="20" r="2.6" fill="{c}"/>'
                f'<path d="M6 25H24" {st}/>')
    if kind == "SYS":
        return (f'<rect x="3.5" y="5" width="23" height="15" rx="2" {st}/>'
                f'<path d="M15 20V25M9.5 25.5H20.5" {st}/>'
                f'<path d="M8 15.5L12 11.5L15 14L21 9" {st}/>')
    if kind == "BENCH":
        return (f'<rect x="5" y="15" width="5" height="10" rx="1" fill="{c}"/>'
                f'<rect x="12.5" y="9" width="5" height="16" rx="1" fill="{c}"/>'
                f'<rect x="20" y="4" width="5" height="21" rx="1" fill="{c}"/>'
                f'<path d="M3 27H27" {st}/>')
    if kind == "CLONE":
        back = WHITE if c != WHITE else BLUE
        front = st.replace('fill="none"', f'fill="{back}"')
        return (f'<rect x="3.5" y="4" width="14" height="17" rx="2" {st}/>'
                f'<rect x="12.5" y="9" width="14" height="17" rx="2" {front}/>'
                f'<path d="M16.5 17.5H22.5M20 15L22.5 17.5L20 20" {st}/>')
    raise ValueError(kind)


def drive_icon(ssd):
    if ssd:
        return (f'<rect x="4" y="3" width="22" height="24" rx="3" fill="{BLUE}"/>'
                f'<rect x="8" y="7" width="14" height="8" rx="1.5" fill="{WHITE}"/>'
                f'<path d="M9 21H11M14 21H16M19 21H21" stroke="{WHITE}" stroke-width="2" '
                f'stroke-linecap="round"/>')
    return (f'<rect x="4" y="3" width="22" height="24" rx="3" fill="{GREY_TEXT}"/>'
            f'<circle cx="15" cy="13" r="7.5" fill="{GREY_MID}"/>'
            f'<circle cx="15" cy="13" r="2" fill="{GREY_TEXT}"/>'
            f'<path d="M21.5 23L16.2 14.3" stroke="{WHITE}" stroke-width="2" stroke-linecap="round"/>'
            f'<circle cx="8" cy="23" r="1.2" fill="{WHITE}"/>')


def exclamation(cx, top, bottom, colour, w):
    return (f'<path d="M{cx} {top}V{bottom - 2.2 * w}" stroke="{colour}" stroke-width="{w}" '
            f'stroke-linecap="round"/><circle cx="{cx}" cy="{bottom}" r="{w * 0.62:.2f}" fill="{colour}"/>')


def question(cx, top, bottom, colour, w):
    r = (bottom - top) * 0.24
    return (f'<path d="M{cx - r} {top + r}A{r} {r} 0 1 1 {cx + 0.2 * r:.2f} {top + 2 * r + 0.9:.2f}'
            f'C{cx} {top + 2 * r + 1.5:.2f} {cx} {top + 2 * r + 2:.2f} {cx} {bottom - 2.4 * w:.2f}" '
            f'fill="none" stroke="{colour}" stroke-width="{w}" stroke-linecap="round"/>'
            f'<circle cx="{cx}" cy="{bottom}" r="{w * 0.62:.2f}" fill="{colour}"/>')


def triangle(colour):
    return (f'<path d="M16 3.2L29.6 27.4A1.6 1.6 0 0 1 28.2 29.8H3.8A1.6 1.6 0 0 1 2.4 27.4Z" '
            f'fill="{colour}" stroke="{colour}" stroke-width="1.4" stroke-linejoin="round"/>')


def message_icon(kind):
    if kind == "ERROR":
        return (f'<circle cx="16" cy="16" r="14.5" fill="#E81123"/>'
                f'<path d="M11 11L21 21M21 11L11 21" stroke="{WHITE}" stroke-width="3" '
                f'stroke-linecap="round"/>')
    if kind == "WARNING":
        return triangle(AMBER) + exclamation(16, 11, 25, WHITE, 2.8)
    if kind == "INFO":
        return (f'<circle cx="16" cy="16" r="14.5" fill="{BLUE}"/>'
                f'<circle cx="16" cy="9.2" r="2" fill="{WHITE}"/>'
                f'<path d="M16 14V24" stroke="{WHITE}" stroke-width="3" stroke-linecap="round"/>')
    if kind == "QUESTION":
        return f'<circle cx="16" cy="16" r="14.5" fill="{BLUE}"/>' + question(16, 7, 24.5, WHITE, 2.8)
    if kind == "WARNING_QUESTION":
        return triangle(AMBER) + question(16, 10.5, 25.5, WHITE, 2.6)
    raise ValueError(kind)


def std_button_slice(part, look):
    fill, stroke = {"WHITE": (WHITE, GREY_BORDER), "BLUE": (BLUE_PALE, BLUE),
                    "GRAY": (GREY_BACK, GREY_LINE)}[look]
    # One rounded button 40 wide; each slice is a window onto it.
    body = (f'<rect x="0.5" y="0.5" width="39" height="26" rx="3.5" fill="{fill}" '
            f'stroke="{stroke}"/>')
    x, w = {"LEFT": (0, 6), "MID": (17, 1), "RIGHT": (34, 6)}[part]
    return svg(w, 27, body, f"{x} 0 {w} 27")


def option_button(chosen):
    if chosen:
        return (f'<circle cx="9" cy="9" r="8" fill="{WHITE}" stroke="{BLUE}" stroke-width="1.5"/>'
                f'<circle cx="9" cy="9" r="4.2" fill="{BLUE}"/>')
    return f'<circle cx="9" cy="9" r="8" fill="{WHITE}" stroke="{GREY_MID}" stroke-width="1.2"/>'


# Info box: one card 67 x 67 (13 + 40 + 14 by 12 + 40 + 15); the eight pieces are windows onto
# it, the edges one pixel long so they stretch.
INFOBOX_WINDOWS = {
    "UL": (0, 0, 13, 12), "UM": (20, 0, 1, 12), "UR": (53, 0, 14, 12),
    "LM": (0, 20, 13, 1), "RM": (53, 20, 14, 1),
    "DL": (0, 52, 13, 15), "DM": (20, 52, 1, 15), "DR": (53, 52, 14, 15),
}


def infobox_piece(piece):
    x, y, w, h = INFOBOX_WINDOWS[piece]
    # A stepped shadow, not a blur filter: a filter is clipped to the one-pixel window of the
    # edge pieces and would leave them without their shadow.
    shadow = "".join(
        f'<rect x="{4.5 - g}" y="{6 - g}" width="{57 + 2 * g}" height="{55 + 2 * g}" '
        f'rx="{7.5 + g}" fill="#000000" opacity="0.045"/>' for g in (0.5, 1.5, 2.5, 3.5))
    body = (shadow +
            f'<rect x="4.5" y="4.5" width="57" height="55" rx="7.5" fill="{INFO_FILL}" '
            f'stroke="#DCD6D6"/>'
            f'<rect x="8" y="8" width="50" height="48" fill="{INFO_FILL}"/>')
    return svg(w, h, body, f"{x} {y} {w} {h}")


def ring(size, outer, inner, colour, opacity=1.0):
    c = size / 2
    return (f'<path fill-rule="evenodd" fill="{colour}" opacity="{opacity}" d="'
            f'M{c - outer} {c}A{outer} {outer} 0 1 0 {c + outer} {c}A{outer} {outer} 0 1 0 {c - outer} {c}Z'
            f'M{c - inner} {c}A{inner} {inner} 0 1 0 {c + inner} {c}A{inner} {inner} 0 1 0 {c - inner} {c}Z"/>')


def circle_back(colour):
    if colour == "WHITE":
        return (f'<circle cx="68" cy="68" r="67.5" fill="{GREY_BACK}"/>'
                f'<circle cx="68" cy="68" r="64" fill="{GREY_TRACK}"/>')
    fill = BLUE if colour == "BLUE" else RED
    return f'<circle cx="68" cy="68" r="67.5" fill="{fill}"/>'


def logo_mark(cx, cy, r):
    """The product's mark: a blue disc with a white platter and a check-like arc."""
    return (f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="{BLUE}"/>'
            f'<circle cx="{cx}" cy="{cy}" r="{r * 0.62:.2f}" fill="none" stroke="{WHITE}" '
            f'stroke-width="{r * 0.1:.2f}"/>'
            f'<circle cx="{cx}" cy="{cy}" r="{r * 0.16:.2f}" fill="{WHITE}"/>'
            f'<path d="M{cx + r * 0.2:.2f} {cy + r * 0.2:.2f}L{cx + r * 0.62:.2f} {cy + r * 0.62:.2f}" '
            f'stroke="{BLUE_LIGHT}" stroke-width="{r * 0.12:.2f}" stroke-linecap="round"/>'
            f'<path d="M{cx - r * 0.62:.2f} {cy}A{r * 0.62:.2f} {r * 0.62:.2f} 0 0 1 {cx} {cy - r * 0.62:.2f}" '
            f'fill="none" stroke="{BLUE_LIGHT}" stroke-width="{r * 0.1:.2f}" stroke-linecap="round"/>')


def centred_word(text, cx, y, height, colour, weight=1.9):
    w = word_width(text) * height / 10.0
    return lettering(text, cx - w / 2, y, height, colour, weight)


def pictures():
    out = {}
    for kind in ["SSD", "DIAG", "UTIL", "OPTI", "SYS", "BENCH", "CLONE"]:
        out[f"IMG_MENU_{kind}_N"] = svg(30, 30, menu_icon(kind, BLUE))
        out[f"IMG_MENU_{kind}_S"] = svg(30, 30, menu_icon(kind, WHITE))
    out["IMG_APP_TITLE"] = svg(205, 15, lettering("TARVIKDORN", 1.5, 2, 11, BLUE_DARK, 2.0))
    st = f'stroke="{GREY_TEXT}" stroke-width="1.8" stroke-linecap="round"'
    out["IMG_BTN_MINI"] = svg(16, 16, f'<path d="M3.5 11.5H12.5" {st}/>')
    out["IMG_BTN_CLOSE"] = svg(16, 16, f'<path d="M3.5 3.5L12.5 12.5M12.5 3.5L3.5 12.5" {st}/>')
    out["IMG_LOGO"] = svg(197, 220, logo_mark(98.5, 82, 66) + centred_word("TARVIKDORN", 98.5, 178, 14, BLUE_DARK, 1.8)
                          + f'<rect x="58.5" y="203" width="80" height="3" rx="1.5" fill="{BLUE_LIGHT}"/>')
    ad = (f'<rect width="147" height="631" fill="#F4F4F4"/>'
          f'<rect x="0" y="0" width="147" height="300" fill="{BLUE}"/>'
          + logo_mark(73.5, 110, 46).replace(f'fill="{BLUE}"', f'fill="{BLUE_DARK}"', 1)
          + centred_word("TARVIK", 73.5, 200, 18, WHITE, 1.8)
          + f'<rect x="33.5" y="238" width="80" height="3" rx="1.5" fill="{BLUE_LIGHT}"/>'
          + "".join(f'<rect x="24" y="{340 + i * 54}" width="99" height="36" rx="6" fill="{WHITE}" '
                    f'stroke="{GREY_LINE}"/><rect x="34" y="{352 + i * 54}" width="{30 + 14 * i}" '
                    f'height="12" rx="2" fill="{c}"/>'
                    for i, c in enumerate([BLUE, BLUE_LIGHT, GREEN, BLUE_DARK]))
          + f'<rect x="33.5" y="575" width="80" height="26" rx="13" fill="{BLUE}"/>'
          + f'<path d="M68 582L75 588L68 594" fill="none" stroke="{WHITE}" stroke-width="2.4" '
            f'stroke-linecap="round" stroke-linejoin="round"/>')
    out["IMAGE_AD_2"] = svg(147, 631, ad)
    loading = (f'<rect width="520" height="290" fill="{WHITE}"/>'
               f'<rect x="0" y="0" width="520" height="8" fill="{BLUE}"/>'
               + logo_mark(260, 110, 58)
               + centred_word("TARVIKDORN", 260, 196, 20, BLUE_DARK, 1.7)
               + f'<rect x="180" y="246" width="160" height="4" rx="2" fill="{GREY_TRACK}"/>'
               + f'<rect x="180" y="246" width="64" height="4" rx="2" fill="{BLUE_LIGHT}"/>')
    out["IMG_LOADING"] = svg(520, 290, loading)
    for kind in ["ERROR", "WARNING", "INFO", "QUESTION", "WARNING_QUESTION"]:
        out[f"MSG_{kind}"] = svg(32, 32, message_icon(kind))
    out["IMG_ICON_SSD"] = svg(30, 30, drive_icon(True))
    out["IMG_ICON_HDD"] = svg(30, 30, drive_icon(False))
    for colour in ["BLUE", "RED", "WHITE"]:
        out[f"IMG_CIRCLE_BACK_{colour}"] = svg(136, 136, circle_back(colour))
    out["IMG_RING_HEALTH"] = svg(116, 116, ring(116, 57.5, 49, WHITE, 0.9))
    out["IMG_RING_RED"] = svg(126, 126, ring(126, 63, 53, RED))
    out["IMG_RING_GREEN"] = svg(126, 126, ring(126, 63, 53, GREEN))
    out["IMG_RING_FRONT"] = svg(110, 110, f'<circle cx="55" cy="55" r="54.5" fill="{WHITE}"/>'
                                f'<circle cx="55" cy="55" r="50" fill="none" stroke="{GREY_BACK}" stroke-width="1.5"/>')
    for part in ["LEFT", "MID", "RIGHT"]:
        for look in ["WHITE", "BLUE", "GRAY"]:
            out[f"IMG_BTN_{part}_{look}"] = std_button_slice(part, look)
    out["IMG_OPT_WHITE"] = svg(18, 18, option_button(False))
    out["IMG_OPT_BLUE"] = svg(18, 18, option_button(True))
    out["IMG_COMBO_DOWN"] = svg(16, 16, f'<path d="M3.5 6L8 10.5L12.5 6" fill="none" stroke="{BLUE_DARK}" '
                                f'stroke-width="2" stroke-linecap="round" stroke-linejoin="round"/>')
    for piece in INFOBOX_WINDOWS:
        out[f"IMG_INFOBOX_{piece}"] = infobox_piece(piece)
    out["IMG_CLONE_WARNING"] = svg(27, 25, f'<g transform="scale(0.84 0.78) translate(0.1 0)">'
                                   + triangle(RED) + exclamation(16, 11, 25, WHITE, 2.8) + '</g>')
    return out


def program_icon():
    """The program's icon, packed at 16, 32, 48 and 256 pixels; drawn on a 256 grid."""
    return svg(256, 256, logo_mark(128, 128, 120))


def main():
    dest = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(__file__), "..", "..", "resources", "pictures")
    for name, text in sorted(pictures().items()):
        with open(os.path.join(dest, name.lower() + ".svg"), "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
    with open(os.path.join(dest, "program_icon.svg"), "w", encoding="utf-8", newline="\n") as f:
        f.write(program_icon())


if __name__ == "__main__":
    main()
