#pragma once

#include <cstddef>
#include <cstdint>

// One fuzz input for the readers of the repository's replies. The first byte picks the reader
// (patch, block or comment list, version, or a block list matched against missing blocks);
// the rest is the reply body. Any broken property aborts. Returns 0.
int fuzzReplies(const uint8_t* data, size_t size);

// Sends Qt's messages nowhere.
void silenceMessages();
