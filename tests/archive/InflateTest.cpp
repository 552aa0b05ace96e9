#include "archive/Inflate.h"
#include "archive/AbExcept.h"

#include "TestUtil.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <random>

using namespace testutil;

namespace {

std::string Unpack(const std::string& Stream, std::vector<size_t> Chunks = {4096}) {
    TDecodeSource In(Stream, std::move(Chunks));
    TDecodeSink Out;
    Inflate(In, Out);
    EXPECT_FALSE(In.AskedPastEnd) << "asked for input after the end of the stream";
    return Out.Bytes;
}

// Writes a deflate stream bit by bit, least significant bit first.
class TBitWriter {
public:
    TBitWriter& Bits(uint64_t Value, unsigned N) {
        for (; N; Value >>= 1, --N, ++Count)
            Out.Put(uint32_t(Value & 1), 1);
        return *this;
    }
    // A Huffman code goes out most significant bit first.
    TBitWriter& Code(uint32_t Code, unsigned Len) {
        for (unsigned I = Len; I-- > 0;)
            Bits((Code >> I) & 1, 1);
        return *this;
    }
    TBitWriter& Header(bool Last, unsigned Type) { return Bits(Last, 1).Bits(Type, 2); }
    // Fixed-code literal/length symbol and distance symbol, with their extra bits.
    TBitWriter& Fixed(unsigned Sym) {
        if (Sym < 144)
            return Code(0x30 + Sym, 8);
        if (Sym < 256)
            return Code(0x190 + Sym - 144, 9);
        if (Sym < 280)
            return Code(Sym - 256, 7);
        return Code(0xC0 + Sym - 280, 8);
    }
    TBitWriter& FixedDist(unsigned Sym, uint32_t Extra = 0, unsigned ExtraBits = 0) {
        return Code(Sym, 5).Bits(Extra, ExtraBits);
    }
    TBitWriter& Stored(bool Last, const std::string& Data, uint16_t NLen) {
        Header(Last, 0);
        while (Count % 8)
            Bits(0, 1);
        Bits(uint32_t(Data.size()), 16).Bits(NLen, 16);
        for (char C : Data)
            Bits(uint8_t(C), 8);
        return *this;
    }
    TBitWriter& Stored(bool Last, const std::string& Data) {
        return Stored(Last, Data, uint16_t(~Data.size()));
    }
    std::string Str() const { return Out.Bytes(); }

private:
    TLsbBitWriter Out;
    size_t Count = 0;
};

// Canonical codes for the given lengths (as RFC 1951 assigns them).
std::vector<uint32_t> Canonical(const std::vector<uint8_t>& Lens) {
    uint32_t Counts[16] = {}, Next[16] = {};
    for (uint8_t L : Lens)
        ++Counts[L];
    Counts[0] = 0;
    for (unsigned L = 1, Code = 0; L < 16; ++L)
        Next[L] = Code = (Code + Counts[L - 1]) << 1;
    std::vector<uint32_t> Codes(Lens.size());
    for (size_t I = 0; I < Lens.size(); ++I)
        if (Lens[I])
            Codes[I] = Next[Lens[I]]++;
    return Codes;
}

// A dynamic block header. The code-length code gives 4-bit codes to lengths 0-14 and to symbol 18,
// which the header never uses; each length is written as its own code.
struct TDynamic {
    std::vector<uint8_t> Lit, Dist;
    std::vector<uint32_t> LitCodes, DistCodes;
    TDynamic(std::vector<uint8_t> L, std::vector<uint8_t> D)
        : Lit(std::move(L)), Dist(std::move(D)), LitCodes(Canonical(Lit)), DistCodes(Canonical(Dist)) {}
    static std::vector<uint8_t> LengthCodeLens() {
        std::vector<uint8_t> Cl(19, 0);
        std::fill(Cl.begin(), Cl.begin() + 15, 4);
        Cl[18] = 4;
        return Cl;
    }
    static void CodeLengthCode(TBitWriter& W) {
        static const unsigned Order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        const auto Cl = LengthCodeLens();
        for (unsigned I : Order)
            W.Bits(Cl[I], 3);
    }
    void Write(TBitWriter& W, bool Last) const {
        W.Header(Last, 2).Bits(unsigned(Lit.size() - 257), 5).Bits(unsigned(Dist.size() - 1), 5).Bits(15, 4);
        CodeLengthCode(W);
        const auto ClCodes = Canonical(LengthCodeLens());
        for (const auto* Lens : {&Lit, &Dist})
            for (uint8_t L : *Lens)
                W.Code(ClCodes[L], 4);
    }
    void Sym(TBitWriter& W, unsigned S) const { W.Code(LitCodes[S], Lit[S]); }
    void DistSym(TBitWriter& W, unsigned S) const { W.Code(DistCodes[S], Dist[S]); }
};

// A last dynamic block that starts with the literal "a" and a length-3 code, its distance to follow.
TBitWriter AThenLength3(const TDynamic& D) {
    TBitWriter W;
    D.Write(W, true);
    D.Sym(W, 'a');
    D.Sym(W, 257);
    return W;
}

std::vector<uint8_t> Lengths(size_t Count, std::map<unsigned, uint8_t> Set) {
    std::vector<uint8_t> L(Count, 0);
    for (auto [Sym, Len] : Set)
        L[Sym] = Len;
    return L;
}

void ExpectDamaged(const std::string& Stream) {
    TDecodeSource In(Stream);
    TDecodeSink Out;
    EXPECT_THROW(Inflate(In, Out), EAbZipInflateBlock);
}

struct TSample {
    const char* Name;
    std::string Data;
};

std::vector<TSample> Samples() {
    std::string Mixed = SampleText(40000, 3) + RandomBytes(9000, 4) + SampleText(30000, 3);
    std::string Runs;
    for (int I = 0; I < 300; ++I)
        Runs += std::string(size_t(I * 7 % 301), char('a' + I % 26));
    return {{"empty", ""},
            {"one byte", "x"},
            {"text", SampleText(60000, 1)},
            {"random", RandomBytes(70000, 2)},
            {"mixed", Mixed},
            {"runs", Runs},
            {"zeros", std::string(50000, 0)},
            {"exactly 32768", SampleText(32768, 5)},
            {"32769", RandomBytes(32769, 6)},
            {"window plus one", SampleText(32769, 9) + SampleText(32769, 9)}};
}

} // namespace

TEST(InflateZlib, EveryLevelAndStrategyDecodesByteIdentical) {
    const int Strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    for (const auto& S : Samples())
        for (int Strategy : Strategies)
            for (int Level = 0; Level <= 9; ++Level) {
                // Only the default strategy makes different streams at every level.
                if (Strategy != Z_DEFAULT_STRATEGY && Level != 1 && Level != 9)
                    continue;
                const std::string Stream = RawDeflate(S.Data, Level, Strategy);
                ASSERT_EQ(Unpack(Stream), S.Data) << S.Name << " level " << Level << " strategy " << Strategy;
            }
}

TEST(InflateZlib, ChunkBoundariesDoNotChangeTheResult) {
    const std::string Data = SampleText(40000, 7) + RandomBytes(5000, 8) + SampleText(30000, 7);
    for (int Strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
        const std::string Stream = RawDeflate(Data, 6, Strategy);
        for (const std::vector<size_t>& Chunks :
             {std::vector<size_t>{}, {1}, {7}, {4096}, {3, 0, 9, 4093, 1, 0, 15, 8}, {65536}})
            EXPECT_EQ(Unpack(Stream, Chunks), Data) << Chunks.size() << " chunk sizes, strategy " << Strategy;
    }
    // Stored blocks straddling chunks.
    const std::string Random = RandomBytes(100000, 9);
    for (const std::vector<size_t>& Chunks : {std::vector<size_t>{1}, {4095}, {5, 70000}})
        EXPECT_EQ(Unpack(RawDeflate(Random, 0), Chunks), Random);
}

// The deflated entries of the DOS archives, checked against the stored copies of the same files.
TEST(InflateZlib, DeflatedEntriesOfTheDosArchives) {
    auto Entries = [](const std::string& Archive) {
        return ReadLocalEntries(FixturesDir() + "/pkzip/" + Archive);
    };
    std::map<std::string, std::string> Originals;
    for (auto& E : Entries("PKZ204E0.ZIP"))
        Originals[E.Name] = E.Data;
    ASSERT_EQ(Originals.size(), 15u);
    int Deflated = 0;
    for (const char* Archive : {"PKZ204EX.ZIP", "PKZ204EN.ZIP", "PKZ204EF.ZIP", "PKZ204ES.ZIP"})
        for (auto& E : Entries(Archive)) {
            if (E.Method != 8)
                continue;
            ++Deflated;
            const std::string Out = Unpack(E.Data);
            EXPECT_EQ(Out, Originals[E.Name]) << Archive << " " << E.Name;
            EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(Out.data()), uInt(Out.size())), E.Crc);
        }
    EXPECT_EQ(Deflated, 32);
}

TEST(InflateBlocks, StoredBlocks) {
    EXPECT_EQ(Unpack(TBitWriter().Stored(true, "").Str()), "");
    EXPECT_EQ(Unpack(TBitWriter().Stored(false, "ab").Stored(false, "").Stored(true, "cde").Str()), "abcde");
    ExpectDamaged(TBitWriter().Stored(true, "abc", 0xFFFF).Str());
    ExpectDamaged(TBitWriter().Stored(true, "abc", 0x0003).Str());
}

TEST(InflateBlocks, BlockTypeThreeFailsAfterWritingWhatCameBefore) {
    TDecodeSource In(TBitWriter().Stored(false, "kept").Header(true, 3).Bits(0, 16).Str());
    TDecodeSink Out;
    EXPECT_THROW(Inflate(In, Out), EAbZipInflateBlock);
    EXPECT_EQ(Out.Bytes, "kept");
}

TEST(InflateBlocks, MatchesRepeatAndReachIntoTheZeroWindow) {
    // Distance 1, length 258: the previous byte 258 times.
    TBitWriter Run;
    Run.Header(true, 1).Fixed('z').Fixed(285).FixedDist(0).Fixed(256);
    EXPECT_EQ(Unpack(Run.Str()), std::string(259, 'z'));

    // Distance 32768 across blocks: served from the window the stored block filled.
    const std::string Block = RandomBytes(32768, 11);
    TBitWriter Far;
    Far.Stored(false, Block).Header(true, 1).Fixed(285).FixedDist(29, 8191, 13).Fixed(256);
    EXPECT_EQ(Unpack(Far.Str()), Block + Block.substr(0, 258));

    // Distance 100 after one byte, and distance 32768 as the very first code: zeros.
    TBitWriter Before;
    Before.Header(true, 1)
        .Fixed('A')
        .Fixed(264)
        .FixedDist(13, 3, 5)
        .Fixed(285)
        .FixedDist(29, 8191, 13)
        .Fixed(256);
    EXPECT_EQ(Unpack(Before.Str()), "A" + std::string(10 + 258, '\0'));
}

TEST(InflateBlocks, FixedCodesThatMustNotOccur) {
    for (unsigned Sym : {286u, 287u}) {
        TBitWriter W;
        W.Header(true, 1).Fixed('a').Fixed(Sym).FixedDist(0).Fixed(256);
        ExpectDamaged(W.Str());
    }
    for (unsigned Dist : {30u, 31u}) {
        TBitWriter W;
        W.Header(true, 1).Fixed('a').Fixed(257).FixedDist(Dist).Fixed(256);
        ExpectDamaged(W.Str());
    }
}

TEST(InflateDynamic, SingleOneBitDistanceCodeAndOneBitLiteralCode) {
    const TDynamic D(Lengths(258, {{'a', 1}, {256, 2}, {257, 2}}), {1});
    TBitWriter W = AThenLength3(D);
    D.DistSym(W, 0);
    D.Sym(W, 256);
    EXPECT_EQ(Unpack(W.Str()), "aaaa");
    // The other value of the one bit is no code.
    ExpectDamaged(AThenLength3(D).Code(1, 1).Bits(0, 32).Str());

    // A literal/length code made of the end-of-block code alone, one bit long.
    const TDynamic Empty(Lengths(257, {{256, 1}}), {0});
    TBitWriter E;
    Empty.Write(E, false);
    Empty.Sym(E, 256);
    E.Stored(true, "!");
    EXPECT_EQ(Unpack(E.Str()), "!");
}

TEST(InflateDynamic, BadCodeSetsFail) {
    auto Block = [](std::vector<uint8_t> Lit, std::vector<uint8_t> Dist) {
        TBitWriter W;
        TDynamic(std::move(Lit), std::move(Dist)).Write(W, true);
        return W.Bits(0, 32).Str();
    };
    const auto Fine = Lengths(258, {{'a', 1}, {256, 2}, {257, 2}});
    ExpectDamaged(Block(Lengths(258, {{'a', 1}, {'b', 1}, {256, 1}}), {1})); // over-subscribed
    ExpectDamaged(Block(Lengths(258, {{'a', 1}, {256, 2}}), {1}));           // incomplete
    ExpectDamaged(Block(Fine, {1, 2}));                                      // incomplete distances
    ExpectDamaged(Block(Fine, {1, 1, 1}));                                   // over-subscribed distances

    // A length code while the distance code is empty.
    ExpectDamaged(AThenLength3(TDynamic(Fine, {0})).Bits(0, 32).Str());

    // Too many literal/length or distance codes announced.
    for (auto [HLit, HDist] : {std::pair{30u, 0u}, {31u, 0u}, {0u, 30u}, {0u, 31u}})
        ExpectDamaged(
            TBitWriter().Header(true, 2).Bits(HLit, 5).Bits(HDist, 5).Bits(15, 4).Bits(0, 64).Str());

    // Code-length codes that are over-subscribed, incomplete, or empty.
    for (uint32_t Len : {1u, 2u, 0u}) {
        TBitWriter W;
        W.Header(true, 2).Bits(0, 5).Bits(0, 5).Bits(15, 4);
        for (int I = 0; I < 19; ++I)
            W.Bits(I < 3 ? Len : 0, 3);
        ExpectDamaged(W.Bits(0, 64).Str());
    }

    // A repeat running past the announced lengths: 138 zeros twice for 258 codes.
    TBitWriter Past;
    Past.Header(true, 2).Bits(0, 5).Bits(0, 5).Bits(15, 4);
    TDynamic::CodeLengthCode(Past);
    const auto ClCodes = Canonical(TDynamic::LengthCodeLens());
    Past.Code(ClCodes[18], 4).Bits(127, 7).Code(ClCodes[18], 4).Bits(127, 7);
    ExpectDamaged(Past.Bits(0, 32).Str());
}

TEST(InflateInput, EndingInsideTheLastBlockEndsTheEntryEarly) {
    const std::string Data = SampleText(5000, 12);
    const std::string Stream = RawDeflate(Data, 6); // one block
    auto Cut = [](const std::string& S, size_t Keep) {
        TDecodeSource In(S.substr(0, Keep), {1000});
        TDecodeSink Out;
        Inflate(In, Out);
        return Out.Bytes;
    };
    for (size_t Keep : {Stream.size() / 2, Stream.size() / 5}) {
        const std::string Out = Cut(Stream, Keep);
        EXPECT_LT(Out.size(), Data.size());
        EXPECT_EQ(Out, Data.substr(0, Out.size()));
    }
    // Without the byte that holds the end-of-block code all data may still be there.
    EXPECT_EQ(Cut(Stream, Stream.size() - 1), Data.substr(0, Cut(Stream, Stream.size() - 1).size()));
    EXPECT_EQ(Cut(TBitWriter().Stored(true, "abcdef").Str(), 8), "abc");
}

TEST(InflateInput, EndingOutsideTheLastBlockFails) {
    ExpectDamaged("");
    ExpectDamaged(TBitWriter().Stored(false, "abc").Str());                 // no last block
    ExpectDamaged(TBitWriter().Stored(false, "abcdef").Str().substr(0, 8)); // cut in a block before it
    ExpectDamaged(TBitWriter().Stored(true, "abc").Str().substr(0, 3));     // cut in a block header
}

TEST(InflateFuzz, DamagedStreamsEndNormallyOrWithTheLibrarysError) {
    std::vector<std::string> Streams;
    for (unsigned Seed = 0; Seed < 4; ++Seed) {
        const std::string Text = SampleText(1500 + Seed * 700, Seed);
        Streams.push_back(RawDeflate(Text, 9));
        Streams.push_back(RawDeflate(Text + RandomBytes(300, Seed), 1, Z_FIXED));
        Streams.push_back(RawDeflate(Text, 6, Z_HUFFMAN_ONLY));
        Streams.push_back(RawDeflate(RandomBytes(2000, Seed) + Text.substr(0, 500), 0));
    }
    std::mt19937 Gen(2024);
    int Failed = 0, Ended = 0;
    for (int Round = 0; Round < 3000; ++Round) {
        std::string S = Streams[Gen() % Streams.size()];
        switch (Round % 4) {
        case 0:
            for (unsigned Flips = 1 + Gen() % 4; Flips--;)
                S[Gen() % S.size()] ^= char(1 << (Gen() % 8));
            break;
        case 1:
            S.resize(Gen() % S.size());
            break;
        case 2: {
            const size_t At = Gen() % S.size(), Len = std::min<size_t>(1 + Gen() % 16, S.size() - At);
            S.replace(At, Len, RandomBytes(Len, Gen()));
            break;
        }
        default:
            S = RandomBytes(1 + Gen() % 600, Gen());
        }
        TDecodeSource In(S, {1 + Gen() % 300});
        TDecodeSink Out;
        try {
            Inflate(In, Out);
            ++Ended;
        } catch (const EAbZipInflateBlock&) {
            ++Failed;
        }
    }
    EXPECT_GT(Failed, 800);
    EXPECT_GT(Ended, 100);
}
