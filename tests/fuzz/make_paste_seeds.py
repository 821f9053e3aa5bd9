#!/usr/bin/env python3
"""Writes the paste-plan seeds of the patch-file fuzz target into corpus/paste/ (run once; the
output is committed, beside the inputs of a longer run that added coverage, kept after a
set-cover merge). Each seed starts with the byte 1, the mode that splits a file and pastes
it: the rest is a clipboard payload with blocks of the fuzz target's library, or bytes that the
target turns into a selection to copy and paste."""
import os
import random
import struct
import zlib

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "corpus", "paste")
os.makedirs(out, exist_ok=True)

BRK = b"\xff\xff\x00"
SEP = b"knotlattice\x00"


def text(s):
    b = s.encode()
    return struct.pack(">H", len(b)) + b


def block(name, hash_, node, id_, x, y, values, cables):
    b = text(name) + text(hash_) + bytes([node]) + struct.pack(">HHH", id_, x, y)
    b += text(values) + bytes([len(cables)])
    for out_socket, target, in_socket in cables:
        b += bytes([out_socket]) + struct.pack(">H", target) + bytes([in_socket])
    return b


def payload(blocks, comments, files, x=280, y=200):
    header = text("") + struct.pack(">HH", x, y) + b"\x00" + struct.pack(">HIHBH", 0, 0, 0, 0, 0)
    notes = b"".join(struct.pack(">HHH", i, cx, cy) + text(t) for i, cx, cy, t in comments)
    nodes = b"\x00" + struct.pack(">I", 0)
    body = header + BRK + notes + BRK + nodes + BRK + b"".join(blocks)
    record = struct.pack(">H", 6) + struct.pack(">I", len(body)) + zlib.compress(body)
    return record + b"".join(SEP + f for f in files)


echo = (b'<block name="Echo"><category>Math</category><data name="d"><var socket="in"/>'
        b'<var socket="out"/><var socket="out"/></data><function name="f"/></block>\n')

seeds = {
    "seed-payload": payload(
        [block("Osc", "0000", 0, 3, 300, 200, "1;0;2;1,2,3,4;0", [(0, 7, 1)]),
         block("Mix", "0000", 0, 7, 500, 260, "0;0;0;0", []),
         block("Echo", "0000", 0, 0, 320, 220, "0;0;0;0", [(1, 3, 0)])],
        [(1, 280, 400, "hello"), (0, 300, 420, "<b>x</b>")], [echo]),
    "seed-missing": payload(
        [block("Ghost", "", 0, 1, 0, 0, "", [(0, 2, 0)]),
         block("Audio Output", "abcd", 0, 2, 10, 0, "0;0;0", [])],
        [(1, 0, 0, "")], [b"<not xml"]),
    "seed-ids": payload(
        [block("Osc", "0000", 0, 65535, 65535, 0, "0", [(0, 1, 0), (5, 1, 9)]),
         block("Osc", "0000", 0, 1, 0, 65535, "0", [(0, 65535, 0)])],
        [], [], x=0, y=0),
}
rng = random.Random(20)
for i in range(4):
    seeds["seed-made-%d" % i] = bytes(rng.randrange(256) for _ in range(160))

for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(b"\x01" + data)
