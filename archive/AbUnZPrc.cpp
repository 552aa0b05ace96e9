#include "archive/AbUnZPrc.h"

#include "archive/AbExcept.h"
#include "archive/AbUtils.h"
#include "archive/Explode.h"
#include "archive/Inflate.h"
#include "archive/Unreduce.h"
#include "archive/Unshrink.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kOutBufferSize = 32768;

} // namespace

TAbUnzipHelper::TAbUnzipHelper(TStream*& InStream, TAbZDecoder* Decoder, TStream& OutStream)
    : CompressedSize(uint64_t(InStream->Size())), FInStream(InStream), FDecoder(Decoder),
      FOutStream(OutStream), FOutBuffer(std::make_unique<uint8_t[]>(kOutBufferSize)) {}

uint32_t TAbUnzipHelper::Decompress() {
    FOutFlushed = 0;
    FOutPending = 0;
    FOutWriter = std::make_unique<TAbBufferedStream>(FOutStream, uint32_t(kOutBufferSize));
    FInRemaining = CompressedSize;
    if (FDecoder) {
        FDecoder->DecryptHeader();
        FInRemaining = FInRemaining > 12 ? FInRemaining - 12 : 0;
    }
    Dispatch();
    FlushOutput();
    FOutWriter->Flush();
    FOutWriter.reset();
    return ~FCrc;
}

void TAbUnzipHelper::Dispatch() {
    const uint8_t* Data;
    size_t Count;
    switch (Method) {
    case 0:
        // Stored data goes to the file as it is read.
        while (NextChunk(Data, Count))
            Deliver(Data, Count);
        break;
    case 1:
        Unshrink(*this, *this);
        break;
    case 2:
    case 3:
    case 4:
    case 5:
        Unreduce(*this, *this, UncompressedSize, Method - 1);
        break;
    case 6:
        Explode(*this, *this, UncompressedSize, DictionarySize, ShannonFanoTreeCount);
        break;
    case 8:
        Inflate(*this, *this);
        break;
    default:
        throw EAbZipInvalidMethod();
    }
}

bool TAbUnzipHelper::NextChunk(const uint8_t*& Data, size_t& Count) {
    if (FInRemaining == 0)
        return false;
    int64_t Want = int64_t(std::min<uint64_t>(FInRemaining, sizeof FInBuffer));
    if (Spanned) {
        // The entry goes on at the start of the next disk.
        if (FInStream->Position() >= FInStream->Size()) {
            ++CurrentDisk;
            OnChangeDisk(CurrentDisk);
        }
        Want = std::min(Want, FInStream->Size() - FInStream->Position());
    }
    const int64_t Got = Want > 0 ? FInStream->Read(FInBuffer, Want) : 0;
    if (Got <= 0)
        throw EAbReadError();
    if (FDecoder)
        FDecoder->DecryptBuffer(FInBuffer, size_t(Got));
    FInRemaining -= uint64_t(Got);
    Data = FInBuffer;
    Count = size_t(Got);
    return true;
}

// Output past the stated size is refused, so a damaged or hostile entry cannot fill the disk.
void TAbUnzipHelper::Write(const uint8_t* Data, size_t Count) {
    if (Count > UncompressedSize - FOutFlushed - FOutPending)
        throw EAbZipBadCRC();
    while (Count) {
        const size_t N = std::min(Count, kOutBufferSize - FOutPending);
        std::memcpy(FOutBuffer.get() + FOutPending, Data, N);
        FOutPending += N;
        Data += N;
        Count -= N;
        if (FOutPending == kOutBufferSize || FOutFlushed + FOutPending == UncompressedSize)
            FlushOutput();
    }
}

void TAbUnzipHelper::FlushOutput() {
    const size_t N = FOutPending;
    FOutPending = 0;
    Deliver(FOutBuffer.get(), N);
}

void TAbUnzipHelper::Deliver(const uint8_t* Data, size_t Count) {
    if (Count > UncompressedSize - FOutFlushed)
        throw EAbZipBadCRC();
    FOutWriter->WriteBuffer(Data, int64_t(Count));
    FOutFlushed += Count;
    UpdateCrc32(FCrc, Data, Count);
    bool Abort = false;
    DoProgress(PercentOf(int64_t(FOutFlushed), int64_t(UncompressedSize)), Abort);
    if (Abort)
        throw EAbUserAbort();
}

void TAbUnzipHelper::DoProgress(uint8_t Progress, bool& Abort) {
    if (OnProgressHook && Progress != FLastProgress) {
        FLastProgress = Progress;
        OnProgressHook(Progress, Abort);
    }
}
