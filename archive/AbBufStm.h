#pragma once
// A block buffer in front of a stream, so that decoders can take a few bytes at a time without a system
// call for each. Over a memory stream every call goes straight through.

#include "platform/Classes.h"

#include <cstdint>
#include <vector>

class TAbBufferedStream {
public:
    // Stream is not owned and must outlive this object.
    TAbBufferedStream(TStream& Stream, uint32_t BufferSize);
    // Writes what is pending (failures are lost here: call Flush first to see them) and leaves the
    // underlying stream at this stream's position.
    ~TAbBufferedStream();
    TAbBufferedStream(const TAbBufferedStream&) = delete;
    TAbBufferedStream& operator=(const TAbBufferedStream&) = delete;

    int64_t Position() const;
    // Absolute positions only.
    void Seek(int64_t NewPosition);
    // Exactly Count bytes, or EReadError when the underlying stream ends first.
    void ReadBuffer(void* Buffer, int64_t Count);
    void WriteBuffer(const void* Buffer, int64_t Count);
    // Writes what is pending; EWriteError when the underlying stream takes less.
    void Flush();

private:
    void Refill();
    void FlushBuffer();
    bool Outside(int64_t Pos) const;

    std::vector<uint8_t> FBuffer;
    int64_t FBufferedBytes = 0;
    int64_t FBufferPosition = 0;
    int64_t FBufferStart = 0;
    int64_t FBufferSize;
    bool FDirty = false;
    bool FPassThrough;
    TStream& FStream;
};
