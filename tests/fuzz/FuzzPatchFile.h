#pragma once

#include <cstddef>
#include <cstdint>

// One fuzz input for the record reader and the patch-file splitter. The first byte picks
// what the rest is fed to; any broken property aborts. Returns 0.
int fuzzPatchFile(const uint8_t* data, size_t size);

// Sends Qt's messages nowhere: the readers warn about every bad input.
void silenceMessages();
