// The shrink, reduce and implode decoders: the DOS archives' entries, hand-made streams, damaged copies.

#include "archive/AbExcept.h"
#include "archive/Explode.h"
#include "archive/Unreduce.h"
#include "archive/Unshrink.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <random>

using namespace testutil;

namespace {

// Decodes Data as the method and flags of a legacy entry say.
void Decode(unsigned Method, unsigned Flags, const std::string& Data, uint64_t Size, TAbDecodeOutput& Out,
            std::vector<size_t> Chunks = {4096}) {
    TDecodeSource In(Data, std::move(Chunks));
    if (Method == 1)
        Unshrink(In, Out);
    else if (Method <= 5)
        Unreduce(In, Out, Size, int(Method) - 1);
    else
        Explode(In, Out, Size, Flags & 2 ? 2 : 1, Flags & 4 ? 3 : 2);
}

std::string Decode(unsigned Method, unsigned Flags, const std::string& Data, uint64_t Size,
                   std::vector<size_t> Chunks = {4096}) {
    TDecodeSink Out;
    Decode(Method, Flags, Data, Size, Out, std::move(Chunks));
    return Out.Bytes;
}

std::vector<TLocalEntry> LegacyEntries(const std::string& Archive) {
    std::vector<TLocalEntry> Entries = ReadLocalEntries(Pkzip(Archive));
    std::erase_if(Entries, [](const TLocalEntry& E) { return E.Method < 1 || E.Method > 6; });
    return Entries;
}

const char* const Archives[] = {"PKZ80A1", "PKZ110ES", "PKZ80B1",  "PKZ80B2",
                                "PKZ80B3", "PKZ80B4",  "PKZ110EI", "PKZ110"};

} // namespace

// Tiny, empty and odd-sized chunks split codes at every bit position.
TEST(LegacyDecoders, EveryEntryOfTheDosArchives) {
    for (const char* Archive : Archives) {
        const auto Entries = LegacyEntries(std::string(Archive) + ".ZIP");
        EXPECT_GE(Entries.size(), 7u) << Archive;
        for (const TLocalEntry& E : Entries)
            EXPECT_TRUE(Decode(E.Method, E.Flags, E.Data, E.UncompressedSize, {1, 0, 7, 3, 4096, 9}) ==
                        DosOriginals().at(E.Name))
                << Archive << " " << E.Name;
    }
}

// Codes grow to 13 bits; a fifth increase would outgrow the tables and ends the entry.
TEST(Unshrink, CodesGrowToThirteenBitsOnly) {
    using TCodes = std::vector<std::pair<unsigned, unsigned>>; // (code, code size)
    auto Run = [](const TCodes& Codes) {
        TLsbBitWriter W;
        for (auto [Code, Size] : Codes)
            W.Put(Code, Size);
        return Decode(1, 0, W.Bytes(), 0);
    };
    TCodes Grow = {{'x', 9}};
    for (unsigned Size = 9; Size < 13; ++Size)
        Grow.insert(Grow.end(), {{256, Size}, {1, Size}});
    TCodes Used = Grow;
    Used.insert(Used.end(), {{'z', 13}, {257, 13}});
    EXPECT_EQ(Run(Used), "xzxz");
    Grow.insert(Grow.end(), {{256, 13}, {1, 13}, {'z', 14}, {'z', 14}});
    EXPECT_EQ(Run(Grow), "x");
}

// Reading before the first byte, an index past a follower set, factors out of range.
TEST(Unreduce, HandMadeStreams) {
    // Empty follower sets, then symbols of 8 plain bits.
    auto Reduced = [](const std::string& Symbols) {
        TLsbBitWriter W;
        for (int C = 0; C < 256; ++C)
            W.Put(0, 6);
        for (char S : Symbols)
            W.Put(uint8_t(S), 8);
        return W.Bytes();
    };
    // A reference before the first byte reads zeros (factor 1: V = 0x01 copies 4 bytes from distance 10).
    EXPECT_EQ(Decode(2, 0, Reduced("\x90\x01\x09z"), 5), std::string(4, '\0') + "z");
    // After 'a' the set is {'b', 'c', 'd'}: flag 0 and a 2-bit index pick one; index 3 lies past the set.
    TLsbBitWriter W;
    for (int C = 255; C >= 0; --C) {
        W.Put(C == 'a' ? 3 : 0, 6);
        if (C == 'a')
            W.Put('b', 8).Put('c', 8).Put('d', 8);
    }
    W.Put('a', 8).Put(0, 1).Put(2, 2).Put('a', 8).Put(1, 1).Put('z', 8).Put('a', 8).Put(0, 1).Put(3, 2);
    EXPECT_EQ(Decode(2, 0, W.Bytes(), 6), std::string("adaza") + '\0');
    for (int Factor : {0, 5, -1}) {
        TDecodeSource In(std::string(100, '\0'));
        TDecodeSink Out;
        EXPECT_THROW(Unreduce(In, Out, 10, Factor), EAbZipInvalidFactor) << Factor;
    }
}

// Three trees and the 8 KB dictionary (matches of at least 3, seven low distance bits): literals 0 and 1
// have the codes 1 and 01111111, every other v the nine-bit code 255 - v; in the uniform trees v has the
// six-bit code 63 - v.
TEST(Explode, HandMadeStreams) {
    TLsbBitWriter W;
    const std::string Uniform = "\xF5\xF5\xF5\xF5";
    for (const std::string& Tree :
         {std::string("\0\x07", 2) + std::string(15, '\xF8') + "\xD8", Uniform, Uniform}) {
        W.Put(unsigned(Tree.size() - 1), 8);
        for (char B : Tree)
            W.Put(uint8_t(B), 8);
    }
    std::string Want = RandomBytes(300, 5) + std::string("\1\0", 2);
    for (uint8_t V : Want)
        V == 0 ? W.Put(1, 1).Code(1, 1) : V == 1 ? W.Put(1, 1).Code(127, 8) : W.Put(1, 1).Code(255u - V, 9);
    auto Match = [&W](unsigned LengthCode, unsigned Distance, int Extra = -1) {
        W.Put(0, 1).Put((Distance - 1) & 127, 7).Code(63 - ((Distance - 1) >> 7), 6).Code(LengthCode, 6);
        if (Extra >= 0)
            W.Put(unsigned(Extra), 8);
    };
    Match(63, 2);     // length symbol 0: 3 bytes
    Match(56, 290);   // symbol 7: 10 bytes, 290 = 2 * 128 + 33 + 1
    Match(62, 8000);  // symbol 1, far before the first byte: zeros
    Match(0, 1, 255); // symbol 63 takes an extra byte: 63 + 255 + 3
    for (int K = 0; K < 3; ++K)
        Want += Want[Want.size() - 2];
    Want += Want.substr(Want.size() - 290, 10) + std::string(4 + 321, '\0');
    EXPECT_TRUE(Decode(6, 6, W.Bytes(), Want.size()) == Want);
    EXPECT_EQ(Decode(6, 6, W.Bytes(), 303).size(),
              305u); // the stated size stops only after the copy under way

    // A description of 4,096 entries for a 64-entry tree stays inside the tree.
    TLsbBitWriter Overlong;
    Overlong.Put(255, 8);
    for (int I = 0; I < 256; ++I)
        Overlong.Put(0xFF, 8);
    Overlong.Put(3, 8);
    for (int I = 0; I < 4; ++I)
        Overlong.Put(0xF5, 8);
    for (int I = 0; I < 100; ++I)
        Overlong.Put(1, 9);
    EXPECT_LE(Decode(6, 0, Overlong.Bytes(), 1000).size(), 1000u + 66);
}

// Damaged streams end (inside the tables: CI runs this under the sanitizers), output bounded by the input.
TEST(LegacyDecoders, DamagedStreamsEndSafely) {
    struct TCounter : TAbDecodeOutput {
        void Write(const uint8_t*, size_t Count) override { Total += Count; }
        uint64_t Total = 0;
    };
    std::vector<TLocalEntry> Seeds;
    for (const char* Archive : Archives)
        for (TLocalEntry& E : LegacyEntries(std::string(Archive) + ".ZIP"))
            if (E.UncompressedSize < 20000)
                Seeds.push_back(std::move(E));
    ASSERT_GE(Seeds.size(), 20u);
    std::mt19937 Gen(8);
    for (int Round = 0; Round < 2500; ++Round) {
        TLocalEntry E = Seeds[Gen() % Seeds.size()];
        if (Round % 2)
            E.Flags = Gen() & 6; // imploded data read with the other dictionary and tree settings
        std::string& Data = E.Data;
        if (Round % 3 == 0)
            Data.resize(Gen() % Data.size());
        else if (Round % 3 == 1)
            Data = RandomBytes(Gen() % 4000, unsigned(Gen()));
        else
            for (int I = 0, N = 1 + int(Gen() % 8); I < N; ++I)
                Data[Gen() % Data.size()] ^= char(1 << (Gen() % 8));
        // A huge stated size leaves the end of the input as the only stop.
        const uint64_t Size = Round % 10 == 0 ? (uint64_t(1) << 40) : E.UncompressedSize;
        TCounter Out;
        Decode(E.Method, E.Flags, Data, Size, Out, {1 + Gen() % 4096});
        if (Size == E.UncompressedSize && E.Method != 1) {
            EXPECT_LE(Out.Total, Size + 385);
        }
        EXPECT_LE(Out.Total, Data.size() * 8 * 8192 + 8192) << "round " << Round;
    }
}
