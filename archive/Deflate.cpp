#include "archive/Deflate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>

namespace {

constexpr unsigned WSize = 32768;
constexpr unsigned WMask = WSize - 1;
constexpr unsigned WindowSize = 2 * WSize;
constexpr unsigned MinMatch = 3;
constexpr unsigned MaxMatch = 258;
// Bytes kept ahead of the position so that a whole match and its successor's hash can be seen.
constexpr unsigned MinLookahead = MaxMatch + MinMatch + 1;
constexpr unsigned MaxDist = WSize - MinLookahead;
// A 3-byte match this far back costs about as much as its literals.
constexpr unsigned TooFar = 4096;
constexpr unsigned HashBits = 15;
constexpr unsigned HashSize = 1u << HashBits;
constexpr unsigned LitBufSize = 16384;
constexpr size_t OutBufSize = 8192;

constexpr int LCodes = 286;
constexpr int DCodes = 30;
constexpr int BLCodes = 19;
constexpr int EndBlock = 256;
constexpr int MaxBits = 15;
constexpr int MaxBLBits = 7;

constexpr uint8_t ExtraLBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t ExtraDBits[DCodes] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t ExtraBLBits[BLCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
constexpr uint8_t BLOrder[BLCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Match search effort per level: stop looking ahead once a match is Lazy long, search a quarter of the
// chain once it is Good long, stop searching at a Nice match, walk at most Chain links.
struct TLevel {
    unsigned Good, Lazy, Nice, Chain;
};
constexpr TLevel Levels[9] = {
    {4, 4, 258, 16},    {6, 8, 258, 16},    {8, 16, 258, 32},     {8, 32, 258, 64},     {8, 64, 258, 128},
    {8, 128, 258, 256}, {8, 128, 258, 512}, {32, 258, 258, 1024}, {32, 258, 258, 4096},
};

struct TTables {
    uint8_t LengthCode[256];   // match length - 3 -> length code (0 to 28)
    uint8_t DistCode[512];     // distance - 1 -> distance code; past 256 by (distance - 1) / 128
    uint16_t BaseLength[29];   // first length - 3 of each code
    uint16_t BaseDist[DCodes]; // first distance - 1 of each code
    uint16_t FixedLitCode[288];
    uint8_t FixedLitLen[288];
    uint16_t FixedDistCode[DCodes];
    uint8_t FixedDistLen[DCodes];
};

unsigned Reversed(unsigned Code, unsigned Bits) {
    unsigned R = 0;
    for (unsigned I = 0; I < Bits; ++I, Code >>= 1)
        R = (R << 1) | (Code & 1);
    return R;
}

// Canonical codes (bit-reversed, ready to send) for code lengths.
void MakeCodes(const uint8_t* Len, int N, uint16_t* Code) {
    unsigned Count[MaxBits + 1] = {};
    for (int I = 0; I < N; ++I)
        ++Count[Len[I]];
    Count[0] = 0;
    unsigned Next[MaxBits + 1] = {};
    unsigned C = 0;
    for (int Bits = 1; Bits <= MaxBits; ++Bits) {
        C = (C + Count[Bits - 1]) << 1;
        Next[Bits] = C;
    }
    for (int I = 0; I < N; ++I)
        if (Len[I])
            Code[I] = uint16_t(Reversed(Next[Len[I]]++, Len[I]));
}

const TTables& Tables() {
    static const TTables T = [] {
        TTables R{};
        unsigned Length = 0;
        for (unsigned Code = 0; Code < 28; ++Code) {
            R.BaseLength[Code] = uint16_t(Length);
            for (unsigned N = 0; N < (1u << ExtraLBits[Code]); ++N)
                R.LengthCode[Length++] = uint8_t(Code);
        }
        // 258 has a code of its own, although code 27 could reach it too.
        R.BaseLength[28] = 255;
        R.LengthCode[255] = 28;
        unsigned Dist = 0;
        for (unsigned Code = 0; Code < 16; ++Code) {
            R.BaseDist[Code] = uint16_t(Dist);
            for (unsigned N = 0; N < (1u << ExtraDBits[Code]); ++N)
                R.DistCode[Dist++] = uint8_t(Code);
        }
        Dist >>= 7;
        for (unsigned Code = 16; Code < DCodes; ++Code) {
            R.BaseDist[Code] = uint16_t(Dist << 7);
            for (unsigned N = 0; N < (1u << (ExtraDBits[Code] - 7)); ++N)
                R.DistCode[256 + Dist++] = uint8_t(Code);
        }
        for (int I = 0; I < 288; ++I)
            R.FixedLitLen[I] = I < 144 ? 8 : I < 256 ? 9 : I < 280 ? 7 : 8;
        MakeCodes(R.FixedLitLen, 288, R.FixedLitCode);
        std::fill(std::begin(R.FixedDistLen), std::end(R.FixedDistLen), uint8_t(5));
        MakeCodes(R.FixedDistLen, DCodes, R.FixedDistCode);
        return R;
    }();
    return T;
}

inline unsigned DistCodeOf(const TTables& T, unsigned DistMinus1) {
    return DistMinus1 < 256 ? T.DistCode[DistMinus1] : T.DistCode[256 + (DistMinus1 >> 7)];
}

inline uint16_t Load16(const uint8_t* P) {
    uint16_t V;
    std::memcpy(&V, P, 2);
    return V;
}

inline uint32_t Load32(const uint8_t* P) {
    uint32_t V;
    std::memcpy(&V, P, 4);
    return V;
}

inline uint64_t Load64(const uint8_t* P) {
    uint64_t V;
    std::memcpy(&V, P, 8);
    return V;
}

// Bytes A and B have in common, up to MaxMatch. Both may be read up to 8 bytes past MaxMatch.
inline unsigned CommonLength(const uint8_t* A, const uint8_t* B) {
    for (unsigned L = 0; L < 256; L += 8) {
        uint64_t X = Load64(A + L) ^ Load64(B + L);
        if (X) {
            if constexpr (std::endian::native == std::endian::little)
                return L + unsigned(__builtin_ctzll(X) >> 3);
            else
                return L + unsigned(__builtin_clzll(X) >> 3);
        }
    }
    unsigned L = 256;
    while (L < MaxMatch && A[L] == B[L])
        ++L;
    return L;
}

// Code lengths of at most MaxLen bits for the frequencies, as short as the limit allows. Unused symbols
// get 0; at least two symbols get a code, so every decoder accepts the code even for a block with a
// single (or no) symbol of the kind.
void BuildLengths(const uint32_t* Freq, int N, int MaxLen, uint8_t* Len) {
    std::array<uint32_t, LCodes> Weight{};
    std::array<int, LCodes> Sym{};
    int Count = 0;
    for (int I = 0; I < N; ++I) {
        Len[I] = 0;
        Weight[size_t(I)] = Freq[I];
        if (Freq[I])
            Sym[size_t(Count++)] = I;
    }
    for (int I = 0; Count < 2 && I < N; ++I)
        if (!Freq[I]) {
            Weight[size_t(I)] = 1;
            Sym[size_t(Count++)] = I;
        }
    std::sort(Sym.begin(), Sym.begin() + Count, [&](int A, int B) {
        return Weight[size_t(A)] != Weight[size_t(B)] ? Weight[size_t(A)] < Weight[size_t(B)] : A < B;
    });

    // Huffman's tree from two queues: the sorted leaves and the internal nodes in the order they are made
    // (which is ascending too). Nodes 0..Count-1 are the leaves, the rest internal.
    std::array<uint64_t, 2 * LCodes> NodeWeight{};
    std::array<int, 2 * LCodes> Parent{};
    for (int I = 0; I < Count; ++I)
        NodeWeight[size_t(I)] = Weight[size_t(Sym[size_t(I)])];
    int Leaf = 0, Inner = Count, Made = Count;
    auto TakeSmallest = [&] {
        if (Leaf < Count && (Inner == Made || NodeWeight[size_t(Leaf)] <= NodeWeight[size_t(Inner)]))
            return Leaf++;
        return Inner++;
    };
    while (Made < 2 * Count - 1) {
        int A = TakeSmallest(), B = TakeSmallest();
        NodeWeight[size_t(Made)] = NodeWeight[size_t(A)] + NodeWeight[size_t(B)];
        Parent[size_t(A)] = Parent[size_t(B)] = Made;
        ++Made;
    }
    std::array<int, 2 * LCodes> Depth{};
    for (int I = Made - 2; I >= 0; --I)
        Depth[size_t(I)] = Depth[size_t(Parent[size_t(I)])] + 1;

    // Leaves per length, the deepest pulled up to MaxLen. That overfills the code space by Excess units
    // of 2^-MaxLen; each round below hangs one MaxLen leaf under the deepest shorter leaf, which frees
    // exactly one unit, so the code ends up complete.
    std::array<int, MaxBits + 1> PerLength{};
    uint64_t Kraft = 0;
    for (int I = 0; I < Count; ++I) {
        int D = std::min(Depth[size_t(I)], MaxLen);
        ++PerLength[size_t(D)];
        Kraft += uint64_t(1) << (MaxLen - D);
    }
    for (uint64_t Full = uint64_t(1) << MaxLen; Kraft > Full; --Kraft) {
        int B = MaxLen - 1;
        while (PerLength[size_t(B)] == 0)
            --B;
        --PerLength[size_t(B)];
        PerLength[size_t(B + 1)] += 2;
        --PerLength[size_t(MaxLen)];
    }
    // The rarest symbols take the longest codes.
    int I = 0;
    for (int L = MaxLen; L >= 1; --L)
        for (int K = 0; K < PerLength[size_t(L)]; ++K)
            Len[Sym[size_t(I++)]] = uint8_t(L);
}

// Code lengths as the run-length symbols of a dynamic block header: Emit(symbol, extra bits value).
template <class F> void RunLengths(const uint8_t* Len, int N, F&& Emit) {
    for (int I = 0; I < N;) {
        const unsigned L = Len[I];
        int Run = 1;
        while (I + Run < N && Len[I + Run] == L)
            ++Run;
        I += Run;
        if (L == 0) {
            for (; Run >= 11; Run -= std::min(Run, 138))
                Emit(18u, unsigned(std::min(Run, 138) - 11));
            if (Run >= 3) {
                Emit(17u, unsigned(Run - 3));
                Run = 0;
            }
        } else {
            Emit(L, 0u);
            for (--Run; Run >= 3; Run -= std::min(Run, 6))
                Emit(16u, unsigned(std::min(Run, 6) - 3));
        }
        for (; Run > 0; --Run)
            Emit(L, 0u);
    }
}

class TDeflater {
public:
    TDeflater(TDeflateInput& In, TDeflateOutput& Out, int Level)
        : FIn(In), FOut(Out), FLevel(Level >= 1 && Level <= 9 ? Level : 5), FCfg(Levels[FLevel - 1]),
          FT(Tables()),
          // Slack past the window: matches are compared 8 bytes at a time and hashes read 4 bytes.
          FWindow(new uint8_t[WindowSize + MaxMatch + 16]()), FHead(new uint16_t[HashSize]()),
          FPrev(new uint16_t[WSize]()), FSymLit(new uint8_t[LitBufSize]), FSymDist(new uint16_t[LitBufSize]) {
    }

    TDeflateFileType Run();

private:
    static unsigned HashAt(const uint8_t* P) {
        return ((Load32(P) & 0xFFFFFF) * 2654435761u) >> (32 - HashBits);
    }

    // Enters the string at Pos into its chain; returns the previous head (0: none).
    unsigned Insert(unsigned Pos) {
        unsigned H = HashAt(FWindow.get() + Pos);
        unsigned Head = FHead[H];
        FPrev[Pos & WMask] = uint16_t(Head);
        FHead[H] = uint16_t(Pos);
        return Head;
    }

    void FillWindow();
    unsigned LongestMatch(unsigned CurMatch, unsigned BestLen);
    bool TallyLit(uint8_t C) {
        FSymLit[FSymCount] = C;
        FSymDist[FSymCount++] = 0;
        ++FLitFreq[C];
        return BlockFull();
    }
    bool TallyMatch(unsigned Dist, unsigned Length) {
        FSymLit[FSymCount] = uint8_t(Length - MinMatch);
        FSymDist[FSymCount++] = uint16_t(Dist);
        ++FMatches;
        ++FLitFreq[257 + FT.LengthCode[Length - MinMatch]];
        ++FDistFreq[DistCodeOf(FT, Dist - 1)];
        return BlockFull();
    }
    bool BlockFull() const;
    void FlushBlock(bool Last);
    void SendStored(const uint8_t* Data, size_t Count, bool Last);
    void SendSymbols(const uint16_t* LitCode, const uint8_t* LitLen, const uint16_t* DistCode,
                     const uint8_t* DistLen);
    void SendLengths(const uint8_t* Len, int N, const uint16_t* BLCode, const uint8_t* BLLen);

    void PutBits(uint32_t Value, unsigned Count) {
        FBitBuf |= uint64_t(Value) << FBitCount;
        FBitCount += Count;
        if (FBitCount >= 32) {
            for (int I = 0; I < 4; ++I)
                FOutBuf[FOutPos++] = uint8_t(FBitBuf >> (8 * I));
            FBitBuf >>= 32;
            FBitCount -= 32;
            if (FOutPos >= OutBufSize)
                FlushOutput();
        }
    }
    // Pads the bits to a whole byte.
    void AlignBits();
    void PutByte(uint8_t B) {
        FOutBuf[FOutPos++] = B;
        if (FOutPos >= OutBufSize)
            FlushOutput();
    }
    void FlushOutput() {
        size_t N = std::min(FOutPos, OutBufSize);
        FOut.Write(FOutBuf.data(), N);
        std::memmove(FOutBuf.data(), FOutBuf.data() + N, FOutPos - N);
        FOutPos -= N;
    }

    TDeflateInput& FIn;
    TDeflateOutput& FOut;
    const int FLevel;
    const TLevel FCfg;
    const TTables& FT;
    std::unique_ptr<uint8_t[]> FWindow;
    std::unique_ptr<uint16_t[]> FHead;
    std::unique_ptr<uint16_t[]> FPrev;
    std::unique_ptr<uint8_t[]> FSymLit;   // literal, or match length - 3
    std::unique_ptr<uint16_t[]> FSymDist; // 0 for a literal, else the match distance
    unsigned FSymCount = 0;
    unsigned FMatches = 0;
    uint32_t FLitFreq[LCodes] = {};
    uint32_t FDistFreq[DCodes] = {};

    unsigned FStrStart = 0;
    unsigned FLookahead = 0;
    unsigned FMatchStart = 0;
    int64_t FBlockStart = 0; // negative once the block's start has left the window
    bool FEof = false;
    TDeflateFileType FFileType = ftUnknown;

    uint64_t FBitBuf = 0;
    unsigned FBitCount = 0;
    std::array<uint8_t, OutBufSize + 8> FOutBuf{};
    size_t FOutPos = 0;
};

void TDeflater::FillWindow() {
    do {
        if (FStrStart >= WSize + MaxDist) {
            // The lower half is beyond every distance: slide the upper half down.
            std::memcpy(FWindow.get(), FWindow.get() + WSize, WSize);
            FMatchStart -= WSize;
            FStrStart -= WSize;
            FBlockStart -= WSize;
            for (unsigned I = 0; I < HashSize; ++I)
                FHead[I] = uint16_t(FHead[I] >= WSize ? FHead[I] - WSize : 0);
            for (unsigned I = 0; I < WSize; ++I)
                FPrev[I] = uint16_t(FPrev[I] >= WSize ? FPrev[I] - WSize : 0);
        }
        if (FEof)
            return;
        unsigned More = WindowSize - FLookahead - FStrStart;
        size_t N = FIn.Read(FWindow.get() + FStrStart + FLookahead, More);
        if (N == 0)
            FEof = true;
        FLookahead += unsigned(N);
    } while (FLookahead < MinLookahead && !FEof);
}

unsigned TDeflater::LongestMatch(unsigned CurMatch, unsigned BestLen) {
    unsigned Chain = BestLen >= FCfg.Good ? FCfg.Chain >> 2 : FCfg.Chain;
    const unsigned Nice = std::min(FCfg.Nice, FLookahead);
    const uint8_t* Window = FWindow.get();
    const uint16_t* Prev = FPrev.get();
    const uint8_t* Scan = Window + FStrStart;
    const unsigned Limit = FStrStart > MaxDist ? FStrStart - MaxDist : 0;
    const uint16_t ScanStart = Load16(Scan);
    uint16_t ScanEnd = Load16(Scan + BestLen - 1);
    // Where a candidate's last two bytes lie, relative to its position.
    const uint8_t* EndBase = Window + BestLen - 1;
    unsigned MatchStart = FMatchStart;
    do {
        // A longer match must agree at its end so far and at its start; most candidates fail here.
        if (Load16(EndBase + CurMatch) != ScanEnd || Load16(Window + CurMatch) != ScanStart)
            continue;
        unsigned Len = CommonLength(Scan, Window + CurMatch);
        if (Len > BestLen) {
            MatchStart = CurMatch;
            BestLen = Len;
            if (Len >= Nice)
                break;
            ScanEnd = Load16(Scan + BestLen - 1);
            EndBase = Window + BestLen - 1;
        }
    } while ((CurMatch = Prev[CurMatch & WMask]) > Limit && --Chain != 0);
    FMatchStart = MatchStart;
    return std::min(BestLen, FLookahead);
}

bool TDeflater::BlockFull() const {
    if (FSymCount >= LitBufSize - 1)
        return true;
    // A block that compresses well but has few matches is ended early, so the next one gets codes of
    // its own.
    if (FLevel >= 3 && (FSymCount & 0xFFF) == 0) {
        uint64_t OutBits = uint64_t(FSymCount) * 8;
        for (int D = 0; D < DCodes; ++D)
            OutBits += uint64_t(FDistFreq[D]) * (5 + ExtraDBits[D]);
        const int64_t InBytes = int64_t(FStrStart) - FBlockStart;
        if (FMatches < FSymCount / 2 && int64_t(OutBits >> 3) < InBytes / 2)
            return true;
    }
    return false;
}

TDeflateFileType TDeflater::Run() {
    unsigned MatchLength = MinMatch - 1;
    bool MatchAvailable = false;
    for (;;) {
        if (FLookahead < MinLookahead) {
            FillWindow();
            if (FLookahead == 0)
                break;
        }
        unsigned HashHead = FLookahead >= MinMatch ? Insert(FStrStart) : 0;
        unsigned PrevLength = MatchLength;
        unsigned PrevMatch = FMatchStart;
        MatchLength = MinMatch - 1;
        if (HashHead != 0 && PrevLength < FCfg.Lazy && FStrStart - HashHead <= MaxDist) {
            MatchLength = LongestMatch(HashHead, PrevLength);
            if (MatchLength == MinMatch && FStrStart - FMatchStart > TooFar)
                MatchLength = MinMatch - 1;
        }
        if (PrevLength >= MinMatch && MatchLength <= PrevLength) {
            // The match found at the previous position is at least as good: take it.
            const unsigned MaxInsert = FStrStart + FLookahead - MinMatch;
            bool Full = TallyMatch(FStrStart - 1 - PrevMatch, PrevLength);
            FLookahead -= PrevLength - 1;
            for (unsigned N = PrevLength - 2; N > 0; --N)
                if (++FStrStart <= MaxInsert)
                    Insert(FStrStart);
            MatchAvailable = false;
            MatchLength = MinMatch - 1;
            ++FStrStart;
            if (Full)
                FlushBlock(false);
        } else if (MatchAvailable) {
            // This position did better: the previous byte goes out as a literal.
            if (TallyLit(FWindow[FStrStart - 1]))
                FlushBlock(false);
            ++FStrStart;
            --FLookahead;
        } else {
            MatchAvailable = true;
            ++FStrStart;
            --FLookahead;
        }
    }
    if (MatchAvailable)
        TallyLit(FWindow[FStrStart - 1]);
    FlushBlock(true);
    AlignBits();
    if (FOutPos > 0)
        FOut.Write(FOutBuf.data(), FOutPos);
    return FFileType;
}

void TDeflater::AlignBits() {
    while (FBitCount > 0) {
        PutByte(uint8_t(FBitBuf));
        FBitBuf >>= 8;
        FBitCount = FBitCount > 8 ? FBitCount - 8 : 0;
    }
    FBitBuf = 0;
}

void TDeflater::SendStored(const uint8_t* Data, size_t Count, bool Last) {
    // One stored block holds at most 65,535 bytes; an empty last block still needs its header.
    do {
        const size_t N = std::min<size_t>(Count, 0xFFFF);
        Count -= N;
        PutBits(Last && Count == 0 ? 1 : 0, 3);
        AlignBits();
        PutByte(uint8_t(N));
        PutByte(uint8_t(N >> 8));
        PutByte(uint8_t(~N));
        PutByte(uint8_t(~N >> 8));
        for (size_t Done = 0; Done < N;) {
            size_t Piece = std::min(N - Done, OutBufSize - FOutPos);
            std::memcpy(FOutBuf.data() + FOutPos, Data + Done, Piece);
            FOutPos += Piece;
            Done += Piece;
            if (FOutPos >= OutBufSize)
                FlushOutput();
        }
        Data += N;
    } while (Count > 0);
}

void TDeflater::SendSymbols(const uint16_t* LitCode, const uint8_t* LitLen, const uint16_t* DistCode,
                            const uint8_t* DistLen) {
    for (unsigned I = 0; I < FSymCount; ++I) {
        const unsigned Lit = FSymLit[I];
        unsigned Dist = FSymDist[I];
        if (Dist == 0) {
            PutBits(LitCode[Lit], LitLen[Lit]);
            continue;
        }
        const unsigned LC = FT.LengthCode[Lit];
        PutBits(LitCode[257 + LC] | (Lit - FT.BaseLength[LC]) << LitLen[257 + LC],
                LitLen[257 + LC] + ExtraLBits[LC]);
        --Dist;
        const unsigned DC = DistCodeOf(FT, Dist);
        PutBits(DistCode[DC] | (Dist - FT.BaseDist[DC]) << DistLen[DC], DistLen[DC] + ExtraDBits[DC]);
    }
    PutBits(LitCode[EndBlock], LitLen[EndBlock]);
}

void TDeflater::SendLengths(const uint8_t* Len, int N, const uint16_t* BLCode, const uint8_t* BLLen) {
    RunLengths(Len, N, [&](unsigned Sym, unsigned Extra) {
        PutBits(BLCode[Sym], BLLen[Sym]);
        if (ExtraBLBits[Sym])
            PutBits(Extra, ExtraBLBits[Sym]);
    });
}

void TDeflater::FlushBlock(bool Last) {
    if (FFileType == ftUnknown) {
        uint64_t Binary = 0, Ascii = 0;
        for (int C = 0; C < 256; ++C)
            (C <= 6 || C >= 128 ? Binary : Ascii) += FLitFreq[C];
        FFileType = Binary * 4 <= Ascii ? ftText : ftBinary;
    }
    FLitFreq[EndBlock] = 1;

    uint8_t LitLen[LCodes], DistLen[DCodes], BLLen[BLCodes];
    BuildLengths(FLitFreq, LCodes, MaxBits, LitLen);
    BuildLengths(FDistFreq, DCodes, MaxBits, DistLen);
    int HLit = LCodes;
    while (HLit > 257 && LitLen[HLit - 1] == 0)
        --HLit;
    int HDist = DCodes;
    while (HDist > 1 && DistLen[HDist - 1] == 0)
        --HDist;
    uint32_t BLFreq[BLCodes] = {};
    auto Count = [&](unsigned Sym, unsigned) { ++BLFreq[Sym]; };
    RunLengths(LitLen, HLit, Count);
    RunLengths(DistLen, HDist, Count);
    BuildLengths(BLFreq, BLCodes, MaxBLBits, BLLen);
    int HCLen = BLCodes;
    while (HCLen > 4 && BLLen[BLOrder[HCLen - 1]] == 0)
        --HCLen;

    // Sizes in bits of the dynamic and fixed forms.
    uint64_t Extra = 0, Dynamic = 3 + 14 + 3 * uint64_t(HCLen), Fixed = 3;
    for (int S = 0; S < BLCodes; ++S)
        Dynamic += uint64_t(BLFreq[S]) * (BLLen[S] + ExtraBLBits[S]);
    for (int S = 0; S < LCodes; ++S) {
        Dynamic += uint64_t(FLitFreq[S]) * LitLen[S];
        Fixed += uint64_t(FLitFreq[S]) * FT.FixedLitLen[S];
        if (S > EndBlock)
            Extra += uint64_t(FLitFreq[S]) * ExtraLBits[S - 257];
    }
    for (int S = 0; S < DCodes; ++S) {
        Dynamic += uint64_t(FDistFreq[S]) * DistLen[S];
        Fixed += uint64_t(FDistFreq[S]) * 5;
        Extra += uint64_t(FDistFreq[S]) * ExtraDBits[S];
    }
    const uint64_t DynamicBytes = (Dynamic + Extra + 7) >> 3, FixedBytes = (Fixed + Extra + 7) >> 3;
    const uint64_t StoredLen = uint64_t(int64_t(FStrStart) - FBlockStart);

    if (FBlockStart >= 0 && StoredLen + 4 <= std::min(DynamicBytes, FixedBytes)) {
        SendStored(FWindow.get() + FBlockStart, StoredLen, Last);
    } else if (FixedBytes <= DynamicBytes) {
        PutBits(Last ? 3 : 2, 3);
        SendSymbols(FT.FixedLitCode, FT.FixedLitLen, FT.FixedDistCode, FT.FixedDistLen);
    } else {
        uint16_t LitCode[LCodes], DistCode[DCodes], BLCode[BLCodes];
        MakeCodes(LitLen, LCodes, LitCode);
        MakeCodes(DistLen, DCodes, DistCode);
        MakeCodes(BLLen, BLCodes, BLCode);
        PutBits(Last ? 5 : 4, 3);
        PutBits(unsigned(HLit - 257), 5);
        PutBits(unsigned(HDist - 1), 5);
        PutBits(unsigned(HCLen - 4), 4);
        for (int I = 0; I < HCLen; ++I)
            PutBits(BLLen[BLOrder[I]], 3);
        SendLengths(LitLen, HLit, BLCode, BLLen);
        SendLengths(DistLen, HDist, BLCode, BLLen);
        SendSymbols(LitCode, LitLen, DistCode, DistLen);
    }

    std::fill(std::begin(FLitFreq), std::end(FLitFreq), 0u);
    std::fill(std::begin(FDistFreq), std::end(FDistFreq), 0u);
    FSymCount = FMatches = 0;
    FBlockStart = FStrStart;
}

} // namespace

TDeflateFileType Deflate(TDeflateInput& In, TDeflateOutput& Out, int Level) {
    return TDeflater(In, Out, Level).Run();
}
