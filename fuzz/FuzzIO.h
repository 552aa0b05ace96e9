#pragma once
// Decoder input and output over a fuzzer's bytes; the archive set-up is the damaged-archive tests'.

#include "archive/AbDecodeIO.h"
#include "tests/common/ArchiveBytes.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

// Hands the bytes out in chunks of ChunkSize, as the extraction driver does with its 4,096-byte reads.
class TFuzzInput : public TAbDecodeInput {
public:
    TFuzzInput(const uint8_t* Data, size_t Size, size_t ChunkSize)
        : FData(Data), FLeft(Size), FChunkSize(std::max<size_t>(ChunkSize, 1)) {}

    bool NextChunk(const uint8_t*& Data, size_t& Count) override {
        if (FLeft == 0)
            return false;
        Data = FData;
        Count = std::min(FLeft, FChunkSize);
        FData += Count;
        FLeft -= Count;
        return true;
    }

private:
    const uint8_t* FData;
    size_t FLeft;
    size_t FChunkSize;
};

// Keeps a decoder's output, and stops one that runs away: a small input must not expand without end.
class TFuzzOutput : public TAbDecodeOutput {
public:
    struct TTooMuch {};
    static constexpr size_t Limit = size_t(8) << 20;

    void Write(const uint8_t* Data, size_t Count) override {
        if (Bytes.size() + Count > Limit)
            throw TTooMuch();
        Bytes.append(reinterpret_cast<const char*>(Data), Count);
    }
    std::string Bytes;
};
