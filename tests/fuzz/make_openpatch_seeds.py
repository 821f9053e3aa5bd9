#!/usr/bin/env python3
"""Writes seed files of the open-path fuzz target into corpus/openpatch/ (run once; the output
is committed): patch files of the shipped blocks with cables, comments and carried blocks, and
the large and hostile shapes that the target must open or refuse."""
import hashlib
import os
import re
import struct
import zlib

here = os.path.dirname(os.path.abspath(__file__))
blocks_dir = os.path.join(here, "..", "..", "runtime", "blocks")
out = os.path.join(here, "corpus", "openpatch")
os.makedirs(out, exist_ok=True)

BRK = b"\xff\xff\x00"
SEP = b"knotlattice\x00"


def text(s):
    b = s if isinstance(s, bytes) else s.encode()
    return struct.pack(">H", len(b)) + b


def qcompress(b):
    return struct.pack(">I", len(b)) + zlib.compress(b)


def shipped():
    """Name -> hash of every shipped block, as the editor computes it."""
    hashes = {}
    for f in sorted(os.listdir(blocks_dir)):
        data = open(os.path.join(blocks_dir, f), "rb").read()
        m = re.search(rb'<block name="([^"]*)"', data)
        if m:
            hashes[m.group(1).decode()] = hashlib.sha1(data.replace(b"\r", b"")).hexdigest()[:4]
    return hashes


HASH = shipped()


def block(name, bid, x, y, values="0", cables=(), hash_=None):
    h = HASH.get(name, "") if hash_ is None else hash_
    r = text(name) + text(h) + b"\x00" + struct.pack(">HHH", bid, x, y) + text(values)
    r += bytes([len(cables)])
    for o, t, i in cables:
        r += bytes([o]) + struct.pack(">H", t) + bytes([i])
    return r


def comment(cid, x, y, s):
    return struct.pack(">HHH", cid, x, y) + text(s)


def patch_file(blocks=b"", comments=b"", parts=()):
    header = text("seed") + struct.pack(">HHBHIHBH", 2000, 2000, 0, 0, 0, 1, 31, 1)
    body = header + BRK + comments + BRK + b"\x00" + struct.pack(">I", 0) + BRK + blocks
    data = struct.pack(">H", 6) + qcompress(body) + struct.pack(">I", 0)
    for p in parts:
        data += SEP + p
    return data


def write(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


echo = (b'<block name="Echo">\n<category>Effects</category>\n<data name="echo_data">\n'
        b'<v socket="in" info="In"/>\n<v socket="out" info="Out"/>\n</data>\n'
        b'<function name="echo">data->out0 = *data->in0;</function>\n</block>\n')
echo_hash = hashlib.sha1(echo).hexdigest()[:4]

chain = block("Audio Output", 1, 300, 600) + block("Split", 2, 300, 500, cables=[(0, 1, 0), (1, 1, 1)])
chain += block("Sine Oscillator", 3, 300, 400, cables=[(0, 2, 0)])
chain += block("Add", 4, 300, 300, cables=[(0, 3, 0)])
chain += block("Echo", 5, 500, 300, cables=[(0, 4, 1)], hash_=echo_hash)
notes = comment(1, 100, 100, "plain note") + comment(2, 400, 100, "<b>bold</b> and <br>more")
write("chain-carried", patch_file(chain, notes, [qcompress(echo)]))
write("carried-cut", patch_file(chain, notes, [qcompress(echo)[:40]]))
write("one-input-255", patch_file(
    block("Sine Oscillator", 1, 100, 100, cables=[(0, 2, 0)] * 255) + block("Add", 2, 100, 300)))
write("fan-out", patch_file(
    block("Sine Oscillator", 1, 100, 100, cables=[(0, 2, 0), (0, 3, 0), (0, 2, 1)]) +
    block("Add", 2, 100, 300) + block("Add", 3, 300, 300)))
write("replaced-ids", patch_file(
    block("Audio Output", 1, 100, 100) + block("Add", 1, 100, 200, cables=[(0, 2, 0)]) +
    block("Add", 2, 300, 200, cables=[(0, 1, 0)])))
write("unknown-blocks", patch_file(
    block("Nowhere", 1, 100, 100, cables=[(0, 2, 0)], hash_="abcd") + block("Add", 2, 100, 300)))
write("different-hash", patch_file(block("Add", 1, 100, 100, hash_="0000")))
write("comments-html", patch_file(b"", b"".join(
    comment(i, 10 * i, 20 * i, "<p>Note %d: <i>the %d-th</i></p>" % (i, i)) for i in range(1, 60))))
big = b"".join(block("Add", i, (i % 100) * 40, (i // 100) * 40, "0;0;0",
                     cables=[(0, i + 1, 0)] if i < 2000 else []) for i in range(1, 2001))
write("chain-2000", patch_file(big))
write("empty-records-4500000", patch_file(b"\x00" * (14 * 4500000)))
