// The tutorials and examples shipped beside the editor. The tutorials and the examples made
// here are built with the editor's own document and save code and must be the committed
// files byte for byte. Every shipped patch, made here or not, opens from its menu with all its
// blocks bound, builds, and plays through the real emulator (audio to a file) once the
// control values its comment asks for are set.
//
// After a change to a block they use, remake the committed files by running this test with
// KL_SHIPPED_OUT set to a folder: the patches it makes are copied there as
// tutorials/<folder>/<name>.ktl and examples/<folder>/<name>.ktl (the layout of data/).
#include "Emulator.h"
#include "MainWindow.h"
#include "MessageCapture.h"
#include "ModalDriver.h"
#include "PatchBuilder.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "Preferences.h"
#include "ShippedPatches.h"
#include "StartupResources.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const int rate = 20000;

// A comment's text: the canvas does not wrap lines, so each is kept short.
QString lines(const QStringList& text)
{
    return text.join(QLatin1String("<br>"));
}
// Bytes of the file sink per second: 16-bit stereo frames.
const qint64 bytesPerSecond = 4 * rate;

// ---- Tutorials ----

void firstSound(PatchBuilder& b)
{
    const int sine = b.block("Sine Oscillator", 0, 0);
    const int split = b.block("Split", 150, 0);
    const int out = b.block("Audio Output", 240, 0);
    b.cable(sine, 0, split, 0);
    b.cable(split, 0, out, 0);
    b.cable(split, 1, out, 1);
    b.comment(0, 60,
              lines({
                  "<b>1 First Sound</b>",
                  "A patch is blocks joined by cables. The Sine Oscillator",
                  "makes a tone; Split sends it to both sides of the",
                  "Audio Output, the patch's loudspeaker.",
                  "",
                  "Press Play (the green triangle in the tool bar, or",
                  "Ctrl+Return): a steady tone at 440 Hz. Press it again",
                  "to stop.",
                  "",
                  "Select the Sine Oscillator, type 220 as its Frequency",
                  "in the Inspector and play again: an octave lower.",
                  "",
                  "Next, drag a Saw Oscillator from the Browser's",
                  "Generators onto the canvas and draw a cable from its",
                  "output to the input of Split, in place of the sine's.",
              }));
}

void knobsAndSwitches(PatchBuilder& b)
{
    const int controls = b.block("Controls", 0, 37);
    const int pitch = b.block("Knob Map", 110, 0, {{1, "110"}, {2, "770"}});
    const int volume = b.block("Knob Map", 110, 75);
    const int saw = b.block("Saw Oscillator", 222, 0);
    const int onOff = b.block("Multiply", 357, 0);
    const int level = b.block("Multiply", 300, 75);
    const int split = b.block("Split", 400, 75);
    const int out = b.block("Audio Output", 475, 75);
    b.cable(controls, 0, pitch, 0);
    b.cable(controls, 1, volume, 0);
    b.cable(controls, 2, onOff, 1);
    b.cable(pitch, 0, saw, 0);
    b.cable(saw, 0, onOff, 0);
    b.cable(onOff, 0, level, 0);
    b.cable(volume, 0, level, 1);
    b.cable(level, 0, split, 0);
    b.cable(split, 0, out, 0);
    b.cable(split, 1, out, 1);
    b.comment(0, 135,
              lines({
                  "<b>2 Knobs and Switches</b>",
                  "The Controls block brings in the device's two knobs and",
                  "two switches; while a patch plays, the Emulator panel",
                  "on the right shows them.",
                  "",
                  "Press Play: silence, because Switch 1 is off. Click",
                  "Switch 1 to turn it on, then turn Knob 2 up: a buzzing",
                  "saw, louder as the knob turns.",
                  "",
                  "Knob 1 sets the pitch from 110 to 880 Hz: a Knob Map",
                  "gives Offset + knob x Range.",
                  "",
                  "A switch gives 0 or 1 and a knob 0 to 1: multiplying a",
                  "sound by them turns it on and off or sets its level.",
              }));
}

void envelopeOnAGate(PatchBuilder& b)
{
    const int controls = b.block("Controls", 0, 37);
    const int attack = b.block("Knob Map", 110, 0, {{1, "0.005"}, {2, "1"}});
    const int release = b.block("Knob Map", 222, 0, {{1, "0.05"}, {2, "2"}});
    const int osc = b.block("Triangle Oscillator", 330, 0, {{0, "330"}});
    const int env = b.block("ADSR Envelope", 170, 75);
    const int amp = b.block("Multiply", 310, 75);
    const int split = b.block("Split", 400, 75);
    const int out = b.block("Audio Output", 470, 75);
    b.cable(controls, 0, attack, 0);
    b.cable(controls, 1, release, 0);
    b.cable(controls, 2, env, 0);
    b.cable(attack, 0, env, 1);
    b.cable(release, 0, env, 4);
    b.cable(osc, 0, amp, 0);
    b.cable(env, 0, amp, 1);
    b.cable(amp, 0, split, 0);
    b.cable(split, 0, out, 0);
    b.cable(split, 1, out, 1);
    b.comment(0, 135,
              lines({
                  "<b>3 Envelope on a Gate</b>",
                  "An envelope shapes the loudness of a note. Switch 1 is",
                  "its gate: on starts the note, off ends it.",
                  "",
                  "Press Play, then turn Switch 1 on: the note rises",
                  "(Attack), falls back a little (Decay) and holds",
                  "(Sustain, 0.6). Turn the switch off: it fades out",
                  "(Release).",
                  "",
                  "Knob 1: the attack time, up to 1 s, for a slow swell.",
                  "Knob 2: the release time, up to 2 s, for a long fade.",
                  "",
                  "Try the AD Envelope for plucked, percussive notes: it",
                  "plays its whole shape from the start of the gate.",
              }));
}

void filters(PatchBuilder& b)
{
    const int controls = b.block("Controls", 0, 37);
    const int cutoff = b.block("Knob Map", 110, 0, {{1, "200"}, {2, "2800"}});
    const int resonance = b.block("Knob Map", 222, 0, {{1, "0"}, {2, "0.8"}});
    const int saw = b.block("Saw Oscillator", 330, 0, {{0, "110"}});
    const int filter = b.block("Low-Pass Filter", 250, 75);
    const int split = b.block("Split", 390, 75);
    const int out = b.block("Audio Output", 460, 75);
    b.cable(controls, 0, cutoff, 0);
    b.cable(controls, 1, resonance, 0);
    b.cable(saw, 0, filter, 0);
    b.cable(cutoff, 0, filter, 1);
    b.cable(resonance, 0, filter, 2);
    b.cable(filter, 0, split, 0);
    b.cable(split, 0, out, 0);
    b.cable(split, 1, out, 1);
    b.comment(0, 135,
              lines({
                  "<b>4 Filters</b>",
                  "A filter takes away part of a sound. The Low-Pass",
                  "Filter lets the low frequencies of the saw through and",
                  "takes away those above its Cutoff.",
                  "",
                  "Press Play: a dark, muffled buzz. Turn Knob 1 up: the",
                  "cutoff rises from 200 to 3000 Hz and the sound opens",
                  "up and brightens.",
                  "",
                  "Knob 2: the resonance, 0 to 0.8, a whistling peak at",
                  "the cutoff; with it up, sweep Knob 1 again.",
                  "",
                  "Try the High-Pass Filter in its place (it keeps the",
                  "highs: thin and buzzy), or the Band-Pass Filter.",
              }));
}

void sequencing(PatchBuilder& b)
{
    const int controls = b.block("Controls", 0, 37);
    const int tempo = b.block("Knob Map", 110, 0, {{1, "90"}, {2, "90"}});
    const int master = b.block("Master Clock", 222, 0);
    // Track variables: 2 notes, 6 gate length, 7 values.
    const int track =
        b.block("Sequencer Track", 347, 0,
                {{2, "8"}, {6, "0.5"}, {7, "220,261.6,329.6,392,329.6,261.6,196,246.9"}});
    const int osc = b.block("Triangle Oscillator", 491, 0);
    const int env = b.block("AD Envelope", 230, 75, {{1, "0.005"}, {2, "0.25"}});
    const int amp = b.block("Multiply", 354, 75);
    const int split = b.block("Split", 449, 75);
    const int out = b.block("Audio Output", 520, 75);
    b.cable(controls, 0, tempo, 0);
    b.cable(controls, 2, master, 1);
    b.cable(tempo, 0, master, 0);
    b.cable(master, 0, track, 0);
    b.cable(track, 1, osc, 0);
    b.cable(track, 2, env, 0);
    b.cable(osc, 0, amp, 0);
    b.cable(env, 0, amp, 1);
    b.cable(amp, 0, split, 0);
    b.cable(split, 0, out, 0);
    b.cable(split, 1, out, 1);
    b.comment(0, 135,
              lines({
                  "<b>5 Sequencing</b>",
                  "The Master Clock counts bars of four beats at its",
                  "Tempo. A Sequencer Track, its Link fed from the clock,",
                  "plays its Values one after the other in time with it",
                  "and opens its Gate for each.",
                  "",
                  "Press Play, then turn Switch 1 on: the switch is the",
                  "clock's Run input, and the track plays its eight notes",
                  "as eighth notes (Notes 8) through the envelope. Switch",
                  "it off and the clock stops where it is.",
                  "",
                  "Knob 1: the tempo, 90 to 180 BPM.",
                  "",
                  "Select the track and edit its Values in the Inspector",
                  "(frequencies in Hz, separated by commas), or set Notes",
                  "to 4 for quarter notes. A second track fed from this",
                  "one's Link plays along: see the example Two Tracks.",
              }));
}

void savingCustomBlocks(PatchBuilder& b)
{
    const int controls = b.block("Controls", 0, 37);
    const int speed = b.block("Knob Map", 110, 0, {{1, "1"}, {2, "10"}});
    const int saw = b.block("Saw Oscillator", 222, 0, {{0, "220"}});
    const int tremolo = b.block("Tutorial Tremolo", 170, 75);
    const int split = b.block("Split", 313, 75);
    const int out = b.block("Audio Output", 384, 75);
    b.cable(controls, 0, speed, 0);
    b.cable(speed, 0, tremolo, 1);
    b.cable(saw, 0, tremolo, 0);
    b.cable(tremolo, 0, split, 0);
    b.cable(split, 0, out, 0);
    b.cable(split, 1, out, 1);
    b.comment(0, 135,
              lines({
                  "<b>6 Saving Custom Blocks</b>",
                  "Tutorial Tremolo is not one of the editor's own blocks:",
                  "it was written as a block file of its own and travels",
                  "inside this patch, so the patch opens on any computer.",
                  "",
                  "Press Play: a saw that swells and fades. Knob 1: the",
                  "speed of the tremolo, 1 to 11 times a second.",
                  "",
                  "To carry your own blocks with a patch, save it with",
                  "File, Save As and tick <i>Include custom blocks</i> in the",
                  "save dialog.",
                  "",
                  "To add a carried block to your library, select it and",
                  "press <i>Save Block</i> in the Inspector. With <i>Save in",
                  "users folder</i> ticked it goes straight into the custom",
                  "blocks folder set in Edit, Options.",
              }));
}

// ---- Examples ----

void drumMachine(PatchBuilder& b)
{
    const int controls = b.block("Controls", 0, 0);
    const int tempo = b.block("Knob Map", 0, 70, {{1, "360"}, {2, "240"}});
    const int hatPitch = b.block("Knob Map", 0, 210, {{1, "300"}, {2, "400"}});
    const int metro = b.block("Metronome", 108, 70);
    const int clock = b.block("Split 4", 108, 140);
    // Step Sequencer variables: 5 steps.
    const int kickSteps = b.block("Step Sequencer", 224, 0, {{5, "1,0,0,0"}});
    const int snareSteps = b.block("Step Sequencer", 224, 70, {{5, "0,0,0,0,1,0,0,0"}});
    const int hatSteps = b.block("Step Sequencer", 224, 140, {{5, "0,0,1,0"}});
    const int clapSteps =
        b.block("Step Sequencer", 224, 210, {{5, "0,0,0,0,0,0,0,0,0,0,0,0,1,0,1,0"}});
    const int kick = b.block("Kick", 364, 0);
    const int snare = b.block("Snare", 364, 70);
    const int hat = b.block("House Hat", 364, 140);
    const int clapOn = b.block("Multiply", 364, 210);
    const int clap = b.block("Clap", 474, 210);
    const int mix = b.block("Mix 4", 474, 70, {{1, "0.8"}, {3, "0.6"}, {5, "0.4"}, {7, "0.6"}});
    const int split = b.block("Split", 474, 140);
    const int out = b.block("Audio Output", 545, 140);
    b.cable(controls, 0, tempo, 0);
    b.cable(controls, 1, hatPitch, 0);
    b.cable(controls, 2, clapOn, 1);
    b.cable(tempo, 0, metro, 1);
    b.cable(metro, 0, clock, 0);
    b.cable(clock, 0, kickSteps, 0);
    b.cable(clock, 1, snareSteps, 0);
    b.cable(clock, 2, hatSteps, 0);
    b.cable(clock, 3, clapSteps, 0);
    b.cable(kickSteps, 1, kick, 0);
    b.cable(snareSteps, 1, snare, 0);
    b.cable(hatSteps, 1, hat, 0);
    b.cable(hatPitch, 0, hat, 2);
    b.cable(clapSteps, 1, clapOn, 0);
    b.cable(clapOn, 0, clap, 0);
    b.cable(kick, 0, mix, 0);
    b.cable(snare, 0, mix, 2);
    b.cable(hat, 0, mix, 4);
    b.cable(clap, 0, mix, 6);
    b.cable(mix, 0, split, 0);
    b.cable(split, 0, out, 0);
    b.cable(split, 1, out, 1);
    b.comment(0, 270,
              lines({
                  "<b>Drum Machine</b>",
                  "Four sample players, Kick, Snare, House Hat and Clap,",
                  "play their recorded sounds when triggered: here by four",
                  "Step Sequencers that one Metronome clocks on sixteenth",
                  "notes. In each sequencer's Steps, 1 is a hit and 0 a rest.",
                  "",
                  "Knob 1: the tempo, 90 to 150 BPM.",
                  "Knob 2: the hat's Speed, 300 to 700 Hz: its pitch.",
                  "Switch 1: adds the clap.",
                  "",
                  "Edit the Steps in the Inspector for other rhythms, or",
                  "change a player's Speed for a higher or lower drum.",
              }));
}

void organScale(PatchBuilder& b)
{
    const int controls = b.block("Controls", 0, 37);
    const int tempo = b.block("Knob Map", 110, 0, {{1, "120"}, {2, "240"}});
    const int transpose = b.block("Knob Map", 110, 75, {{1, "0"}, {2, "12"}});
    const int whole = b.block("Floor", 218, 75);
    const int metro = b.block("Metronome", 218, 0);
    const int tick = b.block("Split", 334, 0);
    const int steps = b.block("Step Sequencer", 405, 0, {{5, "60,62,64,65,67,69,71,72"}});
    const int gate = b.block("Timed Gate", 405, 75, {{3, "0.15"}});
    const int note = b.block("Add", 545, 0);
    const int pitch = b.block("Note to Frequency", 110, 150);
    const int organ = b.block("Organ Cycle", 269, 150);
    const int env = b.block("AD Envelope", 520, 75, {{1, "0.01"}, {2, "0.4"}});
    const int amp = b.block("Multiply", 388, 150);
    const int split = b.block("Split", 483, 150);
    const int out = b.block("Audio Output", 554, 150);
    b.cable(controls, 0, tempo, 0);
    b.cable(controls, 1, transpose, 0);
    b.cable(transpose, 0, whole, 0);
    b.cable(tempo, 0, metro, 1);
    b.cable(metro, 0, tick, 0);
    b.cable(tick, 0, steps, 0);
    b.cable(tick, 1, gate, 0);
    b.cable(steps, 0, note, 0);
    b.cable(whole, 0, note, 1);
    b.cable(note, 0, pitch, 0);
    b.cable(pitch, 0, organ, 2);
    b.cable(gate, 0, env, 0);
    b.cable(organ, 0, amp, 0);
    b.cable(env, 0, amp, 1);
    b.cable(amp, 0, split, 0);
    b.cable(split, 0, out, 0);
    b.cable(split, 1, out, 1);
    b.comment(0, 210,
              lines({
                  "<b>Organ Scale</b>",
                  "A Step Sequencer plays note numbers (60 is middle C) up",
                  "the scale of C major. Note to Frequency turns each into",
                  "its pitch in hertz for the Organ Cycle, a sample player",
                  "that loops one recorded cycle of an organ tone. A Timed",
                  "Gate holds each tick of the Metronome open long enough",
                  "for the envelope.",
                  "",
                  "Knob 1: the speed, 2 to 6 notes a second.",
                  "Knob 2: transposes by 0 to 12 semitones, in whole steps",
                  "(Floor).",
                  "",
                  "Try another cycle, such as the Reed Cycle, or Fine Note",
                  "to Frequency for notes between the semitones.",
              }));
}

void autoPan(PatchBuilder& b)
{
    const int controls = b.block("Controls", 0, 0);
    const int saw = b.block("Saw Oscillator", 105, 0, {{0, "220"}});
    const int pulse = b.block("Pulse Oscillator", 236, 0, {{0, "330"}});
    const int lfo = b.block("Triangle Oscillator", 0, 75, {{0, "0.5"}});
    const int blend = b.block("Crossfade", 375, 0);
    // Map Range variables: 1 from low, 2 from span, 3 to low, 4 to span.
    const int position = b.block("Map Range", 154, 75, {{1, "-0.5"}, {2, "1"}, {3, "0"}, {4, "1"}});
    const int choose = b.block("Crossfade", 278, 75);
    const int pan = b.block("Pan", 383, 75);
    const int out = b.block("Audio Output", 450, 75);
    b.cable(controls, 0, choose, 0);
    b.cable(controls, 1, blend, 2);
    b.cable(controls, 2, choose, 2);
    b.cable(saw, 0, blend, 0);
    b.cable(pulse, 0, blend, 1);
    b.cable(lfo, 0, position, 0);
    b.cable(position, 0, choose, 1);
    b.cable(blend, 0, pan, 0);
    b.cable(choose, 0, pan, 1);
    b.cable(pan, 0, out, 0);
    b.cable(pan, 1, out, 1);
    b.comment(0, 135,
              lines({
                  "<b>Auto Pan</b>",
                  "Routing blocks send signals where they should go. A",
                  "Crossfade blends a saw and a pulse wave; Pan places the",
                  "blend between left and right.",
                  "",
                  "Knob 2: the blend, saw to pulse.",
                  "Knob 1: the place, left to right.",
                  "Switch 1: hands the place over to a slow triangle wave",
                  "(0.5 Hz, brought to 0 to 1 by Map Range), which sweeps",
                  "the sound from side to side. A second Crossfade does",
                  "the choosing: the switch is its position.",
                  "",
                  "Best heard with headphones.",
              }));
}

void randomMelody(PatchBuilder& b)
{
    const int controls = b.block("Controls", 0, 37);
    const int tempo = b.block("Knob Map", 110, 0, {{1, "240"}, {2, "240"}});
    const int metro = b.block("Metronome", 214, 0);
    const int tick = b.block("Split 4", 326, 0);
    // Random Step variables: 2 choices.
    const int notes = b.block("Random Step", 427, 0, {{2, "57,60,62,64,67,69,72"}});
    const int higher = b.block("Greater Than", 110, 75, {{1, "0.5"}});
    const int octave = b.block("Multiply", 230, 75, {{1, "12"}});
    const int note = b.block("Add", 549, 0);
    const int noteSplit = b.block("Split", 614, 0);
    const int pitch = b.block("Note to Frequency", 110, 150);
    const int print = b.block("Print", 614, 75, {{1, "0.25"}});
    const int osc = b.block("Triangle Oscillator", 265, 150);
    const int accent = b.block("Toggle", 321, 75, {{1, "0.35"}, {2, "1"}});
    const int env = b.block("AD Envelope", 403, 75, {{1, "0"}, {2, "0.2"}});
    const int level = b.block("Multiply", 523, 75);
    const int amp = b.block("Multiply", 415, 150);
    const int split = b.block("Split", 506, 150);
    const int out = b.block("Audio Output", 573, 150);
    b.cable(controls, 0, tempo, 0);
    b.cable(controls, 1, higher, 0);
    b.cable(tempo, 0, metro, 1);
    b.cable(metro, 0, tick, 0);
    b.cable(tick, 0, notes, 0);
    b.cable(tick, 1, accent, 0);
    b.cable(tick, 2, env, 0);
    b.cable(higher, 0, octave, 0);
    b.cable(notes, 0, note, 0);
    b.cable(octave, 0, note, 1);
    b.cable(note, 0, noteSplit, 0);
    b.cable(noteSplit, 0, pitch, 0);
    b.cable(noteSplit, 1, print, 0);
    b.cable(pitch, 0, osc, 0);
    b.cable(env, 0, level, 0);
    b.cable(accent, 0, level, 1);
    b.cable(osc, 0, amp, 0);
    b.cable(level, 0, amp, 1);
    b.cable(amp, 0, split, 0);
    b.cable(split, 0, out, 0);
    b.cable(split, 1, out, 1);
    b.comment(0, 210,
              lines({
                  "<b>Random Melody</b>",
                  "On every tick of the Metronome, Random Step picks a",
                  "note of a pentatonic scale at random, and Toggle",
                  "switches between a loud and a soft note for a lilting",
                  "accent.",
                  "",
                  "Knob 1: the speed, 4 to 8 notes a second.",
                  "Knob 2: past halfway, Greater Than gives 1 instead of 0;",
                  "multiplied by 12 and added to the note, that is an",
                  "octave up.",
                  "",
                  "The Print block shows the note numbers in the Console",
                  "four times a second while the patch plays.",
              }));
}

// A control value set while a patch plays: index 0 and 1 the knobs, 2 and 3 the switches.
struct Control
{
    int index;
    int value;
};

struct Shipped
{
    QString kind; // "tutorials" or "examples"
    QString folder;
    QString name;
    void (*build)(PatchBuilder&); // null for patches made by the block tests
    QList<Control> controls;      // as its comment asks
    bool silentBefore;            // no sound until the controls are set
};

const QList<Shipped>& shippedPatches()
{
    static const QList<Shipped> all{
        {"tutorials", "Getting Started", "1 First Sound", &firstSound, {}, false},
        {"tutorials",
         "Getting Started",
         "2 Knobs and Switches",
         &knobsAndSwitches,
         {{2, 1024}, {1, 1024}},
         true},
        {"tutorials",
         "Getting Started",
         "3 Envelope on a Gate",
         &envelopeOnAGate,
         {{2, 1024}},
         true},
        {"tutorials", "Going Further", "4 Filters", &filters, {{0, 1024}}, false},
        {"tutorials", "Going Further", "5 Sequencing", &sequencing, {{2, 1024}}, true},
        {"tutorials", "Going Further", "6 Saving Custom Blocks", &savingCustomBlocks, {}, false},
        {"examples", "Samples", "Drum Machine", &drumMachine, {{2, 1024}}, false},
        {"examples", "Pitch", "Organ Scale", &organScale, {}, false},
        {"examples", "Routing", "Auto Pan", &autoPan, {{2, 1024}}, false},
        {"examples", "Math and Logic", "Random Melody", &randomMelody, {{1, 1024}}, false},
        // Made and measured by the block tests.
        {"examples", "Basics", "Knob Synth", nullptr, {{2, 1024}}, true},
        {"examples", "Basics", "FM Bells", nullptr, {}, false},
        {"examples", "Sequencing", "Two Tracks", nullptr, {}, false},
        {"examples", "Effects", "Filter Echo", nullptr, {{2, 1024}}, true},
    };
    return all;
}

QString relativePath(const Shipped& s)
{
    return s.kind + "/" + s.folder + "/" + s.name + ".ktl";
}

} // namespace

class TestShippedPatches : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void namesHoldNoOtherDot();
    void madeByTheEditor_data();
    void madeByTheEditor();
    void opensAndPlays_data();
    void opensAndPlays();

private:
    QTemporaryDir scratch;
    QTemporaryDir customBlocks;
    QString soundPath;
    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<MainWindow> window;
};

void TestShippedPatches::initTestCase()
{
    // The shipped patches are laid out in the editor's own fonts.
    registerFonts();
    QVERIFY(scratch.isValid());
    QVERIFY(customBlocks.isValid());
    QVERIFY(QFile::copy(testsupport::sourcePath("tests/app/fixtures/custom_blocks/"
                                                "tutorial_tremolo.xml"),
                        customBlocks.filePath("tutorial_tremolo.xml")));
    soundPath = scratch.filePath("played.raw");
    // The emulator program inherits this: its audio goes to the file.
    qputenv("KNOTLATTICE_AUDIO", ("file:" + soundPath).toLocal8Bit());
}

void TestShippedPatches::init()
{
    QSettings().clear();
    QFile::remove(soundPath);
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::binPath("blocks"), "blocks"));
    QVERIFY(program->copyIn(testsupport::binPath("compile"), "compile"));
    QVERIFY(program->copyIn(testsupport::sourcePath("data/tutorials"), "tutorials"));
    QVERIFY(program->copyIn(testsupport::sourcePath("data/examples"), "examples"));
    QSettings().setValue(Preferences::DefaultPatchPath, scratch.path());
}

void TestShippedPatches::cleanup()
{
    if (window && window->isEmulating())
        window->emulateToggle();
    window.reset();
    program.reset();
}

// The menu entry and the patch name are the file name up to its first dot; every shipped
// patch is in the table below.
void TestShippedPatches::namesHoldNoOtherDot()
{
    QStringList found;
    for (const QString kind : {"tutorials", "examples"}) {
        QDirIterator it(testsupport::sourcePath("data/" + kind), QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            const QFileInfo info = it.fileInfo();
            QCOMPARE(info.suffix(), QStringLiteral("ktl"));
            QVERIFY2(info.fileName().count('.') == 1, qPrintable(info.fileName()));
            QVERIFY2(info.dir().dirName() != kind, qPrintable(info.filePath()));
            found << kind + "/" + info.dir().dirName() + "/" + info.fileName();
        }
    }
    QStringList listed;
    int tutorials = 0;
    for (const Shipped& s : shippedPatches()) {
        listed << relativePath(s);
        tutorials += s.kind == "tutorials";
    }
    found.sort();
    listed.sort();
    QCOMPARE(found, listed);
    QVERIFY(tutorials >= 6);
}

void TestShippedPatches::madeByTheEditor_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < shippedPatches().size(); ++i) {
        if (shippedPatches()[i].build)
            QTest::newRow(qPrintable(relativePath(shippedPatches()[i]))) << i;
    }
}

void TestShippedPatches::madeByTheEditor()
{
    QFETCH(int, index);
    const Shipped& s = shippedPatches()[index];
    // The tutorial on custom blocks carries one from the user's folder.
    QSettings().setValue(Preferences::CustomBlocksPath, customBlocks.path());
    window = std::make_unique<MainWindow>();
    PatchDocument* doc = window->currentDocument();
    QVERIFY(doc);
    PatchBuilder builder(doc);
    s.build(builder);
    builder.centre();
    QVERIFY2(builder.failures.isEmpty(), qPrintable(builder.failures.join('\n')));

    const QString made = scratch.filePath(s.name + ".ktl");
    QFile::remove(made);
    QCOMPARE(shipped::save(window.get(), made), MainWindow::SaveResult::Saved);

    shipped::expectCommitted(made, testsupport::sourcePath("data/" + relativePath(s)),
                             "KL_SHIPPED_OUT", relativePath(s));
}

void TestShippedPatches::opensAndPlays_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < shippedPatches().size(); ++i)
        QTest::newRow(qPrintable(relativePath(shippedPatches()[i]))) << i;
}

void TestShippedPatches::opensAndPlays()
{
    QFETCH(int, index);
    const Shipped& s = shippedPatches()[index];
    window = std::make_unique<MainWindow>();

    // From its menu, with every block bound to a description and every cable in place.
    const QString menu = s.kind == "tutorials" ? "&Tutorials" : "&Examples";
    QAction* entry = shipped::menuEntry(window->menuBar(), menu, s.folder, s.name);
    QVERIFY2(entry, qPrintable(relativePath(s)));
    {
        MessageCapture capture;
        ModalDriver driver;
        entry->trigger();
        QVERIFY2(driver.seen().isEmpty(), qPrintable(driver.seen().join('|')));
        QVERIFY2(capture.warnings().isEmpty(), qPrintable(capture.warnings().join('|')));
    }
    PatchDocument* doc = window->currentDocument();
    QVERIFY(doc);
    QCOMPARE(doc->patchInfo()->name, s.name);
    QVERIFY(!doc->patchInfo()->path.isEmpty());
    const util::PatchFileContents file =
        util::readPatchFile(shipped::readAll(program->path(relativePath(s))));
    int cables = 0;
    for (const PackedInstance& p : file.patch.blocks)
        cables += p.connections.size();
    QVERIFY(!file.patch.blocks.isEmpty());
    QCOMPARE(doc->blockInstances().size(), file.patch.blocks.size());
    for (const BlockInstance* b : doc->blockInstances())
        QVERIFY(b->description && !b->description->name.isEmpty());
    QCOMPARE(doc->blockConnections().size(), cables);
    QVERIFY(!doc->comments().isEmpty());

    window->emulateToggle();
    QVERIFY(window->isEmulating() && window->emulatorDock()->isRunning());
    auto soundBytes = [this] { return QFileInfo(soundPath).size(); };
    auto loudest = [this](qint64 fromByte) {
        const QByteArray raw = shipped::readAll(soundPath);
        const int from = int(fromByte / 4);
        return qMax(shipped::peak(shipped::channel(raw, 0), from, INT_MAX),
                    shipped::peak(shipped::channel(raw, 1), from, INT_MAX));
    };

    // Half a second as the patch opens; then the controls, and a second of playing.
    QTRY_VERIFY_WITH_TIMEOUT(soundBytes() >= bytesPerSecond / 2, 15000);
    if (s.silentBefore)
        QCOMPARE(loudest(0), 0.0);
    for (const Control& c : s.controls)
        window->emulatorDock()->setControlValue(c.index, c.value);
    const qint64 set = soundBytes();
    QTRY_VERIFY_WITH_TIMEOUT(soundBytes() >= set + bytesPerSecond, 15000);
    // The second half of that second, well after the values reached the program.
    const double level = loudest(set + bytesPerSecond / 2);
    window->emulateToggle();
    QVERIFY(!window->isEmulating());
    qInfo("%s: loudest %.1f", qPrintable(s.name), level);
    QVERIFY2(level > 50, qPrintable(QString::number(level)));
}

KL_TEST_MAIN(TestShippedPatches)

#include "test_shippedpatches.moc"
