/* Audio layer of the emulator program: one pull stream of 16-bit samples whose callback the
   layer calls whenever the output needs samples. Only what the emulator runtime uses is here.
   This header includes nothing, so it may come before <stdint.h> and never declares sin. */
#ifndef KNOTLATTICE_BASS_H
#define KNOTLATTICE_BASS_H

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned int DWORD;
typedef int BOOL;
typedef DWORD HSTREAM;

/* Options of BASS_SetConfig; both take milliseconds and apply to streams created later. */
#define BASS_CONFIG_BUFFER 0
#define BASS_CONFIG_UPDATEPERIOD 1

typedef struct
{
    DWORD minbuf; /* the output's minimum buffer length in milliseconds */
} BASS_INFO;

/* Fills `buffer` with `length` bytes of interleaved frames and returns the bytes written. */
typedef DWORD STREAMPROC(HSTREAM handle, void* buffer, DWORD length, void* user);

BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, void* clsid);
BOOL BASS_SetConfig(DWORD option, DWORD value);
BOOL BASS_GetInfo(BASS_INFO* info);
HSTREAM BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC* proc, void* user);
BOOL BASS_ChannelPlay(DWORD handle, BOOL restart);

#ifdef __cplusplus
}
#endif

#endif
