#include "archive/Unshrink.h"

#include "archive/LegacyIO.h"

#include <bit>
#include <memory>

namespace {

constexpr unsigned CodeSpace = 8192; // 13-bit codes
constexpr unsigned ControlCode = 256;
constexpr unsigned FirstAssignable = 257;
constexpr unsigned MaxCodeSize = 13;
constexpr uint16_t FreeCode = 0xFFFF; // prefix of a code that holds no string
constexpr uint16_t LeafMark = 0x8000; // set on prefixes while a partial clear looks for leaves

struct TShrinkTables {
    uint16_t Prefix[CodeSpace];
    uint8_t Suffix[CodeSpace];
    // Bit set for every free code, so that finding the next one skips 64 codes at a time.
    uint64_t FreeBits[CodeSpace / 64];
    // One expansion, filled from the end so that its bytes end up in output order.
    uint8_t Stack[CodeSpace];
};

void MarkFree(TShrinkTables& T, unsigned Code) {
    T.Prefix[Code] = FreeCode;
    T.FreeBits[Code / 64] |= uint64_t(1) << (Code % 64);
}

void Assign(TShrinkTables& T, unsigned Code, unsigned Prefix, uint8_t Suffix) {
    T.Prefix[Code] = uint16_t(Prefix);
    T.Suffix[Code] = Suffix;
    T.FreeBits[Code / 64] &= ~(uint64_t(1) << (Code % 64));
}

// The first free code at or above Code, or CodeSpace when there is none.
unsigned NextFreeCode(const TShrinkTables& T, unsigned Code) {
    while (Code < CodeSpace) {
        const uint64_t Word = T.FreeBits[Code / 64] >> (Code % 64);
        if (Word)
            return Code + unsigned(std::countr_zero(Word));
        Code = (Code / 64 + 1) * 64;
    }
    return CodeSpace;
}

// Frees every assigned code below NextFree that no other code extends. The loops avoid branches on the
// data: which codes are leaves is unpredictable.
void PartialClear(TShrinkTables& T, unsigned& NextFree) {
    for (unsigned Code = FirstAssignable; Code < NextFree; ++Code)
        T.Prefix[Code] |= LeafMark;
    for (unsigned Code = FirstAssignable; Code < NextFree; ++Code) {
        if (T.Prefix[Code] == FreeCode)
            continue;
        // Parents below 257 have no mark to lose. A free parent only occurs in damaged data; unmarking it
        // would turn it into a bogus prefix.
        const unsigned Parent = T.Prefix[Code] & ~LeafMark;
        const uint16_t Value = T.Prefix[Parent];
        T.Prefix[Parent] = Value == FreeCode ? Value : uint16_t(Value & ~LeafMark);
    }
    for (unsigned Code = FirstAssignable; Code < NextFree; ++Code) {
        const uint16_t Value = T.Prefix[Code];
        const bool Leaf = Value & LeafMark;
        T.Prefix[Code] = Leaf ? FreeCode : Value;
        T.FreeBits[Code / 64] |= uint64_t(Leaf) << (Code % 64);
    }
    NextFree = NextFreeCode(T, FirstAssignable);
}

} // namespace

void Unshrink(TAbDecodeInput& Input, TAbDecodeOutput& Output) {
    const auto Tables = std::make_unique<TShrinkTables>();
    TShrinkTables& T = *Tables;
    for (unsigned Code = 0; Code < 256; ++Code)
        Assign(T, Code, 0, uint8_t(Code));
    for (unsigned Code = 256; Code < CodeSpace; ++Code)
        MarkFree(T, Code);

    TAbLsbBitReader Bits(Input);
    TAbOutputWindow Out(Output);
    unsigned CodeSize = 9;
    unsigned NextFree = FirstAssignable;

    unsigned OldCode = Bits.Read(CodeSize);
    if (Bits.Ended())
        return;
    uint8_t LastChar = uint8_t(OldCode);
    Out.Put(LastChar);

    for (;;) {
        unsigned Code = Bits.Read(CodeSize);
        while (Code == ControlCode && !Bits.Ended()) {
            const unsigned SubCode = Bits.Read(CodeSize);
            if (SubCode == 1) {
                if (CodeSize == MaxCodeSize)
                    break; // codes would outgrow the tables: damaged
                ++CodeSize;
            } else if (SubCode == 2) {
                PartialClear(T, NextFree);
            }
            Code = Bits.Read(CodeSize);
        }
        if (Code == ControlCode || Bits.Ended())
            break;

        const unsigned InCode = Code;
        size_t Top = CodeSpace;
        // A free code is the one this very step defines: the previous string plus its own first byte.
        if (T.Prefix[Code] == FreeCode) {
            T.Stack[--Top] = LastChar;
            Code = OldCode;
        }
        while (Code >= FirstAssignable) {
            if (Top == 0)
                break; // a chain longer than the table holds codes: damaged
            if (T.Prefix[Code] == FreeCode) {
                T.Stack[--Top] = LastChar;
                Code = OldCode;
            } else {
                T.Stack[--Top] = T.Suffix[Code];
                Code = T.Prefix[Code];
            }
        }
        if (Code >= FirstAssignable)
            break;
        LastChar = T.Suffix[Code];
        Out.Put(LastChar);
        Out.Append(T.Stack + Top, CodeSpace - Top);

        if (NextFree < CodeSpace) {
            Assign(T, NextFree, OldCode, LastChar);
            NextFree = NextFreeCode(T, NextFree + 1);
        }
        OldCode = InCode;
    }
    Out.Finish();
}
