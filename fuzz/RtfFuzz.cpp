// The rich-text reader over arbitrary bytes. What it reads is written again, and reading that back must
// give the same document (the writer's output for both is compared).

#include "text/Rtf.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string Input(reinterpret_cast<const char*>(Data), Size);
    TRtfWriter First;
    try {
        ReadRtf(Input, First);
    } catch (const ERtfError&) {
        return 0;
    }
    TRtfWriter Second;
    ReadRtf(First.Result(), Second);
    if (Second.Result() != First.Result())
        std::abort();
    return 0;
}
