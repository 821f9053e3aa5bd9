#!/usr/bin/env python3
"""Writes seeds of start tags with many attributes, declared attribute defaults, many elements and
block names in rich text into the corpus of every fuzz target (run once; the output is
committed). Each file is named by the SHA-1 of its bytes, as libFuzzer names its inputs."""
import hashlib
import os
import struct
import zlib

here = os.path.dirname(os.path.abspath(__file__))

BRK = b"\xff\xff\x00"
SEP = b"knotlattice\x00"
# Markup, a direction override and an image of /dev/zero: shown as rich text, such a name read
# gigabytes from a few hundred bytes of file.
RICH = '<b>Bold</b><i>x</i><br><img src="/dev/zero"><font color="red">\u202eright to left</font>'


def escaped(s):
    return (s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;"))


def attributes(count, value=""):
    return "".join(' a%d="%s"' % (i, value) for i in range(count))


def block_file(name="Echo", first_tag="", children=""):
    return ('<block name="%s"%s>\n<category>Effects</category>\n<data name="echo_data">\n'
            '<var socket="in" info="In"/>\n<var socket="out" info="Out"/>\n%s</data>\n'
            '<function name="echo">data->out0 = data->in0[0];</function>\n</block>\n'
            % (escaped(name), first_tag, children)).encode()


def text(s):
    b = s if isinstance(s, bytes) else s.encode()
    return struct.pack(">H", len(b)) + b


def qcompress(b):
    return struct.pack(">I", len(b)) + zlib.compress(b)


def block_record(name, bid, values="0", cables=()):
    r = text(name) + text("abcd") + b"\x00" + struct.pack(">HHH", bid, 100 * bid, 100) + \
        text(values) + bytes([len(cables)])
    for o, t, i in cables:
        r += bytes([o]) + struct.pack(">H", t) + bytes([i])
    return r


def patch_file(blocks, comments=b"", parts=()):
    header = text("seed") + struct.pack(">HHBHIHBH", 2000, 2000, 0, 0, 0, 1, 31, 1)
    body = header + BRK + comments + BRK + b"\x00" + struct.pack(">I", 0) + BRK + blocks
    data = struct.pack(">H", 6) + qcompress(body) + struct.pack(">I", 0)
    for p in parts:
        data += SEP + qcompress(p)
    return data


def write(target, data):
    folder = os.path.join(here, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, hashlib.sha1(data).hexdigest()), "wb") as f:
        f.write(data)


wide = block_file(first_tag=attributes(2000))
at_bound = block_file(first_tag=attributes(63))
past_bound = block_file(first_tag=attributes(64))
many_elements = block_file(children='<var name="v" value="1" info="x"/>\n' * 5000)
many_tags = block_file(children="<a%s/>\n" % attributes(64) * 100)
defaults = ("<!DOCTYPE block [<!ATTLIST block%s>]>\n" %
            "".join(" a%d CDATA \"v\"" % i for i in range(200))).encode() + block_file()
utf16 = block_file(first_tag=attributes(100)).decode().encode("utf-16")
rich = block_file(name=RICH)

for data in (wide, at_bound, past_bound, many_elements, many_tags, defaults, utf16, rich):
    write("corpus/blockfile", data)
write("corpus/blockfile", b"\x01" + qcompress(wide))

cables = [(0, 2, 0)]
carrying_wide = patch_file(block_record("Echo", 1, cables=cables) + block_record("Echo", 2),
                           parts=[wide])
rich_names = patch_file(block_record(RICH, 1, cables=cables) + block_record(RICH, 2),
                        comments=struct.pack(">HHH", 1, 10, 10) + text(RICH), parts=[rich])
for data in (carrying_wide, rich_names):
    write("corpus/openpatch", data)
    write("corpus/patchfile", b"\x01" + data)
write("corpus/patchfile", b"\x00" + rich_names.split(SEP)[0])

write("corpus/emulatorinput", b"\x01" + ("v0 512\n" + RICH + "\n1 100\n").encode())

reply_wide = ('<patches><patch id="1"%s pname="p"/></patches>' % attributes(1500)).encode()
reply_rich = ('<patches><patch id="1" pname="%s" uname="%s"><description><![CDATA[\n%s]]>'
              '</description></patch></patches>' % (escaped(RICH), escaped(RICH), RICH)).encode()
block_rich = ('<blocks><block id="1" bname="%s" title="%s" hash="abcd"/></blocks>'
              % (escaped(RICH), escaped(RICH))).encode()
write("replies/corpus", b"\x00" + reply_wide)
write("replies/corpus", b"\x00" + reply_rich)
write("replies/corpus", b"\x01" + block_rich)
