#include "archive/Unshrink.h"

#include "archive/LegacyIO.h"

#include <algorithm>
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
    // One expansion, filled from the end so that its bytes end up in output order.
    uint8_t Stack[CodeSpace];
};

unsigned NextFreeCode(const TShrinkTables& T, unsigned Code) {
    while (Code < CodeSpace && T.Prefix[Code] != FreeCode)
        ++Code;
    return Code;
}

// Frees every assigned code below NextFree that no other code extends.
void PartialClear(TShrinkTables& T, unsigned& NextFree) {
    for (unsigned Code = FirstAssignable; Code < NextFree; ++Code)
        T.Prefix[Code] |= LeafMark;
    for (unsigned Code = FirstAssignable; Code < NextFree; ++Code) {
        if (T.Prefix[Code] == FreeCode)
            continue;
        const unsigned Parent = T.Prefix[Code] & ~LeafMark;
        // A free parent only occurs in damaged data; unmarking it would turn it into a bogus prefix.
        if (Parent >= FirstAssignable && T.Prefix[Parent] != FreeCode)
            T.Prefix[Parent] &= uint16_t(~LeafMark);
    }
    for (unsigned Code = FirstAssignable; Code < NextFree; ++Code)
        if (T.Prefix[Code] & LeafMark)
            T.Prefix[Code] = FreeCode;
    NextFree = NextFreeCode(T, FirstAssignable);
}

} // namespace

void Unshrink(TAbDecodeInput& Input, TAbDecodeOutput& Output) {
    const auto Tables = std::make_unique<TShrinkTables>();
    TShrinkTables& T = *Tables;
    std::fill(std::begin(T.Prefix), std::end(T.Prefix), FreeCode);
    for (unsigned Code = 0; Code < 256; ++Code) {
        T.Prefix[Code] = 0;
        T.Suffix[Code] = uint8_t(Code);
    }

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
            T.Prefix[NextFree] = uint16_t(OldCode);
            T.Suffix[NextFree] = LastChar;
            NextFree = NextFreeCode(T, NextFree + 1);
        }
        OldCode = InCode;
    }
    Out.Finish();
}
