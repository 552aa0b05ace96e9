#pragma once
// Decoder input and output over a fuzzer's bytes; the archive set-up is the damaged-archive tests'.

#include "archive/AbDecodeIO.h"
#include "tests/common/ArchiveBytes.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

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

// Checks that each block handed over lies in readable memory, and stops a decoder that runs away: a small
// input must not expand without end.
class TFuzzOutput : public TAbDecodeOutput {
public:
    struct TTooMuch {};
    static constexpr uint64_t Limit = uint64_t(8) << 20;

    void Write(const uint8_t* Data, size_t Count) override {
        if (Count > 0)
            FEdges += Data[0] + Data[Count - 1];
        FTotal += Count;
        if (FTotal > Limit)
            throw TTooMuch();
    }
    unsigned Edges() const { return FEdges; }

private:
    uint64_t FTotal = 0;
    unsigned FEdges = 0;
};
