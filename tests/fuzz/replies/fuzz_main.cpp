// libFuzzer entry: run.sh builds and runs it.
#include "FuzzReplies.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzReplies(data, size);
}
