/* Start-up and system calls for block test programs built for the Cortex-M3 and run under
   the Linux user-mode emulator: the C library's standard streams go to the emulator's
   standard input and output through Linux system calls, so the test driver runs unchanged.
   Nothing here touches the blocks' arithmetic. */
#include <stdint.h>
#include <sys/stat.h>

int main(void);

static int linux_call(int number, int a, int b, int c)
{
    register int r0 __asm__("r0") = a;
    register int r1 __asm__("r1") = b;
    register int r2 __asm__("r2") = c;
    register int r7 __asm__("r7") = number;
    __asm__ volatile("svc 0" : "+r"(r0) : "r"(r1), "r"(r2), "r"(r7) : "memory");
    return r0;
}

int _read(int file, void* buffer, int length)
{
    return linux_call(3, file, (int)buffer, length);
}

int _write(int file, const void* buffer, int length)
{
    return linux_call(4, file, (int)buffer, length);
}

void _exit(int code)
{
    for (;;)
        linux_call(248, code, 0, 0);
}

/* The C library's buffers come from a fixed heap. */
static char heap[1 << 20];
static char* heapEnd = heap;

void* _sbrk(int increment)
{
    char* previous = heapEnd;
    if (increment < 0 || heapEnd + increment > heap + sizeof heap)
        return (void*)-1;
    heapEnd += increment;
    return previous;
}

int _close(int file)
{
    (void)file;
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
    (void)file;
    return 1;
}

int _lseek(int file, int offset, int whence)
{
    (void)file;
    (void)offset;
    (void)whence;
    return 0;
}

int _kill(int process, int signal)
{
    (void)process;
    (void)signal;
    return -1;
}

int _getpid(void)
{
    return 1;
}

void _start(void)
{
    _exit(main());
}
