#include "archive/Unreduce.h"

#include "archive/AbExcept.h"
#include "archive/LegacyIO.h"

#include <bit>
#include <memory>

namespace {

constexpr unsigned Escape = 144; // DLE

struct TFollowerSet {
    uint8_t Count;
    uint8_t IndexWidth;
    // The count field is 6 bits wide, so damaged data may list up to 63 followers; every index of
    // IndexWidth bits stays inside the row, and positions past Count read as 0.
    uint8_t Followers[64];
};

unsigned IndexWidth(unsigned Count) {
    return Count <= 2 ? 1 : unsigned(std::bit_width(Count - 1));
}

} // namespace

void Unreduce(TAbDecodeInput& Input, TAbDecodeOutput& Output, uint64_t UncompressedSize, int Factor) {
    if (Factor < 1 || Factor > 4)
        throw EAbZipInvalidFactor();
    const unsigned LengthMask = 0xFFu >> Factor;
    const unsigned HighShift = 8 - unsigned(Factor);
    const unsigned HighMask = (1u << Factor) - 1;

    TAbLsbBitReader Bits(Input);
    auto Sets = std::make_unique<TFollowerSet[]>(256);
    for (int Char = 255; Char >= 0; --Char) {
        TFollowerSet& Set = Sets[Char];
        Set.Count = uint8_t(Bits.Read(6));
        Set.IndexWidth = uint8_t(IndexWidth(Set.Count));
        for (unsigned I = 0; I < Set.Count; ++I)
            Set.Followers[I] = uint8_t(Bits.Read(8));
    }

    TAbOutputWindow Out(Output);
    uint8_t LastChar = 0;
    unsigned State = 0;
    unsigned V = 0;
    unsigned Length = 0;
    while (!Bits.Ended() && Out.Produced() < UncompressedSize) {
        const TFollowerSet& Set = Sets[LastChar];
        uint8_t Symbol;
        if (Set.Count == 0) {
            Symbol = uint8_t(Bits.Read(8));
        } else {
            // One flag bit, then either a plain byte or an index into the set.
            const uint32_t Peeked = Bits.Peek(9);
            if (Peeked & 1) {
                Symbol = uint8_t(Peeked >> 1);
                Bits.Skip(9);
            } else {
                Symbol = Set.Followers[(Peeked >> 1) & ((1u << Set.IndexWidth) - 1)];
                Bits.Skip(1 + Set.IndexWidth);
            }
        }
        if (Bits.Ended())
            break;
        LastChar = Symbol;

        switch (State) {
        case 0:
            if (Symbol == Escape)
                State = 1;
            else
                Out.Put(Symbol);
            break;
        case 1:
            if (Symbol == 0) {
                Out.Put(Escape);
                State = 0;
            } else {
                V = Symbol;
                Length = V & LengthMask;
                State = Length == LengthMask ? 2 : 3;
            }
            break;
        case 2:
            Length += Symbol;
            State = 3;
            break;
        default:
            Out.Copy(((V >> HighShift) & HighMask) * 256 + Symbol + 1, Length + 3);
            State = 0;
            break;
        }
    }
    Out.Finish();
}
