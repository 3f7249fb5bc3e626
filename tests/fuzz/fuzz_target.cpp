// The libFuzzer entry: every input is one run of the whole program.
#include "program_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    towerfuzz::RunOne(data, size);
    return 0;
}
