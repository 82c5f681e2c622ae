#!/usr/bin/env python3
"""Small helpers of bench/at-screen: the documents it writes itself and the screen checks it
waits on.

  at-screen-docs.py mark-text FILE MARKER         put MARKER in the middle of a CP932 text
  at-screen-docs.py mark-rtf FILE MARKER          put MARKER in the middle of an RTF body
  at-screen-docs.py table OUT ROWS MARKER         an RTF table, MARKER in the middle row
  at-screen-docs.py pictures OUT COUNT MARKER     an RTF page of PNG pictures with captions
  at-screen-docs.py wait-change TYPOLAT REGEX BEFORE.png SECONDS
        wait until the window REGEX differs from BEFORE.png by more than a caret's pixels
"""

import os
import struct
import subprocess
import sys
import time
import zlib


def cp932_boundary(data, near):
    """The offset of the character boundary at or after `near` in CP932 bytes."""
    i = 0
    while i < near:
        b = data[i]
        i += 2 if (0x81 <= b <= 0x9F or 0xE0 <= b <= 0xFC) else 1
    return i


def mark_text(path, marker):
    with open(path, 'rb') as f:
        data = f.read()
    if marker.encode('ascii') in data:
        sys.exit(f'{path}: already holds {marker}')
    # Beside a line break when one is close, so that every editor shows it on a line of its own
    # start; otherwise (a single paragraph) at the nearest character boundary.
    middle = len(data) // 2
    newline = data.find(b'\n', middle, middle + 4096)
    at = newline + 1 if newline >= 0 else cp932_boundary(data, middle)
    with open(path, 'wb') as f:
        f.write(data[:at] + marker.encode('ascii') + data[at:])
    print(at)


def mark_rtf(path, marker):
    with open(path, 'rb') as f:
        data = f.read()
    if marker.encode('ascii') in data:
        sys.exit(f'{path}: already holds {marker}')
    # Before the first \par control word behind the middle: there the text of a paragraph ends,
    # outside any \'hh escape or \uN fallback, and far from the header's tables.
    at = len(data) // 2
    while True:
        at = data.find(b'\\par', at)
        if at < 0:
            sys.exit(f'{path}: no \\par behind the middle')
        after = data[at + 4:at + 5]
        if not after.isalpha() and data[at - 1:at] != b'\\':
            break
        at += 4
    with open(path, 'wb') as f:
        f.write(data[:at] + b' ' + marker.encode('ascii') + data[at:])
    print(at)


def rtf_text(text):
    """Japanese text as RTF: CP932 bytes as \\'hh escapes, ASCII as it is."""
    out = []
    for ch in text:
        if ch in '\\{}':
            out.append('\\' + ch)
        elif ord(ch) < 0x80:
            out.append(ch)
        else:
            out.append(''.join(f"\\'{b:02x}" for b in ch.encode('cp932')))
    return ''.join(out)


RTF_HEADER = ('{\\rtf1\\ansi\\ansicpg932\\deff0\\deflang1041'
              '{\\fonttbl{\\f0\\fnil\\fcharset128 ' + rtf_text('ＭＳ 明朝') + ';}'
              '{\\f1\\fnil\\fcharset128 ' + rtf_text('ＭＳ ゴシック') + ';}}\n'
              '\\viewkind4\\uc1\\pard\\f0\\fs21\n')

ITEMS = ['鉛筆', '消しゴム', '定規', '便箋', '封筒', '切手', '手帳', '万年筆', 'インク', '糊']


def table(out, rows, marker):
    widths = [1000, 3600, 5000, 8600]   # right edges of the four cells, twips
    # Ruled, as tables are: the lines also give the window enough ink that a blinking caret
    # stays below what the meter counts as the screen still changing.
    border = ''.join(f'\\clbrdr{side}\\brdrs\\brdrw10' for side in 'tlbr')
    cells = ''.join(f'{border}\\cellx{w}' for w in widths)
    parts = [RTF_HEADER, '\\b ' + rtf_text('「備品の一覧」') + '\\b0\\par\n']
    header = ['番号', '品名', '数量', '備考']
    for r in range(rows + 1):
        if r == 0:
            texts = header
        else:
            note = f'{r}行目の備考です。'
            if r == (rows + 1) // 2:
                note += marker
            texts = [str(r), ITEMS[r % len(ITEMS)] + f'（{r % 7 + 1}号）', f'{(r * 37) % 500 + 1}個', note]
        parts.append('\\trowd\\trgaph108\\trleft0' + cells + '\n')
        parts.append(''.join('\\pard\\intbl ' + rtf_text(t) + '\\cell ' for t in texts))
        parts.append('\\row\n')
    parts.append('\\pard ' + rtf_text('以上です。') + '\\par\n}\n')
    with open(out, 'w', encoding='ascii') as f:
        f.write(''.join(parts))


def png(width, height, seed):
    """An RGB PNG of dark and light bands and a disc, different for each seed (a photograph's
    mix of dark and light, not a blank page)."""
    rows = []
    cx, cy, r2 = width * (seed % 3 + 1) // 4, height // 2, (height // 3) ** 2
    for y in range(height):
        row = bytearray([0])
        for x in range(width):
            if (x - cx) ** 2 + (y - cy) ** 2 < r2:
                px = (230, 180 + seed * 10, 60)
            elif (x + y * (seed + 1)) // 24 % 2:
                px = (40 + y * 60 // height, 70 + seed * 15, 50 + x * 60 // width)
            else:
                px = (150 + y * 80 // height, 200, 170 + x * 60 // width)
            row += bytes(c % 256 for c in px)
        rows.append(bytes(row))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(b''.join(rows), 6)) + chunk(b'IEND', b''))


def pictures(out, count, marker):
    width, height = 240, 150
    parts = [RTF_HEADER, '\\f1\\b ' + rtf_text('「写真の記録」') + '\\b0\\f0\\par\n']
    for i in range(count):
        data = png(width, height, i).hex()
        lines = '\n'.join(data[k:k + 128] for k in range(0, len(data), 128))
        # 15 twips a pixel: shown at 96 dpi as the PNG is.
        parts.append(f'\\pard{{\\pict\\pngblip\\picw{width}\\pich{height}'
                     f'\\picwgoal{width * 15}\\pichgoal{height * 15}\n{lines}\n}}\\par\n')
        caption = f'写真{i + 1}：庭の様子（{i + 1}月）'
        if i == count // 2:
            caption += marker
        parts.append('\\pard ' + rtf_text(caption) + '\\par\n')
    parts.append('}\n')
    with open(out, 'w', encoding='ascii') as f:
        f.write(''.join(parts))


def read_grey_png(path):
    """(width, height, pixels) of the 8-bit grey PNGs typolat writes (filter 0 on every row)."""
    with open(path, 'rb') as f:
        data = f.read()
    pos, idat, width, height = 8, b'', 0, 0
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            width, height = struct.unpack('>II', body[:8])
        elif kind == b'IDAT':
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    pixels = b''.join(raw[y * (width + 1) + 1:(y + 1) * (width + 1)] for y in range(height))
    return width, height, pixels


def wait_change(typolat, regex, before, seconds):
    # A blinking caret is 20-60 pixels; a find bar or a dialog in the window, thousands.
    threshold = 400
    w0, h0, p0 = read_grey_png(before)
    shot = before + '.now.png'
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if subprocess.run([typolat, 'shot', regex, shot], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0:
            w, h, p = read_grey_png(shot)
            if (w, h) != (w0, h0):
                return 0
            changed = sum(1 for a, b in zip(p0, p) if abs(a - b) > 64)
            if changed > threshold:
                return 0
        time.sleep(0.05)
    return 1


def main():
    args = sys.argv[1:]
    if not args:
        sys.exit(__doc__)
    command = args[0]
    if command == 'mark-text' and len(args) == 3:
        mark_text(args[1], args[2])
    elif command == 'mark-rtf' and len(args) == 3:
        mark_rtf(args[1], args[2])
    elif command == 'table' and len(args) == 4:
        table(args[1], int(args[2]), args[3])
    elif command == 'pictures' and len(args) == 4:
        pictures(args[1], int(args[2]), args[3])
    elif command == 'wait-change' and len(args) == 5:
        sys.exit(wait_change(args[1], args[2], args[3], float(args[4])))
    else:
        sys.exit(__doc__)


if __name__ == '__main__':
    main()
