#include "archive/AbBufStm.h"

#include "platform/SysUtils.h"

#include <algorithm>
#include <cstring>

TAbBufferedStream::TAbBufferedStream(TStream& Stream, uint32_t BufferSize)
    : FBufferSize(std::max<int64_t>(BufferSize, 1)), FPassThrough(dynamic_cast<TMemoryStream*>(&Stream)),
      FStream(Stream) {
    if (!FPassThrough) {
        FBuffer.resize(size_t(FBufferSize));
        FBufferStart = FStream.Position();
    }
}

TAbBufferedStream::~TAbBufferedStream() {
    if (FPassThrough)
        return;
    int64_t Pos = Position();
    try {
        Flush();
    } catch (const Exception&) {
        // The owner that wants to know calls Flush itself; a destructor must not raise.
    }
    FStream.Seek(Pos, soFromBeginning);
}

int64_t TAbBufferedStream::Position() const {
    return FPassThrough ? FStream.Position() : FBufferStart + FBufferPosition;
}

bool TAbBufferedStream::Outside(int64_t Pos) const {
    int64_t Offset = Pos - FBufferStart;
    return Offset < 0 || Offset > FBufferedBytes;
}

void TAbBufferedStream::Refill() {
    FBufferStart = FStream.Position();
    int64_t N = FStream.Read(FBuffer.data(), FBufferSize);
    if (N <= 0)
        throw EReadError("Stream read error");
    FBufferedBytes = N;
    FBufferPosition = 0;
}

void TAbBufferedStream::FlushBuffer() {
    if (FDirty) {
        FStream.Seek(FBufferStart, soFromBeginning);
        if (FStream.Write(FBuffer.data(), FBufferedBytes) != FBufferedBytes)
            throw EWriteError("Stream write error");
        FDirty = false;
    }
    FBufferStart += FBufferPosition;
    FStream.Seek(FBufferStart, soFromBeginning);
    FBufferPosition = 0;
    FBufferedBytes = 0;
}

void TAbBufferedStream::Flush() {
    if (FDirty)
        FlushBuffer();
}

void TAbBufferedStream::Seek(int64_t NewPosition) {
    if (FPassThrough) {
        FStream.Seek(NewPosition, soFromBeginning);
    } else if (Outside(NewPosition)) {
        Flush();
        FStream.Seek(NewPosition, soFromBeginning);
        FBufferStart = NewPosition;
        FBufferPosition = 0;
        FBufferedBytes = 0;
    } else {
        FBufferPosition = NewPosition - FBufferStart;
    }
}

void TAbBufferedStream::ReadBuffer(void* Buffer, int64_t Count) {
    if (FPassThrough) {
        FStream.ReadBuffer(Buffer, Count);
        return;
    }
    if (FDirty && Outside(Position() + Count)) {
        FlushBuffer();
        Refill();
    }
    auto* Out = static_cast<uint8_t*>(Buffer);
    while (Count > 0) {
        if (FBufferPosition == FBufferedBytes)
            Refill();
        int64_t N = std::min(Count, FBufferedBytes - FBufferPosition);
        std::memcpy(Out, FBuffer.data() + FBufferPosition, size_t(N));
        FBufferPosition += N;
        Out += N;
        Count -= N;
    }
}

void TAbBufferedStream::WriteBuffer(const void* Buffer, int64_t Count) {
    if (FPassThrough) {
        FStream.WriteBuffer(Buffer, Count);
        return;
    }
    auto* In = static_cast<const uint8_t*>(Buffer);
    while (Count > 0) {
        if (FBufferPosition == FBufferSize)
            FlushBuffer();
        int64_t N = std::min(Count, FBufferSize - FBufferPosition);
        std::memcpy(FBuffer.data() + FBufferPosition, In, size_t(N));
        FBufferPosition += N;
        // Kept up to date inside the loop: the flush above writes exactly the buffered bytes.
        FBufferedBytes = std::max(FBufferedBytes, FBufferPosition);
        FDirty = true;
        In += N;
        Count -= N;
    }
}
