/* Memory of the Knotlattice device (see device.h). The image is everything in FLASH: the
   vector table first, so that word 0 is the initial stack pointer and word 1 the reset
   vector. The editor appends the patch record after the image; both must fit FLASH. */
ENTRY(kl_reset)

MEMORY
{
    FLASH (rx) : ORIGIN = 0x00000000, LENGTH = 512K
    RAM (rwx) : ORIGIN = 0x20000000, LENGTH = 64K
}

/* Room that must stay free above .bss: the stack at the top of RAM, and a little heap for the
   C library's output buffers. */
__stack_size = 4K;
__heap_minimum = 2K;

SECTIONS
{
    .text :
    {
        KEEP(*(.vectors))
        *(.text .text.*)
        *(.rodata .rodata.*)
        . = ALIGN(4);
    } > FLASH

    .ARM.exidx :
    {
        *(.ARM.exidx* .gnu.linkonce.armexidx.*)
    } > FLASH

    .data :
    {
        . = ALIGN(4);
        __data_start = .;
        *(.data .data.*)
        . = ALIGN(4);
        __data_end = .;
    } > RAM AT > FLASH
    __data_load = LOADADDR(.data);

    .bss (NOLOAD) :
    {
        . = ALIGN(4);
        __bss_start = .;
        *(.bss .bss.*)
        *(COMMON)
        . = ALIGN(4);
        __bss_end = .;
    } > RAM

    __heap_start = __bss_end;
    __stack_top = ORIGIN(RAM) + LENGTH(RAM);
    __heap_end = __stack_top - __stack_size;
    ASSERT(__heap_end >= __heap_start + __heap_minimum, "the patch needs more RAM than the device has")
}
