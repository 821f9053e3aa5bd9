/* Vector table and start-up code of the device: copies .data from flash, clears .bss and calls
   main. The symbols come from device.ld. */
#include "device.h"

#include <stdint.h>

extern uint32_t __data_load[];
extern uint32_t __data_start[];
extern uint32_t __data_end[];
extern uint32_t __bss_start[];
extern uint32_t __bss_end[];
extern uint32_t __stack_top[];

int main(void);
void kl_reset(void);

/* A fault or an interrupt nobody asked for stops the device here. A board may define its own
   (the test board reports it and ends the run). */
__attribute__((weak)) void kl_fault(void)
{
    for (;;)
        kl_wait_for_interrupt();
}

typedef void (*kl_vector)(void);

#define KL_IRQ(n) ((n) == KL_SAMPLE_IRQ ? kl_sample_interrupt : kl_fault)

__attribute__((section(".vectors"), used)) const kl_vector kl_vectors[16 + 32] = {
    (kl_vector)__stack_top,
    kl_reset,
    kl_fault, /* NMI */
    kl_fault, /* hard fault */
    kl_fault, /* memory management */
    kl_fault, /* bus fault */
    kl_fault, /* usage fault */
    0,
    0,
    0,
    0,
    kl_fault, /* SVCall */
    kl_fault, /* debug monitor */
    0,
    kl_fault, /* PendSV */
    kl_fault, /* SysTick */
    KL_IRQ(0),  KL_IRQ(1),  KL_IRQ(2),  KL_IRQ(3),  KL_IRQ(4),  KL_IRQ(5),  KL_IRQ(6),
    KL_IRQ(7),  KL_IRQ(8),  KL_IRQ(9),  KL_IRQ(10), KL_IRQ(11), KL_IRQ(12), KL_IRQ(13),
    KL_IRQ(14), KL_IRQ(15), KL_IRQ(16), KL_IRQ(17), KL_IRQ(18), KL_IRQ(19), KL_IRQ(20),
    KL_IRQ(21), KL_IRQ(22), KL_IRQ(23), KL_IRQ(24), KL_IRQ(25), KL_IRQ(26), KL_IRQ(27),
    KL_IRQ(28), KL_IRQ(29), KL_IRQ(30), KL_IRQ(31),
};

/* Word copies through volatile pointers: nothing else in RAM is valid yet, and the compiler
   must not turn the loops into library calls. */
void kl_reset(void)
{
    const volatile uint32_t* from = __data_load;
    volatile uint32_t* to = __data_start;

    while (to < __data_end)
        *to++ = *from++;
    for (to = __bss_start; to < __bss_end;)
        *to++ = 0;
    kl_debug_init();
    main();
    kl_fault();
}
