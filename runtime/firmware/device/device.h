/* The Knotlattice device: a Cortex-M3 at 25 MHz. QEMU's mps2-an385 board has the same memory
   map for everything below except the knobs and the audio port, so an image runs there as it is
   (those two read as 0 and take writes without effect).

     0x00000000  flash, 512 KB: vector table, code, constants, the initial values of .data, and
                 the patch record that the editor appends after the image
     0x20000000  RAM, 64 KB: .data, .bss, heap, and the stack at the top
     0x40000000  sample clock: CMSDK timer 0, interrupt 8, counting the system clock
     0x40004000  debug UART: CMSDK UART 0, 115200 baud; the print block's output goes here
     0x40028000  LEDs (word 0, bits 0 and 1, set = lit) and switches (word 2, bits 0 and 1)
     0x40030000  knobs: two 12-bit readings, 0 to 4095
     0x40031000  audio port: four input words, then four output words, 16-bit samples

   The board header (board.h) turns these into the runtime's arrays; the test board
   (test/board.h) replaces the knobs, switches and audio with semihosting files. */
#ifndef KL_DEVICE_H
#define KL_DEVICE_H

#include <stdint.h>

#define KL_SYSTEM_CLOCK 25000000u
#define KL_SAMPLE_IRQ 8

#define KL_REG(address) (*(volatile uint32_t*)(address))

/* CMSDK timer 0 */
#define KL_TIMER_CTRL KL_REG(0x40000000u)
#define KL_TIMER_RELOAD KL_REG(0x40000008u)
#define KL_TIMER_VALUE KL_REG(0x40000004u)
#define KL_TIMER_INTCLEAR KL_REG(0x4000000Cu)
#define KL_TIMER_ENABLE 0x1u
#define KL_TIMER_IRQ_ENABLE 0x8u

/* CMSDK UART 0 */
#define KL_UART_DATA KL_REG(0x40004000u)
#define KL_UART_STATE KL_REG(0x40004004u)
#define KL_UART_CTRL KL_REG(0x40004008u)
#define KL_UART_BAUDDIV KL_REG(0x40004010u)
#define KL_UART_TX_FULL 0x1u
#define KL_UART_TX_ENABLE 0x1u
#define KL_UART_BAUD 115200u

#define KL_LEDS KL_REG(0x40028000u)
#define KL_SWITCHES KL_REG(0x40028008u)
#define KL_KNOB(k) KL_REG(0x40030000u + 4u * (k))
#define KL_AUDIO_IN(k) KL_REG(0x40031000u + 4u * (k))
#define KL_AUDIO_OUT(k) KL_REG(0x40031010u + 4u * (k))

/* NVIC: interrupt set-enable */
#define KL_NVIC_ISER0 KL_REG(0xE000E100u)

/* Defined after the patch's code: one sample of the patch, run by the sample clock. */
void kl_sample_interrupt(void);

/* The debug UART: bytes written by the C library go into a buffer that the main loop drains,
   so the sample interrupt never waits for the line. kl_debug_drain sends what the UART takes
   now; kl_debug_flush waits until everything has been sent. */
void kl_debug_init(void);
void kl_debug_drain(void);
void kl_debug_flush(void);

/* Starts the sample clock: an interrupt every SYSTEM_CLOCK / rate cycles. */
static inline void kl_start_sample_clock(uint32_t rate)
{
    KL_TIMER_CTRL = 0;
    KL_TIMER_INTCLEAR = 1;
    KL_TIMER_RELOAD = KL_SYSTEM_CLOCK / rate - 1u;
    KL_TIMER_VALUE = KL_SYSTEM_CLOCK / rate - 1u;
    KL_NVIC_ISER0 = 1u << KL_SAMPLE_IRQ;
    KL_TIMER_CTRL = KL_TIMER_ENABLE | KL_TIMER_IRQ_ENABLE;
}

static inline void kl_acknowledge_sample_clock(void)
{
    KL_TIMER_INTCLEAR = 1;
}

static inline void kl_wait_for_interrupt(void)
{
    __asm__ volatile("wfi" ::: "memory");
}

#endif
