#!/usr/bin/env python3
"""Synthesises the recorded sounds of the sample players and writes their block files.

Every sound is made here, at the player's 20000 samples a second, so that K / 256 Hz is its
pitch when one stored sample is played per call. All arithmetic is on Python integers (a sine
table from an integer Taylor series, integer filters, a linear congruential noise source), so
the output is the same on every machine and owes nothing to a floating-point library.

For each player the script writes
    runtime/blocks/<function>.xml            the block file, its sound packed into `buf`
    runtime/generators/samples/<function>.raw
                                             the stored sample values (what the player reads
                                             back: -512..511), 16-bit little-endian

    samples.py            write the files that differ
    samples.py --check    exit 1 when a committed file is not what this script makes
"""

import os
import struct
import sys
import textwrap

HERE = os.path.dirname(os.path.abspath(__file__))
BLOCKS = os.path.join(HERE, "..", "blocks")
DUMPS = os.path.join(HERE, "samples")

RATE = 20000
ONE = 1 << 30  # Q30: 1.0

# ---------------------------------------------------------------------------------------------
# Integer signal helpers

PI_E50 = 314159265358979323846264338327950288419716939937510  # pi x 10^50
FRAC = 62
PI_Q62 = PI_E50 * (1 << FRAC) // 10 ** 50
PI_Q30 = PI_Q62 >> (FRAC - 30)


def _sin_turn(num, den):
    """sin(2 pi num / den) in Q30 for 0 <= num / den <= 1/4, by its Taylor series in Q62."""
    x = 2 * PI_Q62 * num // den
    term = x
    total = x
    k = 1
    while term != 0:
        size = (abs(term) * x >> FRAC) * x >> FRAC
        size //= (2 * k) * (2 * k + 1)
        term = -size if term > 0 else size
        total += term
        k += 1
    return (total + (1 << (FRAC - 31))) >> (FRAC - 30)


TURN_BITS = 16
QUARTER = 1 << (TURN_BITS - 2)
SINE = [_sin_turn(i, 1 << TURN_BITS) for i in range(QUARTER + 1)]


def _sine_step(k):
    k &= (1 << TURN_BITS) - 1
    quadrant, r = divmod(k, QUARTER)
    if quadrant == 0:
        return SINE[r]
    if quadrant == 1:
        return SINE[QUARTER - r]
    if quadrant == 2:
        return -SINE[r]
    return -SINE[QUARTER - r]


def sin32(phase):
    """Sine in Q30 of a phase in 2^-32 turns, interpolated in a table of 65536 steps."""
    phase &= 0xFFFFFFFF
    step = phase >> (32 - TURN_BITS)
    frac = phase & ((1 << (32 - TURN_BITS)) - 1)
    a = _sine_step(step)
    b = _sine_step(step + 1)
    return a + ((b - a) * frac >> (32 - TURN_BITS))


def cos32(phase):
    return sin32(phase + (1 << 30))


def increment(millihertz):
    """Phase step per sample (2^-32 turns) for a frequency in millihertz, rounded."""
    return (millihertz * (1 << 32) * 2 + RATE * 1000) // (2 * RATE * 1000)


def decay(samples):
    """Per-sample factor (Q30) that falls by e in about `samples` samples: 1 - 1 / samples."""
    return ONE - ONE // samples


class Noise:
    """Uniform noise in Q30 from a 32-bit linear congruential generator."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return ((self.state >> 8) - (1 << 23)) << 7


class Resonator:
    """Two-pole band-pass at `centre` with bandwidth `width` (both in millihertz)."""

    def __init__(self, centre, width):
        self.r = ONE - PI_Q30 * width // (RATE * 1000)
        self.c = 2 * self.r * cos32(increment(centre)) >> 30
        self.rr = self.r * self.r >> 30
        self.gain = ONE - self.r
        self.y1 = 0
        self.y2 = 0

    def step(self, x):
        y = (x * self.gain >> 30) * 2 + (self.c * self.y1 >> 30) - (self.rr * self.y2 >> 30)
        self.y2 = self.y1
        self.y1 = y
        return y


def lowpass(signal, coefficient):
    """One-pole low-pass; `coefficient` (Q30) is the share of the new input each sample."""
    y = 0
    out = []
    for x in signal:
        y += (x - y) * coefficient >> 30
        out.append(y)
    return out


def normalise(signal, peak):
    """Scales to a largest magnitude of `peak` sample values, rounding to the nearest."""
    top = max(abs(x) for x in signal) or 1
    return [(2 * x * peak + top) // (2 * top) for x in signal]


# ---------------------------------------------------------------------------------------------
# The sounds: each returns a list of sample values of about -512..511 (before quantising)

def kick(n, body_mhz, start_ratio, sweep, length, peak, click=0):
    """A sine swept down from start_ratio x the body frequency to the body frequency (time
    constant `sweep` samples), its level falling with time constant `length` samples."""
    out = []
    phase = 0
    level = ONE
    excess = (start_ratio - 1) * ONE
    fall = decay(sweep)
    fade = decay(length)
    noise = Noise(0x4B1C)
    for i in range(n):
        freq = body_mhz + (body_mhz * excess >> 30)
        s = sin32(phase) * level >> 30
        if i < click:
            s += noise.next() * (click - i) // (4 * click)
        out.append(s)
        phase += increment(freq)
        excess = excess * fall >> 30
        level = level * fade >> 30
    # The last few samples fade to silence so that the end does not click.
    for i in range(min(32, n)):
        out[n - 1 - i] = out[n - 1 - i] * i // 32
    return normalise(out, peak)


def noise_bursts(n, centre_mhz, width_mhz, bursts, tail, seed, peak):
    """Noise through two band-pass stages; `bursts` are (start, time constant) in samples,
    each restarting the level, the last one lasting with time constant `tail`."""
    noise = Noise(seed)
    first = Resonator(centre_mhz, width_mhz)
    second = Resonator(centre_mhz, width_mhz)
    out = []
    level = 0
    fade = ONE
    starts = dict(bursts)
    last = bursts[-1][0]
    for i in range(n):
        if i in starts:
            level = ONE
            fade = decay(tail if i == last else starts[i])
        x = noise.next() * level >> 30
        out.append(second.step(first.step(x)))
        level = level * fade >> 30
    for i in range(min(64, n)):
        out[n - 1 - i] = out[n - 1 - i] * i // 64
    return normalise(out, peak)


def snare(n, tone_mhz, peak):
    """A decaying tone with a band of noise around and above it."""
    noise = Noise(0x5A4E)
    colour = Resonator(2 * tone_mhz, 2500000)
    out = []
    phase = 0
    tone = ONE
    hiss = ONE
    tone_fade = decay(500)
    hiss_fade = decay(300)
    for i in range(n):
        t = sin32(phase) * tone >> 30
        h = colour.step(noise.next()) * hiss >> 30
        out.append(t + h * 3 // 10)
        phase += increment(tone_mhz)
        tone = tone * tone_fade >> 30
        hiss = hiss * hiss_fade >> 30
    for i in range(min(64, n)):
        out[n - 1 - i] = out[n - 1 - i] * i // 64
    return normalise(out, peak)


def single_cycle(n, harmonics, peak):
    """One cycle over exactly n samples: a sum of harmonics (number, level in 1/1000, phase in
    quarter turns)."""
    out = []
    for i in range(n):
        total = 0
        for h, level, quarter in harmonics:
            phase = h * i * (1 << 32) // n + quarter * (1 << 30)
            total += sin32(phase) * level // 1000
        out.append(total)
    return normalise(out, peak)


# Notes of the guitar riff: MIDI note -> frequency in millihertz.
NOTES = {43: 97999, 45: 110000, 48: 130813, 50: 146832, 52: 164814}


def guitar_loop(n, peak):
    """A plucked string (Karplus-Strong: a noise burst circulating through a delay line and an
    averaging filter) playing a riff around A2 (110 Hz). Notes that still ring at the end of
    the loop carry on at its start, so the loop has no seam."""
    eighth = n // 32
    # (eighth, note, velocity in 1/100): four bars of eight eighths
    riff = []
    for bar in range(4):
        b = bar * 8
        riff += [(b, 45, 100), (b + 3, 45, 70), (b + 4, 45, 85), (b + 6, 45, 60)]
        riff += [(b + 2, {0: 52, 1: 48, 2: 52, 3: 50}[bar], 45)]
        riff += [(b + 7, {0: 43, 1: 52, 2: 43, 3: 48}[bar], 40)]
    riff.sort()
    mix = [0] * n
    ring = 12 * eighth
    gain = decay(9000)
    for number, (start, note, velocity) in enumerate(riff):
        length = RATE * 1000 // NOTES[note]  # delay line; the filter adds half a sample
        noise = Noise(0x6172 + number)
        line = [noise.next() * velocity // 100 for _ in range(length)]
        line = lowpass(line, ONE * 3 // 4)
        at = start * eighth
        k = 0
        for i in range(ring):
            y = line[k]
            following = line[k + 1 if k + 1 < length else 0]
            line[k] = (y + following) // 2 * gain >> 30
            k = k + 1 if k + 1 < length else 0
            mix[(at + i) % n] += y
    return normalise(mix, peak)


def voice(n, formants, peak):
    """A buzz at 440 Hz (its harmonics falling 12 dB an octave) through formant resonators
    (centre and bandwidth in millihertz), with a soft start and end."""
    step = increment(440000)
    harmonics = RATE // 2 // 440
    resonators = [Resonator(c, w) for c, w in formants]
    out = []
    attack = RATE * 15 // 1000
    release = RATE * 25 // 1000
    for i in range(n):
        buzz = 0
        for h in range(1, harmonics + 1):
            buzz += sin32(h * step * i) // (h * h)
        y = sum(r.step(buzz) for r in resonators)
        if i < attack:
            y = y * i // attack
        elif i >= n - release:
            y = y * (n - 1 - i) // release
        out.append(y)
    return normalise(out, peak)


# ---------------------------------------------------------------------------------------------
# Quantising and packing

def quantise(values, bits):
    """The raw stored numbers and the values the player reads back from them."""
    raws = []
    for v in values:
        if bits == 10:
            raw = v + 512
        elif bits == 8:
            raw = (v + 512 + 2) // 4
        else:
            raw = (v + 512 + 32) // 64
        raws.append(max(0, min((1 << bits) - 1, raw)))
    if bits == 10:
        back = [r - 512 for r in raws]
    elif bits == 8:
        back = [r * 4 - 512 for r in raws]
    else:
        back = [r * 64 - 512 for r in raws]
    return raws, back


def pack(raws, bits):
    """Most significant bits first; 10-bit samples as one stream across word boundaries."""
    words = []
    held = 0
    count = 0
    for r in raws:
        held = (held << bits) | r
        count += bits
        if count >= 32:
            count -= 32
            words.append(held >> count)
            held &= (1 << count) - 1
    if count:
        words.append(held << (32 - count))
    return words


# ---------------------------------------------------------------------------------------------
# The players

class Player:
    def __init__(self, function, name, bits, n, k, make, info, sound, speed=None, loop=0):
        self.function = function
        self.name = name
        self.bits = bits
        self.n = n
        self.k = k
        self.make = make
        self.info = info
        self.sound = sound
        self.speed = speed
        self.loop = loop


# One cycle each: (function, samples, K, name, what it is, harmonics as (number, level in
# 1/1000, phase in quarter turns)). The fundamental is always the strongest harmonic, and none
# lies above the 20th, so at 440 Hz every one stays below half the sample rate.
WAVES = [
    ("f_A0", 2172, 2356, "Sine Cycle", "a pure sine", [(1, 1000, 0)]),
    ("f_A1", 2216, 2309, "Triangle Cycle", "a triangle (odd harmonics, falling fast)",
     [(h, 1000 // (h * h), 0 if h % 4 == 1 else 2) for h in range(1, 20, 2)]),
    ("f_A2", 2261, 2264, "Saw Cycle", "a band-limited saw (every harmonic)",
     [(h, 1000 // h, 0) for h in range(1, 21)]),
    ("f_A3", 2217, 2309, "Square Cycle", "a band-limited square (odd harmonics)",
     [(h, 1000 // h, 0) for h in range(1, 20, 2)]),
    ("f_A4", 2101, 2437, "Pulse Cycle", "a pulse a quarter of the cycle wide (bright, nasal)",
     [(h, [0, 1000, 1414, 1000, 0, -1000, -1414, -1000][h % 8] // h, 1)
      for h in range(1, 21) if h % 4]),
    ("f_A5", 2118, 2416, "Organ Cycle", "an organ tone (octaves and fifths, as drawbars give)",
     [(1, 1000, 0), (2, 700, 0), (3, 500, 0), (4, 350, 0), (6, 250, 0), (8, 200, 0)]),
    ("f_A6", 2279, 2246, "Formant Cycle", "a hollow formant wave (a band around the sixth "
     "harmonic)", [(1, 1000, 0), (5, 600, 1), (6, 800, 0), (7, 500, 3)]),
    ("f_A7", 2136, 2396, "Reed Cycle", "a reed tone (even harmonics)",
     [(1, 1000, 0), (2, 800, 1), (4, 600, 0), (6, 450, 1), (8, 350, 0), (10, 250, 1)]),
]


def wave_player(function, n, k, name, what, harmonics):
    return Player(function, name, 8, n, k,
                  lambda n=n, harmonics=harmonics: single_cycle(n, harmonics, 500),
                  "One cycle of %s, looped into an oscillator." % what.split(" (")[0],
                  "one cycle of %s" % what, speed="440", loop=1)


PLAYERS = [
    Player("f_HouseKickAtk", "House Kick Attack", 8, 1000, 13312,
           lambda: kick(1000, 52000, 2, 30, 800, 500, click=40),
           "The punch of a house kick drum, played on a trigger.",
           "the attack of a house kick: a sine swept down onto 52 Hz"),
    Player("f_HouseKickB", "House Kick B", 10, 487, 133120,
           lambda: kick(487, 520000, 2, 15, 250, 500),
           "A short, tight kick drum, played on a trigger.",
           "a short kick: a sine swept down onto 520 Hz with a fast decay"),
    Player("f_ClapLo", "Clap", 4, 1264, 225280,
           lambda: noise_bursts(1264, 880000, 70000, [(0, 60), (180, 60), (360, 60), (540, 0)],
                                260, 0xC1A9, 500),
           "A hand clap, played on a trigger.",
           "a hand clap: bursts of noise around 880 Hz"),
    Player("f_HouseHat", "House Hat", 4, 541, 112640,
           lambda: noise_bursts(541, 440000, 60000, [(0, 0)], 120, 0x4A7, 500),
           "A closed hi-hat, played on a trigger.",
           "a closed hat: a short burst of filtered noise"),
] + [wave_player(*w) for w in WAVES] + [
    Player("f_br_kick", "Kick", 8, 2483, 140800,
           lambda: kick(2483, 550000, 2, 120, 700, 500, click=30),
           "A kick drum with a long body, played on a trigger.",
           "a kick drum: a sine swept down onto 550 Hz"),
    Player("f_br_snare", "Snare", 8, 2139, 225280,
           lambda: snare(2139, 880000, 500),
           "A snare drum, played on a trigger.",
           "a snare drum: an 880 Hz tone with a burst of noise"),
    Player("f_AcousticGuitarLoop", "Acoustic Guitar Loop", 10, 192000, 28160,
           lambda: guitar_loop(192000, 500),
           "A plucked guitar riff in A, as a loop.",
           "a plucked guitar riff in A (root 110 Hz), four bars long", loop=1),
    Player("f_un22", "Voice Un", 10, 3474, 112640,
           lambda: voice(3474, [(520000, 90000), (1480000, 120000), (2400000, 160000)], 500),
           "A sung vowel \"un\" at 440 Hz, played on a trigger.",
           "a voice singing the vowel of \"un\" at 440 Hz"),
    Player("f_Deux22", "Voice Deux", 10, 3271, 112640,
           lambda: voice(3271, [(400000, 80000), (1650000, 120000), (2350000, 160000)], 500),
           "A sung vowel \"deux\" at 440 Hz, played on a trigger.",
           "a voice singing the vowel of \"deux\" at 440 Hz"),
]


# ---------------------------------------------------------------------------------------------
# The block files

PLAYER_CODE = r"""/* The sample players: one sound per block, packed into 32-bit words most significant bits
   first; written by runtime/generators/samples.py. */

/* Stored sample i (0..n-1) as a value of -512..511. A 10-bit sample that crosses into the next
   word reads that word, and only then, so the last sample never reads past the table. */
static inline int32_t sample_player_read(const uint32_t* buf, uint32_t bits, uint32_t i)
{
	uint32_t bit, word, shift;

	if (bits == 8)
		return (int32_t)((buf[i >> 2] >> (24u - 8u * (i & 3u))) & 255u) * 4 - 512;
	if (bits == 4)
		return (int32_t)((buf[i >> 3] >> (28u - 4u * (i & 7u))) & 15u) * 64 - 512;
	bit = i * 10u;
	word = bit >> 5;
	shift = bit & 31u;
	if (shift <= 22u)
		return (int32_t)((buf[word] >> (22u - shift)) & 1023u) - 512;
	return (int32_t)(((buf[word] << (shift - 22u)) | (buf[word + 1] >> (54u - shift))) & 1023u) -
	       512;
}

/* One call of a player of n samples with pitch constant k. flags: bit 0 trigger seen, bit 1
   playing, bit 2 looping. The position is brought back inside the sound before anything is
   read, so no speed, negative ones included, and no stored position reads outside it. */
static inline void sample_player(int32_t trigger, int32_t loop, int32_t speed, int32_t* out,
                                 uint32_t* position, uint8_t* flags, const uint32_t* buf,
                                 uint32_t bits, uint32_t n, uint32_t k)
{
	uint32_t end = n * 1024u;
	uint32_t pos = *position;
	uint32_t f, i, j;
	int32_t s0, s1;
	uint8_t state = *flags;

	if (pos >= end) {
		pos %= end;
		*out = 0;
		state &= (uint8_t)~2u;
	}
	if (trigger != 0) {
		if (!(state & 1u)) {
			pos = 0;
			state |= 3u;
		}
	} else {
		state &= (uint8_t)~1u;
	}
	if (loop != 0)
		state |= 6u;
	else if (state & 4u)
		state &= (uint8_t)~6u;
	*flags = state;
	if (!(state & 2u)) {
		*position = pos;
		return;
	}
	i = pos >> 10;
	f = pos & 1023u;
	s0 = sample_player_read(buf, bits, i);
	j = i + 1u;
	if ((state & 4u) && j >= n)
		j -= n;
	s1 = (f != 0u && j < n) ? sample_player_read(buf, bits, j) : 0;
	*out = ((s0 * (int32_t)(1024u - f)) >> 10) + (((int32_t)f * s1) >> 10);
	*position = pos + (uint32_t)speed * 256u / k;
}"""


def decimal(numerator, denominator):
    """numerator / denominator as its exact decimal text (the denominator has no prime factors
    but 2 and 5, so the digits end)."""
    whole, rest = divmod(numerator, denominator)
    digits = ""
    while rest:
        rest *= 10
        digit, rest = divmod(rest, denominator)
        digits += str(digit)
    return str(whole) + ("." + digits if digits else "")


def seconds(n):
    return decimal(n * 1000 // RATE, 1000) if n * 1000 % RATE == 0 else "%d.%02d" % (
        n // RATE, (n * 100 + RATE // 2) // RATE % 100)


def block_text(player, words):
    recorded = decimal(player.k, 256)
    speed = player.speed or recorded
    rows = []
    for w in range(0, len(words), 8):
        rows.append("\t\t" + ", ".join("0x%08X" % v for v in words[w:w + 8]) + ",")
    table = "\n".join(rows)
    if player.function in [w[0] for w in WAVES]:
        first = ("<p>Plays %s, over and over while <b>Loop</b> is on: an oscillator whose "
                 "<b>Speed</b> is its pitch in hertz (440 is the A above middle C). Feed it from "
                 "a note block to play it in tune.</p>" % player.sound)
    else:
        first = ("<p>Plays %s (%s s) from its start at each rising <b>Trigger</b>, or round and "
                 "round while <b>Loop</b> is on.</p> <p><b>Speed</b> is in hertz: at %s the "
                 "sound plays as it was recorded; twice that plays it an octave higher and twice "
                 "as fast.</p>" % (player.sound, seconds(player.n), recorded))
    help_text = (first + " <p>Turning <b>Loop</b> on plays on from where the sound stands; "
                 "turning it off stops at once and holds the last value. Without looping the "
                 "output goes back to 0 after the end. A speed of 0 holds the sound where it "
                 "is.</p> <p>%d samples of %d bits, stored in the block.</p>"
                 % (player.n, player.bits))
    help_text = "\n".join(textwrap.fill(p + "</p>", 92) for p in help_text.split("</p> ")
                          if p).replace("</p></p>", "</p>")
    return """<block name="%(name)s">
  <category>Generators</category>
  <info>%(info)s</info>
  <data name="%(function)s_rec">
    <v socket="in" editable="1" value="0" info="Trigger"/>
    <v socket="in" editable="1" value="%(loop)d" info="Loop"/>
    <v socket="in" editable="1" value="%(speed)s" info="Speed (Hz)"/>
    <v socket="out" info="Sound"/>
    <v name="position" dtype="uint32_t" info="Position (samples x 1024)"/>
    <v name="playFlags" dtype="uint8_t" info="Trigger seen, playing, looping"/>
  </data>
  <global name="sample_player"><![CDATA[%(code)s]]></global>
  <function name="%(function)s"><![CDATA[	/* %(n)d samples of %(bits)d bits. */
	static const uint32_t buf[%(words)d] = {
%(table)s
	};

	sample_player(*data->in0, *data->in1, *data->in2, &data->out0, &data->position,
	              &data->playFlags, buf, %(bits)du, %(n)du, %(k)du);]]></function>
  <help><![CDATA[%(help)s]]></help>
</block>
""" % {"name": player.name, "info": player.info.replace("\"", "&quot;"),
       "function": player.function, "loop": player.loop, "speed": speed,
       "code": PLAYER_CODE, "n": player.n, "bits": player.bits, "words": len(words),
       "table": table, "k": player.k, "help": help_text}


def outputs(player):
    """The block file's text and the dump's bytes of one player."""
    values = player.make()
    if len(values) != player.n:
        raise SystemExit("samples.py: %s made %d samples, not %d"
                         % (player.function, len(values), player.n))
    raws, back = quantise(values, player.bits)
    words = pack(raws, player.bits)
    return block_text(player, words), struct.pack("<%dh" % len(back), *back)


def main(argv):
    args = argv[1:]
    check = args == ["--check"]
    if args and not check:
        sys.stderr.write(__doc__)
        return 2
    differ = []
    for p in PLAYERS:
        text, dump = outputs(p)
        files = [(os.path.join(BLOCKS, p.function + ".xml"), text.encode("utf-8")),
                 (os.path.join(DUMPS, p.function + ".raw"), dump)]
        for path, wanted in files:
            try:
                with open(path, "rb") as f:
                    current = f.read()
            except OSError:
                current = None
            if current == wanted:
                continue
            differ.append(os.path.relpath(path, os.path.join(HERE, "..", "..")))
            if not check:
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(wanted)
    if check and differ:
        sys.stderr.write("samples.py: not what the generator makes: %s\n" % ", ".join(differ))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
