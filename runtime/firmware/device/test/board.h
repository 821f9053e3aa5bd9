/* The test board: the device's chip with the knobs, switches and audio port replaced by files
   on the host, reached through ARM semihosting (QEMU's -semihosting-config enable=on). Used in
   place of board.h by "compile.sh test".

   "schedule.bin" (32-bit little-endian words): the number of samples to run, then entries of
   three words, in order of sample index: sample index, control (0..3), value. An entry is
   applied at the start of its sample, before that sample's control tick and audio pass.
   "samples.bin": after every audio pass, seven words: out[0..3], led_value[0..1] and
   kl_test_probe(), which the test appends after the patch's code (a digest of every block
   output). in[] stays 0. After the last sample the board sends what the patch printed and ends
   the run with SYS_EXIT; a fault or a file that cannot be used ends it as a failure. */
#ifndef KL_BOARD_H
#define KL_BOARD_H

#include "device.h"

#define BOARD_SYS_OPEN 0x01
#define BOARD_SYS_CLOSE 0x02
#define BOARD_SYS_WRITE 0x05
#define BOARD_SYS_READ 0x06
#define BOARD_SYS_EXIT 0x18
#define BOARD_EXIT_DONE 0x20026u   /* ADP_Stopped_ApplicationExit */
#define BOARD_EXIT_FAILED 0x20023u /* ADP_Stopped_RunTimeErrorUnknown */
#define BOARD_MODE_READ 1          /* "rb" */
#define BOARD_MODE_WRITE 5         /* "wb" */
#define BOARD_RECORD_WORDS 7
#define BOARD_RECORDS 64

static uint32_t kl_test_probe(void);

static int board_scheduleFile = -1;
static int board_samplesFile = -1;
static uint32_t board_index;
static uint32_t board_length;
static int32_t board_next[3];
static int board_haveNext;
static int32_t board_records[BOARD_RECORDS * BOARD_RECORD_WORDS];
static uint32_t board_filled;

static inline int board_semihost(int operation, void* arguments)
{
    register int r0 __asm__("r0") = operation;
    register void* r1 __asm__("r1") = arguments;
    __asm__ volatile("bkpt 0xAB" : "+r"(r0) : "r"(r1) : "memory");
    return r0;
}

static inline void board_exit(uint32_t reason)
{
    board_semihost(BOARD_SYS_EXIT, (void*)reason);
    for (;;)
        ;
}

void kl_fault(void)
{
    board_exit(BOARD_EXIT_FAILED);
}

static inline int board_open(const char* name, int mode)
{
    uint32_t arguments[3];
    uint32_t length = 0;
    while (name[length])
        ++length;
    arguments[0] = (uint32_t)name;
    arguments[1] = (uint32_t)mode;
    arguments[2] = length;
    return board_semihost(BOARD_SYS_OPEN, arguments);
}

/* True when all `size` bytes were read. */
static inline int board_read(void* bytes, uint32_t size)
{
    uint32_t arguments[3];
    arguments[0] = (uint32_t)board_scheduleFile;
    arguments[1] = (uint32_t)bytes;
    arguments[2] = size;
    return board_semihost(BOARD_SYS_READ, arguments) == 0;
}

static inline void board_write(const void* bytes, uint32_t size)
{
    uint32_t arguments[3];
    arguments[0] = (uint32_t)board_samplesFile;
    arguments[1] = (uint32_t)bytes;
    arguments[2] = size;
    if (board_semihost(BOARD_SYS_WRITE, arguments) != 0)
        board_exit(BOARD_EXIT_FAILED);
}

static inline void board_readNext(void)
{
    board_haveNext = board_read(board_next, sizeof board_next);
    if (board_haveNext && (uint32_t)board_next[0] < board_index)
        board_exit(BOARD_EXIT_FAILED);
}

static inline void board_init(void)
{
    board_scheduleFile = board_open("schedule.bin", BOARD_MODE_READ);
    board_samplesFile = board_open("samples.bin", BOARD_MODE_WRITE);
    if (board_scheduleFile < 0 || board_samplesFile < 0 || !board_read(&board_length, 4))
        board_exit(BOARD_EXIT_FAILED);
    board_readNext();
}

static inline void board_sample_begin(void)
{
    kl_acknowledge_sample_clock();
    while (board_haveNext && (uint32_t)board_next[0] == board_index) {
        if (board_next[1] >= 0 && board_next[1] < 4)
            control_value[board_next[1]] = board_next[2];
        board_readNext();
    }
}

static inline void board_finish(void)
{
    uint32_t arguments[1];
    if (board_filled > 0)
        board_write(board_records, board_filled * 4u * BOARD_RECORD_WORDS);
    arguments[0] = (uint32_t)board_samplesFile;
    board_semihost(BOARD_SYS_CLOSE, arguments);
    kl_debug_flush();
    board_exit(BOARD_EXIT_DONE);
}

static inline void board_sample_end(void)
{
    int32_t* record = board_records + board_filled * BOARD_RECORD_WORDS;
    record[0] = out[0];
    record[1] = out[1];
    record[2] = out[2];
    record[3] = out[3];
    record[4] = led_value[0];
    record[5] = led_value[1];
    record[6] = (int32_t)kl_test_probe();
    if (++board_filled == BOARD_RECORDS) {
        board_write(board_records, sizeof board_records);
        board_filled = 0;
    }
    if (++board_index >= board_length)
        board_finish();
}

static inline void board_idle(void)
{
    kl_debug_drain();
    kl_wait_for_interrupt();
}

#endif
