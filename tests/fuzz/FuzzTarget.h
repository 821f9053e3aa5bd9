#pragma once

#include <stddef.h>
#include <stdint.h>

/* What every fuzz target provides. The libFuzzer entry (fuzz_main.cpp) and the corpus replay
   of the main build (replay_main.cpp) call these two and nothing else. */
#ifdef __cplusplus
extern "C" {
#endif

/* Once, before the first input. */
void fuzzSetUp(int* argc, char*** argv);
/* One input; any broken property aborts. Returns 0. */
int fuzzOne(const uint8_t* data, size_t size);

#ifdef __cplusplus
}
#endif
