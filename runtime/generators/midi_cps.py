#!/usr/bin/env python3
"""Writes the note-to-frequency table midi_cps into the emulator template.

Entry n is the frequency of MIDI note n mod 128 in hertz times 1024, rounded to the nearest
integer: round(440 * 2 ** ((n % 128 - 69) / 12) * 1024). The rounding is decided with exact
integer arithmetic, so the table never depends on the floating-point library that runs this.

    midi_cps.py [TEMPLATE]          rewrite the table between its begin and end lines
    midi_cps.py --check [TEMPLATE]  exit 1 when the template's table differs
    midi_cps.py --print             print the table text
"""

import os
import sys

BEGIN = "/* midi_cps: begin (written by runtime/generators/midi_cps.py, do not edit) */\n"
END = "/* midi_cps: end */\n"
A4 = 440 * 1024  # note 69


def nearest(note):
    """The integer m nearest to A4 * 2 ** ((note - 69) / 12), exactly.

    m is the nearest integer when (m - 1/2)^12 <= A4^12 * 2^k < (m + 1/2)^12 (k = note - 69);
    scaling by 2 keeps every quantity an integer. No value lies exactly half way, since
    2^(k/12) is irrational unless 12 divides k, and then the value is an integer.
    """
    k = note - 69
    lhs_num = (2 * A4) ** 12 * (2 ** k if k >= 0 else 1)
    lhs_den = 2 ** -k if k < 0 else 1

    def below(m):  # (2m + 1)^12 > target, i.e. target < (m + 1/2)^12
        return (2 * m + 1) ** 12 * lhs_den > lhs_num

    m = int(round(A4 * 2.0 ** (k / 12.0)))
    while not below(m):
        m += 1
    while m > 0 and below(m - 1):
        m -= 1
    return m


def table_text():
    values = [nearest(n % 128) for n in range(256)]
    lines = [BEGIN, "const int32_t midi_cps[256] = {\n"]
    for row in range(0, 256, 8):
        cells = ", ".join("%d" % v for v in values[row:row + 8])
        lines.append("    " + cells + ("," if row + 8 < 256 else "") + "\n")
    lines.append("};\n")
    lines.append(END)
    return "".join(lines)


def split_template(text):
    start = text.find(BEGIN)
    end = text.find(END, start if start >= 0 else 0)
    if start < 0 or end < 0:
        raise SystemExit("midi_cps.py: the template has no midi_cps begin and end lines")
    return text[:start], text[start:end + len(END)], text[end + len(END):]


def main(argv):
    args = argv[1:]
    if args == ["--print"]:
        sys.stdout.write(table_text())
        return 0
    check = bool(args) and args[0] == "--check"
    if check:
        args = args[1:]
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "templ_emul.txt")
    path = args[0] if args else default
    with open(path, "r", encoding="utf-8", newline="") as f:
        text = f.read()
    head, current, tail = split_template(text)
    wanted = table_text()
    if check:
        if current != wanted:
            sys.stderr.write("midi_cps.py: the table in %s is not the generated one\n" % path)
            return 1
        return 0
    if current != wanted:
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(head + wanted + tail)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
