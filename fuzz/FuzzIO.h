#pragma once
// Decoder input and output over a fuzzer's bytes, and the archive set-up the harnesses share.

#include "archive/AbDecodeIO.h"
#include "archive/AbExcept.h"
#include "archive/Abziptyp.h"
#include "platform/Dialogs.h"

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

// A disk request of a spanned set is answered with Cancel, without a prompt.
inline void RefuseDiskRequests() {
    SetMessageBoxHandler([](const std::string&, const std::string&, unsigned) { return int(idCancel); });
}

// Loads the directory; false when the library refuses the bytes (its own error or a short read).
inline bool LoadOrRefuse(TAbZipArchive& A) {
    try {
        A.Load();
        return true;
    } catch (const EAbException&) {
        return false;
    } catch (const EReadError&) {
        return false;
    }
}
