/* Real-time factor of the emulator runtime: WriteStream called directly, in 10 ms buffers as
   the audio layer asks for them, on a patch of 100 audio-rate blocks.
   bench_emulator_runtime [SECONDS_OF_AUDIO] (default 600) */
/* bass.h first, as in emul.c: it must stand alone. */
#include "bass.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

/* The template with the fixture in place of its marker. */
#include "bench_body.c"
#undef main

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

int main(int argc, char** argv)
{
    static int16_t buffer[2 * 200];
    long seconds = argc > 1 ? atol(argv[1]) : 600;
    long buffers = seconds * 100;
    long i;
    long long sum = 0;
    double start, elapsed;

    init_dsp_objects();
    start = now();
    for (i = 0; i < buffers; ++i) {
        WriteStream(1, buffer, sizeof buffer, NULL);
        sum += buffer[0];
    }
    elapsed = now() - start;
    printf("patch: 100 audio-rate blocks\n");
    printf("audio: %ld s (%ld frames) in %.3f s\n", seconds, buffers * 200, elapsed);
    printf("per frame: %.1f ns\n", elapsed * 1e9 / (double)(buffers * 200));
    printf("real-time factor: %.1f\n", (double)seconds / elapsed);
    printf("(checksum %lld)\n", sum);
    return 0;
}
