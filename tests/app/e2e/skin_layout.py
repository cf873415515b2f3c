"""Control rectangles of a skin layout, computed the way the toolkit's box
layout places them (fixed sizes first, the rest shared by the adjustable
children, the last one taking what is left; padding around each child).

Every control is taken as visible, so a rectangle is where the control is
while it is shown. Only what the shipped layouts use is modelled: Window
size, VerticalLayout / HorizontalLayout / TabLayout, width, height, padding,
childpadding and inset.
"""
import xml.etree.ElementTree as ET

BOXES = {"VerticalLayout": True, "HorizontalLayout": False}
CONTAINERS = set(BOXES) | {"TabLayout", "Container"}


def _ints(text, n):
    parts = [int(p) for p in (text or "").split(",") if p.strip()]
    return parts + [0] * (n - len(parts)) if len(parts) <= n else parts[:n]


def _padding(el):
    return _ints(el.get("padding"), 4)


def _place(el, rect, out):
    """Records el's rectangle and lays out its children inside it."""
    if el.get("name"):
        out.setdefault(el.get("name"), tuple(rect))
    if el.tag not in CONTAINERS:
        return
    inset = _ints(el.get("inset"), 4)
    inner = (rect[0] + inset[0], rect[1] + inset[1], rect[2] - inset[2], rect[3] - inset[3])
    children = [c for c in el if c.tag not in ("Font", "Default", "Image")]
    if el.tag not in BOXES:
        for c in children:
            p = _padding(c)
            _place(c, (inner[0] + p[0], inner[1] + p[1], inner[2] - p[2], inner[3] - p[3]), out)
        return
    vertical = BOXES[el.tag]
    spacing = max(int(el.get("childpadding", "0") or 0), 0)
    length = (inner[3] - inner[1]) if vertical else (inner[2] - inner[0])
    across = (inner[2] - inner[0]) if vertical else (inner[3] - inner[1])
    along_key, cross_key = ("height", "width") if vertical else ("width", "height")

    def pads(c):
        p = _padding(c)
        return (p[1], p[3], p[0], p[2]) if vertical else (p[0], p[2], p[1], p[3])

    fixed_total, adjustable = 0, 0
    for c in children:
        before, after, _, _ = pads(c)
        fixed = int(c.get(along_key, "0") or 0)
        fixed_total += before + after + (fixed if fixed > 0 else 0)
        adjustable += fixed <= 0
    if len(children) > 1:
        fixed_total += (len(children) - 1) * spacing
    share = max((length - fixed_total) // adjustable, 0) if adjustable else 0
    remaining = length - fixed_total
    pos = inner[1] if vertical else inner[0]
    seen = 0
    for c in children:
        before, after, cbefore, cafter = pads(c)
        fixed = int(c.get(along_key, "0") or 0)
        if fixed > 0:
            size = fixed
        else:
            seen += 1
            size = max(remaining, 0) if seen == adjustable else share
            remaining -= size
        cross = int(c.get(cross_key, "0") or 0)
        room = max(across - cbefore - cafter, 0)
        cross = min(cross if cross > 0 else room, room)
        start = pos + before
        cstart = (inner[0] if vertical else inner[1]) + cbefore
        r = (cstart, start, cstart + cross, start + size) if vertical else (start, cstart, start + size, cstart + cross)
        _place(c, r, out)
        pos += size + before + after + spacing


def control_rects(path):
    """{name: (left, top, right, bottom)} in window coordinates, and the window size."""
    root = ET.parse(path).getroot()
    width, height = _ints(root.get("size"), 2)
    out = {}
    for c in root:
        if c.tag not in ("Font", "Default", "Image"):
            _place(c, (0, 0, width, height), out)
            break
    return out, (width, height)


def centre(rects, name):
    left, top, right, bottom = rects[name]
    return (left + right) // 2, (top + bottom) // 2
