/* Real-time factor of the emulator runtime on 100 shipped blocks: WriteStream called directly,
   in 10 ms buffers as the audio layer asks for them, and the ratio of its time to that of the
   same blocks' code inlined without records (see make_runtime_bench). Both produce the same
   samples, which the benchmark checks.
   bench_emulator_runtime [SECONDS_OF_AUDIO] (default 300, in each of three rounds) */
/* bass.h first, as in emul.c: it must stand alone. */
#include "bass.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

/* The template with the patch in place of its marker, then the inlined patch. */
#include "bench_body.c"
#undef main

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

/* Seconds taken for `buffers` buffers; `sum` collects every sample. */
static double play(DWORD (*callback)(HSTREAM, void*, DWORD, void*), long buffers, long long* sum)
{
    static int16_t buffer[2 * 200];
    double start = now();
    long i;
    int k;
    for (i = 0; i < buffers; ++i) {
        callback(1, buffer, sizeof buffer, NULL);
        for (k = 0; k < 2 * 200; k += 37)
            *sum = *sum * 31 + buffer[k];
    }
    return now() - start;
}

int main(int argc, char** argv)
{
    long seconds = argc > 1 ? atol(argv[1]) : 300;
    long buffers = seconds * 100;
    double generated = 1e30, inlined = 1e30;
    int round;

    init_dsp_objects();
    for (round = 0; round < 3; ++round) {
        long long sumGenerated = 0, sumInlined = 0;
        uint32_t seed = randSeed;
        double t = play(WriteStream, buffers, &sumGenerated);
        if (t < generated)
            generated = t;
        randSeed = seed;
        t = play(InlinedWriteStream, buffers, &sumInlined);
        if (t < inlined)
            inlined = t;
        if (sumGenerated != sumInlined) {
            printf("FAILED: the inlined patch plays other samples (round %d)\n", round + 1);
            return 1;
        }
    }
    printf("patch: %s shipped blocks at audio rate\n", KL_BENCH_BLOCKS);
    printf("audio: %ld s (%ld frames) per run, best of 3 runs\n", seconds, buffers * 200);
    printf("generated: %.3f s, %.1f ns per frame, real-time factor %.1f\n", generated,
           generated * 1e9 / (double)(buffers * 200), (double)seconds / generated);
    printf("inlined:   %.3f s, %.1f ns per frame, real-time factor %.1f\n", inlined,
           inlined * 1e9 / (double)(buffers * 200), (double)seconds / inlined);
    printf("generated / inlined: %.2f\n", generated / inlined);
    return 0;
}
