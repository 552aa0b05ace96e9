#include "archive/Inflate.h"

#include "archive/AbExcept.h"
#include "archive/AbUtils.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>

namespace {

// A decoding table entry: bits 0-7 the number of bits the code takes (in a sub-table: root bits
// included), bits 8-15 its kind, bits 16-31 its value.
constexpr uint32_t kExtraBits = 0x0F; // a length or distance base followed by this many extra bits
constexpr uint32_t kLiteral = 0x10;   // a literal byte, or a symbol of the code-length code
constexpr uint32_t kEndOfBlock = 0x20;
constexpr uint32_t kSubTable = 0x40; // value: start of the sub-table; low four bits: its index bits
constexpr uint32_t kInvalid = 0x80;  // no code, or a symbol that must not occur

constexpr uint32_t MakeEntry(uint32_t Kind, uint32_t Value, unsigned Bits) {
    return Value << 16 | Kind << 8 | Bits;
}
constexpr unsigned CodeBits(uint32_t E) {
    return E & 0xFF;
}
constexpr uint32_t KindOf(uint32_t E) {
    return (E >> 8) & 0xFF;
}
constexpr uint32_t ValueOf(uint32_t E) {
    return E >> 16;
}

constexpr unsigned kMaxCodeBits = 15;
constexpr unsigned kLitRoot = 10;
constexpr unsigned kDistRoot = 8;
constexpr unsigned kCodeLenRoot = 7;
constexpr unsigned kLitSymbols = 288;
constexpr unsigned kDistSymbols = 32;
constexpr unsigned kCodeLenSymbols = 19;

// Every sub-table holds at least one symbol and has at most 2^(15 - root) entries.
constexpr size_t TableSize(unsigned Root, unsigned Symbols) {
    return (size_t(1) << Root) + size_t(Symbols) * (size_t(1) << (kMaxCodeBits - Root));
}
using TLitTable = std::array<uint32_t, TableSize(kLitRoot, kLitSymbols)>;
using TDistTable = std::array<uint32_t, TableSize(kDistRoot, kDistSymbols)>;
using TCodeLenTable = std::array<uint32_t, size_t(1) << kCodeLenRoot>;

struct TSymbols {
    std::array<uint32_t, kLitSymbols> Lit{};
    std::array<uint32_t, kDistSymbols> Dist{};
    std::array<uint32_t, kCodeLenSymbols> CodeLen{};
};

constexpr TSymbols MakeSymbols() {
    constexpr uint16_t LengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                         31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    constexpr uint8_t LengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    constexpr uint16_t DistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                       33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                       1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    constexpr uint8_t DistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                       6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    TSymbols S;
    for (uint32_t I = 0; I < 256; ++I)
        S.Lit[I] = MakeEntry(kLiteral, I, 0);
    S.Lit[256] = MakeEntry(kEndOfBlock, 0, 0);
    for (unsigned I = 0; I < 29; ++I)
        S.Lit[257 + I] = MakeEntry(LengthExtra[I], LengthBase[I], 0);
    S.Lit[286] = S.Lit[287] = MakeEntry(kInvalid, 0, 0);
    for (unsigned I = 0; I < 30; ++I)
        S.Dist[I] = MakeEntry(DistExtra[I], DistBase[I], 0);
    S.Dist[30] = S.Dist[31] = MakeEntry(kInvalid, 0, 0);
    for (uint32_t I = 0; I < kCodeLenSymbols; ++I)
        S.CodeLen[I] = MakeEntry(kLiteral, I, 0);
    return S;
}
constexpr TSymbols kSymbols = MakeSymbols();

enum TBuildResult { brComplete, brIncomplete, brBad };

// Builds a table for canonical codes with the given lengths: a first level indexed by Root bits, with
// sub-tables for longer codes. Entries no code reaches are invalid; they take Root (or root plus sub-table)
// bits so that a lookup short of input is told apart from an invalid code, and 0 bits when no code exists
// at all. An incomplete code is reported only when its longest code is longer than one bit: a lone one-bit
// code is accepted.
TBuildResult BuildHuffmanTable(uint32_t* Table, unsigned Root, const uint8_t* Lens, unsigned Count,
                               const uint32_t* Symbols) {
    unsigned Counts[kMaxCodeBits + 1] = {};
    for (unsigned I = 0; I < Count; ++I)
        ++Counts[Lens[I]];
    int Left = 1;
    unsigned MaxLen = 0;
    for (unsigned L = 1; L <= kMaxCodeBits; ++L) {
        Left = Left * 2 - int(Counts[L]);
        if (Left < 0)
            return brBad;
        if (Counts[L])
            MaxLen = L;
    }
    const unsigned RootSize = 1u << Root;
    if (MaxLen == 0) {
        std::fill(Table, Table + RootSize, MakeEntry(kInvalid, 0, 0));
        return brComplete;
    }
    // A complete code fills every entry by itself.
    const bool Complete = Left == 0;
    if (!Complete)
        std::fill(Table, Table + RootSize, MakeEntry(kInvalid, 0, Root));

    unsigned Next[kMaxCodeBits + 2] = {};
    for (unsigned L = 1; L <= kMaxCodeBits; ++L)
        Next[L + 1] = Next[L] + Counts[L];
    const unsigned Used = Next[kMaxCodeBits + 1];
    uint16_t Sorted[kLitSymbols];
    for (unsigned I = 0; I < Count; ++I)
        if (Lens[I])
            Sorted[Next[Lens[I]]++] = uint16_t(I);

    unsigned Code = 0, PrevLen = 0, TableEnd = RootSize;
    unsigned SubPrefix = RootSize, SubStart = 0, SubBits = 0;
    for (unsigned N = 0; N < Used; ++N) {
        const unsigned Sym = Sorted[N], Len = Lens[Sym];
        Code <<= Len - PrevLen;
        PrevLen = Len;
        // Huffman codes are sent from their top bit down.
        const unsigned Rev = ReverseBits(Code, Len);
        const uint32_t E = Symbols[Sym] | Len;
        if (Len <= Root) {
            for (unsigned I = Rev; I < RootSize; I += 1u << Len)
                Table[I] = E;
        } else {
            const unsigned Prefix = Rev & (RootSize - 1);
            if (Prefix != SubPrefix) {
                // Canonical codes sharing a prefix are adjacent; the sub-table grows until the codes
                // still to come fill it.
                SubBits = Len - Root;
                int Room = 1 << SubBits;
                while (Root + SubBits < MaxLen) {
                    Room -= int(Counts[Root + SubBits]);
                    if (Room <= 0)
                        break;
                    ++SubBits;
                    Room <<= 1;
                }
                SubPrefix = Prefix;
                SubStart = TableEnd;
                TableEnd += 1u << SubBits;
                if (!Complete)
                    std::fill(Table + SubStart, Table + TableEnd, MakeEntry(kInvalid, 0, Root + SubBits));
                Table[Prefix] = MakeEntry(kSubTable | SubBits, SubStart, Root);
            }
            for (unsigned I = Rev >> Root; I < (1u << SubBits); I += 1u << (Len - Root))
                Table[SubStart + I] = E;
        }
        --Counts[Len];
        ++Code;
    }
    return Left > 0 && MaxLen > 1 ? brIncomplete : brComplete;
}

struct TFixedTables {
    TLitTable Lit;
    TDistTable Dist;
};

const TFixedTables& FixedTables() {
    static const auto Tables = [] {
        auto T = std::make_unique<TFixedTables>();
        uint8_t Lens[kLitSymbols];
        std::fill(Lens, Lens + 144, 8);
        std::fill(Lens + 144, Lens + 256, 9);
        std::fill(Lens + 256, Lens + 280, 7);
        std::fill(Lens + 280, Lens + 288, 8);
        BuildHuffmanTable(T->Lit.data(), kLitRoot, Lens, kLitSymbols, kSymbols.Lit.data());
        std::fill(Lens, Lens + 30, 5);
        BuildHuffmanTable(T->Dist.data(), kDistRoot, Lens, 30, kSymbols.Dist.data());
        return T;
    }();
    return *Tables;
}

// How a run of Huffman codes or a stored copy stopped.
enum TEnd { enEndOfBlock, enTruncated, enBad, enSwitch };

constexpr size_t kWindow = 32768;
constexpr size_t kFlushAt = kWindow + 65536;
constexpr size_t kSlack = 2 + 258 + 16 + 4; // two literals and a whole match past kFlushAt, with its overrun
// The fast decoder runs while this much input is left: two refills of up to eight bytes each.
constexpr ptrdiff_t kFastInput = 16;

// Where decoding stands in the input and the output. The fast decoder works on a local copy of it, so that
// it stays in registers while output bytes are stored.
struct TCursor {
    const uint8_t* InPos = nullptr;
    const uint8_t* InEnd = nullptr;
    // Bits above BitCount are either zero or the very bits that come next, so refills may OR them in again.
    uint64_t Bits = 0;
    unsigned BitCount = 0;
    size_t OutPos = kWindow;

    ptrdiff_t InLeft() const { return InEnd - InPos; }
    void Consume(unsigned Count) {
        Bits >>= Count;
        BitCount -= Count;
    }
    uint32_t Take(unsigned Count) {
        const uint32_t V = uint32_t(Bits) & ((1u << Count) - 1);
        Consume(Count);
        return V;
    }
    // Tops the bit buffer up to at least 56 bits from eight bytes of input that are known to be there.
    void Refill() {
        uint64_t Word;
        std::memcpy(&Word, InPos, sizeof Word);
        if constexpr (std::endian::native == std::endian::big)
            Word = __builtin_bswap64(Word);
        Bits |= Word << BitCount;
        InPos += (63 - BitCount) >> 3;
        BitCount |= 56;
    }
};

class TInflater {
public:
    // Decodes one stream; an inflater serves one stream after the other.
    void Run(TAbDecodeInput& In, TAbDecodeOutput& Out);

private:
    TEnd InflateBlock(unsigned Type);
    TEnd InflateStored();
    TEnd InflateDynamic();
    TEnd InflateCodes(const uint32_t* Lit, const uint32_t* Dist);
    template <bool Fast> TEnd DecodeSymbols(TCursor& L, const uint32_t* Lit, const uint32_t* Dist);
    // The steps of the decoder loop, kept inline in it.
    template <bool Fast, unsigned Root>
    [[gnu::always_inline]] inline bool Decode(TCursor& L, const uint32_t* Table, uint32_t& E);
    template <bool Fast> [[gnu::always_inline]] inline bool TakeBase(TCursor& L, uint32_t E, unsigned& Value);
    [[gnu::always_inline]] inline void Copy(TCursor& L, unsigned Distance, unsigned Length);
    [[noreturn]] void Fail();
    size_t Flush(size_t OutPos);

    bool FetchChunk(TCursor& L);
    bool MoreByte(TCursor& L);
    bool Need(TCursor& L, unsigned Count);

    TAbDecodeInput* FIn = nullptr;
    TAbDecodeOutput* FOut = nullptr;
    bool InputEnded = false;
    bool WindowUsed = true; // the window holds more than zeros
    TCursor C;
    // The last 32 KiB of output (zeros at first) followed by the output not yet written.
    std::array<uint8_t, kFlushAt + kSlack> Buf;
    TLitTable LitTable;
    TDistTable DistTable;
    TCodeLenTable CodeLenTable;
};

bool TInflater::FetchChunk(TCursor& L) {
    while (!InputEnded) {
        const uint8_t* Data;
        size_t Count;
        if (!FIn->NextChunk(Data, Count))
            InputEnded = true;
        else if (Count) {
            L.InPos = Data;
            L.InEnd = Data + Count;
            return true;
        }
    }
    return false;
}

// Input is fetched one byte at a time only as far as a code needs it, so nothing past the stream's end
// is asked for.
bool TInflater::MoreByte(TCursor& L) {
    if (L.InPos == L.InEnd && !FetchChunk(L))
        return false;
    L.Bits |= uint64_t(*L.InPos++) << L.BitCount;
    L.BitCount += 8;
    return true;
}

bool TInflater::Need(TCursor& L, unsigned Count) {
    while (L.BitCount < Count)
        if (!MoreByte(L))
            return false;
    return true;
}

// Writes the pending output and keeps the last 32 KiB as the window; returns the new output position.
size_t TInflater::Flush(size_t OutPos) {
    if (OutPos > kWindow)
        FOut->Write(Buf.data() + kWindow, OutPos - kWindow);
    std::memmove(Buf.data(), Buf.data() + OutPos - kWindow, kWindow);
    WindowUsed = true;
    return kWindow;
}

// What was decoded before the damage is handed on first, as it would have been had it been written as
// it came.
void TInflater::Fail() {
    C.OutPos = Flush(C.OutPos);
    throw EAbZipInflateBlock();
}

void TInflater::Run(TAbDecodeInput& In, TAbDecodeOutput& Out) {
    FIn = &In;
    FOut = &Out;
    InputEnded = false;
    C = TCursor();
    // Only a stream long enough to be flushed on its way leaves output in the window.
    if (WindowUsed) {
        std::memset(Buf.data(), 0, kWindow);
        WindowUsed = false;
    }
    bool Last;
    do {
        if (!Need(C, 3))
            Fail();
        Last = C.Take(1) != 0;
        const TEnd End = InflateBlock(C.Take(2));
        if (End == enBad || (End == enTruncated && !Last))
            Fail();
    } while (!Last);
    // The window is not needed any more: the output is written, not moved.
    if (C.OutPos > kWindow)
        FOut->Write(Buf.data() + kWindow, C.OutPos - kWindow);
}

TEnd TInflater::InflateBlock(unsigned Type) {
    switch (Type) {
    case 0:
        return InflateStored();
    case 1:
        return InflateCodes(FixedTables().Lit.data(), FixedTables().Dist.data());
    case 2:
        return InflateDynamic();
    default:
        return enBad;
    }
}

TEnd TInflater::InflateStored() {
    C.Consume(C.BitCount & 7);
    if (!Need(C, 32))
        return enBad;
    unsigned Len = C.Take(16);
    if (Len != (~C.Take(16) & 0xFFFF))
        return enBad;
    for (; Len && C.BitCount >= 8; --Len) {
        if (C.OutPos >= kFlushAt)
            C.OutPos = Flush(C.OutPos);
        Buf[C.OutPos++] = uint8_t(C.Take(8));
    }
    if (!Len)
        return enEndOfBlock;
    C.Bits = 0; // the bit buffer is empty; what it held beyond is copied below
    while (Len) {
        if (C.InPos == C.InEnd && !FetchChunk(C))
            return enTruncated;
        if (C.OutPos >= kFlushAt)
            C.OutPos = Flush(C.OutPos);
        const size_t N = std::min({size_t(Len), size_t(C.InLeft()), kFlushAt - C.OutPos});
        std::memcpy(Buf.data() + C.OutPos, C.InPos, N);
        C.OutPos += N;
        C.InPos += N;
        Len -= unsigned(N);
    }
    return enEndOfBlock;
}

TEnd TInflater::InflateDynamic() {
    static constexpr uint8_t Order[kCodeLenSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                       11, 4,  12, 3, 13, 2, 14, 1, 15};
    if (!Need(C, 14))
        return enBad;
    const unsigned NLit = C.Take(5) + 257, NDist = C.Take(5) + 1, NCodeLen = C.Take(4) + 4;
    if (NLit > 286 || NDist > 30)
        return enBad;
    uint8_t Lens[286 + 30] = {};
    for (unsigned I = 0; I < NCodeLen; ++I) {
        if (!Need(C, 3))
            return enBad;
        Lens[Order[I]] = uint8_t(C.Take(3));
    }
    if (BuildHuffmanTable(CodeLenTable.data(), kCodeLenRoot, Lens, kCodeLenSymbols,
                          kSymbols.CodeLen.data()) != brComplete)
        return enBad;

    const unsigned Total = NLit + NDist;
    unsigned N = 0, Prev = 0;
    while (N < Total) {
        uint32_t E;
        if (!Decode<false, kCodeLenRoot>(C, CodeLenTable.data(), E) || (KindOf(E) & kInvalid))
            return enBad;
        C.Consume(CodeBits(E));
        const unsigned Sym = ValueOf(E);
        if (Sym < 16) {
            Lens[N++] = uint8_t(Prev = Sym);
            continue;
        }
        // 16: the previous length 3-6 times; 17: 3-10 zeros; 18: 11-138 zeros.
        const unsigned Extra = Sym == 16 ? 2 : Sym == 17 ? 3 : 7;
        if (!Need(C, Extra))
            return enBad;
        const unsigned Repeat = (Sym == 18 ? 11 : 3) + C.Take(Extra);
        if (Repeat > Total - N)
            return enBad;
        if (Sym != 16)
            Prev = 0;
        std::fill(Lens + N, Lens + N + Repeat, uint8_t(Prev));
        N += Repeat;
    }
    if (BuildHuffmanTable(LitTable.data(), kLitRoot, Lens, NLit, kSymbols.Lit.data()) != brComplete ||
        BuildHuffmanTable(DistTable.data(), kDistRoot, Lens + NLit, NDist, kSymbols.Dist.data()) !=
            brComplete)
        return enBad;
    return InflateCodes(LitTable.data(), DistTable.data());
}

// Distances are at most 32768 and OutPos never less, so the source is always inside Buf; the zeros the
// window starts with serve distances that reach before the first byte.
void TInflater::Copy(TCursor& L, unsigned Distance, unsigned Length) {
    uint8_t* Dst = Buf.data() + L.OutPos;
    const uint8_t* Src = Dst - Distance;
    uint8_t* const End = Dst + Length;
    L.OutPos += Length;
    if (Distance >= 16) {
        // May write up to 15 bytes past End, into the slack or over bytes not yet decoded.
        do {
            std::memcpy(Dst, Src, 16);
            Dst += 16;
            Src += 16;
        } while (Dst < End);
    } else if (Distance == 1) {
        std::memset(Dst, *Src, Length);
    } else if (Distance >= 8) {
        do {
            std::memcpy(Dst, Src, 8);
            Dst += 8;
            Src += 8;
        } while (Dst < End);
    } else {
        while (Dst < End)
            *Dst++ = *Src++;
    }
}

// Runs the unchecked decoder, on a copy of the cursor, while kFastInput bytes of the current chunk are
// left, and the careful one, fetching byte by byte, around the ends of chunks and of the input.
TEnd TInflater::InflateCodes(const uint32_t* Lit, const uint32_t* Dist) {
    for (;;) {
        TEnd End;
        if (C.InLeft() >= kFastInput) {
            TCursor L = C;
            End = DecodeSymbols<true>(L, Lit, Dist);
            C = L;
        } else
            End = DecodeSymbols<false>(C, Lit, Dist);
        if (End != enSwitch)
            return End;
    }
}

// After a refill the buffer holds at least 56 bits: enough for a length and a distance with their extra
// bits (15 + 5 + 15 + 13), so the fast decoder checks nothing.
template <bool Fast> TEnd TInflater::DecodeSymbols(TCursor& L, const uint32_t* Lit, const uint32_t* Dist) {
    for (;;) {
        if constexpr (Fast) {
            if (L.InLeft() < kFastInput)
                return enSwitch;
            L.Refill();
        } else if (L.InLeft() >= kFastInput)
            return enSwitch;
        if (L.OutPos >= kFlushAt)
            L.OutPos = Flush(L.OutPos);
        uint32_t E;
        if (!Decode<Fast, kLitRoot>(L, Lit, E))
            return enTruncated;
        uint32_t Kind = KindOf(E);
        if (Kind & kLiteral) {
            L.Consume(CodeBits(E));
            Buf[L.OutPos++] = uint8_t(ValueOf(E));
            if constexpr (!Fast)
                continue;
            // Literals come in runs: after one, at least 41 bits are left, enough for two more codes.
            for (int More = 2; More--;) {
                Decode<true, kLitRoot>(L, Lit, E);
                Kind = KindOf(E);
                if (!(Kind & kLiteral))
                    break;
                L.Consume(CodeBits(E));
                Buf[L.OutPos++] = uint8_t(ValueOf(E));
            }
            if (Kind & kLiteral)
                continue;
            L.Refill(); // a length and a distance may take 48 bits
        }
        if (Kind & kEndOfBlock) {
            L.Consume(CodeBits(E));
            return enEndOfBlock;
        }
        if (Kind & kInvalid)
            return enBad;
        unsigned Length, Distance;
        if (!TakeBase<Fast>(L, E, Length) || !Decode<Fast, kDistRoot>(L, Dist, E))
            return enTruncated;
        if (KindOf(E) & kInvalid)
            return enBad;
        if (!TakeBase<Fast>(L, E, Distance))
            return enTruncated;
        Copy(L, Distance, Length);
    }
}

// Looks a code up; false when the input ends before the code is complete. An entry is trusted only when
// all the bits it takes are there.
template <bool Fast, unsigned Root> bool TInflater::Decode(TCursor& L, const uint32_t* Table, uint32_t& E) {
    for (;;) {
        E = Table[L.Bits & ((1u << Root) - 1)];
        if ((KindOf(E) & kSubTable) && (Fast || L.BitCount >= Root))
            E = Table[ValueOf(E) + ((L.Bits >> Root) & ((1u << (KindOf(E) & kExtraBits)) - 1))];
        if (Fast || CodeBits(E) <= L.BitCount)
            return true;
        if (!MoreByte(L))
            return false;
    }
}

template <bool Fast> bool TInflater::TakeBase(TCursor& L, uint32_t E, unsigned& Value) {
    const unsigned Code = CodeBits(E), Extra = KindOf(E) & kExtraBits;
    if (!Fast && !Need(L, Code + Extra))
        return false;
    Value = ValueOf(E) + unsigned((L.Bits >> Code) & ((1u << Extra) - 1));
    L.Consume(Code + Extra);
    return true;
}

} // namespace

void Inflate(TAbDecodeInput& In, TAbDecodeOutput& Out) {
    // Each thread keeps its inflater: many small entries would otherwise each pay for allocating and
    // clearing its tables and window.
    thread_local std::unique_ptr<TInflater> Inflater;
    if (!Inflater)
        Inflater = std::make_unique<TInflater>();
    Inflater->Run(In, Out);
}
