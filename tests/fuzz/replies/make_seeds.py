#!/usr/bin/env python3
"""Writes the seed corpus of the reply-reader fuzz target into corpus/ (run once; the output,
minimised together with what the fuzzer found, is committed). The first byte of each seed picks
the reader: 0 patch list, 1 block list, 2 comment list, 3 version, 4 block list matched against
missing blocks."""
import os

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "corpus")
os.makedirs(out, exist_ok=True)

HEAD = b'<?xml version="1.0" encoding="UTF-8"?>'


def cdata(tag, text):
    return b"<%s><![CDATA[%s]]></%s>" % (tag, text, tag)


patches = HEAD + b"<patches>" + b"".join(
    b'<patch id="%d" uid="%d" pname="p%d &amp; q" uname="ann" filename="p.ktl" date="%d">'
    % (i, i + 1, i, 1700000000 + i) + cdata(b"description", b"\nline <b>%d</b>" % i) + b"</patch>"
    for i in range(3)) + b"</patches>"
nested = b"<patches><a><b><patch id=\"1\"/></b></a><patch/></patches>"
blocks = HEAD + b"<blocks>" + b"".join(
    b'<block hash="%04x" id="%d" uid="1" bname="B%d" title="T" uname="bo" filename="b.xml" '
    b'category="Math" date="4294967295">' % (i * 4099, i, i % 2) +
    cdata(b"description", b"\n\nx ]]]]><![CDATA[> y") + b"</block>" for i in range(4)) + b"</blocks>"
comments = HEAD + b"<comments><comment date=\"86400\" id=\"9\" uid=\"2\" uname=\"cy\">" + \
    cdata(b"content", b"<i>hi</i>") + b"</comment><x><comment/></x></comments>"
seeds = {
    "patches": b"\x00" + patches,
    "patches-nested": b"\x00" + nested,
    "patches-wrong-root": b"\x00<blocks><patch id=\"1\"/></blocks>",
    "blocks": b"\x01" + blocks,
    "comments": b"\x02" + comments,
    "version-newer": b"\x03<version major=\"1\" sub=\"0\" build=\"1\"/>",
    "version-partial": b"\x03<version major=\"2\" sub=\"0\"/>",
    "missing": b"\x04" + blocks,
    "missing-all": b"\xf9" + blocks,
    "entities": b"\x00<!DOCTYPE p [<!ENTITY a \"aa\"><!ENTITY b \"&a;&a;\">]>"
                b"<patches><patch pname=\"&b;\"/></patches>",
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
