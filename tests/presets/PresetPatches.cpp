// The 44 preset patches. Each is built block by block as a user builds it on the canvas; the
// four controls come from one Controls block (knob 1, knob 2, switch 1, switch 2 are its
// outputs 0 to 3) and each does something audible. None uses the audio input, which the
// emulator leaves silent.
#include "PresetPatches.h"

namespace {

using Values = PresetGrid::Values;

// Output sockets of the Controls block.
enum Control
{
    Knob1 = 0,
    Knob2 = 1,
    Switch1 = 2,
    Switch2 = 3
};

int controls(PresetGrid& b, int row = 2)
{
    return b.block("Controls", 0, row);
}

// Offset + control x range.
int knobMap(PresetGrid& b, int from, int socket, const QString& offset, const QString& range,
            int column, int row)
{
    const int map = b.block("Knob Map", column, row, {{1, offset}, {2, range}});
    b.cable(from, socket, map, 0);
    return map;
}

// A mono signal on both speakers.
void toSpeakers(PresetGrid& b, int from, int socket, int column, int row)
{
    const int split = b.block("Split", column, row);
    const int out = b.block("Audio Output", column + 1, row);
    b.cable(from, socket, split, 0);
    b.cable(split, 0, out, 0);
    b.cable(split, 1, out, 1);
}

// The same at a level that keeps the loudest moments inside the speakers' range.
void toSpeakersAt(PresetGrid& b, int from, int socket, const QString& level, int column, int row)
{
    const int trim = b.block("Multiply", column, row + 1, {{1, level}});
    b.cable(from, socket, trim, 0);
    toSpeakers(b, trim, 0, column, row);
}

// a x b.
int times(PresetGrid& b, int from, int socket, int by, int bySocket, int column, int row)
{
    const int m = b.block("Multiply", column, row);
    b.cable(from, socket, m, 0);
    b.cable(by, bySocket, m, 1);
    return m;
}

// a x level (a fixed level).
int scaled(PresetGrid& b, int from, int socket, const QString& level, int column, int row)
{
    const int m = b.block("Multiply", column, row, {{1, level}});
    b.cable(from, socket, m, 0);
    return m;
}

int plus(PresetGrid& b, int from, int socket, int other, int otherSocket, int column, int row)
{
    const int a = b.block("Add", column, row);
    b.cable(from, socket, a, 0);
    b.cable(other, otherSocket, a, 1);
    return a;
}

int split(PresetGrid& b, int from, int socket, int column, int row)
{
    const int s = b.block("Split", column, row);
    b.cable(from, socket, s, 0);
    return s;
}

// A one-sample trigger held open for 20 ms: an AD envelope's attack runs only while its gate
// is open, so a bare trigger would strike at no level at all.
void struck(PresetGrid& b, int from, int socket, int envelope, double column, double row)
{
    const int gate = b.block("Timed Gate", column - 0.5, row + 0.5, {{3, "0.02"}});
    b.cable(from, socket, gate, 0);
    b.cable(gate, 0, envelope, 0);
}

// The note a step sequencer played, held until the next one: its played value lasts only while
// the clock is high.
int heldNote(PresetGrid& b, int sequencer, int gate, int gateSocket, double column, double row)
{
    const int latch = b.block("Latch", column, row);
    b.cable(sequencer, 2, latch, 0);
    b.cable(gate, gateSocket, latch, 1);
    return latch;
}

// ---- Synth voices --------------------------------------------------------------------------

void sawLead(PresetGrid& b)
{
    const int c = controls(b);
    const int pitch = knobMap(b, c, Knob1, "45", "24", 1, 0);
    const int octave = knobMap(b, c, Switch2, "0", "12", 1, 1);
    const int noteSum = plus(b, pitch, 0, octave, 0, 2, 0);
    const int hz = b.block("Fine Note to Frequency", 3, 0);
    b.cable(noteSum, 0, hz, 0);
    const int saw = b.block("Saw Oscillator", 4, 0);
    b.cable(hz, 1, saw, 0);
    const int env =
        b.block("ADSR Envelope", 4, 2, {{1, "0.01"}, {2, "0.3"}, {3, "0.7"}, {4, "0.4"}});
    b.cable(c, Switch1, env, 0);
    const int amp = times(b, saw, 0, env, 0, 5, 1);
    const int cutoff = knobMap(b, c, Knob2, "300", "2700", 1, 3);
    const int filter = b.block("Low-Pass Filter", 6, 1, {{2, "0.6"}});
    b.cable(amp, 0, filter, 0);
    b.cable(cutoff, 0, filter, 1);
    toSpeakersAt(b, filter, 0, "0.45", 7, 1);
}

void squareBass(PresetGrid& b)
{
    const int c = controls(b);
    const int pitch = knobMap(b, c, Knob1, "28", "24", 1, 0);
    const int hz = b.block("Note to Frequency", 2, 0);
    b.cable(pitch, 0, hz, 0);
    const int width = knobMap(b, c, Knob2, "0.5", "-0.45", 1, 1);
    const int pulse = b.block("Pulse Oscillator", 3, 0);
    b.cable(hz, 0, pulse, 0);
    b.cable(width, 0, pulse, 1);
    const int filter = b.block("Low-Pass Filter", 4, 0, {{1, "2500"}, {2, "0.3"}});
    b.cable(pulse, 0, filter, 0);
    const int env = b.block("AR Envelope", 3, 2, {{1, "0.005"}, {2, "0.15"}});
    b.cable(c, Switch1, env, 0);
    const int amp = times(b, filter, 0, env, 0, 5, 1);
    const int drive = knobMap(b, c, Switch2, "1", "7", 1, 3);
    const int od = b.block("Overdrive", 6, 1);
    b.cable(amp, 0, od, 0);
    b.cable(drive, 0, od, 1);
    toSpeakers(b, od, 0, 7, 1);
}

void fmBell(PresetGrid& b)
{
    const int c = controls(b);
    const int rate = knobMap(b, c, Switch1, "1.5", "3", 1, 3);
    const int strike = b.block("Impulse Train", 2, 3);
    b.cable(rate, 0, strike, 0);
    const int env = b.block("AD Envelope", 3, 3, {{1, "0.002"}, {2, "1.2"}});
    struck(b, strike, 0, env, 3, 3);
    const int envs = split(b, env, 0, 4, 3);
    const int depth = knobMap(b, c, Switch2, "2", "4", 1, 4);
    const int index = times(b, envs, 0, depth, 0, 5, 3);
    const int pitch = knobMap(b, c, Knob1, "220", "660", 1, 0);
    const int ratio = knobMap(b, c, Knob2, "1", "2.5", 1, 1);
    const int fm = b.block("FM Voice", 6, 1);
    b.cable(pitch, 0, fm, 0);
    b.cable(ratio, 0, fm, 1);
    b.cable(index, 0, fm, 2);
    const int amp = times(b, fm, 0, envs, 1, 7, 2);
    toSpeakers(b, amp, 0, 8, 2);
}

void pwmStrings(PresetGrid& b)
{
    const int c = controls(b);
    const int pitch = knobMap(b, c, Knob1, "48", "24", 1, 0);
    const int octave = knobMap(b, c, Switch2, "0", "-12", 1, 1);
    const int noteSum = plus(b, pitch, 0, octave, 0, 2, 0);
    const int hz = b.block("Fine Note to Frequency", 3, 0);
    b.cable(noteSum, 0, hz, 0);
    const int hzs = split(b, hz, 1, 4, 0);
    const int detune = scaled(b, hzs, 1, "1.007", 5, 1);
    const int lfo1 = b.block("Triangle Oscillator", 4, 2, {{0, "0.31"}});
    const int lfo2 = b.block("Triangle Oscillator", 4, 3, {{0, "0.43"}});
    const int w1 = b.block("Map Range", 5, 2, {{1, "-0.5"}, {2, "1"}, {3, "0.15"}, {4, "0.6"}});
    const int w2 = b.block("Map Range", 5, 3, {{1, "-0.5"}, {2, "1"}, {3, "0.15"}, {4, "0.6"}});
    b.cable(lfo1, 0, w1, 0);
    b.cable(lfo2, 0, w2, 0);
    const int p1 = b.block("Pulse Oscillator", 6, 0);
    const int p2 = b.block("Pulse Oscillator", 6, 1);
    b.cable(hzs, 0, p1, 0);
    b.cable(w1, 0, p1, 1);
    b.cable(detune, 0, p2, 0);
    b.cable(w2, 0, p2, 1);
    const int mix = b.block("Mix 2", 7, 0, {{1, "0.5"}, {3, "0.5"}});
    b.cable(p1, 0, mix, 0);
    b.cable(p2, 0, mix, 2);
    const int cutoff = knobMap(b, c, Knob2, "400", "3000", 1, 4);
    const int filter = b.block("Low-Pass Filter", 8, 0, {{2, "0.2"}});
    b.cable(mix, 0, filter, 0);
    b.cable(cutoff, 0, filter, 1);
    const int env =
        b.block("ADSR Envelope", 7, 3, {{1, "0.35"}, {2, "0.5"}, {3, "0.8"}, {4, "1.2"}});
    b.cable(c, Switch1, env, 0);
    const int amp = times(b, filter, 0, env, 0, 9, 1);
    toSpeakersAt(b, amp, 0, "0.75", 10, 1);
}

void drawbarOrgan(PresetGrid& b)
{
    const int c = controls(b);
    const int pitch = knobMap(b, c, Knob1, "48", "24", 1, 0);
    const int hz = b.block("Note to Frequency", 2, 0);
    b.cable(pitch, 0, hz, 0);
    const int hzs = split(b, hz, 0, 3, 0);
    const int flute = b.block("Sine Cycle", 4, 0);
    const int organ = b.block("Organ Cycle", 4, 1);
    b.cable(hzs, 0, flute, 2);
    b.cable(hzs, 1, organ, 2);
    const int fade = b.block("Crossfade", 5, 0);
    b.cable(flute, 0, fade, 0);
    b.cable(organ, 0, fade, 1);
    b.cable(c, Knob2, fade, 2);
    const int env = b.block("AR Envelope", 4, 3, {{1, "0.01"}, {2, "0.08"}});
    b.cable(c, Switch1, env, 0);
    const int amp = times(b, fade, 0, env, 0, 6, 1);
    const int drive = knobMap(b, c, Switch2, "1", "5", 1, 4);
    const int od = b.block("Overdrive", 7, 1);
    b.cable(amp, 0, od, 0);
    b.cable(drive, 0, od, 1);
    toSpeakers(b, od, 0, 8, 1);
}

void westCoastPluck(PresetGrid& b)
{
    const int c = controls(b);
    const int rate = knobMap(b, c, Switch1, "2", "4", 1, 3);
    const int strike = b.block("Impulse Train", 2, 3);
    b.cable(rate, 0, strike, 0);
    const int env = b.block("AD Envelope", 3, 3, {{1, "0.001"}, {2, "0.45"}});
    struck(b, strike, 0, env, 3, 3);
    const int envs = split(b, env, 0, 4, 3);
    const int depth = knobMap(b, c, Knob2, "1", "5", 1, 4);
    const int fold = times(b, envs, 0, depth, 0, 5, 3);
    const int gain = b.block("Add", 6, 3, {{1, "1"}});
    b.cable(fold, 0, gain, 0);
    const int pitch = knobMap(b, c, Knob1, "36", "24", 1, 0);
    const int octave = knobMap(b, c, Switch2, "0", "12", 1, 1);
    const int noteSum = plus(b, pitch, 0, octave, 0, 2, 0);
    const int hz = b.block("Fine Note to Frequency", 3, 0);
    b.cable(noteSum, 0, hz, 0);
    const int sine = b.block("Sine Oscillator", 4, 0);
    b.cable(hz, 1, sine, 0);
    const int folder = b.block("Wave Folder", 7, 1, {{2, "0.25"}});
    b.cable(sine, 0, folder, 0);
    b.cable(gain, 0, folder, 1);
    const int amp = times(b, folder, 0, envs, 1, 8, 2);
    toSpeakersAt(b, amp, 0, "0.6", 9, 2);
}

void formantVoice(PresetGrid& b)
{
    const int c = controls(b);
    const int pitch = knobMap(b, c, Knob1, "43", "14", 1, 0);
    const int hz = b.block("Note to Frequency", 2, 0);
    b.cable(pitch, 0, hz, 0);
    const int source = b.block("Saw Cycle", 3, 0);
    b.cable(hz, 0, source, 2);
    const int sources = split(b, source, 0, 4, 0);
    const int vowel = knobMap(b, c, Knob2, "400", "1600", 1, 1);
    const int first = b.block("Band-Pass Filter", 5, 0, {{2, "0.7"}});
    b.cable(sources, 0, first, 0);
    b.cable(vowel, 0, first, 1);
    const int second = b.block("Band-Pass Filter", 5, 1, {{1, "3000"}, {2, "0.8"}});
    b.cable(sources, 1, second, 0);
    const int mix = b.block("Mix 2", 6, 0, {{1, "1"}});
    b.cable(first, 0, mix, 0);
    b.cable(second, 0, mix, 2);
    const int secondLevel = knobMap(b, c, Switch2, "0", "2", 5, 2);
    b.cable(secondLevel, 0, mix, 3);
    const int env = b.block("AR Envelope", 5, 3, {{1, "0.05"}, {2, "0.3"}});
    b.cable(c, Switch1, env, 0);
    const int amp = times(b, mix, 0, env, 0, 7, 1);
    toSpeakers(b, amp, 0, 8, 1);
}

void ringModulator(PresetGrid& b)
{
    const int c = controls(b);
    const int pitch = knobMap(b, c, Knob1, "150", "450", 1, 0);
    const int hz = split(b, pitch, 0, 2, 0);
    const int ratio = knobMap(b, c, Knob2, "1.5", "2", 1, 1);
    const int modHz = times(b, hz, 1, ratio, 0, 3, 1);
    const int carrier = b.block("Sine Oscillator", 3, 0);
    b.cable(hz, 0, carrier, 0);
    const int modulator = b.block("Sine Oscillator", 4, 1);
    b.cable(modHz, 0, modulator, 0);
    const int carriers = split(b, carrier, 0, 4, 0);
    const int ring = times(b, carriers, 0, modulator, 0, 5, 0);
    const int dry = knobMap(b, c, Switch2, "0", "0.6", 1, 3);
    const int mix = b.block("Mix 2", 6, 0, {{1, "1.5"}});
    b.cable(ring, 0, mix, 0);
    b.cable(carriers, 1, mix, 2);
    b.cable(dry, 0, mix, 3);
    const int env =
        b.block("ADSR Envelope", 5, 3, {{1, "0.01"}, {2, "0.2"}, {3, "0.8"}, {4, "0.3"}});
    b.cable(c, Switch1, env, 0);
    const int amp = times(b, mix, 0, env, 0, 7, 1);
    toSpeakersAt(b, amp, 0, "0.75", 8, 1);
}

void subBass(PresetGrid& b)
{
    const int c = controls(b);
    const int pitch = knobMap(b, c, Knob1, "36", "24", 1, 0);
    const int hz = b.block("Note to Frequency", 2, 0);
    b.cable(pitch, 0, hz, 0);
    const int hzs = split(b, hz, 0, 3, 0);
    const int tri = b.block("Triangle Oscillator", 4, 0);
    b.cable(hzs, 0, tri, 0);
    const int half = b.block("Divide", 4, 1, {{1, "2"}});
    b.cable(hzs, 1, half, 0);
    const int sub = b.block("Sine Oscillator", 5, 1);
    b.cable(half, 0, sub, 0);
    const int mix = b.block("Mix 2", 6, 0, {{1, "0.7"}});
    b.cable(tri, 0, mix, 0);
    b.cable(sub, 0, mix, 2);
    b.cable(c, Switch2, mix, 3);
    const int drive = knobMap(b, c, Knob2, "1", "7", 1, 3);
    const int od = b.block("Overdrive", 7, 0);
    b.cable(mix, 0, od, 0);
    b.cable(drive, 0, od, 1);
    const int env =
        b.block("ADSR Envelope", 6, 3, {{1, "0.005"}, {2, "0.3"}, {3, "0.8"}, {4, "0.2"}});
    b.cable(c, Switch1, env, 0);
    const int amp = times(b, od, 0, env, 0, 8, 1);
    toSpeakers(b, amp, 0, 9, 1);
}

// ---- Drums and rhythm ----------------------------------------------------------------------

// A drum sound played by a trigger; `speed` replaces the recorded speed when given.
int drum(PresetGrid& b, const QString& name, int trigger, int socket, int column, int row)
{
    const int d = b.block(name, column, row);
    b.cable(trigger, socket, d, 0);
    return d;
}

// A sum of up to four signals at fixed or patched levels, held inside the speakers' range.
int drumBus(PresetGrid& b, const QList<QPair<int, QString>>& voices, int column, int row)
{
    Values levels;
    for (int i = 0; i < voices.size(); ++i)
        levels << qMakePair(2 * i + 1, voices.at(i).second);
    const int mix = b.block("Mix 4", column, row, levels);
    for (int i = 0; i < voices.size(); ++i)
        b.cable(voices.at(i).first, 0, mix, 2 * i);
    return mix;
}

int clipper(PresetGrid& b, int from, int socket, int column, int row)
{
    const int clip = b.block("Clipper", column, row, {{1, "-0.48"}, {2, "0.48"}});
    b.cable(from, socket, clip, 0);
    return clip;
}

void basicBeat(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Knob1, "320", "480", 1, 0);
    const int metro = b.block("Metronome", 2, 0);
    b.cable(tempo, 0, metro, 1);
    const int ticks = b.block("Split 4", 3, 0);
    b.cable(metro, 0, ticks, 0);
    const int kicks =
        b.block("Pattern Sequencer", 4, 0, {{6, "1,0,0,0,1,0,0,0"}, {7, "1,0,1,1,1,0,1,1"}});
    b.cable(ticks, 0, kicks, 0);
    b.cable(c, Switch1, kicks, 2);
    const int snares = b.block("Pattern Sequencer", 4, 1, {{6, "0,0,0,0,1,0,0,0"}});
    b.cable(ticks, 1, snares, 0);
    const int hats = b.block("Pattern Sequencer", 4, 2, {{6, "1,1,1,1"}});
    b.cable(ticks, 2, hats, 0);
    const int kick = drum(b, "Kick", kicks, 1, 5, 0);
    const int snare = drum(b, "Snare", snares, 1, 5, 1);
    const int tune = knobMap(b, c, Knob2, "880", "2640", 4, 3);
    b.cable(tune, 0, snare, 2);
    const int hat = drum(b, "House Hat", hats, 1, 5, 2);
    const int hatLevel = knobMap(b, c, Switch2, "0", "0.8", 4, 4);
    const int mix = drumBus(b, {{kick, "0.6"}, {snare, "0.5"}, {hat, "0"}}, 6, 1);
    b.cable(hatLevel, 0, mix, 5);
    toSpeakers(b, clipper(b, mix, 0, 7, 1), 0, 8, 1);
}

void houseGroove(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Switch2, "496", "-248", 1, 0);
    const int metro = b.block("Metronome", 2, 0);
    b.cable(tempo, 0, metro, 1);
    const int ticks = b.block("Split 4", 3, 0);
    b.cable(metro, 0, ticks, 0);
    const int kicks = b.block("Pattern Sequencer", 4, 0, {{6, "1,0,0,0"}});
    const int claps = b.block("Pattern Sequencer", 4, 1, {{6, "0,0,0,0,1,0,0,0"}});
    const int hats = b.block("Pattern Sequencer", 4, 2, {{6, "0,1,1,1"}});
    b.cable(ticks, 0, kicks, 0);
    b.cable(ticks, 1, claps, 0);
    b.cable(ticks, 2, hats, 0);
    const int kickGate = split(b, kicks, 1, 5, 0);
    const int attack = drum(b, "House Kick Attack", kickGate, 0, 6, 0);
    const int tune = knobMap(b, c, Knob1, "52", "52", 5, 4);
    b.cable(tune, 0, attack, 2);
    const int body = drum(b, "House Kick B", kickGate, 1, 6, 1);
    const int clap = drum(b, "Clap", claps, 1, 6, 2);
    const int hat = drum(b, "House Hat", hats, 1, 6, 3);
    const int hatLevel = knobMap(b, c, Switch1, "0", "0.9", 5, 5);
    const int mix = drumBus(b, {{attack, "0.6"}, {body, "0.3"}, {clap, "0.3"}, {hat, "0"}}, 7, 1);
    b.cable(hatLevel, 0, mix, 7);
    const int cutoff = knobMap(b, c, Knob2, "3800", "-3400", 7, 3);
    const int filter = b.block("Low-Pass Filter", 8, 1, {{2, "0.3"}});
    b.cable(mix, 0, filter, 0);
    b.cable(cutoff, 0, filter, 1);
    toSpeakers(b, clipper(b, filter, 0, 9, 1), 0, 10, 1);
}

void breakbeat(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Knob1, "360", "400", 1, 0);
    const int metro = b.block("Metronome", 2, 0);
    b.cable(tempo, 0, metro, 1);
    const int ticks = b.block("Split 4", 3, 0);
    b.cable(metro, 0, ticks, 0);
    const int kicks = b.block("Count Sequence", 4, 0, {{3, "3,3,2,2,2,4"}});
    b.cable(ticks, 0, kicks, 0);
    const int snares = b.block("Pattern Sequencer", 4, 1,
                               {{6, "0,0,0,0,1,0,0,0"}, {7, "0,0,0,0,1,0,0,1,0,1,0,0,1,0,1,1"}});
    b.cable(ticks, 1, snares, 0);
    b.cable(c, Switch1, snares, 2);
    const int kick = drum(b, "Kick", kicks, 1, 5, 0);
    const int snare = drum(b, "Snare", snares, 1, 5, 1);
    const int hat = drum(b, "House Hat", ticks, 2, 5, 2);
    const int hatLevel = knobMap(b, c, Switch2, "0", "0.9", 4, 3);
    const int mix = drumBus(b, {{kick, "0.6"}, {snare, "0.45"}, {hat, "0"}}, 6, 1);
    b.cable(hatLevel, 0, mix, 5);
    const int bits = knobMap(b, c, Knob2, "10", "-7", 6, 3);
    const int crush = b.block("Bit Crusher", 7, 1, {{2, "1"}});
    b.cable(mix, 0, crush, 0);
    b.cable(bits, 0, crush, 1);
    toSpeakers(b, clipper(b, crush, 0, 8, 1), 0, 9, 1);
}

void synthToms(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Switch2, "240", "240", 1, 0);
    const int metro = b.block("Metronome", 2, 0);
    b.cable(tempo, 0, metro, 1);
    const int ticks = split(b, metro, 0, 3, 0);
    const int pick = b.block("Random Step", 4, 0, {{2, "90,110,135,165,200"}});
    b.cable(ticks, 0, pick, 0);
    const int decay = knobMap(b, c, Knob2, "0.08", "0.5", 3, 3);
    const int env = b.block("AD Envelope", 4, 2, {{1, "0.001"}});
    struck(b, ticks, 1, env, 4, 2);
    b.cable(decay, 0, env, 2);
    const int envs = b.block("Split 4", 5, 2);
    b.cable(env, 0, envs, 0);
    const int tune = knobMap(b, c, Knob1, "1", "1", 4, 1);
    const int tuned = times(b, pick, 0, tune, 0, 5, 0);
    const int sweep = scaled(b, envs, 0, "0.6", 6, 3);
    const int bend = b.block("Add", 7, 3, {{1, "1"}});
    b.cable(sweep, 0, bend, 0);
    const int hz = times(b, tuned, 0, bend, 0, 6, 0);
    const int sine = b.block("Sine Oscillator", 7, 0);
    b.cable(hz, 0, sine, 0);
    const int body = times(b, sine, 0, envs, 1, 8, 0);
    const int noise = b.block("Noise", 6, 4);
    const int hiss = b.block("High-Pass Filter", 7, 4, {{1, "2000"}, {2, "0.2"}});
    b.cable(noise, 0, hiss, 0);
    const int skin = times(b, hiss, 0, envs, 2, 8, 4);
    const int skinLevel = knobMap(b, c, Switch1, "0", "0.6", 8, 5);
    const int mix = b.block("Mix 2", 9, 1, {{1, "0.9"}});
    b.cable(body, 0, mix, 0);
    b.cable(skin, 0, mix, 2);
    b.cable(skinLevel, 0, mix, 3);
    toSpeakersAt(b, mix, 0, "0.5", 10, 1);
}

void electroKit(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Knob1, "360", "480", 1, 0);
    const int metro = b.block("Metronome", 2, 0);
    b.cable(tempo, 0, metro, 1);
    const int ticks = b.block("Split 4", 3, 0);
    b.cable(metro, 0, ticks, 0);
    const int kicks = b.block("Pattern Sequencer", 4, 0, {{6, "1,0,0,0,0,0,1,0,0,0,1,0,0,0,0,0"}});
    const int snares = b.block("Pattern Sequencer", 4, 2, {{6, "0,0,0,0,1,0,0,0"}});
    const int hats = b.block("Pattern Sequencer", 4, 4, {{6, "1"}});
    const int bells = b.block("Pattern Sequencer", 4, 6, {{6, "0,1,1,0,1,1,0,1"}});
    b.cable(ticks, 0, kicks, 0);
    b.cable(ticks, 1, snares, 0);
    b.cable(ticks, 2, hats, 0);
    b.cable(ticks, 3, bells, 0);

    // Kick: a sine whose pitch falls fast from 245 Hz to 45 Hz.
    const int kickGate = split(b, kicks, 1, 5, 0);
    const int sweep = b.block("Line", 6, 0, {{2, "0,1,0.06,0"}});
    b.cable(kickGate, 0, sweep, 0);
    const int sweepHz = scaled(b, sweep, 0, "200", 7, 0);
    const int kickHz = b.block("Add", 8, 0, {{1, "45"}});
    b.cable(sweepHz, 0, kickHz, 0);
    const int kickSine = b.block("Sine Oscillator", 9, 0);
    b.cable(kickHz, 0, kickSine, 0);
    const int kickEnv = b.block("AD Envelope", 6, 1, {{1, "0.001"}, {2, "0.35"}});
    struck(b, kickGate, 1, kickEnv, 6, 1);
    const int kick = times(b, kickSine, 0, kickEnv, 0, 10, 0);

    // Snare and hat: noise through high-pass filters.
    const int noise = b.block("Noise", 5, 3);
    const int noises = split(b, noise, 0, 6, 3);
    const int snareTone = b.block("High-Pass Filter", 7, 2, {{1, "1200"}, {2, "0.2"}});
    b.cable(noises, 0, snareTone, 0);
    const int snareEnv = b.block("AD Envelope", 5, 2, {{1, "0.001"}, {2, "0.15"}});
    struck(b, snares, 1, snareEnv, 5, 2);
    const int snare = times(b, snareTone, 0, snareEnv, 0, 8, 2);
    const int hatTone = b.block("High-Pass Filter", 7, 4, {{1, "3800"}, {2, "0.2"}});
    b.cable(noises, 1, hatTone, 0);
    const int hatDecay = knobMap(b, c, Knob2, "0.02", "0.25", 4, 5);
    const int hatEnv = b.block("AD Envelope", 5, 4, {{1, "0.001"}});
    struck(b, hats, 1, hatEnv, 5, 4);
    b.cable(hatDecay, 0, hatEnv, 2);
    const int hat = times(b, hatTone, 0, hatEnv, 0, 8, 4);

    // Cowbell: two pulse waves a fifth and a bit apart.
    const int low = b.block("Pulse Oscillator", 6, 6, {{0, "560"}});
    const int high = b.block("Pulse Oscillator", 6, 7, {{0, "845"}});
    const int pair = b.block("Mix 2", 7, 6, {{1, "0.5"}, {3, "0.5"}});
    b.cable(low, 0, pair, 0);
    b.cable(high, 0, pair, 2);
    const int bellEnv = b.block("AD Envelope", 5, 6, {{1, "0.001"}, {2, "0.2"}});
    struck(b, bells, 1, bellEnv, 5, 6);
    const int bell = times(b, pair, 0, bellEnv, 0, 8, 6);
    const int bellLevel = knobMap(b, c, Switch1, "0", "1", 8, 7);

    const int mix = drumBus(b, {{kick, "0.6"}, {snare, "0.5"}, {hat, "0.2"}, {bell, "0"}}, 11, 2);
    b.cable(bellLevel, 0, mix, 7);
    const int lofi = split(b, c, Switch2, 10, 4);
    const int bits = knobMap(b, lofi, 0, "10", "-7", 11, 4);
    const int hold = knobMap(b, lofi, 1, "1", "3", 11, 5);
    const int crush = b.block("Bit Crusher", 12, 2);
    b.cable(mix, 0, crush, 0);
    b.cable(bits, 0, crush, 1);
    b.cable(hold, 0, crush, 2);
    toSpeakers(b, clipper(b, crush, 0, 13, 2), 0, 14, 2);
}

void clapTrap(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Knob1, "70", "70", 1, 0);
    const int clock = b.block("Master Clock", 2, 0);
    b.cable(tempo, 0, clock, 0);
    const int kicks = b.block("Sequencer Track", 3, 0, {{2, "4"}, {7, "1"}});
    b.cable(clock, 0, kicks, 0);
    const int claps = b.block("Sequencer Track", 3, 1, {{2, "4"}, {7, "0,1"}});
    b.cable(kicks, 0, claps, 0);
    const int hats = b.block("Sequencer Track", 3, 2, {{2, "16"}, {7, "1"}, {6, "0.3"}});
    b.cable(claps, 0, hats, 0);
    const int kickGate = split(b, kicks, 2, 4, 0);
    const int kick = drum(b, "Kick", kickGate, 0, 5, 0);
    const int kickTune = knobMap(b, c, Knob2, "550", "550", 4, 3);
    b.cable(kickTune, 0, kick, 2);
    const int leds = b.block("LEDs", 5, 4);
    b.cable(kickGate, 1, leds, 0);
    const int clapGate = times(b, claps, 2, claps, 1, 4, 1);
    const int clap = drum(b, "Clap", clapGate, 0, 5, 1);
    const int hat = drum(b, "House Hat", hats, 2, 5, 2);
    const int hatLevel = knobMap(b, c, Switch1, "0", "1", 5, 3);
    const int mix = drumBus(b, {{kick, "0.6"}, {clap, "0.45"}, {hat, "0"}}, 6, 1);
    b.cable(hatLevel, 0, mix, 5);
    const int hold = knobMap(b, c, Switch2, "1", "3", 6, 3);
    const int crush = b.block("Bit Crusher", 7, 1, {{1, "10"}});
    b.cable(mix, 0, crush, 0);
    b.cable(hold, 0, crush, 2);
    toSpeakers(b, clipper(b, crush, 0, 8, 1), 0, 9, 1);
}

void bitSplitDrums(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Knob1, "300", "500", 1, 0);
    const int metro = b.block("Metronome", 2, 0);
    b.cable(tempo, 0, metro, 1);
    // A counter of ticks, 0 to 15, kept on send channel 0.
    const int last = b.block("Receive", 2, 1);
    const int count = plus(b, metro, 0, last, 0, 3, 0);
    const int wrap = b.block("Modulo", 4, 0, {{1, "16"}});
    b.cable(count, 0, wrap, 0);
    const int counts = split(b, wrap, 0, 5, 0);
    const int keep = b.block("Send", 6, 1);
    b.cable(counts, 0, keep, 0);
    const int bits = b.block("Bit Split", 6, 0);
    b.cable(counts, 1, bits, 0);
    // Bit 0 rises on odd counts, bit 1 on 2, 6, 10, 14, bit 2 on 4 and 12; its inverse on 0
    // and 8, that of bit 1 on every fourth count.
    const int bit2 = split(b, bits, 5, 7, 2);
    const int bit1 = split(b, bits, 6, 7, 3);
    const int halfBar = b.block("Not", 7, 0);
    b.cable(bit2, 0, halfBar, 0);
    const int beat = b.block("Not", 7, 1);
    b.cable(bit1, 0, beat, 0);
    const int kickChoice = b.block("Crossfade", 8, 0);
    b.cable(halfBar, 0, kickChoice, 0);
    b.cable(beat, 0, kickChoice, 1);
    b.cable(c, Switch2, kickChoice, 2);
    const int kick = drum(b, "Kick", kickChoice, 0, 9, 0);
    const int kickTune = knobMap(b, c, Knob2, "550", "550", 8, 3);
    b.cable(kickTune, 0, kick, 2);
    const int snare = drum(b, "Snare", bit2, 1, 9, 1);
    const int hat = drum(b, "House Hat", bits, 7, 9, 2);
    const int clapGate = times(b, bit1, 1, c, Switch1, 8, 4);
    const int clap = drum(b, "Clap", clapGate, 0, 9, 4);
    const int mix = drumBus(b, {{kick, "0.9"}, {snare, "0.4"}, {hat, "0.3"}, {clap, "0.6"}}, 10, 1);
    toSpeakers(b, clipper(b, mix, 0, 11, 1), 0, 12, 1);
}

// ---- Sequences -----------------------------------------------------------------------------

void acidLine(PresetGrid& b)
{
    const int c = controls(b);
    const int clock = b.block("Pulse Oscillator", 1, 0, {{0, "8"}});
    const int seq =
        b.block("Step Sequencer", 2, 0, {{5, "36,36,48,0,36,39,0,43,36,0,48,46,0,36,41,39"}});
    b.cable(clock, 0, seq, 0);
    const int gates = b.block("Split 4", 3, 2);
    b.cable(seq, 1, gates, 0);
    const int played = heldNote(b, seq, gates, 3, 2.5, 1);
    const int octave = knobMap(b, c, Switch2, "0", "12", 2, 1.5);
    const int noteSum = plus(b, played, 0, octave, 0, 3, 0);
    const int hz = b.block("Note to Frequency", 4, 0);
    b.cable(noteSum, 0, hz, 0);
    const int saw = b.block("Saw Oscillator", 5, 0);
    b.cable(hz, 0, saw, 0);
    const int amp = b.block("AR Envelope", 4, 2, {{1, "0.002"}, {2, "0.04"}});
    b.cable(gates, 0, amp, 0);
    const int sweep = b.block("AD Envelope", 4, 3, {{1, "0.003"}, {2, "0.2"}});
    b.cable(gates, 1, sweep, 0);
    const int leds = b.block("LEDs", 4, 4);
    b.cable(gates, 2, leds, 0);
    const int depth = knobMap(b, c, Knob2, "300", "2200", 4, 5);
    const int mod = times(b, sweep, 0, depth, 0, 5, 3);
    const int base = knobMap(b, c, Knob1, "150", "1200", 5, 4);
    const int cutoff = plus(b, mod, 0, base, 0, 6, 3);
    const int voiced = times(b, saw, 0, amp, 0, 6, 0);
    const int filter = b.block("Low-Pass Filter", 7, 1, {{2, "0.85"}});
    b.cable(voiced, 0, filter, 0);
    b.cable(cutoff, 0, filter, 1);
    const int drive = knobMap(b, c, Switch1, "1.5", "6", 7, 3);
    const int od = b.block("Overdrive", 8, 1);
    b.cable(filter, 0, od, 0);
    b.cable(drive, 0, od, 1);
    toSpeakers(b, od, 0, 9, 1);
}

void clockwork(PresetGrid& b)
{
    const int c = controls(b);
    const int run = b.block("Not", 1, 0);
    b.cable(c, Switch2, run, 0);
    const int clock = b.block("Master Clock", 2, 0, {{0, "110"}});
    b.cable(run, 0, clock, 1);
    const int bass =
        b.block("Sequencer Track", 3, 0, {{2, "8"}, {6, "0.6"}, {7, "33,33,45,33,36,36,48,31"}});
    b.cable(clock, 0, bass, 0);
    const int tune =
        b.block("Sequencer Track", 3, 3,
                {{2, "16"}, {6, "0.4"}, {7, "69,72,76,79,76,72,74,71,69,76,72,67,69,72,74,76"}});
    b.cable(bass, 0, tune, 0);
    const int transpose = knobMap(b, c, Knob1, "0", "12", 2, 5);
    const int shifts = split(b, transpose, 0, 3, 5);

    const int bassNote = plus(b, bass, 1, shifts, 0, 4, 0);
    const int bassHz = b.block("Note to Frequency", 5, 0);
    b.cable(bassNote, 0, bassHz, 0);
    const int pulse = b.block("Pulse Oscillator", 6, 0, {{1, "0.3"}});
    b.cable(bassHz, 0, pulse, 0);
    const int cutoff = knobMap(b, c, Knob2, "300", "2500", 6, 2);
    const int filter = b.block("Low-Pass Filter", 7, 0, {{2, "0.4"}});
    b.cable(pulse, 0, filter, 0);
    b.cable(cutoff, 0, filter, 1);
    const int bassEnv = b.block("AR Envelope", 7, 1, {{1, "0.005"}, {2, "0.1"}});
    b.cable(bass, 2, bassEnv, 0);
    const int bassVoice = times(b, filter, 0, bassEnv, 0, 8, 0);

    const int tuneNote = plus(b, tune, 1, shifts, 1, 4, 3);
    const int tuneHz = b.block("Note to Frequency", 5, 3);
    b.cable(tuneNote, 0, tuneHz, 0);
    const int tri = b.block("Triangle Oscillator", 6, 3);
    b.cable(tuneHz, 0, tri, 0);
    const int tuneEnv = b.block("AD Envelope", 7, 4, {{1, "0.002"}, {2, "0.25"}});
    b.cable(tune, 2, tuneEnv, 0);
    const int tuneVoice = times(b, tri, 0, tuneEnv, 0, 8, 3);
    const int tuneLevel = knobMap(b, c, Switch1, "0", "0.6", 8, 5);

    const int mix = b.block("Mix 2", 9, 1, {{1, "0.7"}});
    b.cable(bassVoice, 0, mix, 0);
    b.cable(tuneVoice, 0, mix, 2);
    b.cable(tuneLevel, 0, mix, 3);
    toSpeakersAt(b, mix, 0, "0.65", 10, 1);
}

void arpeggiator(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Knob1, "240", "480", 1, 0);
    const int metro = b.block("Metronome", 2, 0);
    b.cable(tempo, 0, metro, 1);
    const int ticks = split(b, metro, 0, 3, 0);
    const int seq = b.block("Step Sequencer", 4, 0, {{5, "57,60,64,69,72,69,64,60"}});
    b.cable(ticks, 0, seq, 0);
    const int played = heldNote(b, seq, seq, 1, 4.5, 1);
    const int root = knobMap(b, c, Knob2, "0", "12", 4, 2);
    const int noteSum = plus(b, played, 0, root, 0, 5, 0);
    const int hz = b.block("Note to Frequency", 6, 0);
    b.cable(noteSum, 0, hz, 0);
    const int hzs = split(b, hz, 0, 7, 0);
    const int tri = b.block("Triangle Oscillator", 8, 0);
    const int pulse = b.block("Pulse Oscillator", 8, 1, {{1, "0.25"}});
    b.cable(hzs, 0, tri, 0);
    b.cable(hzs, 1, pulse, 0);
    const int wave = b.block("Crossfade", 9, 0);
    b.cable(tri, 0, wave, 0);
    b.cable(pulse, 0, wave, 1);
    b.cable(c, Switch1, wave, 2);
    const int env = b.block("AD Envelope", 4, 3, {{1, "0.002"}, {2, "0.25"}});
    struck(b, ticks, 1, env, 4, 3);
    const int voice = times(b, wave, 0, env, 0, 10, 1);
    const int voices = split(b, voice, 0, 11, 1);
    const int echo = b.block("Echo 300 ms", 12, 2, {{1, "250"}, {2, "0.5"}});
    b.cable(voices, 1, echo, 0);
    const int echoLevel = knobMap(b, c, Switch2, "0", "0.7", 12, 3);
    const int mix = b.block("Mix 2", 13, 1, {{1, "0.6"}});
    b.cable(voices, 0, mix, 0);
    b.cable(echo, 0, mix, 2);
    b.cable(echoLevel, 0, mix, 3);
    toSpeakersAt(b, mix, 0, "0.7", 14, 1);
}

void patternPlayer(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Knob2, "300", "600", 1, 0);
    const int metro = b.block("Metronome", 2, 0);
    b.cable(tempo, 0, metro, 1);
    const int ticks = split(b, metro, 0, 3, 0);
    const int choice = knobMap(b, c, Knob1, "0", "7.99", 3, 1);
    const int seq = b.block("Pattern Sequencer", 4, 0,
                            {{6, "45,0,52,0,57,0,52,0"},
                             {7, "45,48,52,55"},
                             {8, "50,0,53,57,0,53"},
                             {9, "57,60,64,0,62,60"},
                             {10, "62,0,65,69,72,69"},
                             {11, "69,72,76,72"},
                             {12, "74,76,79,81,79,76"},
                             {13, "81,79,76,74,76,79,84,0"}});
    b.cable(ticks, 0, seq, 0);
    b.cable(choice, 0, seq, 2);
    const int played = heldNote(b, seq, seq, 1, 4.5, 1);
    const int octave = knobMap(b, c, Switch1, "0", "-12", 4, 2);
    const int noteSum = plus(b, played, 0, octave, 0, 5, 0);
    const int hz = b.block("Note to Frequency", 6, 0);
    b.cable(noteSum, 0, hz, 0);
    const int saw = b.block("Saw Oscillator", 7, 0);
    b.cable(hz, 0, saw, 0);
    const int cutoff = knobMap(b, c, Switch2, "700", "2300", 7, 2);
    const int filter = b.block("Low-Pass Filter", 8, 0, {{2, "0.5"}});
    b.cable(saw, 0, filter, 0);
    b.cable(cutoff, 0, filter, 1);
    const int env = b.block("AD Envelope", 4, 3, {{1, "0.003"}, {2, "0.2"}});
    struck(b, ticks, 1, env, 4, 3);
    const int voice = times(b, filter, 0, env, 0, 9, 1);
    toSpeakersAt(b, voice, 0, "0.5", 10, 1);
}

void canon(PresetGrid& b)
{
    const int c = controls(b);
    const int metro = b.block("Metronome", 1, 0, {{1, "360"}});
    const int ticks = split(b, metro, 0, 2, 0);
    const int seq =
        b.block("Step Sequencer", 3, 0, {{5, "60,62,64,65,67,65,64,62,60,64,67,72,67,64,60,55"}});
    b.cable(ticks, 0, seq, 0);
    const int transpose = knobMap(b, c, Knob1, "0", "12", 3, 1);
    const int shifts = split(b, transpose, 0, 4, 1);
    const int held = heldNote(b, seq, seq, 1, 3.5, 0.5);
    const int played = b.block("Split 4", 4, 0);
    b.cable(held, 0, played, 0);

    // The leader.
    const int leadNote = plus(b, played, 0, shifts, 0, 5, 0);
    const int leadHz = b.block("Note to Frequency", 6, 0);
    b.cable(leadNote, 0, leadHz, 0);
    const int leadSine = b.block("Sine Oscillator", 7, 0);
    const int leadTri = b.block("Triangle Oscillator", 7, 1);
    const int leadHzs = split(b, leadHz, 0, 6, 1);
    b.cable(leadHzs, 0, leadSine, 0);
    b.cable(leadHzs, 1, leadTri, 0);
    const int colours = split(b, c, Knob2, 7, 2);
    const int leadWave = b.block("Crossfade", 8, 0);
    b.cable(leadSine, 0, leadWave, 0);
    b.cable(leadTri, 0, leadWave, 1);
    b.cable(colours, 0, leadWave, 2);
    const int leadEnv = b.block("AD Envelope", 8, 2, {{1, "0.005"}, {2, "0.3"}});
    struck(b, ticks, 1, leadEnv, 8, 2);
    const int lead = times(b, leadWave, 0, leadEnv, 0, 9, 0);

    // The follower: the same notes half a second later. Every note differs from the one
    // before, so each is a change that the delay notes.
    const int later = b.block("Value Delay", 5, 3, {{2, "0.5"}});
    b.cable(played, 1, later, 0);
    b.cable(played, 2, later, 1);
    const int interval = knobMap(b, c, Switch2, "0", "12", 5, 5);
    const int followNote = plus(b, later, 2, interval, 0, 6, 3);
    const int shifted = plus(b, followNote, 0, shifts, 1, 7, 3);
    const int followHz = b.block("Note to Frequency", 8, 3);
    b.cable(shifted, 0, followHz, 0);
    const int followHzs = split(b, followHz, 0, 9, 3);
    const int followSine = b.block("Sine Oscillator", 10, 3);
    const int followTri = b.block("Triangle Oscillator", 10, 4);
    b.cable(followHzs, 0, followSine, 0);
    b.cable(followHzs, 1, followTri, 0);
    const int followWave = b.block("Crossfade", 11, 3);
    b.cable(followSine, 0, followWave, 0);
    b.cable(followTri, 0, followWave, 1);
    b.cable(colours, 1, followWave, 2);
    // A new note at the delayed output flips its toggle: each rise of the toggle or of its
    // inverse strikes the follower.
    const int toggles = split(b, later, 3, 6, 5);
    const int up = b.block("Timed Gate", 7, 5, {{3, "0.02"}});
    b.cable(toggles, 0, up, 0);
    const int inverse = b.block("Not", 7, 6);
    b.cable(toggles, 1, inverse, 0);
    const int down = b.block("Timed Gate", 8, 6, {{3, "0.02"}});
    b.cable(inverse, 0, down, 0);
    const int either = b.block("Or", 9, 5);
    b.cable(up, 0, either, 0);
    b.cable(down, 0, either, 1);
    const int followEnv = b.block("AD Envelope", 10, 5, {{1, "0.005"}, {2, "0.3"}});
    b.cable(either, 0, followEnv, 0);
    const int follow = times(b, followWave, 0, followEnv, 0, 12, 3);

    const int followLevel = knobMap(b, c, Switch1, "0", "0.6", 12, 5);
    const int mix = b.block("Mix 2", 13, 1, {{1, "0.35"}});
    b.cable(lead, 0, mix, 0);
    b.cable(follow, 0, mix, 2);
    b.cable(followLevel, 0, mix, 3);
    toSpeakers(b, mix, 0, 14, 1);
}

void threeThreeTwo(PresetGrid& b)
{
    const int c = controls(b);
    const int metro = b.block("Metronome", 1, 0, {{1, "480"}});
    const int ticks = split(b, metro, 0, 2, 0);
    const int straight = b.block("Count Sequence", 3, 0, {{3, "3,3,2"}});
    b.cable(ticks, 0, straight, 0);
    const int busy = b.block("Count Sequence", 3, 1, {{3, "2,1,2,1,1,1"}});
    b.cable(straight, 0, busy, 0);
    const int hits = b.block("Crossfade", 4, 0);
    b.cable(straight, 1, hits, 0);
    b.cable(busy, 1, hits, 1);
    b.cable(c, Switch1, hits, 2);
    const int pluck = split(b, hits, 0, 5, 0);
    const int seq = b.block("Step Sequencer", 6, 0, {{5, "40,40,43,38,40,47,45,43"}});
    b.cable(pluck, 0, seq, 0);
    const int played = heldNote(b, seq, seq, 1, 6.5, 1);
    const int transpose = knobMap(b, c, Knob1, "0", "12", 6, 2);
    const int noteSum = plus(b, played, 0, transpose, 0, 7, 0);
    const int hz = b.block("Note to Frequency", 8, 0);
    b.cable(noteSum, 0, hz, 0);
    const int env = b.block("AD Envelope", 6, 3, {{1, "0.002"}, {2, "0.3"}});
    struck(b, pluck, 1, env, 6, 3);
    const int envs = split(b, env, 0, 7, 3);
    const int brightness = knobMap(b, c, Knob2, "0.5", "3", 7, 4);
    const int index = times(b, envs, 0, brightness, 0, 8, 3);
    const int fm = b.block("FM Voice", 9, 0, {{1, "1"}});
    b.cable(hz, 0, fm, 0);
    b.cable(index, 0, fm, 2);
    const int bass = times(b, fm, 0, envs, 1, 10, 1);
    const int hat = drum(b, "House Hat", ticks, 1, 9, 4);
    const int hatLevel = knobMap(b, c, Switch2, "0", "0.35", 9, 5);
    const int mix = b.block("Mix 2", 11, 1, {{1, "0.8"}});
    b.cable(bass, 0, mix, 0);
    b.cable(hat, 0, mix, 2);
    b.cable(hatLevel, 0, mix, 3);
    toSpeakers(b, clipper(b, mix, 0, 12, 1), 0, 13, 1);
}

void dividerChimes(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Knob1, "180", "420", 1, 0);
    const int metro = b.block("Metronome", 2, 0);
    b.cable(tempo, 0, metro, 1);
    const int by2 = b.block("Clock Divider", 3, 0, {{1, "2"}});
    b.cable(metro, 0, by2, 0);
    const int by3 = b.block("Clock Divider", 3, 2, {{1, "3"}});
    b.cable(by2, 0, by3, 0);
    const int by5 = b.block("Clock Divider", 3, 4, {{1, "5"}});
    b.cable(by3, 0, by5, 0);
    const int by7 = b.block("Clock Divider", 3, 6, {{1, "7"}});
    b.cable(by5, 0, by7, 0);
    const int tune = knobMap(b, c, Knob2, "1", "1", 4, 7);
    const int tunes = b.block("Split 4", 5, 7);
    b.cable(tune, 0, tunes, 0);
    const int ratio = knobMap(b, c, Switch1, "1", "2.5", 6, 7);
    const int ratios = b.block("Split 4", 7, 7);
    b.cable(ratio, 0, ratios, 0);
    const QStringList pitches{"523", "659", "784", "131"};
    const QList<int> dividers{by2, by3, by5, by7};
    Values levels;
    QList<int> chimes;
    for (int i = 0; i < 4; ++i) {
        const int row = 2 * i;
        const int env = b.block("AD Envelope", 4, row, {{1, "0.002"}, {2, "0.6"}});
        struck(b, dividers.at(i), 1, env, 4, row);
        const int envs = split(b, env, 0, 5, row);
        const int hz = b.block("Multiply", 6, row, {{0, pitches.at(i)}});
        b.cable(tunes, i, hz, 1);
        const int fm = b.block("FM Voice", 7, row, {{2, "0.7"}});
        b.cable(hz, 0, fm, 0);
        b.cable(ratios, i, fm, 1);
        const int amp = times(b, fm, 0, envs, 0, 8, row);
        const int led = b.block("LED Blink", 6, row + 1);
        b.cable(envs, 1, led, 0);
        chimes << amp;
        if (i == 0) {
            const int leds = b.block("LEDs", 7, row + 1);
            b.cable(led, 0, leds, 0);
        }
    }
    const int mix = drumBus(
        b,
        {{chimes.at(0), "0.3"}, {chimes.at(1), "0.3"}, {chimes.at(2), "0.3"}, {chimes.at(3), "0"}},
        9, 3);
    const int lowLevel = knobMap(b, c, Switch2, "0", "0.9", 9, 5);
    b.cable(lowLevel, 0, mix, 7);
    toSpeakers(b, clipper(b, mix, 0, 10, 3), 0, 11, 3);
}

// ---- Effects -------------------------------------------------------------------------------

// Plucked notes picked at random from a pentatonic scale: a source for the effects.
int randomPlucks(PresetGrid& b, int rate, int rateSocket, int column, int row)
{
    const int clock = b.block("Impulse Train", column, row);
    b.cable(rate, rateSocket, clock, 0);
    const int ticks = split(b, clock, 0, column + 1, row);
    const int pick = b.block("Random Step", column + 2, row);
    b.cable(ticks, 0, pick, 0);
    const int tri = b.block("Triangle Oscillator", column + 3, row);
    b.cable(pick, 0, tri, 0);
    const int env = b.block("AD Envelope", column + 2, row + 1, {{1, "0.001"}, {2, "0.15"}});
    struck(b, ticks, 1, env, column + 2, row + 1);
    return times(b, tri, 0, env, 0, column + 4, row);
}

void echoChamber(PresetGrid& b)
{
    const int c = controls(b);
    const int rate = knobMap(b, c, Switch2, "1.5", "1.5", 1, 1);
    const int source = randomPlucks(b, rate, 0, 1, 0);
    const int sources = b.block("Split 4", 6, 0);
    b.cable(source, 0, sources, 0);
    const int feedback = knobMap(b, c, Knob1, "0", "0.9", 5, 3);
    const int feedbacks = split(b, feedback, 0, 6, 3);
    const int echo = b.block("Echo 300 ms", 7, 1, {{1, "280"}});
    b.cable(sources, 1, echo, 0);
    b.cable(feedbacks, 0, echo, 2);
    const int lofi = b.block("Lo-Fi Echo", 7, 2, {{1, "560"}});
    b.cable(sources, 2, lofi, 0);
    b.cable(feedbacks, 1, lofi, 2);
    const int kind = b.block("Crossfade", 8, 1);
    b.cable(echo, 0, kind, 0);
    b.cable(lofi, 0, kind, 1);
    b.cable(c, Switch1, kind, 2);
    const int tone = knobMap(b, c, Knob2, "3600", "-3000", 8, 3);
    const int filter = b.block("Low-Pass Filter", 9, 1, {{2, "0.2"}});
    b.cable(kind, 0, filter, 0);
    b.cable(tone, 0, filter, 1);
    const int mix = b.block("Mix 2", 10, 0, {{1, "0.6"}, {3, "1.2"}});
    b.cable(sources, 0, mix, 0);
    b.cable(filter, 0, mix, 2);
    toSpeakersAt(b, mix, 0, "0.7", 11, 0);
}

void flanger(PresetGrid& b)
{
    const int c = controls(b);
    const int saw = b.block("Saw Oscillator", 1, 0, {{0, "110"}});
    const int noise = b.block("Noise", 1, 1);
    const int source = b.block("Crossfade", 2, 0);
    b.cable(saw, 0, source, 0);
    b.cable(noise, 0, source, 1);
    b.cable(c, Switch2, source, 2);
    const int quiet = scaled(b, source, 0, "0.6", 3, 0);
    const int sources = split(b, quiet, 0, 4, 0);
    // Feedback comes back from the delay's output on channel 1.
    const int back = b.block("Receive", 4, 2, {{0, "1"}});
    const int input = plus(b, sources, 1, back, 0, 5, 1);
    const int lfo = b.block("Triangle Oscillator", 4, 4, {{0, "0.25"}});
    const int depth = knobMap(b, c, Knob2, "0", "20", 4, 5);
    const int swing = times(b, lfo, 0, depth, 0, 5, 4);
    const int manual = knobMap(b, c, Knob1, "2", "28", 5, 5);
    const int delay = plus(b, swing, 0, manual, 0, 6, 4);
    const int line = b.block("Short Delay", 6, 1);
    b.cable(input, 0, line, 0);
    b.cable(delay, 0, line, 1);
    const int wet = split(b, line, 0, 7, 1);
    const int amount = knobMap(b, c, Switch1, "0", "0.85", 7, 3);
    const int fed = times(b, wet, 1, amount, 0, 8, 2);
    const int send = b.block("Send", 9, 2, {{1, "1"}});
    b.cable(fed, 0, send, 0);
    const int mix = b.block("Mix 2", 8, 0, {{1, "0.5"}, {3, "0.5"}});
    b.cable(sources, 0, mix, 0);
    b.cable(wet, 0, mix, 2);
    toSpeakers(b, clipper(b, mix, 0, 9, 0), 0, 10, 0);
}

void crushBox(PresetGrid& b)
{
    const int c = controls(b);
    const int a = b.block("Triangle Oscillator", 1, 0, {{0, "220"}});
    const int e = b.block("Triangle Oscillator", 1, 1, {{0, "277.2"}});
    const int g = b.block("Triangle Oscillator", 1, 2, {{0, "329.6"}});
    const int chord = drumBus(b, {{a, "0.3"}, {e, "0.3"}, {g, "0.3"}}, 2, 1);
    const int drive = knobMap(b, c, Switch1, "0.6", "0.9", 2, 3);
    const int driven = times(b, chord, 0, drive, 0, 3, 1);
    const int bits = knobMap(b, c, Knob1, "10", "-8", 3, 3);
    const int hold = knobMap(b, c, Knob2, "1", "11", 3, 4);
    const int crush = b.block("Bit Crusher", 4, 1);
    b.cable(driven, 0, crush, 0);
    b.cable(bits, 0, crush, 1);
    b.cable(hold, 0, crush, 2);
    const int crushed = split(b, crush, 0, 5, 1);
    const int soft = b.block("Low-Pass Filter", 6, 2, {{1, "900"}, {2, "0.1"}});
    b.cable(crushed, 1, soft, 0);
    const int tone = b.block("Crossfade", 7, 1);
    b.cable(crushed, 0, tone, 0);
    b.cable(soft, 0, tone, 1);
    b.cable(c, Switch2, tone, 2);
    toSpeakers(b, clipper(b, tone, 0, 8, 1), 0, 9, 1);
}

void fuzzBox(PresetGrid& b)
{
    const int c = controls(b);
    const int clock = b.block("Pulse Oscillator", 1, 0, {{0, "6"}});
    const int seq = b.block("Step Sequencer", 2, 0, {{5, "40,40,52,40,43,45,47,40"}});
    b.cable(clock, 0, seq, 0);
    const int gates = split(b, seq, 1, 2, 2);
    const int played = heldNote(b, seq, gates, 1, 2.5, 1);
    const int hz = b.block("Note to Frequency", 3, 0);
    b.cable(played, 0, hz, 0);
    const int sine = b.block("Sine Oscillator", 4, 0);
    b.cable(hz, 0, sine, 0);
    const int env = b.block("AR Envelope", 3, 2, {{1, "0.002"}, {2, "0.05"}});
    b.cable(gates, 0, env, 0);
    const int note1 = times(b, sine, 0, env, 0, 5, 0);
    const int notes = split(b, note1, 0, 6, 0);
    // Rectified, the wave runs at twice the frequency: an octave fuzz.
    const int rectified = b.block("Absolute Value", 7, 1);
    b.cable(notes, 1, rectified, 0);
    const int octave = b.block("Crossfade", 8, 0);
    b.cable(notes, 0, octave, 0);
    b.cable(rectified, 0, octave, 1);
    b.cable(c, Switch1, octave, 2);
    const int dc = b.block("High-Pass Filter", 9, 0, {{1, "40"}, {2, "0"}});
    b.cable(octave, 0, dc, 0);
    const int gain = knobMap(b, c, Knob1, "1", "15", 8, 3);
    const int jitter = knobMap(b, c, Knob2, "0", "0.9", 8, 4);
    const int fuzz = b.block("Fuzz", 10, 0, {{2, "0.2"}});
    b.cable(dc, 0, fuzz, 0);
    b.cable(gain, 0, fuzz, 1);
    b.cable(jitter, 0, fuzz, 3);
    const int tone = knobMap(b, c, Switch2, "900", "2700", 10, 3);
    const int filter = b.block("Low-Pass Filter", 11, 0, {{2, "0.2"}});
    b.cable(fuzz, 0, filter, 0);
    b.cable(tone, 0, filter, 1);
    const int level = scaled(b, filter, 0, "1.8", 12, 0);
    toSpeakers(b, clipper(b, level, 0, 13, 0), 0, 14, 0);
}

void filterSweep(PresetGrid& b)
{
    const int c = controls(b);
    const int low = b.block("Saw Oscillator", 1, 0, {{0, "55"}});
    const int fifth = b.block("Saw Oscillator", 1, 1, {{0, "82.5"}});
    const int noise = b.block("Noise", 1, 2);
    const int source = drumBus(b, {{low, "0.3"}, {fifth, "0.3"}, {noise, "0.1"}}, 2, 1);
    const int lfo = b.block("Triangle Oscillator", 2, 3, {{0, "0.2"}});
    const int swing = scaled(b, lfo, 0, "400", 3, 3);
    const int centre = knobMap(b, c, Knob1, "300", "2500", 3, 4);
    const int cutoff = plus(b, swing, 0, centre, 0, 4, 3);
    const int resonance = knobMap(b, c, Knob2, "0.2", "0.75", 4, 4);
    const int high = scaled(b, c, Switch2, "2", 3, 5);
    const int mode = plus(b, high, 0, c, Switch1, 4, 5);
    const int filter = b.block("Multimode Filter", 5, 1);
    b.cable(source, 0, filter, 0);
    b.cable(cutoff, 0, filter, 1);
    b.cable(resonance, 0, filter, 2);
    b.cable(mode, 0, filter, 3);
    toSpeakers(b, clipper(b, filter, 0, 6, 1), 0, 7, 1);
}

void limiterPump(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Switch1, "120", "120", 1, 5);
    const int metro = b.block("Metronome", 1, 0);
    b.cable(tempo, 0, metro, 1);
    const int kick = drum(b, "Kick", metro, 0, 2, 0);
    const int a = b.block("Saw Oscillator", 1, 2, {{0, "110"}});
    const int e = b.block("Saw Oscillator", 1, 3, {{0, "164.8"}});
    const int padLevel = knobMap(b, c, Switch2, "0.05", "0.25", 1, 4);
    const int pad = drumBus(b, {{a, "0.5"}, {e, "0.5"}}, 2, 2);
    const int dark = b.block("Low-Pass Filter", 3, 2, {{1, "800"}, {2, "0.2"}});
    b.cable(pad, 0, dark, 0);
    const int padded = times(b, dark, 0, padLevel, 0, 4, 2);
    const int mix = b.block("Mix 2", 5, 1, {{1, "0.5"}});
    b.cable(kick, 0, mix, 0);
    b.cable(padded, 0, mix, 2);
    const int gain = knobMap(b, c, Knob1, "2", "4", 5, 3);
    const int threshold = knobMap(b, c, Knob2, "0.3", "-0.25", 5, 4);
    const int limit = b.block("Limiter", 6, 1);
    b.cable(mix, 0, limit, 0);
    b.cable(gain, 0, limit, 1);
    b.cable(threshold, 0, limit, 2);
    toSpeakers(b, limit, 0, 7, 1);
}

void grainStutter(PresetGrid& b)
{
    const int c = controls(b);
    const int metro = b.block("Metronome", 1, 0, {{1, "480"}});
    const int ticks = b.block("Split 4", 2, 0);
    b.cable(metro, 0, ticks, 0);
    const int seq = b.block("Step Sequencer", 3, 0, {{5, "64,67,71,74,76,74,71,67"}});
    b.cable(ticks, 0, seq, 0);
    const int played = heldNote(b, seq, seq, 1, 3.5, 1);
    const int octave = knobMap(b, c, Switch1, "0", "12", 3, 3);
    const int noteSum = plus(b, played, 0, octave, 0, 4, 1);
    const int hz = b.block("Note to Frequency", 4, 0);
    b.cable(noteSum, 0, hz, 0);
    const int tri = b.block("Triangle Oscillator", 5, 0);
    b.cable(hz, 0, tri, 0);
    const int env = b.block("AD Envelope", 4, 1, {{1, "0.001"}, {2, "0.12"}});
    struck(b, ticks, 1, env, 4, 1);
    const int voice = times(b, tri, 0, env, 0, 6, 0);
    // Every fourth tick the looper takes turns: recording, then looping what it recorded.
    const int beats = b.block("Counter", 3, 2, {{1, "4"}});
    b.cable(ticks, 2, beats, 0);
    const int loop = b.block("Toggle", 4, 2, {{1, "1"}, {2, "0"}});
    b.cable(beats, 1, loop, 0);
    const int start = knobMap(b, c, Knob1, "0.1", "0.8", 5, 3);
    const int length = knobMap(b, c, Knob2, "0.03", "0.87", 5, 4);
    const int grains = b.block("Grain Looper", 7, 1);
    b.cable(voice, 0, grains, 0);
    b.cable(loop, 0, grains, 1);
    b.cable(start, 0, grains, 2);
    b.cable(length, 0, grains, 3);
    const int hold = knobMap(b, c, Switch2, "1", "5", 7, 3);
    const int crush = b.block("Bit Crusher", 8, 1, {{1, "10"}});
    b.cable(grains, 0, crush, 0);
    b.cable(hold, 0, crush, 2);
    toSpeakers(b, crush, 0, 9, 1);
}

void tapeEcho(PresetGrid& b)
{
    const int c = controls(b);
    const int rate = knobMap(b, c, Switch2, "1", "1", 1, 1);
    const int clock = b.block("Impulse Train", 1, 0);
    b.cable(rate, 0, clock, 0);
    const int env = b.block("AD Envelope", 2, 0, {{1, "0.002"}, {2, "0.2"}});
    struck(b, clock, 0, env, 2, 0);
    const int saw = b.block("Saw Oscillator", 2, 2, {{0, "220"}});
    const int voice = times(b, saw, 0, env, 0, 3, 0);
    const int soft = b.block("Low-Pass Filter", 4, 0, {{1, "3800"}, {2, "0.2"}});
    b.cable(voice, 0, soft, 0);
    const int sources = split(b, soft, 0, 5, 0);
    const int feedback = knobMap(b, c, Knob2, "0.1", "0.8", 5, 3);
    const int echo = b.block("Smooth Lo-Fi Echo", 6, 1, {{1, "450"}});
    b.cable(sources, 1, echo, 0);
    b.cable(feedback, 0, echo, 2);
    b.cable(c, Switch1, echo, 3);
    const int tone = knobMap(b, c, Knob1, "3800", "-3300", 6, 3);
    const int worn = b.block("Low-Pass Filter", 7, 1, {{2, "0.2"}});
    b.cable(echo, 0, worn, 0);
    b.cable(tone, 0, worn, 1);
    const int mix = b.block("Mix 2", 8, 0, {{1, "0.5"}, {3, "1.4"}});
    b.cable(sources, 0, mix, 0);
    b.cable(worn, 0, mix, 2);
    toSpeakers(b, clipper(b, mix, 0, 9, 0), 0, 10, 0);
}

// ---- Sample players ------------------------------------------------------------------------

void guitarLoop(PresetGrid& b)
{
    const int c = controls(b);
    const int speed = knobMap(b, c, Knob1, "110", "110", 1, 0);
    const int fifth = knobMap(b, c, Switch2, "1", "0.5", 1, 1);
    const int speeds = times(b, speed, 0, fifth, 0, 2, 0);
    const int guitar = b.block("Acoustic Guitar Loop", 3, 0);
    b.cable(speeds, 0, guitar, 2);
    const int tone = knobMap(b, c, Knob2, "3800", "-3300", 3, 2);
    const int filter = b.block("Low-Pass Filter", 4, 0, {{2, "0.3"}});
    b.cable(guitar, 0, filter, 0);
    b.cable(tone, 0, filter, 1);
    const int sound = split(b, filter, 0, 5, 0);
    const int crush = b.block("Bit Crusher", 6, 1, {{1, "4"}, {2, "3"}});
    b.cable(sound, 1, crush, 0);
    const int lofi = b.block("Crossfade", 7, 0);
    b.cable(sound, 0, lofi, 0);
    b.cable(crush, 0, lofi, 1);
    b.cable(c, Switch1, lofi, 2);
    toSpeakersAt(b, lofi, 0, "0.7", 8, 0);
}

void vowelChoir(PresetGrid& b)
{
    const int c = controls(b);
    const int pitch = knobMap(b, c, Knob1, "52", "12", 1, 0);
    const int octave = knobMap(b, c, Switch2, "0", "-12", 1, 1);
    const int noteSum = plus(b, pitch, 0, octave, 0, 2, 0);
    const int hz = b.block("Note to Frequency", 3, 0);
    b.cable(noteSum, 0, hz, 0);
    const int hzs = split(b, hz, 0, 4, 0);
    const int deux = b.block("Voice Deux", 5, 0, {{1, "1"}});
    b.cable(hzs, 0, deux, 2);
    const int fifthHz = scaled(b, hzs, 1, "1.5", 5, 1);
    const int un = b.block("Voice Un", 6, 1, {{1, "1"}});
    b.cable(fifthHz, 0, un, 2);
    const int fifthLevel = knobMap(b, c, Switch1, "0", "0.8", 6, 2);
    const int mix = b.block("Mix 2", 7, 0, {{1, "0.6"}});
    b.cable(deux, 0, mix, 0);
    b.cable(un, 0, mix, 2);
    b.cable(fifthLevel, 0, mix, 3);
    const int tone = knobMap(b, c, Knob2, "3800", "-3300", 7, 2);
    const int filter = b.block("Low-Pass Filter", 8, 0, {{2, "0.3"}});
    b.cable(mix, 0, filter, 0);
    b.cable(tone, 0, filter, 1);
    toSpeakers(b, clipper(b, filter, 0, 9, 0), 0, 10, 0);
}

void cycleExplorer(PresetGrid& b)
{
    const int c = controls(b);
    const int pitch = knobMap(b, c, Knob1, "45", "24", 1, 0);
    const int octave = knobMap(b, c, Switch2, "0", "12", 1, 1);
    const int noteSum = plus(b, pitch, 0, octave, 0, 2, 0);
    const int hz = b.block("Note to Frequency", 3, 0);
    b.cable(noteSum, 0, hz, 0);
    const int speeds = b.block("Split 8", 4, 0);
    b.cable(hz, 0, speeds, 0);
    const QStringList cycles{"Sine Cycle",    "Triangle Cycle", "Organ Cycle", "Reed Cycle",
                             "Formant Cycle", "Square Cycle",   "Pulse Cycle", "Saw Cycle"};
    const int pick = b.block("Select 8", 6, 2);
    for (int i = 0; i < cycles.size(); ++i) {
        const int cycle = b.block(cycles.at(i), 5, i - 2);
        b.cable(speeds, i, cycle, 2);
        b.cable(cycle, 0, pick, i);
    }
    const int timbre = knobMap(b, c, Knob2, "0", "7.99", 5, 7);
    b.cable(timbre, 0, pick, 8);
    const int env = b.block("AR Envelope", 6, 4, {{1, "0.01"}, {2, "0.2"}});
    b.cable(c, Switch1, env, 0);
    const int amp = times(b, pick, 0, env, 0, 7, 2);
    toSpeakers(b, amp, 0, 8, 2);
}

void sampleKit(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Knob2, "320", "640", 1, 0);
    const int metro = b.block("Metronome", 2, 0);
    b.cable(tempo, 0, metro, 1);
    // Each step names the drum it plays: 1 kick, 2 snare, 3 hat, 4 clap.
    const int seq =
        b.block("Pattern Sequencer", 3, 0,
                {{6, "1,3,3,3,2,3,3,3,1,3,1,3,2,3,3,3"}, {7, "3,4,3,4,2,4,3,4,3,4,3,4,2,4,4,4"}});
    b.cable(metro, 0, seq, 0);
    b.cable(c, Switch1, seq, 2);
    const int route = b.block("Distribute 8", 4, 0);
    b.cable(seq, 1, route, 0);
    b.cable(seq, 2, route, 9);
    const int pitch = knobMap(b, c, Knob1, "1", "1", 3, 3);
    const int pitches = b.block("Split 4", 4, 3);
    b.cable(pitch, 0, pitches, 0);
    const QStringList drums{"Kick", "Snare", "House Hat", "Clap"};
    const QStringList speeds{"550", "880", "440", "880"};
    QList<QPair<int, QString>> voices;
    const QStringList levels{"0.6", "0.45", "0.3", "0.4"};
    for (int i = 0; i < 4; ++i) {
        const int speed = b.block("Multiply", 5, 2 * i + 1, {{0, speeds.at(i)}});
        b.cable(pitches, i, speed, 1);
        const int d = b.block(drums.at(i), 6, 2 * i);
        b.cable(route, i + 1, d, 0);
        b.cable(speed, 0, d, 2);
        voices << qMakePair(d, levels.at(i));
    }
    const int mix = drumBus(b, voices, 7, 3);
    const int kit = split(b, mix, 0, 8, 3);
    const int crush = b.block("Bit Crusher", 9, 4, {{1, "6"}, {2, "3"}});
    b.cable(kit, 1, crush, 0);
    const int lofi = b.block("Crossfade", 9, 3);
    b.cable(kit, 0, lofi, 0);
    b.cable(crush, 0, lofi, 1);
    b.cable(c, Switch2, lofi, 2);
    toSpeakers(b, clipper(b, lofi, 0, 10, 3), 0, 11, 3);
}

void vocalChop(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Knob1, "150", "330", 1, 0);
    const int metro = b.block("Metronome", 2, 0);
    b.cable(tempo, 0, metro, 1);
    const int ticks = b.block("Split 4", 3, 0);
    b.cable(metro, 0, ticks, 0);
    const int pick = b.block("Random Step", 4, 0, {{2, "220,247.5,275,330,371.25,440"}});
    b.cable(ticks, 0, pick, 0);
    const int range = knobMap(b, c, Knob2, "1", "1", 4, 1);
    const int hz = times(b, pick, 0, range, 0, 5, 0);
    const int hzs = split(b, hz, 0, 6, 0);
    const int deux = b.block("Voice Deux", 7, 0);
    const int un = b.block("Voice Un", 7, 1);
    b.cable(ticks, 1, deux, 0);
    b.cable(ticks, 2, un, 0);
    b.cable(hzs, 0, deux, 2);
    b.cable(hzs, 1, un, 2);
    // The two vowels take turns, one tick each.
    const int turns = b.block("Toggle", 5, 2);
    b.cable(ticks, 3, turns, 0);
    const int vowel = b.block("Crossfade", 8, 0);
    b.cable(deux, 0, vowel, 0);
    b.cable(un, 0, vowel, 1);
    b.cable(turns, 1, vowel, 2);
    const int hold = knobMap(b, c, Switch1, "1", "3", 8, 2);
    const int crush = b.block("Bit Crusher", 9, 0, {{1, "10"}});
    b.cable(vowel, 0, crush, 0);
    b.cable(hold, 0, crush, 2);
    const int voices = split(b, crush, 0, 10, 0);
    const int echo = b.block("Echo 300 ms", 11, 1, {{1, "230"}, {2, "0.55"}});
    b.cable(voices, 1, echo, 0);
    const int echoLevel = knobMap(b, c, Switch2, "0", "0.7", 11, 2);
    const int mix = b.block("Mix 2", 12, 0, {{1, "0.7"}});
    b.cable(voices, 0, mix, 0);
    b.cable(echo, 0, mix, 2);
    b.cable(echoLevel, 0, mix, 3);
    toSpeakers(b, clipper(b, mix, 0, 13, 0), 0, 14, 0);
}

void loopedDrums(PresetGrid& b)
{
    const int c = controls(b);
    const int metro = b.block("Metronome", 1, 0, {{1, "300"}});
    const int ticks = split(b, metro, 0, 2, 0);
    const int seq = b.block("Step Sequencer", 3, 0, {{5, "36,36,43,36,48,36,41,43"}});
    b.cable(ticks, 0, seq, 0);
    const int played = heldNote(b, seq, seq, 1, 3.5, 1);
    const int octave = knobMap(b, c, Switch2, "0", "12", 3, 2);
    const int noteSum = plus(b, played, 0, octave, 0, 4, 0);
    const int hz = b.block("Note to Frequency", 5, 0);
    b.cable(noteSum, 0, hz, 0);
    // A drum sample looped over and over is a tone whose pitch is the loop's rate.
    const int tune = knobMap(b, c, Knob1, "8", "8", 5, 2);
    const int rate = times(b, hz, 0, tune, 0, 6, 0);
    const int rates = split(b, rate, 0, 7, 0);
    const int kick = b.block("House Kick B", 8, 0, {{1, "1"}});
    const int snare = b.block("Snare", 8, 1, {{1, "1"}});
    b.cable(rates, 0, kick, 2);
    b.cable(rates, 1, snare, 2);
    const int which = b.block("Crossfade", 9, 0);
    b.cable(kick, 0, which, 0);
    b.cable(snare, 0, which, 1);
    b.cable(c, Switch1, which, 2);
    const int cutoff = knobMap(b, c, Knob2, "400", "3000", 9, 2);
    const int filter = b.block("Low-Pass Filter", 10, 0, {{2, "0.5"}});
    b.cable(which, 0, filter, 0);
    b.cable(cutoff, 0, filter, 1);
    const int env = b.block("AD Envelope", 4, 3, {{1, "0.003"}, {2, "0.18"}});
    struck(b, ticks, 1, env, 4, 3);
    const int amp = times(b, filter, 0, env, 0, 11, 1);
    toSpeakersAt(b, amp, 0, "0.7", 12, 1);
}

// ---- Generative ----------------------------------------------------------------------------

void pentatonicRain(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Knob1, "90", "270", 1, 0);
    const int metro = b.block("Metronome", 2, 0);
    b.cable(tempo, 0, metro, 1);
    const int ticks = split(b, metro, 0, 3, 0);
    const int pick = b.block("Random Step", 4, 0, {{2, "392,440,523.25,587.33,659.26,783.99"}});
    b.cable(ticks, 0, pick, 0);
    const int octave = knobMap(b, c, Knob2, "0.5", "0.5", 4, 1);
    const int hz = times(b, pick, 0, octave, 0, 5, 0);
    const int env = b.block("AD Envelope", 4, 3, {{1, "0.002"}, {2, "0.9"}});
    struck(b, ticks, 1, env, 4, 3);
    const int envs = split(b, env, 0, 5, 3);
    const int bell = knobMap(b, c, Switch1, "0.2", "2.5", 5, 4);
    const int index = times(b, envs, 0, bell, 0, 6, 3);
    const int fm = b.block("FM Voice", 6, 0, {{1, "2"}});
    b.cable(hz, 0, fm, 0);
    b.cable(index, 0, fm, 2);
    const int voice = times(b, fm, 0, envs, 1, 7, 1);
    const int voices = split(b, voice, 0, 8, 1);
    const int echo = b.block("Echo 300 ms", 9, 2, {{1, "300"}, {2, "0.6"}});
    b.cable(voices, 1, echo, 0);
    const int echoLevel = knobMap(b, c, Switch2, "0", "0.6", 9, 3);
    const int mix = b.block("Mix 2", 10, 1, {{1, "0.5"}});
    b.cable(voices, 0, mix, 0);
    b.cable(echo, 0, mix, 2);
    b.cable(echoLevel, 0, mix, 3);
    toSpeakers(b, clipper(b, mix, 0, 11, 1), 0, 12, 1);
}

void walkDrone(PresetGrid& b)
{
    const int c = controls(b);
    const int pitch = knobMap(b, c, Knob1, "55", "27.5", 1, 0);
    const int pitches = b.block("Split 4", 2, 0);
    b.cable(pitch, 0, pitches, 0);
    const int saw1 = b.block("Saw Oscillator", 3, 0);
    b.cable(pitches, 0, saw1, 0);
    const int detune = scaled(b, pitches, 1, "1.005", 3, 1);
    const int saw2 = b.block("Saw Oscillator", 4, 1);
    b.cable(detune, 0, saw2, 0);
    const int half = scaled(b, pitches, 2, "0.5", 3, 2);
    const int sub = b.block("Sine Oscillator", 4, 2);
    b.cable(half, 0, sub, 0);
    const int subLevel = knobMap(b, c, Switch1, "0", "0.9", 4, 3);
    const int mix = drumBus(b, {{saw1, "0.2"}, {saw2, "0.2"}, {sub, "0"}}, 5, 1);
    b.cable(subLevel, 0, mix, 5);
    // A random walk at control rate drifts the cutoff.
    const int walk = b.block("Random Walk", 5, 4, {{0, "0.01"}, {3, "1"}});
    const int low = knobMap(b, c, Knob2, "250", "1500", 5, 5);
    const int cutoff = b.block("Map Range", 6, 4, {{1, "-0.5"}, {2, "1"}, {4, "900"}});
    b.cable(walk, 0, cutoff, 0);
    b.cable(low, 0, cutoff, 3);
    const int filter = b.block("Low-Pass Filter", 6, 1, {{2, "0.7"}});
    b.cable(mix, 0, filter, 0);
    b.cable(cutoff, 0, filter, 1);
    const int bits = knobMap(b, c, Switch2, "10", "-7", 7, 3);
    const int crush = b.block("Bit Crusher", 7, 1, {{2, "1"}});
    b.cable(filter, 0, crush, 0);
    b.cable(bits, 0, crush, 1);
    toSpeakers(b, clipper(b, crush, 0, 8, 1), 0, 9, 1);
}

void sampleAndHold(PresetGrid& b)
{
    const int c = controls(b);
    const int metro = b.block("Metronome", 1, 0, {{1, "480"}});
    // The hold runs at control rate: the one-sample tick is stretched for it.
    const int stretched = b.block("Audio to Control", 2, 0);
    b.cable(metro, 0, stretched, 0);
    const int ticks = split(b, stretched, 0, 3, 0);
    const int noise = b.block("Noise", 2, 2);
    const int noises = split(b, noise, 0, 3, 2);
    const int held = b.block("Timed Hold", 4, 1, {{2, "-1"}});
    b.cable(ticks, 0, held, 0);
    b.cable(noises, 0, held, 1);
    const int heldNote = b.block("Timed Hold", 4, 3, {{2, "-1"}});
    b.cable(ticks, 1, heldNote, 0);
    b.cable(noises, 1, heldNote, 1);
    const int base = knobMap(b, c, Knob1, "200", "1800", 4, 5);
    const int cutoff = b.block("Map Range", 5, 1, {{1, "-0.5"}, {2, "1"}, {4, "1500"}});
    b.cable(held, 0, cutoff, 0);
    b.cable(base, 0, cutoff, 3);
    // Switch 1 lets the held noise move the pitch too, over an octave.
    const int spread = times(b, heldNote, 0, c, Switch1, 5, 3);
    const int pitch = knobMap(b, c, Knob2, "40", "24", 5, 4);
    const int noteSum = b.block("Map Range", 6, 3, {{1, "-0.5"}, {2, "1"}, {4, "12"}});
    b.cable(spread, 0, noteSum, 0);
    b.cable(pitch, 0, noteSum, 3);
    const int hz = b.block("Note to Frequency", 7, 3);
    b.cable(noteSum, 0, hz, 0);
    const int saw = b.block("Saw Oscillator", 8, 3);
    b.cable(hz, 0, saw, 0);
    const int resonance = knobMap(b, c, Switch2, "0.3", "0.62", 8, 5);
    const int filter = b.block("Low-Pass Filter", 9, 2);
    b.cable(saw, 0, filter, 0);
    b.cable(cutoff, 0, filter, 1);
    b.cable(resonance, 0, filter, 2);
    const int level = scaled(b, filter, 0, "0.5", 10, 2);
    toSpeakers(b, clipper(b, level, 0, 11, 2), 0, 12, 2);
}

void threeAgainstFour(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Knob1, "300", "600", 1, 0);
    const int metro = b.block("Metronome", 2, 0);
    b.cable(tempo, 0, metro, 1);
    const int three = b.block("Counter", 3, 0, {{1, "3"}});
    b.cable(metro, 0, three, 0);
    const int four = b.block("Counter", 3, 2, {{1, "4"}});
    b.cable(three, 0, four, 0);
    const int five = b.block("Counter", 3, 4, {{1, "5"}});
    b.cable(four, 0, five, 0);
    const int tune = knobMap(b, c, Knob2, "1", "1", 4, 6);
    const int tunes = b.block("Split 4", 5, 6);
    b.cable(tune, 0, tunes, 0);
    const int bright = knobMap(b, c, Switch2, "0.3", "2.7", 6, 6);
    const int brights = b.block("Split 4", 7, 6);
    b.cable(bright, 0, brights, 0);
    const QList<int> counters{three, four, five};
    const QStringList pitches{"660", "440", "330"};
    const QStringList ratios{"3", "2", "1.5"};
    QList<int> bells;
    for (int i = 0; i < 3; ++i) {
        const int row = 2 * i;
        const int env = b.block("AD Envelope", 4, row, {{1, "0.002"}, {2, "0.5"}});
        struck(b, counters.at(i), 1, env, 4, row);
        const int envs = split(b, env, 0, 5, row);
        const int hz = b.block("Multiply", 6, row, {{0, pitches.at(i)}});
        b.cable(tunes, i, hz, 1);
        const int index = times(b, envs, 0, brights, i, 7, row + 1);
        const int fm = b.block("FM Voice", 7, row, {{1, ratios.at(i)}});
        b.cable(hz, 0, fm, 0);
        b.cable(index, 0, fm, 2);
        bells << times(b, fm, 0, envs, 1, 8, row);
    }
    const int fiveLevel = knobMap(b, c, Switch1, "0", "0.7", 8, 5);
    const int mix =
        drumBus(b, {{bells.at(0), "0.35"}, {bells.at(1), "0.35"}, {bells.at(2), "0"}}, 9, 2);
    b.cable(fiveLevel, 0, mix, 5);
    toSpeakers(b, clipper(b, mix, 0, 10, 2), 0, 11, 2);
}

void bitMelody(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Knob1, "240", "480", 1, 0);
    const int metro = b.block("Metronome", 2, 0);
    b.cable(tempo, 0, metro, 1);
    const int ticks = split(b, metro, 0, 3, 0);
    // A counter of ticks, 0 to 7, kept on send channel 2.
    const int last = b.block("Receive", 3, 1, {{0, "2"}});
    const int count = plus(b, ticks, 0, last, 0, 4, 0);
    const int wrap = b.block("Modulo", 5, 0, {{1, "8"}});
    b.cable(count, 0, wrap, 0);
    const int counts = split(b, wrap, 0, 6, 0);
    const int keep = b.block("Send", 7, 1, {{1, "2"}});
    b.cable(counts, 0, keep, 0);
    const int bits = b.block("Bit Split", 7, 0);
    b.cable(counts, 1, bits, 0);
    // Each bit adds an interval: 7, 4 and 12 semitones over the root.
    const int fifth = scaled(b, bits, 7, "7", 8, 0);
    const int third = scaled(b, bits, 6, "4", 8, 1);
    const int octave = scaled(b, bits, 5, "12", 8, 2);
    const int root = knobMap(b, c, Knob2, "48", "12", 8, 3);
    const int sum = drumBus(b, {{fifth, "1"}, {third, "1"}, {octave, "1"}, {root, "1"}}, 9, 1);
    const int hz = b.block("Note to Frequency", 10, 1);
    b.cable(sum, 0, hz, 0);
    const int hzs = split(b, hz, 0, 11, 1);
    const int tri = b.block("Triangle Oscillator", 12, 0);
    const int saw = b.block("Saw Oscillator", 12, 1);
    b.cable(hzs, 0, tri, 0);
    b.cable(hzs, 1, saw, 0);
    const int wave = b.block("Crossfade", 13, 0);
    b.cable(tri, 0, wave, 0);
    b.cable(saw, 0, wave, 1);
    b.cable(c, Switch1, wave, 2);
    const int env = b.block("AD Envelope", 4, 3, {{1, "0.002"}, {2, "0.2"}});
    struck(b, ticks, 1, env, 4, 3);
    const int voice = times(b, wave, 0, env, 0, 14, 1);
    const int voices = split(b, voice, 0, 15, 1);
    const int echo = b.block("Echo 150 ms", 16, 2, {{1, "120"}, {2, "0.6"}});
    b.cable(voices, 1, echo, 0);
    const int echoLevel = knobMap(b, c, Switch2, "0", "0.7", 16, 3);
    const int mix = b.block("Mix 2", 17, 1, {{1, "0.6"}});
    b.cable(voices, 0, mix, 0);
    b.cable(echo, 0, mix, 2);
    b.cable(echoLevel, 0, mix, 3);
    toSpeakers(b, clipper(b, mix, 0, 18, 1), 0, 19, 1);
}

void toggleBells(PresetGrid& b)
{
    const int c = controls(b);
    const int tempo = knobMap(b, c, Knob2, "150", "330", 1, 0);
    const int metro = b.block("Metronome", 2, 0);
    b.cable(tempo, 0, metro, 1);
    const int ticks = b.block("Split 4", 3, 0);
    b.cable(metro, 0, ticks, 0);
    // Each tick flips between two notes; every third tick flips the pair.
    const int notes = b.block("Toggle", 4, 0, {{1, "0"}, {2, "7"}});
    b.cable(ticks, 0, notes, 0);
    const int third = b.block("Clock Divider", 4, 1, {{1, "3"}});
    b.cable(ticks, 1, third, 0);
    const int pairs = b.block("Toggle", 5, 1, {{1, "0"}, {2, "5"}});
    b.cable(third, 1, pairs, 0);
    const int base = knobMap(b, c, Knob1, "60", "12", 4, 3);
    const int noteSum = b.block("Mix 4", 6, 0);
    b.cable(notes, 0, noteSum, 0);
    b.cable(pairs, 0, noteSum, 2);
    b.cable(base, 0, noteSum, 4);
    const int octave = knobMap(b, c, Switch2, "0", "-12", 5, 4);
    b.cable(octave, 0, noteSum, 6);
    const int hz = b.block("Precise Note to Frequency", 7, 0);
    b.cable(noteSum, 0, hz, 0);
    const int env = b.block("AD Envelope", 6, 3, {{1, "0.002"}, {2, "0.4"}});
    struck(b, ticks, 2, env, 6, 3);
    const int envs = split(b, env, 0, 7, 3);
    const int metal = knobMap(b, c, Switch1, "1", "2.5", 7, 4);
    const int fm = b.block("FM Voice", 8, 0, {{2, "1.2"}});
    b.cable(hz, 0, fm, 0);
    b.cable(metal, 0, fm, 1);
    const int voice = times(b, fm, 0, envs, 0, 9, 1);
    const int leds = b.block("LEDs Thru", 10, 1);
    b.cable(voice, 0, leds, 0);
    b.cable(notes, 1, leds, 1);
    toSpeakers(b, leds, 0, 11, 1);
}

void nightDrone(PresetGrid& b)
{
    const int c = controls(b);
    // Slow random chords: every four seconds each voice glides to a new note of the scale.
    const int clock = b.block("Impulse Train", 1, 0, {{0, "0.25"}});
    const int ticks = b.block("Split 4", 2, 0);
    b.cable(clock, 0, ticks, 0);
    const QStringList scales{"110,130.81,146.83,164.81", "220,246.94,261.63,329.63",
                             "329.63,392,440,493.88"};
    const int tune = knobMap(b, c, Knob2, "1", "1", 2, 5);
    const int tunes = b.block("Split 4", 3, 5);
    b.cable(tune, 0, tunes, 0);
    QList<int> voices;
    for (int i = 0; i < 3; ++i) {
        const int row = 2 * i;
        const int pick = b.block("Random Step", 3, row, {{2, scales.at(i)}});
        b.cable(ticks, i, pick, 0);
        const int glide = b.block("Linear Slew", 4, row, {{1, "1.5"}});
        b.cable(pick, 0, glide, 0);
        const int hz = times(b, glide, 0, tunes, i, 5, row);
        const int sine = b.block("Sine Oscillator", 6, row);
        b.cable(hz, 0, sine, 0);
        voices << sine;
    }
    const int chord =
        drumBus(b, {{voices.at(0), "0.3"}, {voices.at(1), "0.25"}, {voices.at(2), "0.2"}}, 7, 2);
    const int fold = knobMap(b, c, Knob1, "1", "5", 7, 6);
    const int folder = b.block("Wave Folder", 8, 2, {{2, "0.3"}});
    b.cable(chord, 0, folder, 0);
    b.cable(fold, 0, folder, 1);
    const int breath = b.block("Noise", 8, 4);
    const int air = b.block("Band-Pass Filter", 9, 4, {{1, "1200"}, {2, "0.5"}});
    b.cable(breath, 0, air, 0);
    const int airLevel = knobMap(b, c, Switch1, "0", "0.5", 9, 5);
    const int mix = b.block("Mix 2", 10, 2, {{1, "0.8"}});
    b.cable(folder, 0, mix, 0);
    b.cable(air, 0, mix, 2);
    b.cable(airLevel, 0, mix, 3);
    const int mute = b.block("Not", 10, 5);
    b.cable(c, Switch2, mute, 0);
    const int level = b.block("Lag", 11, 5);
    b.cable(mute, 0, level, 0);
    const int levels = split(b, level, 0, 12, 5);
    const int amp = times(b, mix, 0, levels, 0, 11, 2);
    const int shown = b.block("LED Blink", 13, 5);
    b.cable(levels, 1, shown, 0);
    const int leds = b.block("LEDs", 14, 5);
    b.cable(shown, 0, leds, 0);
    toSpeakers(b, clipper(b, amp, 0, 12, 2), 0, 13, 2);
}

} // namespace

const QList<PresetPatch>& presetPatches()
{
    static const QString voices = QStringLiteral("Synth Voices");
    static const QString drums = QStringLiteral("Drums and Rhythm");
    static const QString sequences = QStringLiteral("Sequences");
    static const QString effects = QStringLiteral("Effects");
    static const QString samples = QStringLiteral("Sample Players");
    static const QString generative = QStringLiteral("Generative");
    static const QList<PresetPatch> all{
        // Synth voices: switch 1 (or the strikes) plays them.
        {voices,
         "Saw Lead",
         "SawLead",
         "A bright saw through a resonant low-pass filter, shaped by an ADSR envelope. "
         "<br>Turn switch 1 on to hold a note, off to let it fade. Open the filter with knob 2 "
         "while the note sounds and listen to the resonance move up through the harmonics.",
         {"Pitch, two octaves from A2", "Filter cutoff, 300 to 3000 Hz", "Gate: hold the note",
          "An octave up"},
         &sawLead},
        {voices,
         "Square Bass",
         "SquareBass",
         "A pulse-wave bass through a gentle filter and an overdrive. <br>Play it with switch "
         "1; narrow the pulse with knob 2 for a nasal tone, and switch the overdrive in to "
         "square the filtered wave up again.",
         {"Pitch, two octaves from E1", "Pulse width, from square to thin", "Gate: play the note",
          "Overdrive"},
         &squareBass},
        {voices,
         "FM Bell",
         "FMBell",
         "Two-operator FM: a bell struck one and a half times a second, its envelope setting "
         "both the loudness and the brightness. <br>Turn knob 2 for other metals: whole ratios "
         "sound like tuned bells, the ones in between like gongs.",
         {"Pitch, 220 to 880 Hz", "Ratio of the modulator: the metal",
          "Strike three times as often", "Brighter strikes (a larger FM index)"},
         &fmBell},
        {voices,
         "PWM Strings",
         "PWMStrings",
         "Two slightly detuned pulse waves whose widths drift with slow triangles: the "
         "shimmer of a string machine. <br>Hold switch 1 and listen to the slow attack and the "
         "long release; sweep knob 2 for a darker or brighter ensemble.",
         {"Pitch, two octaves from C3", "Filter cutoff, 400 to 3400 Hz",
          "Gate: hold the chord tone", "An octave down"},
         &pwmStrings},
        {voices,
         "Drawbar Organ",
         "DrawbarOrgan",
         "Single-cycle organ and flute waves in tune with the semitones. <br>Play with switch 1 "
         "and pull the drawbars out with knob 2; switch 2 drives it into a warm amplifier.",
         {"Pitch in semitones, two octaves from C3",
          "Drawbars: from a soft flute to the full organ", "Gate: play the note",
          "A driven amplifier"},
         &drawbarOrgan},
        {voices,
         "West Coast Pluck",
         "WestCoastPluck",
         "A sine through a wave folder whose gain each strike opens and closes, in the "
         "West Coast manner. <br>Turn knob 2 up and every strike blooms into a bright, "
         "metallic tone that folds back into a sine as it fades.",
         {"Pitch, two octaves from C2", "Fold depth", "Strike three times as often",
          "An octave up"},
         &westCoastPluck},
        {voices,
         "Formant Voice",
         "FormantVoice",
         "A buzzing saw through band-pass filters set like the formants of a voice. <br>Hold "
         "switch 1 and sweep knob 2 for vowels from \"oo\" to \"ee\"; switch 2 adds the "
         "second, higher formant.",
         {"Pitch, from G2", "Vowel: the first formant, 400 to 2000 Hz", "Gate: sing",
          "The second formant at 3000 Hz"},
         &formantVoice},
        {voices,
         "Ring Modulator",
         "RingModulator",
         "Two sines multiplied: only their sum and difference tones are heard, an inharmonic, "
         "robotic sound. <br>Play with switch 1, turn knob 2 slowly through the ratios and "
         "switch the plain sine in to hear what was there before.",
         {"Pitch, 150 to 600 Hz", "Ratio of the second sine, 1.5 to 3.5", "Gate: play",
          "Mix in the plain sine"},
         &ringModulator},
        {voices,
         "Sub Bass",
         "SubBass",
         "A triangle bass with a sine one octave below it, into an overdrive. <br>Switch the "
         "sub octave in with switch 2 for weight on large speakers; knob 2 adds grit.",
         {"Pitch, two octaves from C2", "Drive", "Gate: play the note", "The sub octave"},
         &subBass},

        // Drums and rhythm.
        {drums,
         "Basic Beat",
         "BasicBeat",
         "Kick, snare and hat samples played by three pattern sequencers on one metronome. "
         "<br>Switch the hats in with switch 2 and a busier kick pattern with switch 1; knob 2 "
         "retunes the snare from tight to high and snappy.",
         {"Tempo, 80 to 200 BPM", "Snare tuning", "A busier kick pattern", "Sixteenth hats"},
         &basicBeat},
        {drums,
         "House Groove",
         "HouseGroove",
         "Four to the floor: a layered kick, claps on two and four and sixteenth hats, through "
         "a low-pass filter. <br>Close the filter with knob 2 for a breakdown, then open it "
         "again; switch 2 drops to half time.",
         {"Kick tuning, up to an octave", "Close the filter", "Sixteenth hats", "Half time"},
         &houseGroove},
        {drums,
         "Breakbeat",
         "Breakbeat",
         "A kick on a 3-3-2-2-2-4 count and a snare backbeat, into a bit crusher. <br>Switch "
         "on the snare rolls and the sixteenth hats, then crush it all with knob 2.",
         {"Tempo, 90 to 190 BPM", "Crush: from 10 bits down to 3", "Snare rolls", "Sixteenth hats"},
         &breakbeat},
        {drums,
         "Synth Toms",
         "SynthToms",
         "Sine toms that bend down as they strike, on pitches picked at random. <br>Give them "
         "a long decay with knob 2 and switch in the noisy skin for a more natural drum.",
         {"Tune, up to an octave", "Decay, 0.08 to 0.58 s", "A noisy skin", "Double time"},
         &synthToms},
        {drums,
         "Electro Kit",
         "ElectroKit",
         "A drum machine without samples: a swept sine kick, noise snare and hats, and a "
         "cowbell of two pulse waves. <br>Open the hats with knob 2, bring in the cowbell with "
         "switch 1 and crush it all with switch 2.",
         {"Tempo, 90 to 210 BPM", "Hat decay", "Cowbell",
          "Lo-fi: three bits at a quarter of the rate"},
         &electroKit},
        {drums,
         "Clap Trap",
         "ClapTrap",
         "A master clock leads three sequencer tracks: kick, clap on two and four, and hats. "
         "<br>Slow it down with knob 1, retune the kick with knob 2 and switch in the sixteenth "
         "hats; LED 1 shows the kick on the device.",
         {"Tempo, 70 to 140 BPM", "Kick tuning, up to an octave", "Sixteenth hats",
          "A lower sample rate"},
         &clapTrap},
        {drums,
         "Bit Split Drums",
         "BitSplitDrums",
         "A counter of metronome ticks written in binary: bit 0 plays the hats, bit 2 the "
         "snare, the half bar the kick. <br>Switch 2 puts a kick on every beat; switch 1 adds "
         "claps on bit 1.",
         {"Tempo", "Kick tuning, up to an octave", "Claps", "A kick on every beat"},
         &bitSplitDrums},

        // Sequences.
        {sequences,
         "Acid Line",
         "AcidLine",
         "A sixteenth-note bass line through a resonant low-pass filter that each note "
         "sweeps, then an overdrive. <br>Play with both knobs while it runs: the base cutoff "
         "and the sweep depth together make the squelch. LED 1 follows the notes.",
         {"Filter cutoff", "Sweep depth", "Distortion", "An octave up"},
         &acidLine},
        {sequences,
         "Clockwork",
         "Clockwork",
         "A master clock runs a bass track of eighth notes and a melody track of sixteenths. "
         "<br>Bring the melody in with switch 1, transpose both with knob 1 and pause the "
         "clock with switch 2.",
         {"Transpose, up to an octave", "Bass filter", "The melody", "Pause the clock"},
         &clockwork},
        {sequences,
         "Arpeggiator",
         "Arpeggiator",
         "An A minor arpeggio on a triangle wave. <br>Speed it up with knob 1, move the root "
         "with knob 2 and add echoes with switch 2 for a cascading pattern.",
         {"Speed", "Root, up to an octave", "A brighter pulse wave", "Echoes"},
         &arpeggiator},
        {sequences,
         "Pattern Player",
         "PatternPlayer",
         "A pattern sequencer holding eight melodic patterns, from low to high. <br>Turn knob 1 "
         "while it plays: the sequence moves on at the same step in the new pattern.",
         {"The pattern, 0 to 7", "Speed", "An octave down", "Open the filter"},
         &patternPlayer},
        {sequences,
         "Canon",
         "Canon",
         "A tune and, half a second behind it, the same tune again: a value delay holds every "
         "note and plays it later. <br>Switch 1 brings in the second voice; switch 2 moves it "
         "an octave up.",
         {"Transpose, up to an octave", "From sines to triangles", "The second voice",
          "The second voice an octave up"},
         &canon},
        {sequences,
         "Three Three Two",
         "ThreeThreeTwo",
         "An FM bass plucked on the 3-3-2 count of sixteenths, the rhythm of so much dance "
         "music. <br>Switch 1 changes to a busier count; knob 2 makes the plucks brighter.",
         {"Transpose, up to an octave", "Brightness", "A busier count", "Hats"},
         &threeThreeTwo},
        {sequences,
         "Divider Chimes",
         "DividerChimes",
         "One clock divided by 2, 3, 5 and 7, each division striking its own chime, so the "
         "pattern repeats only every 210 ticks. <br>Switch in the low chime and the metallic "
         "ratio, and let it run.",
         {"Tempo", "Tune, up to an octave", "Metallic chimes", "The low chime on every seventh"},
         &dividerChimes},

        // Effects, each on a sound of its own.
        {effects,
         "Echo Chamber",
         "EchoChamber",
         "Random plucks into an echo whose repeats are filtered. <br>Raise the feedback with "
         "knob 1 for long trails, darken them with knob 2, and try the long lo-fi echo with "
         "switch 1.",
         {"Feedback", "Darker echoes", "The long lo-fi echo", "Twice as many plucks"},
         &echoChamber},
        {effects,
         "Flanger",
         "Flanger",
         "A saw mixed with itself a few milliseconds later, the delay swept by a slow "
         "triangle: a comb filter that moves. <br>Switch on the feedback for a metallic "
         "resonance, or the noise for a jet plane.",
         {"Delay, 0.1 to 1.5 ms", "Sweep depth", "Feedback", "Noise in place of the saw"},
         &flanger},
        {effects,
         "Crush Box",
         "CrushBox",
         "An A major chord through a bit crusher. <br>Take the bits away with knob 1 and the "
         "sample rate with knob 2: listen to the aliasing tones that the lower rate folds in.",
         {"Bits, 10 down to 2", "Sample rate, divided by up to 12", "Drive it harder",
          "A soft filter after it"},
         &crushBox},
        {effects,
         "Fuzz Box",
         "FuzzBox",
         "A bass riff into a folding fuzz with random jitter in its folds. <br>Turn up the "
         "gain, then the jitter for a sputtering, broken fuzz; switch 1 rectifies the wave "
         "first, an octave up.",
         {"Gain", "Jitter", "Octave fuzz", "Brighter tone"},
         &fuzzBox},
        {effects,
         "Filter Sweep",
         "FilterSweep",
         "Two saws and a little noise through a multimode filter that a slow triangle sweeps. "
         "<br>Try each mode with the switches, with the resonance up.",
         {"Cutoff", "Resonance", "Band-pass", "High-pass (both switches: the filter off)"},
         &filterSweep},
        {effects,
         "Limiter Pump",
         "LimiterPump",
         "A kick and a pad through a look-ahead limiter: every kick pushes the pad down. "
         "<br>Drive it with knob 1 and lower the threshold with knob 2 to hear it pump; switch "
         "1 doubles the kicks.",
         {"Gain into the limiter", "Lower the threshold", "Kicks twice as often", "A louder pad"},
         &limiterPump},
        {effects,
         "Grain Stutter",
         "GrainStutter",
         "A melody into a grain looper that takes turns: half a bar recording, half a bar "
         "looping a grain of it: stutters and glitches. <br>Move the grain with knob 1 and "
         "shorten it with knob 2 until it buzzes.",
         {"Where the grain starts: from the note's attack into its fade",
          "Grain length: short grains buzz at a pitch of their own", "The melody an octave up",
          "A grittier sample rate"},
         &grainStutter},
        {effects,
         "Tape Echo",
         "TapeEcho",
         "A note a second into a 450 ms lo-fi echo, which keeps its line at a lower rate, with "
         "a worn tone on the repeats. <br>Raise the feedback, darken the repeats with knob 1 "
         "and smooth out the grit with switch 1.",
         {"Darker repeats", "Feedback", "Smooth out the grit", "A note twice a second"},
         &tapeEcho},

        // Sample players.
        {samples,
         "Guitar Loop",
         "GuitarLoop",
         "The acoustic guitar riff, four bars long, looped. <br>Speed it up with knob 1: "
         "pitch and tempo rise together, as on a record.",
         {"Speed and pitch, up to an octave", "Darker", "Lo-fi", "A fifth up"},
         &guitarLoop},
        {samples,
         "Vowel Choir",
         "VowelChoir",
         "Sung vowels looped into a drone: \"deux\", and \"un\" a fifth above it. <br>Bring in "
         "the fifth with switch 1 and darken the choir with knob 2.",
         {"Pitch, an octave from E3", "Darker", "\"un\" a fifth above", "An octave down"},
         &vowelChoir},
        {samples,
         "Cycle Explorer",
         "CycleExplorer",
         "The eight single-cycle waves in turn: sine, triangle, organ, reed, formant, square, "
         "pulse and saw. <br>Hold switch 1 and step through them with knob 2.",
         {"Pitch in semitones, two octaves from A2", "The wave", "Gate: play", "An octave up"},
         &cycleExplorer},
        {samples,
         "Sample Kit",
         "SampleKit",
         "One pattern sequencer whose steps pick the drum sample: 1 kick, 2 snare, 3 hat, 4 "
         "clap, sent on by a distributor. <br>Switch to the breakdown pattern and pitch the "
         "whole kit with knob 1.",
         {"Pitch of the kit, up to an octave", "Tempo, 80 to 240 BPM",
          "A breakdown: no kick, hats and claps", "Lo-fi"},
         &sampleKit},
        {samples,
         "Vocal Chop",
         "VocalChop",
         "Short sung vowels, \"deux\" and \"un\" in turn, on random notes of a scale. <br>Speed "
         "it up with knob 1 and add echoes with switch 2.",
         {"Tempo", "Up to an octave higher", "Lo-fi: a quarter of the sample rate", "Echoes"},
         &vocalChop},
        {samples,
         "Looped Drums",
         "LoopedDrums",
         "Drum samples looped so fast that they become tones, played as a bass line. <br>Try "
         "the snare, whose noise becomes a rasp.",
         {"Pitch, up to an octave", "Filter cutoff", "The snare in place of the kick",
          "An octave up"},
         &loopedDrums},

        // Generative patches.
        {generative,
         "Pentatonic Rain",
         "PentatonicRain",
         "FM bell notes drawn at random from a pentatonic scale, so no note is ever out of "
         "key. <br>Add echoes and let it rain.",
         {"How many notes", "An octave up", "Bell-like", "Echoes"},
         &pentatonicRain},
        {generative,
         "Random Walk Drone",
         "RandomWalkDrone",
         "Two detuned saws under a resonant filter that a random walk moves, never the same "
         "twice. <br>Switch in the sub octave for depth.",
         {"Pitch, a fifth up from 55 Hz", "Brighter", "A sub octave", "Crushed"},
         &walkDrone},
        {generative,
         "Sample and Hold",
         "SampleAndHold",
         "Noise sampled on every sixteenth note sets a saw's filter: the classic random "
         "burble. <br>Let the held noise move the pitch too with switch 1.",
         {"The lowest cutoff", "Pitch", "Random notes too", "More resonance"},
         &sampleAndHold},
        {generative,
         "Three Against Four",
         "ThreeAgainstFour",
         "One pulse counted in threes and in fours: two bells that meet every twelfth beat. "
         "<br>Add the third bell, counting in fives, with switch 1.",
         {"Tempo", "Tune, up to an octave", "A third bell in fives", "Brighter bells"},
         &threeAgainstFour},
        {generative,
         "Bit Counter Melody",
         "BitCounterMelody",
         "A counter from 0 to 7 in binary: its three bits add a fifth, a third and an octave "
         "to the root, an eight-note tune. <br>Change the tempo and the root while it plays.",
         {"Tempo", "Root, up to an octave", "A saw", "Echoes"},
         &bitMelody},
        {generative,
         "Toggle Bells",
         "ToggleBells",
         "Two toggles make a four-note figure: one flips on every tick, the other on every "
         "third, so the figure shifts against the beat. <br>LED 2 shows the first toggle.",
         {"The root, up to an octave", "Tempo", "Metallic", "An octave down"},
         &toggleBells},
        {generative,
         "Night Drone",
         "NightDrone",
         "Three sines gliding to random notes of a scale, every four seconds, through a wave "
         "folder. <br>Fold it further with knob 1; switch 2 fades it out (LED 1 shows the "
         "level).",
         {"The fold", "Tune, up to an octave", "Breath", "Fade out"},
         &nightDrone},
    };
    return all;
}
