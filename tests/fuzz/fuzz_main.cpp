// libFuzzer entry of every fuzz target: tests/fuzz/run.sh builds and runs them.
#include "FuzzTarget.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzSetUp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzOne(data, size);
}
