#!/usr/bin/env python3
"""Writes the demo cartridge's generated includes: notes.inc (note periods),
tables.inc (sine and period tables), scene.inc (the bitmap page's sunset)
and sprites.inc (sprite pictures drawn below). The build does not run it:
its output is kept in the repository. Run it from demo/ after a change."""
import math
import random

NAMES = ['C', 'CS', 'D', 'DS', 'E', 'F', 'FS', 'G', 'GS', 'A', 'AS', 'B']


def db(values, fmt="%03Xh", per_line=16):
    return ["        db " + ",".join(fmt % v for v in values[i:i + per_line])
            for i in range(0, len(values), per_line)]


def notes_and_tables():
    notes = ["; Note periods for both sound chips (written by make_tables.py):",
             "; 3579545 / 32 / frequency, equal temperament, A4 = 440 Hz. N_xx names",
             "; the period, K_xx the index into note_periods (1 = C2)."]
    periods = []
    for octave in range(2, 7):
        for i, name in enumerate(NAMES):
            midi = 12 * (octave + 1) + i
            period = round(3579545 / 32 / (440 * 2 ** ((midi - 69) / 12)))
            periods.append(period)
            notes.append(f"N_{name}{octave}\tequ {period}")
            notes.append(f"K_{name}{octave}\tequ {len(periods)}")
    with open('notes.inc', 'w') as f:
        f.write("\n".join(notes) + "\n")
    sine = [round(127 * math.sin(2 * math.pi * i / 256)) & 0xFF for i in range(256)]
    lines = ["; sin(2 pi i / 256) * 127, signed bytes (written by make_tables.py)",
             "sine:"] + db(sine)
    lines += ["; periods of K_C2 up, one word a note (index 0 is a rest)",
              "note_periods:", "        dw 0"]
    lines += ["        dw " + ",".join(str(v) for v in periods[i:i + 12])
              for i in range(0, len(periods), 12)]
    with open('tables.inc', 'w') as f:
        f.write("\n".join(lines) + "\n")


def scene():
    random.seed(7)
    lines = ["; Data of the bitmap page's sunset (written by make_tables.py): the mountain",
             "; ridge, the sun's half-widths, dither bytes and sea ripples."]
    peaks = [(36, 46, 64), (100, 26, 44), (150, 14, 30), (236, 40, 56)]
    top = []
    for x in range(256):
        m = 0
        for c, h, w in peaks:
            v = h - abs(x - c) * h / w
            v += (math.sin(x * 0.9) + math.sin(x * 2.3)) * 1.2 if v > 2 else 0
            m = max(m, v)
        top.append(int(112 - max(0, round(m))))
    lines += ["ridge:"] + db(top, "%d")
    cy, r = 92, 24
    lines += ["SUN_X equ 176", "SUN_TOP equ %d" % (cy - r), "sun_half:"]
    half = [int(math.sqrt(max(0, r * r - (y - cy) ** 2))) for y in range(cy - r, 112)]
    lines += db(half, "%d")
    bayer = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]
    lines.append("dither:                 ; level 0-8, four rows each")
    for level in range(9):
        rows = []
        for y in range(4):
            b = 0
            for x in range(8):
                if bayer[y][x & 3] < level * 2:
                    b |= 0x80 >> x
            rows.append(b)
        lines += db(rows)
    ripples = []
    for _ in range(64):
        b = 0
        n = random.choice([1, 2, 2, 3])
        start = random.randrange(0, 6)
        for k in range(n):
            b |= 0x80 >> (start + k)
        if random.random() < 0.35:
            b = 0
        ripples.append(b)
    lines += ["ripples:"] + db(ripples)
    with open('scene.inc', 'w') as f:
        f.write("\n".join(lines) + "\n")


SPRITES = {
    'ball16': """
.....######.....
...##########...
..############..
.###..#########.
.##...#########.
###..###########
################
################
################
################
################
.##############.
.##############.
..############..
...##########...
.....######.....""",
    'star16': """
.......##.......
.......##.......
......####......
......####......
.....######.....
##############..
.############...
..##########....
...########.....
...#########....
..####..####....
..###....###....
.###......###...
.##........##...
##..........#...
................""",
    'ship16': """
................
................
................
................
................
................
#..............#
##............##
###..........###
####........####
################
################
.##############.
..####.##.####..
...##......##...
................""",
    'gem16': """
................
....########....
...#.#....#.#...
..#..#....#..#..
.##############.
..#...#..#...#..
...#..#..#..#...
....#..#.#.#....
.....#.##.#.....
......####......
.......##.......
................
................
................
................
................""",
    'bomb16': """
..........#.....
.........#.#....
........#.......
.......##.......
.....######.....
....########....
...##########...
..###.########..
..##.#########..
..############..
..############..
..############..
...##########...
....########....
.....######.....
................""",
    'heart16': """
................
..####....####..
.######..######.
################
################
################
################
.##############.
..############..
...##########...
....########....
.....######.....
......####......
.......##.......
................
................""",
    'ball8': """
..####..
.######.
##..####
##.#####
########
########
.######.
..####..""",
    'star8': """
...##...
...##...
########
.######.
..####..
.######.
.##..##.
##....##""",
}


def sprites():
    lines = ["; Sprite pictures (drawn in make_tables.py): 16x16 ones in the chip's",
             "; order (left column of 16 rows, then the right column), 8x8 ones as 8 rows."]

    def bits(row):
        return int(row.replace('.', '0').replace('#', '1'), 2)
    for name, art in SPRITES.items():
        rows = art.strip('\n').split('\n')
        if len(rows) == 16:
            data = [bits(r[:8]) for r in rows] + [bits(r[8:]) for r in rows]
        else:
            data = [bits(r) for r in rows]
        lines += [f"spr_{name}:"] + db(data)
    with open('sprites.inc', 'w') as f:
        f.write("\n".join(lines) + "\n")


if __name__ == '__main__':
    notes_and_tables()
    scene()
    sprites()
