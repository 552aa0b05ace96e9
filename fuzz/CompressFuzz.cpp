// The compressor over arbitrary bytes: byte 0 picks the level (low nibble) and the largest read the
// source hands out (high nibble), the rest is the source. Inflate must give the source back.

#include "FuzzIO.h"
#include "archive/Deflate.h"
#include "archive/Inflate.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

class TFuzzSource : public TDeflateInput {
public:
    TFuzzSource(const uint8_t* Data, size_t Size, size_t MaxRead)
        : FData(Data), FLeft(Size), FMaxRead(MaxRead) {}
    size_t Read(uint8_t* Buffer, size_t Count) override {
        // Read lengths vary with the data so the harness explores how refills fall.
        size_t N = std::min({Count, FLeft, FMaxRead - (FLeft > 0 ? FData[0] % FMaxRead : 0)});
        std::memcpy(Buffer, FData, N);
        FData += N;
        FLeft -= N;
        return N;
    }

private:
    const uint8_t* FData;
    size_t FLeft;
    size_t FMaxRead;
};

class TStreamSink : public TDeflateOutput {
public:
    void Write(uint8_t* Data, size_t Count) override {
        if (Count == 0 || Count > 8192)
            std::abort();
        Bytes.append(reinterpret_cast<const char*>(Data), Count);
    }
    std::string Bytes;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 1)
        return 0;
    const int Level = Data[0] & 0x0F;
    const size_t MaxRead = size_t(1) << (Data[0] >> 4);
    TFuzzSource Source(Data + 1, Size - 1, MaxRead);
    TStreamSink Stream;
    Deflate(Source, Stream, Level);

    TFuzzInput In(reinterpret_cast<const uint8_t*>(Stream.Bytes.data()), Stream.Bytes.size(), 4096);
    TFuzzOutput Out;
    Inflate(In, Out);
    if (Out.Bytes.size() != Size - 1 || std::memcmp(Out.Bytes.data(), Data + 1, Size - 1) != 0)
        std::abort();
    return 0;
}
