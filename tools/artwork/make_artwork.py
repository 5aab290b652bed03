#!/usr/bin/env python3
"""Draws the plug-in's icons and drag cursor.

    make_artwork.py OUTPUT_DIR

writes app.ico, finder_empty.ico, finder.ico and drag.cur into OUTPUT_DIR.
Only the standard library is used, so the build needs nothing beyond Python.
"""
import math
import os
import struct
import sys
import zlib

# ---------------------------------------------------------------------------
# Colours

# The standard 16-colour palette, in the order of the Windows VGA palette.
PALETTE = [
    ("black", (0, 0, 0)),
    ("maroon", (128, 0, 0)),
    ("green", (0, 128, 0)),
    ("olive", (128, 128, 0)),
    ("navy", (0, 0, 128)),
    ("purple", (128, 0, 128)),
    ("teal", (0, 128, 128)),
    ("silver", (192, 192, 192)),
    ("grey", (128, 128, 128)),
    ("red", (255, 0, 0)),
    ("lime", (0, 255, 0)),
    ("yellow", (255, 255, 0)),
    ("blue", (0, 0, 255)),
    ("fuchsia", (255, 0, 255)),
    ("aqua", (0, 255, 255)),
    ("white", (255, 255, 255)),
]
INDEX = {name: i for i, (name, _) in enumerate(PALETTE)}

# Small artwork (16 colours).
FRAME_COLOUR = "blue"
TARGET_COLOUR = "black"
FINDER_CENTRE_COLOUR = "lime"
CURSOR_EDGE_COLOUR = "white"
CURSOR_CENTRE_COLOUR = "red"

# Application icon (RGBA, straight alpha).
WINDOW_SHADOW = (0, 0, 0, 70)
WINDOW_BORDER = (38, 46, 62, 255)
TITLE_BAR = (46, 110, 214, 255)
TITLE_BUTTON = (236, 242, 252, 255)
WINDOW_BODY = (246, 248, 252, 255)
TARGET_BLUE = (18, 84, 220, 255)
TARGET_DOT = (226, 40, 40, 255)

# ---------------------------------------------------------------------------
# Geometry of the small artwork, in pixels of a 32x32 image (y down)

SMALL_SIZE = 32
# The crosshair's centre is the drag cursor's hot spot; the finder icons put
# it at the same place so that the cursor takes over the icon's picture.
CROSSHAIR_CENTRE = (15, 16)
RING_RADIUS = 7
TICK_FROM, TICK_TO = 3, 11      # distance of the tick marks' ends from the centre
FRAME = (1, 2, 29, 30)          # left, top, right, bottom: centred on the target
FRAME_THICKNESS = 2

# ---------------------------------------------------------------------------
# 16-colour images: a grid of palette indices, None where transparent


def blank_image(size=SMALL_SIZE):
    return [[None] * size for _ in range(size)]


def draw_frame(image, colour):
    left, top, right, bottom = FRAME
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            inner = (left + FRAME_THICKNESS <= x <= right - FRAME_THICKNESS and
                     top + FRAME_THICKNESS <= y <= bottom - FRAME_THICKNESS)
            if not inner:
                image[y][x] = INDEX[colour]


def target_pixels():
    """The ring and its four tick marks, without the centre."""
    cx, cy = CROSSHAIR_CENTRE
    pixels = set()
    for y in range(SMALL_SIZE):
        for x in range(SMALL_SIZE):
            if abs(math.hypot(x - cx, y - cy) - RING_RADIUS) < 0.5:
                pixels.add((x, y))
    for distance in range(TICK_FROM, TICK_TO + 1):
        pixels.update({(cx - distance, cy), (cx + distance, cy), (cx, cy - distance), (cx, cy + distance)})
    return pixels


def centre_pixels():
    """A small plus sign on the centre."""
    cx, cy = CROSSHAIR_CENTRE
    return {(cx, cy), (cx - 1, cy), (cx + 1, cy), (cx, cy - 1), (cx, cy + 1)}


def outline_of(pixels):
    """The pixels that touch the shape (8-neighbourhood) but are not in it."""
    around = set()
    for x, y in pixels:
        for dy in (-1, 0, 1):
            for dx in (-1, 0, 1):
                neighbour = (x + dx, y + dy)
                if neighbour not in pixels and 0 <= neighbour[0] < SMALL_SIZE and 0 <= neighbour[1] < SMALL_SIZE:
                    around.add(neighbour)
    return around


def paint(image, pixels, colour):
    for x, y in pixels:
        image[y][x] = INDEX[colour]


def draw_finder_empty():
    image = blank_image()
    draw_frame(image, FRAME_COLOUR)
    return image


def draw_finder():
    image = draw_finder_empty()
    paint(image, target_pixels(), TARGET_COLOUR)
    paint(image, centre_pixels(), FINDER_CENTRE_COLOUR)
    return image


def draw_drag_cursor():
    image = blank_image()
    shape = target_pixels() | centre_pixels()
    paint(image, outline_of(shape), CURSOR_EDGE_COLOUR)
    paint(image, target_pixels(), TARGET_COLOUR)
    paint(image, centre_pixels(), CURSOR_CENTRE_COLOUR)
    return image

# ---------------------------------------------------------------------------
# The application icon: shapes in unit coordinates (0..1, y down), drawn in
# order, each pixel supersampled for smooth edges and real alpha.


def rounded_rect(left, top, right, bottom, radius):
    def inside(u, v):
        dx = max(left + radius - u, 0.0, u - (right - radius))
        dy = max(top + radius - v, 0.0, v - (bottom - radius))
        return left <= u <= right and top <= v <= bottom and dx * dx + dy * dy <= radius * radius
    return inside


def rect(left, top, right, bottom):
    return lambda u, v: left <= u <= right and top <= v <= bottom


def ring(cx, cy, radius, thickness):
    return lambda u, v: abs(math.hypot(u - cx, v - cy) - radius) <= thickness / 2


def disc(cx, cy, radius):
    return lambda u, v: math.hypot(u - cx, v - cy) <= radius


def segment(x0, y0, x1, y1, thickness):
    """A stroke with round ends."""
    length2 = (x1 - x0) ** 2 + (y1 - y0) ** 2

    def inside(u, v):
        t = max(0.0, min(1.0, ((u - x0) * (x1 - x0) + (v - y0) * (y1 - y0)) / length2))
        return math.hypot(u - (x0 + t * (x1 - x0)), v - (y0 + t * (y1 - y0))) <= thickness / 2
    return inside


def crosshair(cx, cy, radius, thickness, tick_from, tick_to):
    shapes = [ring(cx, cy, radius, thickness)]
    for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
        shapes.append(segment(cx + dx * tick_from, cy + dy * tick_from, cx + dx * tick_to, cy + dy * tick_to,
                              thickness))
    return lambda u, v: any(shape(u, v) for shape in shapes)


def app_layers():
    cx, cy = 0.5, 0.6
    return [
        (rounded_rect(0.09, 0.13, 0.97, 0.95, 0.10), WINDOW_SHADOW),
        (rounded_rect(0.04, 0.08, 0.92, 0.90, 0.10), WINDOW_BORDER),
        (rounded_rect(0.08, 0.12, 0.88, 0.30, 0.06), TITLE_BAR),
        (rect(0.72, 0.17, 0.82, 0.25), TITLE_BUTTON),
        (rect(0.08, 0.33, 0.88, 0.86), WINDOW_BODY),
        (crosshair(cx, cy, 0.16, 0.065, 0.07, 0.25), TARGET_BLUE),
        (disc(cx, cy, 0.045), TARGET_DOT),
    ]


def over(below, above):
    """Straight-alpha 'over' of two RGBA colours with components 0..1."""
    a = above[3] + below[3] * (1 - above[3])
    if a == 0:
        return (0.0, 0.0, 0.0, 0.0)
    return tuple((above[i] * above[3] + below[i] * below[3] * (1 - above[3])) / a for i in range(3)) + (a,)


def render(layers, size, samples=6):
    layers = [(shape, tuple(c / 255 for c in colour)) for shape, colour in layers]
    image = []
    for y in range(size):
        row = []
        for x in range(size):
            total = [0.0, 0.0, 0.0, 0.0]   # premultiplied
            for sy in range(samples):
                for sx in range(samples):
                    u = (x + (sx + 0.5) / samples) / size
                    v = (y + (sy + 0.5) / samples) / size
                    colour = (0.0, 0.0, 0.0, 0.0)
                    for shape, paint_colour in layers:
                        if shape(u, v):
                            colour = over(colour, paint_colour)
                    for i in range(3):
                        total[i] += colour[i] * colour[3]
                    total[3] += colour[3]
            alpha = total[3] / (samples * samples)
            if alpha <= 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(255 * total[i] / total[3]) for i in range(3)) + (round(255 * alpha),))
        image.append(row)
    return image

# ---------------------------------------------------------------------------
# Icon and cursor files


def row_bytes(width, bits):
    return (width * bits + 31) // 32 * 4


def and_mask(transparent, width, height):
    """1 marks a transparent pixel; rows bottom-up, padded to four bytes."""
    data = bytearray()
    for y in reversed(range(height)):
        row = bytearray(row_bytes(width, 1))
        for x in range(width):
            if transparent(x, y):
                row[x // 8] |= 0x80 >> (x % 8)
        data += row
    return bytes(data)


def info_header(width, height, bits, image_bytes, colours=0):
    # The height counts the colour image and the mask.
    return struct.pack("<IiiHHIIiiII", 40, width, 2 * height, 1, bits, 0, image_bytes, 0, 0, colours, 0)


def palette_image_dib(image):
    """A 4-bit image, its palette and mask; transparent pixels are black so the screen shows through."""
    height, width = len(image), len(image[0])
    pixels = bytearray()
    for y in reversed(range(height)):
        row = bytearray(row_bytes(width, 4))
        for x in range(width):
            index = image[y][x] or 0
            row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        pixels += row
    mask = and_mask(lambda x, y: image[y][x] is None, width, height)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for _, (r, g, b) in PALETTE)
    return info_header(width, height, 4, len(pixels) + len(mask), 16) + colours + bytes(pixels) + mask


def rgba_image_dib(image):
    height, width = len(image), len(image[0])
    pixels = bytearray()
    for y in reversed(range(height)):
        for r, g, b, a in image[y]:
            pixels += struct.pack("<BBBB", b, g, r, a)
    mask = and_mask(lambda x, y: image[y][x][3] == 0, width, height)
    return info_header(width, height, 32, len(pixels) + len(mask)) + bytes(pixels) + mask


def icon_file(entries, kind=1):
    """entries: (width, height, colour count, planes or hot spot x, bits or hot spot y, DIB)."""
    header = struct.pack("<HHH", 0, kind, len(entries))
    offset = len(header) + 16 * len(entries)
    directory, images = b"", b""
    for width, height, colours, field1, field2, dib in entries:
        directory += struct.pack("<BBBBHHII", width % 256, height % 256, colours, 0, field1, field2, len(dib),
                                 offset + len(images))
        images += dib
    return header + directory + images


def small_icon(image):
    return icon_file([(SMALL_SIZE, SMALL_SIZE, 16, 1, 4, palette_image_dib(image))])


def app_icon():
    return icon_file([(size, size, 0, 1, 32, rgba_image_dib(render(app_layers(), size))) for size in (16, 32, 48)])


def drag_cursor():
    hot_x, hot_y = CROSSHAIR_CENTRE
    return icon_file([(SMALL_SIZE, SMALL_SIZE, 16, hot_x, hot_y, palette_image_dib(draw_drag_cursor()))], kind=2)


def png_file(image):
    """An 8-bit RGBA PNG of the image, rows unfiltered."""
    height, width = len(image), len(image[0])
    raw = b"".join(b"\0" + bytes(channel for pixel in row for channel in pixel) for row in image)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_artwork.py OUTPUT_DIR\n")
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    files = {
        "app.ico": app_icon(),
        "finder_empty.ico": small_icon(draw_finder_empty()),
        "finder.ico": small_icon(draw_finder()),
        "drag.cur": drag_cursor(),
        "menu_icon.png": png_file(render(app_layers(), 16)),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
