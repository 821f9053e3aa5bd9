/* The desktop side of the firmware comparison. The test puts this text after the emulator
   template, whose main it has renamed, so the patch runs through the emulator's own audio
   callback, one frame per call, with the control values of the schedule applied at the start
   of their samples: the same schedule by sample index as the test board's (see its board.h),
   and the same records in "desktop.bin". What the patch prints goes to standard output. */

static uint32_t kl_test_probe(void);

static int driver_read(FILE* file, int32_t* words, size_t count)
{
    return fread(words, sizeof(int32_t), count, file) == count;
}

int main(void)
{
    FILE* schedule = fopen("schedule.bin", "rb");
    FILE* samples = fopen("desktop.bin", "wb");
    int32_t length = 0;
    int32_t next[3];
    int haveNext;
    int32_t n;
    int16_t frame[2];

    if (!schedule || !samples || !driver_read(schedule, &length, 1)) {
        fprintf(stderr, "driver: cannot use schedule.bin or desktop.bin\n");
        return 2;
    }
    haveNext = driver_read(schedule, next, 3);
    init_dsp_objects();
    for (n = 0; n < length; ++n) {
        int32_t record[7];
        while (haveNext && next[0] == n) {
            if (next[1] >= 0 && next[1] < 4)
                control_value[next[1]] = next[2];
            haveNext = driver_read(schedule, next, 3);
        }
        if (haveNext && next[0] < n) {
            fprintf(stderr, "driver: the schedule is not in order at sample %d\n", (int)n);
            return 2;
        }
        WriteStream(0, frame, sizeof frame, 0);
        record[0] = out[0];
        record[1] = out[1];
        record[2] = out[2];
        record[3] = out[3];
        record[4] = led_value[0];
        record[5] = led_value[1];
        record[6] = (int32_t)kl_test_probe();
        fwrite(record, sizeof record, 1, samples);
    }
    fflush(stdout);
    return fclose(samples) == 0 ? 0 : 2;
}
