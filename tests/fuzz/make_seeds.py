#!/usr/bin/env python3
"""Writes the seed corpus of the patch-file fuzz target into corpus/patchfile/ (run once; the
output is committed). The first byte of each seed picks the mode: 0 a patch record, 1 a patch file,
2 a body with its version byte, 3 bytes that the target turns into a patch."""
import os
import random
import struct
import zlib

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "corpus", "patchfile")
os.makedirs(out, exist_ok=True)

BRK = b"\xff\xff\x00"
SEP = b"knotlattice\x00"
OLD = b"\x0f\x0f\x00"


def text(s):
    b = s.encode()
    return struct.pack(">H", len(b)) + b


def qcompress(b, level=-1):
    return struct.pack(">I", len(b)) + zlib.compress(b, level)


def body(version, x=300, y=65535, date=0x01FFFF02, node=0xFFFFFFFF, plain=False):
    """With plain, no field holds the bytes FF FF, so the plain reading gets it right too."""
    a, b = (10, 20) if plain else (0x00FF, 0xFF00)
    bx, by = (30, 40) if plain else (0x01FF, 0xFF00)
    h = text("drum") + struct.pack(">HH", x, y)
    if version >= 3:
        h += b"\x01" + struct.pack(">H", 2)
    h += struct.pack(">IHB", date, 9, 31)
    if version == 6:
        h += struct.pack(">H", 1)
    flag = b"\x01" if version in (2, 3) else b""
    c = struct.pack(">HHH", 1, 280, 400) + text("hi") + flag
    c += struct.pack(">HHH", 2, a, b) + text("<b>x</b>") + flag
    d = b"\x00" + struct.pack(">I", 0) + b"\x01" + struct.pack(">I", node)
    blocks = text("Mixer") + text("ab12") + b"\x00" + struct.pack(">HHH", 1, 300, 200)
    blocks += text("1;0.5;") + b"\x01" + b"\x00" + struct.pack(">H", 2) + b"\x01"
    blocks += text("Out") + text("c3d4") + b"\x01" + struct.pack(">HHH", 2, bx, by)
    blocks += text("") + b"\x00"
    return h + BRK + c + BRK + d + BRK + blocks


def record(version, b, node=7):
    return struct.pack(">H", version) + qcompress(b) + struct.pack(">I", node)


def v0():
    def cstr(s):
        b = s.encode() + b"\x00"
        return struct.pack(">I", len(b)) + b
    r = cstr("Mixer") + b"\x01" + struct.pack(">HH", 300, 200) + cstr("1;0.5") + b"\x01\x00\x02\x01"
    r += cstr("Out") + b"\x02" + struct.pack(">HH", 10, 20) + cstr("") + b"\x00"
    return r


block = b'<block name="User">\r\n<category>Math</category>\r\n<data name="d"/></block>\r\n'
seeds = {}
for v in range(1, 7):
    seeds["body-v%d" % v] = b"\x02" + bytes([v - 1]) + body(v)
for v in range(1, 7):
    seeds["body-v%d-plain" % v] = b"\x02" + bytes([v - 1]) + body(v, 100, 200, 5, 3, True)
seeds["record-v6"] = b"\x00" + record(6, body(6))
seeds["record-v3"] = b"\x00" + record(3, body(3))
seeds["record-v0"] = b"\x00" + v0()
seeds["record-v7"] = b"\x00" + record(7, body(6))
seeds["file-v6"] = b"\x01" + record(6, body(6)) + SEP + qcompress(block) + SEP + qcompress(b"")
seeds["file-v6-stored"] = b"\x01" + record(6, body(6)) + SEP + qcompress(block + b"knotlattice!", 0)
seeds["file-v3"] = b"\x01" + record(3, body(3)) + OLD + qcompress(block + OLD, 0)
seeds["file-v0"] = b"\x01" + v0() + OLD + qcompress(block)
seeds["clipboard"] = b"\x01" + struct.pack(">H", 6) + qcompress(body(6)) + SEP + block
# Breaks that overlap (FF FF FF FF FF FF): the plain reading takes them as three.
seeds["regress-overlapping-breaks"] = bytes.fromhex(
    "72750001c86d0001ff0018ff7f2664722dff7fffffffffffff")
rng = random.Random(1)
for i in range(4):
    seeds["made-%d" % i] = b"\x03" + bytes(rng.randrange(256) for _ in range(160))

for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
print("wrote %d seeds" % len(seeds))
