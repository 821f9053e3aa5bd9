/* Block test driver. The build puts this text after the marker of the emulator template in
   place of the audio callback and main, so the blocks run with the runtime's own arrays and
   helpers. The test harness appends the patch's tables (harness_field_list, harness_block_list)
   after it. It needs nothing beyond <stdio.h> and <stdint.h>, so no header can clash with a
   name of the generated code.

   Commands come on standard input, separated by white space; answers go to standard output as
   lines that begin with "@ ", between the lines the blocks themselves print:
     set NAME VALUE          an input (now fed by the driver), a record field, a runtime array
     get NAME                "@ value"
     audio N | control N     N calls of one rate handler
     samples N               N samples on the runtime's schedule: a control tick before the
                             sample whenever 200 samples have passed since the last one
     trace NAME MODE N       N single steps of MODE (audio, control, samples), "@ v1 v2 ..."
     echo WORD               "@ WORD"
     order                   the blocks' labels in execution order, "@ a b ..."
     sweep SINGLE PAIR       every block with extreme inputs, one at a time (SINGLE calls each)
                             and in pairs (PAIR calls each); "@ sweep B blocks N calls"
   NAME is label.in0, label.out1, label.field, label.array[i], or out[i], control_value[i],
   bus[i], in[i], led_value[i]. A mistake prints "@ error ..." and ends the program with 2. */

struct harness_field
{
    const char* name;
    int kind;
    void* address;
    int type;
    size_t size;
    size_t count;
    int32_t* slot;
};

struct harness_block
{
    const char* label;
    int control;
    void (*step)(void);
    size_t first;
    size_t fields;
};

enum
{
    HARNESS_INPUT = 1,
    HARNESS_VALUE = 2
};
enum
{
    HARNESS_SIGNED = 1,
    HARNESS_UNSIGNED = 2,
    HARNESS_FLOAT = 3
};

static const struct harness_field* harness_field_list(void);
static const struct harness_block* harness_block_list(void);

static const struct harness_field harness_runtime[] = {
    {"out", HARNESS_VALUE, out, HARNESS_SIGNED, sizeof(out[0]), 4, 0},
    {"control_value", HARNESS_VALUE, control_value, HARNESS_SIGNED, sizeof(control_value[0]), 4, 0},
    {"bus", HARNESS_VALUE, bus, HARNESS_SIGNED, sizeof(bus[0]), 16, 0},
    {"in", HARNESS_VALUE, in, HARNESS_SIGNED, sizeof(in[0]), 4, 0},
    {"led_value", HARNESS_VALUE, led_value, HARNESS_SIGNED, sizeof(led_value[0]), 2, 0},
    {0, 0, 0, 0, 0, 0, 0}};

static int harness_count = 0;

static int harness_same(const char* a, const char* b)
{
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

static int harness_fail(const char* what, const char* item)
{
    printf("@ error %s %s\n", what, item);
    fflush(stdout);
    return 2;
}

static void harness_sample(void)
{
    if (harness_count >= SMP_RATE / CTL_RATE) {
        control_rate_handler();
        harness_count = 0;
    }
    audio_rate_handler();
    ++harness_count;
}

static const struct harness_field* harness_lookup(const char* name, size_t* index)
{
    char key[128];
    size_t n = 0;
    const struct harness_field* f;
    int list;

    *index = 0;
    while (name[n] && name[n] != '[' && n + 1 < sizeof key) {
        key[n] = name[n];
        ++n;
    }
    key[n] = 0;
    if (name[n] == '[') {
        unsigned long i = 0;
        if (sscanf(name + n + 1, "%lu", &i) != 1)
            return 0;
        *index = (size_t)i;
    } else if (name[n]) {
        return 0;
    }
    for (list = 0; list < 2; ++list) {
        for (f = list ? harness_field_list() : harness_runtime; f->name; ++f) {
            if (harness_same(f->name, key))
                return *index < f->count ? f : 0;
        }
    }
    return 0;
}

static void harness_feed(const struct harness_field* f)
{
    int32_t** input = (int32_t**)f->address;
    if (*input != f->slot) {
        *f->slot = **input;
        *input = f->slot;
    }
}

static long double harness_read(const struct harness_field* f, size_t i)
{
    const char* p = (const char*)f->address + i * f->size;
    if (f->kind == HARNESS_INPUT)
        return **(int32_t* const*)f->address;
    if (f->type == HARNESS_FLOAT)
        return f->size == sizeof(float) ? *(const float*)p : *(const double*)p;
    if (f->type == HARNESS_UNSIGNED) {
        switch (f->size) {
        case 1:
            return *(const uint8_t*)p;
        case 2:
            return *(const uint16_t*)p;
        case 4:
            return *(const uint32_t*)p;
        default:
            return *(const uint64_t*)p;
        }
    }
    switch (f->size) {
    case 1:
        return *(const int8_t*)p;
    case 2:
        return *(const int16_t*)p;
    case 4:
        return *(const int32_t*)p;
    default:
        return *(const int64_t*)p;
    }
}

static void harness_write(const struct harness_field* f, size_t i, long long v)
{
    char* p = (char*)f->address + i * f->size;
    if (f->kind == HARNESS_INPUT) {
        harness_feed(f);
        *f->slot = (int32_t)v;
        return;
    }
    if (f->type == HARNESS_FLOAT) {
        if (f->size == sizeof(float))
            *(float*)p = (float)v;
        else
            *(double*)p = (double)v;
        return;
    }
    switch (f->size) {
    case 1:
        *(uint8_t*)p = (uint8_t)v;
        break;
    case 2:
        *(uint16_t*)p = (uint16_t)v;
        break;
    case 4:
        *(uint32_t*)p = (uint32_t)v;
        break;
    default:
        *(uint64_t*)p = (uint64_t)v;
        break;
    }
}

static void harness_print(const struct harness_field* f, size_t i)
{
    long double v = harness_read(f, i);
    if (f->type == HARNESS_FLOAT)
        printf("%.9Lg", v);
    else
        printf("%.0Lf", v);
}

static int harness_step(const char* mode)
{
    if (harness_same(mode, "audio"))
        audio_rate_handler();
    else if (harness_same(mode, "control"))
        control_rate_handler();
    else if (harness_same(mode, "samples"))
        harness_sample();
    else
        return 0;
    return 1;
}

static const int32_t harness_extremes[] = {INT32_MIN, -1048576, -1024, -1,   0,      1,        512,
                                           1023,      1024,     1025,  4096, 131072, INT32_MAX};
#define HARNESS_EXTREMES (sizeof harness_extremes / sizeof harness_extremes[0])

static unsigned long harness_run_block(const struct harness_block* b, long calls)
{
    long k;
    for (k = 0; k < calls; ++k)
        b->step();
    return (unsigned long)calls;
}

/* Drives every input of every block with the extreme values; the sanitizers and the signals
   are the judges. Inputs not being driven hold their patch values. */
static unsigned long harness_sweep(long single, long pair, unsigned long* blocks)
{
    const struct harness_field* fields = harness_field_list();
    const struct harness_block* b;
    unsigned long calls = 0;

    *blocks = 0;
    for (b = harness_block_list(); b->label; ++b) {
        const struct harness_field* first = fields + b->first;
        size_t n = b->fields, i, j, v, w;
        /* A line per block, so that a report or a signal can be traced to its block. */
        fprintf(stderr, "sweep: %s (%s rate)\n", b->label, b->control ? "control" : "audio");
        fflush(stderr);
        for (i = 0; i < n; ++i) {
            if (first[i].kind == HARNESS_INPUT)
                harness_feed(&first[i]);
        }
        for (i = 0; i < n; ++i) {
            int32_t keep;
            if (first[i].kind != HARNESS_INPUT)
                continue;
            keep = *first[i].slot;
            for (v = 0; v < HARNESS_EXTREMES; ++v) {
                *first[i].slot = harness_extremes[v];
                calls += harness_run_block(b, single);
            }
            *first[i].slot = keep;
        }
        for (i = 0; i < n; ++i) {
            int32_t keepI;
            if (first[i].kind != HARNESS_INPUT)
                continue;
            keepI = *first[i].slot;
            for (j = i + 1; j < n; ++j) {
                int32_t keepJ;
                if (first[j].kind != HARNESS_INPUT)
                    continue;
                keepJ = *first[j].slot;
                for (v = 0; v < HARNESS_EXTREMES; ++v) {
                    for (w = 0; w < HARNESS_EXTREMES; ++w) {
                        *first[i].slot = harness_extremes[v];
                        *first[j].slot = harness_extremes[w];
                        calls += harness_run_block(b, pair);
                    }
                }
                *first[j].slot = keepJ;
            }
            *first[i].slot = keepI;
        }
        for (v = 0; v < HARNESS_EXTREMES; ++v) {
            for (i = 0; i < n; ++i) {
                if (first[i].kind == HARNESS_INPUT)
                    *first[i].slot = harness_extremes[v];
            }
            calls += harness_run_block(b, single);
        }
        ++*blocks;
    }
    return calls;
}

int main(void)
{
    char command[32], name[128], mode[32];
    setvbuf(stdout, NULL, _IOLBF, 0);
    init_dsp_objects();

    while (scanf("%31s", command) == 1) {
        const struct harness_field* f;
        size_t index;
        long long value;
        long n;

        if (harness_same(command, "set")) {
            if (scanf("%127s %lli", name, &value) != 2)
                return harness_fail("set needs a name and a number", "");
            if (!(f = harness_lookup(name, &index)))
                return harness_fail("unknown name", name);
            harness_write(f, index, value);
        } else if (harness_same(command, "get")) {
            if (scanf("%127s", name) != 1 || !(f = harness_lookup(name, &index)))
                return harness_fail("unknown name", name);
            printf("@ ");
            harness_print(f, index);
            printf("\n");
        } else if (harness_same(command, "audio") || harness_same(command, "control") ||
                   harness_same(command, "samples")) {
            if (scanf("%ld", &n) != 1 || n < 0)
                return harness_fail("needs a count:", command);
            while (n-- > 0)
                harness_step(command);
        } else if (harness_same(command, "trace")) {
            if (scanf("%127s %31s %ld", name, mode, &n) != 3 || n < 0)
                return harness_fail("trace needs a name, a mode and a count", "");
            if (!(f = harness_lookup(name, &index)))
                return harness_fail("unknown name", name);
            printf("@");
            while (n-- > 0) {
                if (!harness_step(mode))
                    return harness_fail("unknown mode", mode);
                printf(" ");
                harness_print(f, index);
            }
            printf("\n");
        } else if (harness_same(command, "echo")) {
            if (scanf("%127s", name) != 1)
                return harness_fail("echo needs a word", "");
            printf("@ %s\n", name);
        } else if (harness_same(command, "order")) {
            const struct harness_block* b;
            printf("@");
            for (b = harness_block_list(); b->label; ++b)
                printf(" %s", b->label);
            printf("\n");
        } else if (harness_same(command, "sweep")) {
            long pair;
            unsigned long blocks, calls;
            if (scanf("%ld %ld", &n, &pair) != 2 || n < 0 || pair < 0)
                return harness_fail("sweep needs two counts", "");
            calls = harness_sweep(n, pair, &blocks);
            printf("@ sweep %lu blocks %lu calls\n", blocks, calls);
        } else {
            return harness_fail("unknown command", command);
        }
    }
    fflush(stdout);
    return 0;
}
