#!/usr/bin/env python3
"""Renders the render tests' world three ways and checks the pictures in a real browser.

One landblock with its building, a 3 x 3 mosaic, and a comparison with a folder in which
one placement has moved and one is missing. Each SVG must parse as XML and refer to
nothing outside itself; headless Chromium's screenshot of it must show the building's
outline, a known placement and the legend in their colours, and must not be blank.

Usage: render_browser_test.py --tool TALLOWMERE --world-maker RENDER_TEST_WORLD
                              [--docs DIR]   (also copy the screenshots there)
Exit status 0 pass, 1 fail, 77 skipped (no Chromium).
"""

import argparse
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zlib

SKIP = 77
NS = "{http://www.w3.org/2000/svg}"
BLACK = (0, 0, 0)
ONLY_BAKED = (0xE4, 0x1A, 0x1C)
MOVED = (0xFF, 0x7F, 0x00)
EXCLUSION_MARK = (0xA0, 0x00, 0x00)


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# ---- PNG ----------------------------------------------------------------------------


def read_png(path):
    """(width, height, rows of (r, g, b)) of an 8-bit RGB or RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    check(data[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos : pos + 4])
        kind = data[pos + 4 : pos + 8]
        body = data[pos + 8 : pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    width, height, depth, colour, _, _, interlace = header
    check(depth == 8 and colour in (2, 6) and interlace == 0, f"unsupported PNG {header}")
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous, i = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[i], bytearray(raw[i + 1 : i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b = previous[x]
            c = previous[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[x] = (line[x] + pred) & 255
        rows.append([tuple(line[x : x + 3]) for x in range(0, stride, channels)])
        previous = line
    return width, height, rows


def near(a, b, tolerance=6):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


def hex_colour(text):
    return tuple(int(text[i : i + 2], 16) for i in (1, 3, 5))


class Screenshot:
    def __init__(self, path):
        self.path = path
        self.width, self.height, self.rows = read_png(path)

    def pixel(self, x, y):
        return self.rows[int(y)][int(x)]

    def expect(self, x, y, colour, what):
        """Some pixel within one of (x, y) has `colour` (edges may be anti-aliased)."""
        seen = []
        for dy in (0, -1, 1):
            for dx in (0, -1, 1):
                got = self.pixel(x + dx, y + dy)
                if near(got, colour):
                    return
                seen.append(got)
        raise Failure(f"{os.path.basename(self.path)}: {what} at ({x:.1f}, {y:.1f}) should be "
                      f"{colour}, found {seen[0]}")

    def expect_not_blank(self):
        colours = {}
        for row in self.rows:
            for p in row:
                colours[p] = colours.get(p, 0) + 1
        white = colours.get((255, 255, 255), 0)
        check(len(colours) > 20, f"{self.path}: only {len(colours)} colours")
        check(white < 0.8 * self.width * self.height, f"{self.path}: mostly white")


# ---- SVG ----------------------------------------------------------------------------


class Svg:
    def __init__(self, path):
        self.path = path
        with open(path, "rb") as f:
            self.text = f.read().decode("utf-8")
        self.root = ET.fromstring(self.text)  # raises on malformed XML
        check(self.root.tag == NS + "svg", f"{path}: root is {self.root.tag}")
        self.width = float(self.root.get("width"))
        self.height = float(self.root.get("height"))
        style = "".join(e.text or "" for e in self.root.iter(NS + "style"))
        self.classes = dict(re.findall(r"\.([a-z0-9]+)\{fill:(#[0-9a-f]{6})", style))

    def self_contained(self):
        for e in self.root.iter():
            check(e.tag not in (NS + "script", NS + "image", NS + "foreignObject"),
                  f"{self.path}: has {e.tag}")
            for name, value in e.attrib.items():
                if name.endswith("href"):
                    check(value.startswith("#"), f"{self.path}: refers to {value}")
        for target in re.findall(r"url\(([^)]*)\)", self.text):
            check(target.startswith("#"), f"{self.path}: refers to {target}")
        check("@import" not in self.text and "@font-face" not in self.text,
              f"{self.path}: style sheet loads something")

    def by_id(self, ident):
        for e in self.root.iter():
            if e.get("id") == ident:
                return e
        raise Failure(f"{self.path}: no element {ident}")

    def tile_origin(self, landblock):
        g = self.by_id("lb-" + landblock[2:])
        m = re.fullmatch(r"translate\(([-0-9.]+) ([-0-9.]+)\)", g.get("transform"))
        return float(m.group(1)), float(m.group(2))

    def fill(self, element):
        for cls in element.get("class").split():
            if cls in self.classes:
                return hex_colour(self.classes[cls])
        raise Failure(f"{self.path}: no fill for class {element.get('class')}")

    def caption(self):
        return " / ".join(e.text for e in self.root.iter(NS + "text") if e.get("class") == "cap")


def screenshot(chromium, svg, png):
    profile = tempfile.mkdtemp(prefix="render-chromium-")
    try:
        width, height = int(svg.width + 0.999), int(svg.height + 0.999)
        result = subprocess.run(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--hide-scrollbars", "--force-device-scale-factor=1",
             f"--user-data-dir={profile}", f"--window-size={width},{height}",
             f"--screenshot={png}", "file://" + os.path.abspath(svg.path)],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        check(os.path.exists(png), f"no screenshot of {svg.path}: {result.stderr.decode()[-500:]}")
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    shot = Screenshot(png)
    check(shot.width >= svg.width - 1 and shot.height >= svg.height - 1,
          f"screenshot {shot.width}x{shot.height} smaller than the picture")
    return shot


# ---- the world and its renders ------------------------------------------------------


def run(args, **kwargs):
    result = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)
    if result.returncode != 0:
        raise Failure(f"{' '.join(args)} exited {result.returncode}: {result.stderr.decode()}")
    return result.stdout.decode()


def read_placements(path):
    with open(path) as f:
        return [json.loads(line) for line in f if line.strip()]


def pick(placements, building, count):
    """Placements of the 6 x 6 square object well inside the tile and clear of the
    building, the tile label and each other."""
    chosen = []
    for p in placements:
        x, y = p["x"], p["y"]
        if p["obj_id"] != "0x01000010" or not (24 < x < 168 and 12 < y < 160):
            continue
        if building[0] - 8 < x < building[2] + 8 and building[1] - 8 < y < building[3] + 8:
            continue
        if any(abs(x - q["x"]) < 20 and abs(y - q["y"]) < 20 for q in chosen):
            continue
        chosen.append(p)
        if len(chosen) == count:
            return chosen
    raise Failure(f"fewer than {count} clear square placements in {len(placements)}")


def check_legend(svg, shot):
    for step in (0, 15):
        e = svg.by_id(f"ramp-{step}")
        x = float(e.get("x")) + float(e.get("width")) / 2
        y = float(e.get("y")) + float(e.get("height")) / 2
        shot.expect(x, y, hex_colour(svg.classes[f"h{step}"]), f"legend step {step}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--world-maker", required=True)
    parser.add_argument("--docs")
    args = parser.parse_args()
    args.tool, args.world_maker = os.path.abspath(args.tool), os.path.abspath(args.world_maker)
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not chromium:
        print("skipped: no chromium on PATH")
        return SKIP

    work = tempfile.mkdtemp(prefix="render-browser-")
    try:
        facts = json.loads(run([args.world_maker, work]))
        portal, cell = os.path.join(work, "client_portal.dat"), os.path.join(work, "client_cell_1.dat")
        middle, building = facts["landblock"], facts["building"]
        baked = os.path.join(work, "baked")
        run([args.tool, "bake", portal, cell, "--landblocks", facts["mosaic"], "--out", baked])
        name = middle + ".scenery.jsonl"
        placements = read_placements(os.path.join(baked, name))

        def render(out, landblocks, px, *extra):
            path = os.path.join(work, out)
            # Run in the work folder, so that a compared folder is named as given ("other").
            run([args.tool, "render", portal, cell, "--landblocks", landblocks, "--out", path,
                 "--px", str(px), *extra], cwd=work)
            svg = Svg(path)
            svg.self_contained()
            return svg, screenshot(chromium, svg, path[:-4] + ".png")

        def at(svg, landblock, x, y, px):
            ox, oy = svg.tile_origin(landblock)
            k = px / 24
            return ox + x * k, oy + (192 - y) * k

        # One landblock: the building's outline, a known placement, a marked vertex, the legend.
        one, shot = render("render-one.svg", middle, 64)
        check(one.caption() == f"Landblock {middle} \u00b7 {len(placements)} placements",
              f"caption {one.caption()!r}")
        shot.expect(*at(one, middle, building[0], (building[1] + building[3]) / 2, 64), BLACK,
                    "the building's left edge")
        shot.expect(*at(one, middle, (building[0] + building[2]) / 2, building[3], 64), BLACK,
                    "the building's top edge")
        (known,) = pick(placements, building, 1)
        rects = [e for e in one.by_id("lb-" + middle[2:]).iter(NS + "rect")
                 if e.get("class", "").startswith("pl ")]
        colours = {one.fill(e) for e in rects}
        ramp = {hex_colour(one.classes[f"h{i}"]) for i in range(16)}
        check(len(colours) == 2 and not colours & ramp,
              f"two objects should give two palette colours apart from the ramp: {colours}")
        square = [e for e in rects if f"0x01000010 at ({known['x']:.6f}, {known['y']:.6f}"
                  in e.find(NS + "title").text]
        check(len(square) == 1, f"no box titled with {known}")
        shot.expect(*at(one, middle, known["x"], known["y"], 64), one.fill(square[0]),
                    f"placement {known['obj_id']}")
        vx, vy = facts["excluded"][0]
        shot.expect(*at(one, middle, vx * 24, vy * 24, 64), EXCLUSION_MARK, "exclusion mark")
        check_legend(one, shot)
        shot.expect_not_blank()

        # A 3 x 3 mosaic in map orientation: x to the right, y up.
        mosaic, shot = render("render-mosaic.svg", facts["mosaic"], 16)
        left, top = mosaic.tile_origin("0x7F81")
        right, bottom = mosaic.tile_origin("0x817F")
        check(right - left == 2 * 128 and bottom - top == 2 * 128,
              f"corner tiles at ({left}, {top}) and ({right}, {bottom})")
        check(mosaic.tile_origin("0x8080") == (left + 128, top + 128), "middle tile misplaced")
        shot.expect(*at(mosaic, middle, building[0], (building[1] + building[3]) / 2, 16), BLACK,
                    "the building's left edge in the mosaic")
        shot.expect(*at(mosaic, middle, known["x"], known["y"], 16), one.fill(square[0]),
                    "the known placement in the mosaic")
        check_legend(mosaic, shot)
        shot.expect_not_blank()

        # A comparison with a folder in which one placement moved and one is missing.
        moved, missing = pick(placements, building, 3)[1:]
        other = os.path.join(work, "other")
        shutil.copytree(baked, other)
        with open(os.path.join(other, name)) as f:
            lines = f.read().splitlines()
        edited = []
        for line in lines:
            p = json.loads(line)
            if p == missing:
                continue
            if p == moved:
                line = line.replace('"x":%.6f' % moved["x"], '"x":%.6f' % (moved["x"] + 12))
            edited.append(line + "\n")
        with open(os.path.join(other, name), "w") as f:
            f.writelines(edited)
        compare, shot = render("render-compare.svg", middle, 64, "--compare", "other")
        check(compare.caption().endswith(
                  "compared with other: 1 only baked \u00b7 0 only in compared \u00b7 1 moved"),
              f"caption {compare.caption()!r}")
        shot.expect(*at(compare, middle, missing["x"], missing["y"], 64), ONLY_BAKED,
                    "the placement missing from the compared folder")
        shot.expect(*at(compare, middle, moved["x"], moved["y"], 64), MOVED,
                    "the moved placement")
        for key, colour in (("key-only-baked", ONLY_BAKED), ("key-moved", MOVED)):
            e = compare.by_id(key)
            shot.expect(float(e.get("x")) + 8, float(e.get("y")) + 6, colour, key)
        shot.expect_not_blank()

        if args.docs:
            os.makedirs(args.docs, exist_ok=True)
            for png in ("render-one.png", "render-mosaic.png", "render-compare.png"):
                shutil.copy(os.path.join(work, png), os.path.join(args.docs, png))
    except Failure as failure:
        print(f"FAIL: {failure}", file=sys.stderr)
        print(f"(files kept in {work})", file=sys.stderr)
        return 1
    shutil.rmtree(work, ignore_errors=True)
    print("render browser test: 3 pictures checked")
    return 0


if __name__ == "__main__":
    sys.exit(main())
