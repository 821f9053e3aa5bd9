// libFuzzer entry: tests/fuzz/run.sh builds and runs it.
#include "FuzzPatchFile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzPatchFile(data, size);
}
