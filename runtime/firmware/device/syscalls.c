/* The C library's system calls on the device. Only standard output and standard error exist;
   both go to the debug UART through a buffer that the main loop drains. Input reads as its
   end, the heap lies between .bss and the stack. */
#include "device.h"

#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/stat.h>

#undef errno
extern int errno;

extern char __heap_start[];
extern char __heap_end[];

/* Written by whoever prints (the sample interrupt), read by the main loop: a single writer and
   a single reader, so the two indices need no lock. Bytes that do not fit are dropped. */
#define KL_DEBUG_BUFFER 1024u
static char debugBuffer[KL_DEBUG_BUFFER];
static volatile uint32_t debugHead;
static volatile uint32_t debugTail;

void kl_debug_init(void)
{
    KL_UART_BAUDDIV = KL_SYSTEM_CLOCK / KL_UART_BAUD;
    KL_UART_CTRL = KL_UART_TX_ENABLE;
}

void kl_debug_drain(void)
{
    while (debugTail != debugHead && !(KL_UART_STATE & KL_UART_TX_FULL)) {
        KL_UART_DATA = (uint8_t)debugBuffer[debugTail % KL_DEBUG_BUFFER];
        debugTail = debugTail + 1u;
    }
}

void kl_debug_flush(void)
{
    while (debugTail != debugHead)
        kl_debug_drain();
}

static void debugWrite(const char* bytes, int length)
{
    int i;
    for (i = 0; i < length; ++i) {
        if (debugHead - debugTail >= KL_DEBUG_BUFFER)
            return;
        debugBuffer[debugHead % KL_DEBUG_BUFFER] = bytes[i];
        debugHead = debugHead + 1u;
    }
}

int _write(int file, const char* bytes, int length)
{
    if (file != 1 && file != 2) {
        errno = EBADF;
        return -1;
    }
    debugWrite(bytes, length);
    return length;
}

int _read(int file, char* bytes, int length)
{
    (void)file;
    (void)bytes;
    (void)length;
    return 0;
}

int _close(int file)
{
    (void)file;
    errno = EBADF;
    return -1;
}

int _fstat(int file, struct stat* status)
{
    (void)file;
    status->st_mode = S_IFCHR;
    return 0;
}

int _isatty(int file)
{
    return file >= 0 && file <= 2;
}

int _lseek(int file, int offset, int whence)
{
    (void)file;
    (void)offset;
    (void)whence;
    return 0;
}

void* _sbrk(ptrdiff_t increment)
{
    static char* top = __heap_start;
    char* previous = top;

    if (increment > __heap_end - top || increment < __heap_start - top) {
        errno = ENOMEM;
        return (void*)-1;
    }
    top += increment;
    return previous;
}

int _getpid(void)
{
    return 1;
}

int _kill(int pid, int signal)
{
    (void)pid;
    (void)signal;
    errno = EINVAL;
    return -1;
}

void kl_fault(void);

void _exit(int status)
{
    (void)status;
    for (;;)
        kl_fault();
}
