#pragma once
// Bit input and windowed output shared by the shrink, reduce and implode decoders.

#include "archive/AbDecodeIO.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// Hands out the entry's compressed bits least significant bit first. A read that needs bits past the last
// byte sets Ended; the value of that read is padded with zeros and only fit to be discarded.
class TAbLsbBitReader {
public:
    explicit TAbLsbBitReader(TAbDecodeInput& Input) : FInput(Input) {}

    // The next Count bits (at most 24) without consuming them.
    uint32_t Peek(unsigned Count) {
        if (FCount < Count)
            Refill();
        return uint32_t(FBits) & ((1u << Count) - 1);
    }
    // Consumes Count bits; call after Peek with at least as many bits.
    void Skip(unsigned Count) {
        if (Count > FCount) {
            FEnded = true;
            FBits = 0;
            FCount = 0;
            return;
        }
        FBits >>= Count;
        FCount -= Count;
    }
    uint32_t Read(unsigned Count) {
        const uint32_t Value = Peek(Count);
        Skip(Count);
        return Value;
    }
    bool Ended() const { return FEnded; }

private:
    void Refill() {
        while (FCount < 56) {
            if (FNext == FEnd) {
                if (FDrained || !FInput.NextChunk(FNext, FChunkSize)) {
                    FDrained = true;
                    return;
                }
                FEnd = FNext + FChunkSize;
            } else if (std::endian::native == std::endian::little && FEnd - FNext >= 8) {
                // Whole word at once; the bytes above the new count are the same bytes the next refill adds.
                uint64_t Word;
                std::memcpy(&Word, FNext, sizeof Word);
                FBits |= Word << FCount;
                FNext += (63 - FCount) >> 3;
                FCount |= 56;
            } else {
                FBits |= uint64_t(*FNext++) << FCount;
                FCount += 8;
            }
        }
    }

    TAbDecodeInput& FInput;
    const uint8_t* FNext = nullptr;
    const uint8_t* FEnd = nullptr;
    size_t FChunkSize = 0;
    uint64_t FBits = 0;
    unsigned FCount = 0;
    bool FDrained = false;
    bool FEnded = false;
};

// The decoded bytes on their way to the output, kept in a window large enough for every back-reference of
// these methods. The window starts zero-filled, so a reference reaching before the first byte reads zeros.
class TAbOutputWindow {
public:
    static constexpr size_t Size = 65536;
    // The farthest back-reference the window resolves.
    static constexpr uint32_t MaxDistance = Size / 2;

    explicit TAbOutputWindow(TAbDecodeOutput& Output) : FOutput(Output), FBuffer(Size) {}

    void Put(uint8_t Value) {
        FBuffer[FPos++] = Value;
        if (FPos == Size)
            Flush();
    }
    void Append(const uint8_t* Data, size_t Count) {
        while (Count > 0) {
            const size_t Run = std::min(Count, Size - FPos);
            std::memcpy(FBuffer.data() + FPos, Data, Run);
            FPos += Run;
            Data += Run;
            Count -= Run;
            if (FPos == Size)
                Flush();
        }
    }
    // Appends Length bytes copied from Distance (1 to MaxDistance) bytes back; the copy may overlap the
    // bytes it produces.
    void Copy(uint32_t Distance, uint32_t Length) {
        while (Length > 0) {
            const size_t Src = (FPos - Distance) & (Size - 1);
            const size_t Run = std::min<size_t>({Length, Size - FPos, Size - Src});
            uint8_t* Dst = FBuffer.data() + FPos;
            const uint8_t* From = FBuffer.data() + Src;
            if (Distance >= Run)
                std::memcpy(Dst, From, Run);
            else
                for (size_t I = 0; I < Run; ++I)
                    Dst[I] = From[I];
            FPos += Run;
            Length -= uint32_t(Run);
            if (FPos == Size)
                Flush();
        }
    }
    // Bytes produced so far.
    uint64_t Produced() const { return FFlushed + FPos; }
    // Hands over what the window still holds; call once decoding has ended.
    void Finish() {
        if (FPos == 0)
            return;
        FOutput.Write(FBuffer.data(), FPos);
        FFlushed += FPos;
        FPos = 0;
    }

private:
    void Flush() {
        FOutput.Write(FBuffer.data(), Size);
        FFlushed += Size;
        FPos = 0;
    }

    TAbDecodeOutput& FOutput;
    std::vector<uint8_t> FBuffer;
    size_t FPos = 0;
    uint64_t FFlushed = 0;
};
