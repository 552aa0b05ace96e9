#include "archive/Explode.h"

#include "archive/AbUtils.h"
#include "archive/LegacyIO.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

constexpr unsigned MaxEntries = 256;

struct TShannonFanoEntry {
    uint16_t Code; // bit-reversed: the first bit read is bit 0
    uint8_t Value;
    uint8_t BitLength;
};

// A decoding table indexed by the next LongestBitLength bits: value in the low byte, bits used in the
// high byte, 0 where no entry matches. Where several entries share a code, the first in sorted order wins,
// as a linear scan of the sorted entries would find it; a code that matches no entry decodes as 0 after
// one bit more than the longest entry.
struct TShannonFanoTree {
    unsigned LongestBitLength = 0;
    std::vector<uint16_t> Table;
};

TShannonFanoTree LoadShannonFanoTree(TAbLsbBitReader& Bits, unsigned EntryCount) {
    std::array<TShannonFanoEntry, MaxEntries> Entries{};
    TShannonFanoTree Tree;
    const unsigned Descriptions = Bits.Read(8) + 1;
    unsigned Assigned = 0;
    for (unsigned D = 0; D < Descriptions; ++D) {
        const unsigned Byte = Bits.Read(8);
        const unsigned BitLength = (Byte & 15) + 1;
        const unsigned Run = (Byte >> 4) + 1;
        // Damaged data may describe more entries than the tree holds: the surplus is dropped.
        for (unsigned R = 0; R < Run && Assigned < EntryCount; ++R, ++Assigned) {
            Entries[Assigned] = {0, uint8_t(Assigned), uint8_t(BitLength)};
            Tree.LongestBitLength = std::max(Tree.LongestBitLength, BitLength);
        }
    }

    const auto First = Entries.begin();
    const auto Last = First + EntryCount;
    std::sort(First, Last, [](const TShannonFanoEntry& A, const TShannonFanoEntry& B) {
        return A.BitLength != B.BitLength ? A.BitLength < B.BitLength : A.Value < B.Value;
    });

    // Codes count up from the longest entries, in 16-bit arithmetic as the compressor does.
    uint16_t Code = 0;
    uint16_t Increment = 0;
    unsigned PreviousLength = 0;
    for (auto It = Last; It != First;) {
        --It;
        Code = uint16_t(Code + Increment);
        if (It->BitLength != PreviousLength) {
            PreviousLength = It->BitLength;
            Increment = uint16_t(1u << (16 - PreviousLength));
        }
        It->Code = uint16_t(ReverseBits(Code, 16));
    }

    Tree.Table.assign(size_t(1) << Tree.LongestBitLength, 0);
    uint16_t* const Table = Tree.Table.data();
    const size_t TableSize = Tree.Table.size();
    for (auto It = First; It != Last; ++It) {
        const unsigned Length = It->BitLength;
        // Unassigned entries, codes wider than their length and codes shadowed by an earlier entry never
        // match.
        if (Length == 0 || It->Code >> Length != 0 || Table[It->Code] != 0)
            continue;
        const uint16_t Slot = uint16_t(Length << 8 | It->Value);
        for (size_t Index = It->Code; Index < TableSize; Index += size_t(1) << Length)
            Table[Index] = Slot;
    }
    return Tree;
}

unsigned DecodeTreeSymbol(const TShannonFanoTree& Tree, TAbLsbBitReader& Bits) {
    const uint16_t Slot = Tree.Table[Bits.Peek(Tree.LongestBitLength)];
    if (Slot == 0) {
        Bits.Skip(Tree.LongestBitLength + 1);
        return 0;
    }
    Bits.Skip(Slot >> 8);
    return Slot & 0xFF;
}

} // namespace

void Explode(TAbDecodeInput& Input, TAbDecodeOutput& Output, uint64_t UncompressedSize,
             uint32_t DictionarySize, int ShannonFanoTreeCount) {
    const bool HasLiteralTree = ShannonFanoTreeCount == 3;
    const unsigned LowDistanceBits = DictionarySize == 2 ? 7 : 6;
    const unsigned MinimumMatch = HasLiteralTree ? 3 : 2;

    TAbLsbBitReader Bits(Input);
    TShannonFanoTree LiteralTree;
    if (HasLiteralTree)
        LiteralTree = LoadShannonFanoTree(Bits, 256);
    const TShannonFanoTree LengthTree = LoadShannonFanoTree(Bits, 64);
    const TShannonFanoTree DistanceTree = LoadShannonFanoTree(Bits, 64);

    TAbOutputWindow Out(Output);
    while (!Bits.Ended() && Out.Produced() < UncompressedSize) {
        if (Bits.Read(1)) {
            Out.Put(uint8_t(HasLiteralTree ? DecodeTreeSymbol(LiteralTree, Bits) : Bits.Read(8)));
            continue;
        }
        const unsigned Low = Bits.Read(LowDistanceBits);
        const unsigned Distance = (DecodeTreeSymbol(DistanceTree, Bits) << LowDistanceBits | Low) + 1;
        unsigned Length = DecodeTreeSymbol(LengthTree, Bits);
        if (Length == 63)
            Length += Bits.Read(8);
        Out.Copy(Distance, Length + MinimumMatch);
    }
    Out.Finish();
}
