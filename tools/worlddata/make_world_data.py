#!/usr/bin/env python3
"""Writes the program's own world data into the source tree's data/ folder:
the portal ring image (data/misc/dream0.png), the wall image
(data/walls/stone1.bmp), and the item list with its models and images
(data/items/). Standard library only; the output is deterministic, so the
files in the tree can be checked against a fresh run.

    tools/worlddata/make_world_data.py [data folder]
    tools/worlddata/make_world_data.py --check [data folder]

With --check nothing is written: the files in the folder are compared with
a fresh run, and any that differ (or are missing) are listed.
"""
import math
import os
import random
import struct
import sys
import zlib


# ---------------------------------------------------------------- images

def png_rgba(width, height, pixels):
    """pixels: rows top first, each a list of (r, g, b, a)."""
    raw = b''.join(b'\0' + bytes(c for p in row for c in p) for row in pixels)

    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data +
                struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))
    header = struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def bmp_rgb24(width, height, pixels):
    """pixels: rows top first, each a list of (r, g, b). Stored bottom-up."""
    row_bytes = (width * 3 + 3) & ~3
    body = b''
    for row in reversed(pixels):
        line = b''.join(bytes((b, g, r)) for r, g, b in row)
        body += line + b'\0' * (row_bytes - len(line))
    header = struct.pack('<2sIHHI', b'BM', 54 + len(body), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    return header + info + body


def clamp(v):
    return max(0, min(255, int(round(v))))


def dream_ring():
    """Violet and cyan bands slanting round the ring (the image wraps twice
    around it), opaque at the ground and fading out toward the top."""
    size = 64
    rows = []
    for y in range(size):
        alpha = clamp(235 * (y / (size - 1)) ** 0.7)
        row = []
        for x in range(size):
            band = 0.5 + 0.5 * math.sin(2 * math.pi * (x / size * 2 + y / size))
            glow = 0.75 + 0.25 * math.sin(2 * math.pi * y / 16)
            r = (154 * band + 77 * (1 - band)) * glow
            g = (77 * band + 224 * (1 - band)) * glow
            b = 255 * glow
            row.append((clamp(r), clamp(g), clamp(b), alpha))
        rows.append(row)
    return png_rgba(size, size, rows)


def stone_wall():
    """Grey stone blocks in courses of 16 pixels, each block a shade of its
    own, set in dark mortar."""
    size = 64
    rng = random.Random(1)
    shades = {}
    rows = []
    for y in range(size):
        course = y // 16
        row = []
        for x in range(size):
            shifted = (x + (16 if course % 2 else 0)) % size
            block = (course, shifted // 32)
            if block not in shades:
                shades[block] = rng.randint(-18, 18)
            mortar = y % 16 in (0, 15) or shifted % 32 in (0, 31)
            if mortar:
                v = 70 + rng.randint(-4, 4)
                row.append((v, v, v - 2))
            else:
                v = 150 + shades[block] + rng.randint(-10, 10)
                row.append((clamp(v + 4), clamp(v), clamp(v - 6)))
        rows.append(row)
    return bmp_rgb24(size, size, rows)


def planks(dark):
    """Wooden boards across the crate with a frame round the edge; the dark
    kind is stained and carries a cross."""
    size = 64
    rng = random.Random(7 if dark else 5)
    rows = []
    for y in range(size):
        row = []
        board_shade = [rng.randint(-12, 12) for _ in range(8)]
        for x in range(size):
            base = (150, 100, 55) if not dark else (95, 60, 35)
            shade = board_shade[y // 8] + 6 * math.sin(x * 0.7 + y * 0.15) + rng.randint(-5, 5)
            edge = x < 5 or x >= size - 5 or y < 5 or y >= size - 5
            seam = y % 8 == 0
            cross = dark and (abs(x - y) < 4 or abs(x + y - size + 1) < 4)
            k = 0.7 if seam else 1.15 if edge or cross else 1.0
            row.append(tuple(clamp(c * k + shade) for c in base) + (255,))
        rows.append(row)
    return png_rgba(size, size, rows)


# ---------------------------------------------------------------- models

def sub(a, b):
    return tuple(x - y for x, y in zip(a, b))


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def dot(a, b):
    return sum(x * y for x, y in zip(a, b))


def unit(v):
    length = math.sqrt(dot(v, v))
    return tuple(x / length for x in v)


class Part:
    """Flat-shaded faces of one convex piece. Faces are wound so that the
    edges' cross product points away from the piece's centre: the winding
    the item renderer's culling keeps."""

    def __init__(self, centre):
        self.centre = centre
        self.faces = []  # (corners, normal, attribute per corner)

    def face(self, corners, attributes):
        normal = unit(cross(sub(corners[1], corners[0]), sub(corners[2], corners[0])))
        middle = tuple(sum(c[i] for c in corners) / len(corners) for i in range(3))
        if dot(normal, sub(middle, self.centre)) < 0:
            corners = corners[::-1]
            attributes = attributes[::-1]
            normal = tuple(-x for x in normal)
        self.faces.append((corners, normal, attributes))


def box(x0, x1, y0, y1, z0, z1, colour=None, uv=False):
    """With uv, each face shows the whole texture; else the colour's."""
    part = Part(((x0 + x1) / 2, (y0 + y1) / 2, (z0 + z1) / 2))
    xs, ys, zs = (x0, x1), (y0, y1), (z0, z1)
    square = [(0, 0), (1, 0), (1, 1), (0, 1)]
    for axis in range(3):
        for side in range(2):
            corners = []
            for a, b in square:
                p = [0, 0, 0]
                p[axis] = (xs, ys, zs)[axis][side]
                p[(axis + 1) % 3] = (xs, ys, zs)[(axis + 1) % 3][a]
                p[(axis + 2) % 3] = (xs, ys, zs)[(axis + 2) % 3][b]
                corners.append(tuple(p))
            part.face(corners, [(a, 1 - b) if uv else colour for a, b in square])
    return part


def cone(cx, cy, radius, z0, z1, sides, colour, top_radius=0.0):
    """A pyramid (or, with a top radius, a frustum) of n sides."""
    part = Part((cx, cy, (z0 + z1) / 2))
    ring = lambda r, z: [(cx + r * math.cos(2 * math.pi * i / sides), cy + r * math.sin(2 * math.pi * i / sides), z)
                         for i in range(sides)]
    bottom, top = ring(radius, z0), ring(top_radius, z1)
    part.face(bottom, [colour] * sides)
    for i in range(sides):
        j = (i + 1) % sides
        if top_radius > 0:
            part.face([bottom[i], bottom[j], top[j], top[i]], [colour] * 4)
        else:
            part.face([bottom[i], bottom[j], (cx, cy, z1)], [colour] * 3)
    if top_radius > 0:
        part.face(top, [colour] * sides)
    return part


def blob(cx, cy, radius, height, colour, seed, sides=7):
    """A lumpy, low dome: a ring of uneven points under a flattened top."""
    rng = random.Random(seed)
    part = Part((cx, cy, height / 2))
    base, mid = [], []
    for i in range(sides):
        a = 2 * math.pi * i / sides
        r = radius * rng.uniform(0.8, 1.1)
        base.append((cx + r * math.cos(a), cy + r * math.sin(a), 0.0))
        mid.append((cx + 0.75 * r * math.cos(a + 0.3), cy + 0.75 * r * math.sin(a + 0.3), height * rng.uniform(0.5, 0.7)))
    top = (cx + rng.uniform(-0.05, 0.05), cy + rng.uniform(-0.05, 0.05), height)
    part.face(base, [colour] * sides)
    for i in range(sides):
        j = (i + 1) % sides
        part.face([base[i], base[j], mid[i]], [colour] * 3)
        part.face([mid[i], base[j], mid[j]], [colour] * 3)
        part.face([mid[i], mid[j], top], [colour] * 3)
    return part


def fmt(v):
    text = ('%.4f' % v).rstrip('0').rstrip('.')
    return '0' if text in ('-0', '') else text


# Item colours: 16 x 16 swatches of the shared image items.png. Models are
# textured (an untextured mesh is drawn with whatever texture was bound
# before it, and complained about every frame); a face of one colour takes
# its swatch's middle as its texture coordinate.
SWATCHES = [
    ('bark', (115, 77, 41)), ('leaves', (51, 158, 56)), ('dark leaves', (31, 115, 46)), ('stone', (140, 140, 148)),
    ('iron', (46, 46, 51)), ('light', (255, 230, 115)), ('wood', (153, 102, 56)), ('magenta', (255, 0, 255)),
    ('pink', (255, 128, 255)), ('moss', (96, 128, 60)), ('sand', (214, 196, 140)), ('white', (240, 240, 240)),
    ('red', (200, 50, 40)), ('blue', (50, 80, 200)), ('black', (20, 20, 20)), ('grey', (100, 100, 100)),
]
SWATCH = {name: i for i, (name, _) in enumerate(SWATCHES)}


def swatch_image():
    size = 64
    rows = []
    for y in range(size):
        rows.append([SWATCHES[(y // 16) * 4 + x // 16][1] + (255,) for x in range(size)])
    return png_rgba(size, size, rows)


def swatch_uv(name):
    i = SWATCH[name]
    return ((i % 4 + 0.5) / 4, (i // 4 + 0.5) / 4)


def mbm(random_id, parts, texture='items.png'):
    """One bone with one mesh of one textured chunk (PNT2)."""
    vertices, indices = [], []
    for part in parts:
        for corners, normal, attributes in part.faces:
            first = len(vertices)
            for corner, attribute in zip(corners, attributes):
                uv = attribute if isinstance(attribute, tuple) else swatch_uv(attribute)
                vertices.append((corner, normal, uv))
            for k in range(1, len(corners) - 1):
                indices += [first, first + k, first + k + 1]
    lines = ['RandomID { %s }' % random_id,
             'Bone {', '  Name { item }', '  Mesh { body }',
             '  ConnectPos { 0 0 0 }', '  ConnectRot { 1 0 0 0 1 0 0 0 1 }', '}',
             'Mesh {', '  Name { body }', '  Chunk {',
             '    TextureB { 0 %s }' % texture,
             '    Vertices { PNT2 %d' % len(vertices)]
    for corner, normal, uv in vertices:
        values = list(corner) + list(normal) + list(uv)
        lines.append('      ' + ' '.join(fmt(v) for v in values))
    lines.append('    }')
    lines.append('    Indices { %d' % len(indices))
    for i in range(0, len(indices), 12):
        lines.append('      ' + ' '.join(str(v) for v in indices[i:i + 12]))
    lines += ['    }', '  }', '}', '']
    return '\n'.join(lines).encode('ascii')


BARK = 'bark'
LEAVES = 'leaves'
DARK_LEAVES = 'dark leaves'
STONE = 'stone'
IRON = 'iron'
LIGHT = 'light'
WOOD = 'wood'


def models():
    return {
        # Magenta marks an item number the list knows no model for.
        'placeholder.mbm': mbm(0.1001, [cone(0, 0, 0.18, 0, 0.25, 4, 'magenta'),
                                        cone(0, 0, 0.18, 0.5, 0.25, 4, 'pink')]),
        'tree.mbm': mbm(0.2002, [box(-0.06, 0.06, -0.06, 0.06, 0, 0.5, BARK),
                                 cone(0, 0, 0.45, 0.35, 1.1, 8, LEAVES),
                                 cone(0, 0, 0.32, 0.85, 1.6, 8, DARK_LEAVES)]),
        'bush.mbm': mbm(0.3003, [blob(0, 0, 0.35, 0.45, LEAVES, 3)]),
        'rock.mbm': mbm(0.4004, [blob(0, 0, 0.3, 0.3, STONE, 4, sides=6)]),
        'crate.mbm': mbm(0.5005, [box(-0.3, 0.3, -0.3, 0.3, 0, 0.6, uv=True)], texture='crate.png'),
        'lamp.mbm': mbm(0.6006, [cone(0, 0, 0.12, 0, 0.08, 6, IRON, top_radius=0.1),
                                 box(-0.03, 0.03, -0.03, 0.03, 0.08, 1.3, IRON),
                                 cone(0, 0, 0.1, 1.3, 1.5, 6, LIGHT, top_radius=0.14),
                                 cone(0, 0, 0.16, 1.5, 1.62, 6, IRON)]),
        'table.mbm': mbm(0.7007, [box(-0.4, 0.4, -0.3, 0.3, 0.5, 0.56, WOOD)] +
                         [box(x - 0.03, x + 0.03, y - 0.03, y + 0.03, 0, 0.5, WOOD)
                          for x in (-0.34, 0.34) for y in (-0.24, 0.24)]),
    }


def item_list():
    """Numbers 1..49 (every item number the sample maps use) cycle through
    the models; 50 is known to the list but has no model of its own."""
    kinds = ['tree.mbm', 'bush.mbm', 'rock.mbm', 'crate.mbm', 'crate.mbm crate.png crate_dark.png',
             'lamp.mbm', 'table.mbm']
    lines = ['50'] + ['%d %s' % (n, kinds[(n - 1) % len(kinds)]) for n in range(1, 50)]
    return ('\n'.join(lines) + '\n').encode('ascii')


def main():
    args = sys.argv[1:]
    check = bool(args) and args[0] == '--check'
    if check:
        args = args[1:]
    out = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'data')
    files = {
        'misc/dream0.png': dream_ring(),
        'walls/stone1.bmp': stone_wall(),
        'items/items.txt': item_list(),
        'items/items.png': swatch_image(),
        'items/crate.png': planks(False),
        'items/crate_dark.png': planks(True),
    }
    for name, data in models().items():
        files['items/' + name] = data
    stale = []
    for name, data in sorted(files.items()):
        path = os.path.join(out, *name.split('/'))
        if check:
            try:
                with open(path, 'rb') as f:
                    same = f.read() == data
            except OSError:
                same = False
            if not same:
                stale.append(name)
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(data)
        print('%-24s %6d bytes' % (name, len(data)))
    if stale:
        print('differ from a fresh run: ' + ', '.join(stale))
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
