// Inflate and the compressor over arbitrary bytes. Byte 0 picks Inflate's chunk size, the level (low four
// bits) and the largest source read (high four bits). The rest must inflate as zlib inflates it, when zlib
// does completely, and must come back exactly from the compressor.

#include "archive/AbExcept.h"
#include "archive/Deflate.h"
#include "archive/Inflate.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <zlib.h>

namespace {

constexpr size_t Limit = size_t(8) << 20; // a small input must not expand without end
struct TTooMuch {};

class TChunks : public TAbDecodeInput {
public:
    TChunks(const std::string& Data, size_t ChunkSize) : FData(Data), FChunkSize(ChunkSize) {}
    bool NextChunk(const uint8_t*& Data, size_t& Count) override {
        Data = reinterpret_cast<const uint8_t*>(FData.data()) + FPos;
        Count = std::min(FData.size() - FPos, FChunkSize);
        FPos += Count;
        return Count > 0;
    }

private:
    const std::string& FData;
    size_t FChunkSize, FPos = 0;
};

struct TOutput : TAbDecodeOutput {
    void Write(const uint8_t* Data, size_t Count) override {
        if (Bytes.size() + Count > Limit)
            throw TTooMuch();
        Bytes.append(reinterpret_cast<const char*>(Data), Count);
    }
    std::string Bytes;
};

// Read lengths vary with the data so that refills fall everywhere.
class TSource : public TDeflateInput {
public:
    TSource(const std::string& Data, size_t MaxRead) : FData(Data), FMaxRead(MaxRead) {}
    size_t Read(uint8_t* Buffer, size_t Count) override {
        const size_t Left = FData.size() - FPos;
        const size_t N = std::min({Count, Left, FMaxRead - (Left > 0 ? uint8_t(FData[FPos]) % FMaxRead : 0)});
        std::memcpy(Buffer, FData.data() + FPos, N);
        FPos += N;
        return N;
    }

private:
    const std::string& FData;
    size_t FMaxRead, FPos = 0;
};

struct TStream : TDeflateOutput {
    void Write(uint8_t* Data, size_t Count) override {
        Bytes.append(reinterpret_cast<const char*>(Data), Count);
    }
    std::string Bytes;
};

// zlib's complete output, or false when the stream is damaged, ends early or expands past the limit.
bool ReferenceInflate(const std::string& Stream, std::string& Result) {
    z_stream Z{};
    if (inflateInit2(&Z, -15) != Z_OK)
        return false;
    Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Stream.data()));
    Z.avail_in = uInt(Stream.size());
    Result.resize(Limit + 1);
    Z.next_out = reinterpret_cast<Bytef*>(Result.data());
    Z.avail_out = uInt(Result.size());
    const int Rc = inflate(&Z, Z_FINISH);
    Result.resize(Z.total_out);
    inflateEnd(&Z);
    return Rc == Z_STREAM_END && Result.size() <= Limit;
}

// Inflate's output, or "<raised>" after it when it gave up.
std::string Inflated(const std::string& Stream, size_t ChunkSize) {
    TChunks In(Stream, ChunkSize);
    TOutput Out;
    try {
        Inflate(In, Out);
    } catch (const EAbException&) {
        return Out.Bytes + "<raised>";
    }
    return Out.Bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 1)
        return 0;
    const std::string Rest(reinterpret_cast<const char*>(Data) + 1, Size - 1);
    try {
        std::string Expected;
        if (ReferenceInflate(Rest, Expected) && Inflated(Rest, size_t(Data[0]) * 32 + 1) != Expected)
            std::abort();
    } catch (const TTooMuch&) {
    }
    TSource Source(Rest, size_t(1) << (Data[0] >> 4));
    TStream Stream;
    Deflate(Source, Stream, Data[0] & 0x0F);
    if (Inflated(Stream.Bytes, 4096) != Rest)
        std::abort();
    return 0;
}
