/* Audio layer of the emulator program, on PortAudio.

   KNOTLATTICE_AUDIO chooses where the stream goes:
     device (or unset)  the default output device; when none opens, or it refuses the stream's
                        rate, one line on standard error and the null sink instead
     null               a thread pulls the stream at real-time pace and discards the samples
     file:PATH          paced like null; the raw frames go to PATH, one write(2) per chunk so
                        that what was played survives a kill
   Standard output carries the program's values to the editor, so nothing here writes to it. */

#define _GNU_SOURCE
#include "bass.h"

#include <errno.h>
#include <fcntl.h>
#include <portaudio.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#define KL_EXPORT __attribute__((visibility("default")))

enum Sink
{
    SinkNone,
    SinkDevice,
    SinkNull,
    SinkFile
};

enum
{
    StreamHandle = 1
};

static struct
{
    enum Sink sink;
    DWORD updatePeriodMs;
    DWORD bufferMs;
    int fileFd;
    const char* filePath;
    PaDeviceIndex device;
    int paInitialised;
    int fallbackReported;

    /* The one stream. */
    int created;
    int playing;
    DWORD freq;
    DWORD frameBytes;
    DWORD streamPeriodMs; /* the settings when the stream was created */
    DWORD streamBufferMs;
    STREAMPROC* proc;
    void* user;
    PaStream* paStream;

    /* The pacing thread of the null and file sinks. */
    pthread_t thread;
    int threadRunning;
    int stopping;
    pthread_mutex_t mutex;
    pthread_cond_t wake;
} audio = {
    .sink = SinkNone,
    .updatePeriodMs = 100,
    .bufferMs = 500,
    .fileFd = -1,
    .device = paNoDevice,
    .mutex = PTHREAD_MUTEX_INITIALIZER,
};

static void report(const char* fmt, const char* detail)
{
    fputs("audio: ", stderr);
    fprintf(stderr, fmt, detail);
    fputc('\n', stderr);
}

/* Host back ends print pages of probing noise, some of it possibly to standard output; keep
   both streams quiet while PortAudio looks for devices and opens one. No other thread runs
   and no callback is made while this is in effect. */
typedef struct
{
    int savedOut;
    int savedErr;
} Quiet;

static Quiet quietBegin(void)
{
    Quiet q = {-1, -1};
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0)
        return q;
    fflush(stdout);
    fflush(stderr);
    q.savedOut = fcntl(1, F_DUPFD_CLOEXEC, 3);
    q.savedErr = fcntl(2, F_DUPFD_CLOEXEC, 3);
    if (q.savedOut >= 0)
        dup2(null, 1);
    if (q.savedErr >= 0)
        dup2(null, 2);
    close(null);
    return q;
}

static void quietEnd(Quiet q)
{
    fflush(stdout);
    fflush(stderr);
    if (q.savedOut >= 0) {
        dup2(q.savedOut, 1);
        close(q.savedOut);
    }
    if (q.savedErr >= 0) {
        dup2(q.savedErr, 2);
        close(q.savedErr);
    }
}

static void closeDevice(void)
{
    Quiet q;
    if (!audio.paStream && !audio.paInitialised)
        return;
    q = quietBegin();
    if (audio.paStream) {
        Pa_CloseStream(audio.paStream);
        audio.paStream = NULL;
    }
    if (audio.paInitialised) {
        Pa_Terminate();
        audio.paInitialised = 0;
    }
    quietEnd(q);
}

/* The device could not be used: say so once and go on without sound. */
static void fallBackToNull(const char* why)
{
    closeDevice();
    audio.sink = SinkNull;
    if (!audio.fallbackReported) {
        audio.fallbackReported = 1;
        report("%s; playing silently", why);
    }
}

static void chooseSink(void)
{
    const char* choice = getenv("KNOTLATTICE_AUDIO");
    if (!choice || !*choice || strcmp(choice, "device") == 0) {
        audio.sink = SinkDevice;
    } else if (strcmp(choice, "null") == 0) {
        audio.sink = SinkNull;
    } else if (strncmp(choice, "file:", 5) == 0 && choice[5]) {
        audio.sink = SinkFile;
        audio.filePath = choice + 5;
    } else {
        audio.sink = SinkNull;
        report("unknown KNOTLATTICE_AUDIO value \"%s\"; playing silently", choice);
    }
}

static void openDevice(DWORD freq)
{
    Quiet q = quietBegin();
    PaError err = Pa_Initialize();
    const char* problem = NULL;
    if (err != paNoError) {
        problem = "no output device could be opened";
    } else {
        audio.paInitialised = 1;
        audio.device = Pa_GetDefaultOutputDevice();
        if (audio.device == paNoDevice) {
            problem = "no output device could be opened";
        } else {
            const PaDeviceInfo* info = Pa_GetDeviceInfo(audio.device);
            PaStreamParameters params = {audio.device, 2, paInt16,
                                         info ? info->defaultLowOutputLatency : 0.1, NULL};
            if (Pa_IsFormatSupported(NULL, &params, freq) != paFormatIsSupported)
                problem = "the output device refuses 20000 Hz stereo";
        }
    }
    quietEnd(q);
    if (problem)
        fallBackToNull(problem);
}

static void openFile(void)
{
    audio.fileFd = open(audio.filePath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (audio.fileFd < 0) {
        audio.sink = SinkNull;
        report("cannot write \"%s\"; playing silently", audio.filePath);
    }
}

/* One pull of the stream: `frames` frames into `buffer`, silence for what it did not give. */
static void pull(void* buffer, unsigned long frames)
{
    DWORD bytes = (DWORD)(frames * audio.frameBytes);
    DWORD got = audio.proc(StreamHandle, buffer, bytes, audio.user);
    if (got < bytes)
        memset((char*)buffer + got, 0, bytes - got);
}

static int deviceCallback(const void* input, void* output, unsigned long frames,
                          const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags flags,
                          void* user)
{
    (void)input;
    (void)time;
    (void)flags;
    (void)user;
    pull(output, frames);
    return paContinue;
}

static void writeChunk(const char* data, size_t bytes)
{
    while (bytes > 0 && audio.fileFd >= 0) {
        ssize_t n = write(audio.fileFd, data, bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            close(audio.fileFd);
            audio.fileFd = -1;
            report("writing \"%s\" failed; discarding the rest", audio.filePath);
            return;
        }
        data += n;
        bytes -= (size_t)n;
    }
}

static struct timespec addNs(struct timespec t, uint64_t ns)
{
    uint64_t total = (uint64_t)t.tv_nsec + ns;
    t.tv_sec += (time_t)(total / 1000000000u);
    t.tv_nsec = (long)(total % 1000000000u);
    return t;
}

static uint64_t nsSince(const struct timespec* start)
{
    struct timespec now;
    int64_t ns;
    clock_gettime(CLOCK_MONOTONIC, &now);
    ns = (int64_t)(now.tv_sec - start->tv_sec) * 1000000000 + (now.tv_nsec - start->tv_nsec);
    return ns > 0 ? (uint64_t)ns : 0;
}

static uint64_t framesIn(uint64_t ns, DWORD freq)
{
    return ns / 1000000000u * freq + ns % 1000000000u * freq / 1000000000u;
}

/* Pulls the frames that real time has made due, once per update period. A thread that falls
   more than a buffer behind skips ahead, as a device would underrun, rather than catching up
   in a burst. */
static void* paceThread(void* arg)
{
    const uint64_t periodNs = (uint64_t)audio.streamPeriodMs * 1000000u;
    const uint64_t bufferFrames = (uint64_t)audio.freq * audio.streamBufferMs / 1000u;
    uint64_t produced = 0;
    struct timespec start;
    char* buffer = arg;

    clock_gettime(CLOCK_MONOTONIC, &start);
    pthread_mutex_lock(&audio.mutex);
    while (!audio.stopping) {
        uint64_t due = framesIn(nsSince(&start), audio.freq);
        struct timespec deadline;
        if (due > produced + bufferFrames)
            produced = due - bufferFrames;
        if (due > produced) {
            unsigned long frames = (unsigned long)(due - produced);
            pthread_mutex_unlock(&audio.mutex);
            pull(buffer, frames);
            if (audio.sink == SinkFile)
                writeChunk(buffer, frames * audio.frameBytes);
            pthread_mutex_lock(&audio.mutex);
            produced = due;
        }
        deadline = addNs(start, (nsSince(&start) / periodNs + 1) * periodNs);
        while (!audio.stopping &&
               pthread_cond_timedwait(&audio.wake, &audio.mutex, &deadline) != ETIMEDOUT) {
        }
    }
    pthread_mutex_unlock(&audio.mutex);
    free(buffer);
    return NULL;
}

static int startPacing(void)
{
    uint64_t bufferFrames = (uint64_t)audio.freq * audio.streamBufferMs / 1000u;
    char* buffer = malloc((size_t)(bufferFrames + 1) * audio.frameBytes);
    pthread_condattr_t attr;
    if (!buffer)
        return 0;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&audio.wake, &attr);
    pthread_condattr_destroy(&attr);
    audio.stopping = 0;
    if (pthread_create(&audio.thread, NULL, paceThread, buffer) != 0) {
        free(buffer);
        return 0;
    }
    audio.threadRunning = 1;
    return 1;
}

KL_EXPORT BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, void* clsid)
{
    (void)flags;
    (void)win;
    (void)clsid;
    if (audio.sink != SinkNone || freq == 0)
        return 0;
    chooseSink();
    if (audio.sink == SinkDevice) {
        if (device == 0)
            audio.sink = SinkNull;
        else
            openDevice(freq);
    } else if (audio.sink == SinkFile) {
        openFile();
    }
    return 1;
}

KL_EXPORT BOOL BASS_SetConfig(DWORD option, DWORD value)
{
    switch (option) {
    case BASS_CONFIG_BUFFER:
        audio.bufferMs = value < 10 ? 10 : value > 5000 ? 5000 : value;
        return 1;
    case BASS_CONFIG_UPDATEPERIOD:
        audio.updatePeriodMs = value < 5 ? 5 : value > 100 ? 100 : value;
        return 1;
    default:
        return 0;
    }
}

KL_EXPORT BOOL BASS_GetInfo(BASS_INFO* info)
{
    DWORD minbuf = audio.updatePeriodMs;
    if (!info)
        return 0;
    if (audio.sink == SinkDevice) {
        const PaDeviceInfo* device = Pa_GetDeviceInfo(audio.device);
        if (device && device->defaultLowOutputLatency > 0) {
            double ms = device->defaultLowOutputLatency * 1000.0;
            minbuf = (DWORD)ms + ((double)(DWORD)ms < ms ? 1 : 0);
        }
    }
    info->minbuf = minbuf > 0 ? minbuf : 1;
    return audio.sink != SinkNone;
}

KL_EXPORT HSTREAM BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* proc,
                                    void* user)
{
    (void)flags;
    if (audio.sink == SinkNone || audio.created || !proc || freq == 0 || chans == 0 || chans > 8)
        return 0;
    audio.created = 1;
    audio.freq = freq;
    audio.frameBytes = 2 * chans;
    audio.proc = proc;
    audio.user = user;
    audio.streamPeriodMs = audio.updatePeriodMs;
    audio.streamBufferMs =
        audio.bufferMs > audio.updatePeriodMs ? audio.bufferMs : audio.updatePeriodMs;
    if (audio.sink == SinkDevice) {
        PaStreamParameters params = {audio.device, (int)chans, paInt16,
                                     audio.streamBufferMs / 1000.0, NULL};
        Quiet q = quietBegin();
        PaError err = Pa_OpenStream(&audio.paStream, NULL, &params, freq,
                                    (unsigned long)freq * audio.streamPeriodMs / 1000u, paNoFlag,
                                    deviceCallback, NULL);
        quietEnd(q);
        if (err != paNoError) {
            audio.paStream = NULL;
            fallBackToNull("the output device could not be opened");
        }
    }
    return StreamHandle;
}

KL_EXPORT BOOL BASS_ChannelPlay(DWORD handle, BOOL restart)
{
    (void)restart;
    if (handle != StreamHandle || !audio.created)
        return 0;
    if (audio.playing)
        return 1;
    if (audio.sink == SinkDevice) {
        if (Pa_StartStream(audio.paStream) == paNoError) {
            audio.playing = 1;
            return 1;
        }
        fallBackToNull("the output device could not be started");
    }
    audio.playing = startPacing();
    return audio.playing;
}

/* At exit the stream stops before the C library tears down what its callback may use. */
__attribute__((destructor)) static void shutDown(void)
{
    if (audio.threadRunning) {
        pthread_mutex_lock(&audio.mutex);
        audio.stopping = 1;
        pthread_cond_signal(&audio.wake);
        pthread_mutex_unlock(&audio.mutex);
        pthread_join(audio.thread, NULL);
        audio.threadRunning = 0;
    }
    if (audio.paStream) {
        Pa_AbortStream(audio.paStream);
    }
    closeDevice();
    if (audio.fileFd >= 0) {
        close(audio.fileFd);
        audio.fileFd = -1;
    }
}
