// Inflate over arbitrary bytes: the first byte picks the chunk size, the rest is the deflate stream.
// Where zlib decodes the stream completely, Inflate must produce the same bytes without raising.

#include "FuzzIO.h"
#include "archive/AbExcept.h"
#include "archive/Inflate.h"

#include <cstdlib>
#include <string>
#include <zlib.h>

namespace {

// The complete output of zlib's raw inflate, or false when the stream is damaged, ends early or
// expands past the limit.
bool ReferenceInflate(const uint8_t* Data, size_t Size, std::string& Result) {
    z_stream Z{};
    if (inflateInit2(&Z, -15) != Z_OK)
        return false;
    Z.next_in = const_cast<Bytef*>(Data);
    Z.avail_in = uInt(Size);
    Result.resize(TFuzzOutput::Limit + 1);
    Z.next_out = reinterpret_cast<Bytef*>(Result.data());
    Z.avail_out = uInt(Result.size());
    const int Rc = inflate(&Z, Z_FINISH);
    Result.resize(Z.total_out);
    inflateEnd(&Z);
    return Rc == Z_STREAM_END && Result.size() <= TFuzzOutput::Limit;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 1)
        return 0;
    TFuzzInput In(Data + 1, Size - 1, size_t(Data[0]) * 32 + 1);
    TFuzzOutput Out;
    bool Raised = false;
    try {
        Inflate(In, Out);
    } catch (const EAbException&) {
        Raised = true;
    } catch (const TFuzzOutput::TTooMuch&) {
        return 0;
    }
    std::string Expected;
    if (ReferenceInflate(Data + 1, Size - 1, Expected) && (Raised || Out.Bytes != Expected))
        std::abort();
    return 0;
}
