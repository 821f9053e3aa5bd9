/* The emulator program's control input: the runtime template itself, filled with a stand-in
   patch, is compiled in here with its standard input read from the fuzz input and its audio
   layer replaced by stubs. The first byte picks the mode: odd, the rest is fed as it is; even,
   the rest is made into the lines the editor writes (a letter and a decimal number), mixed with
   noise that holds no letter, and the control values that the program ends with must be the
   last ones sent. */
#include "FuzzTarget.h"

#include "bass.h"
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static FILE* controlInput;
static STREAMPROC* streamProc;

BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, void* clsid)
{
    (void)device, (void)freq, (void)flags, (void)win, (void)clsid;
    return 1;
}

BOOL BASS_SetConfig(DWORD option, DWORD value)
{
    (void)option, (void)value;
    return 1;
}

BOOL BASS_GetInfo(BASS_INFO* info)
{
    info->minbuf = 20;
    return 1;
}

HSTREAM BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* proc, void* user)
{
    (void)freq, (void)chans, (void)flags, (void)user;
    streamProc = proc;
    return 1;
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart)
{
    (void)handle, (void)restart;
    return 1;
}

/* The template reads its standard input with these two. */
#define getchar() getc(controlInput)
#define scanf(...) fscanf(controlInput, __VA_ARGS__)
#define main emulatorMain
#include "emulator_input_filled.c"
#undef main
#undef scanf
#undef getchar

static void fail(const char* what)
{
    fprintf(stderr, "fuzz property broken: %s\n", what);
    abort();
}

/* Runs the program's main on `text` as its standard input. */
static void runProgram(const char* text, size_t size)
{
    static const char nothing[1] = {0};
    memset(control_value, 0, sizeof control_value);
    /* An empty stream cannot be opened on no bytes; a zero byte reads as nothing too. */
    if (size == 0) {
        text = nothing;
        size = 1;
    }
    controlInput = fmemopen((void*)text, size, "r");
    if (!controlInput)
        fail("fmemopen");
    if (emulatorMain() != 0)
        fail("the program ends with 0");
    fclose(controlInput);
    if (streamProc) {
        int16_t frames[2 * 64];
        if (streamProc(1, frames, sizeof frames, 0) != sizeof frames)
            fail("the audio callback fills the buffer");
    }
}

/* Appends printf output to a growing text. */
struct Text
{
    char* data;
    size_t size;
    size_t room;
};

static void add(struct Text* t, const char* s, size_t n)
{
    if (t->size + n + 1 > t->room) {
        t->room = 2 * (t->size + n + 1);
        t->data = realloc(t->data, t->room);
        if (!t->data)
            fail("realloc");
    }
    memcpy(t->data + t->size, s, n);
    t->size += n;
    t->data[t->size] = 0;
}

static void structured(const uint8_t* data, size_t size)
{
    /* What comes between messages: white space and bytes that are no letter. */
    static const char noise[] = " \t\r\n\n\n\n#-+*.,:;!?/\\=()[]{}0123456789";
    struct Text t = {0, 0, 0};
    int32_t expected[4] = {0, 0, 0, 0};
    size_t i = 0;
    add(&t, "", 0);
    while (i + 5 <= size) {
        const uint8_t kind = data[i];
        const int32_t value =
            (int32_t)(((uint32_t)data[i + 1] << 24) | ((uint32_t)data[i + 2] << 16) |
                      ((uint32_t)data[i + 3] << 8) | data[i + 4]);
        i += 5;
        if (kind < 200) {
            char line[32];
            const int index = kind % 4;
            /* Numbers as the editor writes them: decimal, no leading zeros, no plus sign. */
            const int n = snprintf(line, sizeof line, "%c%ld\n", 'a' + index, (long)value);
            add(&t, line, (size_t)n);
            expected[index] = value;
        } else {
            /* Noise must not run into the next letter's number: it ends in a line break. */
            const size_t count = (size_t)(kind - 199);
            for (size_t k = 0; k < count && i < size; ++k, ++i)
                add(&t, &noise[data[i] % (sizeof noise - 1)], 1);
            add(&t, "\n", 1);
        }
    }
    const int ending = size > 0 && data[size - 1] % 2;
    if (ending)
        add(&t, "x a7\n", 5); /* nothing after "x" is read */
    runProgram(t.data, t.size);
    for (int k = 0; k < 4; ++k) {
        if (control_value[k] != expected[k]) {
            fprintf(stderr, "control %d: %ld, expected %ld\n", k, (long)control_value[k],
                    (long)expected[k]);
            fail("each control keeps the last value sent to it");
        }
    }
    free(t.data);
}

void fuzzSetUp(int* argc, char*** argv)
{
    (void)argc, (void)argv;
}

int fuzzOne(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    if (data[0] % 2)
        runProgram((const char*)data + 1, size - 1);
    else
        structured(data + 1, size - 1);
    return 0;
}
