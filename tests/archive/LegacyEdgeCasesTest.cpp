// Hand-made shrunk, reduced and imploded streams for the cases the DOS archives may not reach.

#include "archive/Explode.h"
#include "archive/Unreduce.h"
#include "archive/Unshrink.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <vector>

using namespace testutil;

namespace {

std::string RunUnshrink(const std::string& Data) {
    TDecodeSource In(Data);
    TDecodeSink Out;
    Unshrink(In, Out);
    return Out.Bytes;
}

std::string RunUnreduce(const std::string& Data, uint64_t Size, int Factor) {
    TDecodeSource In(Data);
    TDecodeSink Out;
    Unreduce(In, Out, Size, Factor);
    return Out.Bytes;
}

std::string RunExplode(const std::string& Data, uint64_t Size, uint32_t Dictionary, int Trees) {
    TDecodeSource In(Data);
    TDecodeSink Out;
    Explode(In, Out, Size, Dictionary, Trees);
    return Out.Bytes;
}

// ---- Unshrink

// Shrink codes: each pair is (code, code size).
using TShrinkCodes = std::vector<std::pair<unsigned, unsigned>>;
std::string ShrinkCodes(const TShrinkCodes& Codes) {
    TLsbBitWriter W;
    for (auto [Code, Size] : Codes)
        W.Put(Code, Size);
    return W.Bytes();
}

TEST(Unshrink, StatedCases) {
    struct {
        const char* Why;
        TShrinkCodes Codes;
        std::string Out;
    } const Cases[] = {
        {"empty input", {}, ""},
        {"fewer bits than one code", {{'a', 8}}, ""},
        // 257 before it exists is "a" + "a", then 258 likewise "aa" + "a".
        {"code used in the step that defines it", {{'a', 9}, {257, 9}, {258, 9}}, "aaaaaa"},
        // 257 = "ab", then 259 = "ab" + 'a' before it exists.
        {"code used in its step after others", {{'a', 9}, {'b', 9}, {257, 9}, {259, 9}}, "abababa"},
        {"unknown sub-code ignored", {{'a', 9}, {256, 9}, {7, 9}, {'b', 9}, {257, 9}}, "abab"},
        // The first code is not a byte and the second is free: its expansion keeps returning to the first.
        {"chain that never ends", {{300, 9}, {301, 9}, {'a', 9}}, std::string(1, char(300 & 0xFF))},
        // 257 "ab", 258 "ba", 259 "abb", 260 "baa"; the clear frees the leaves 259 and 260 and keeps 257
        // and 258, which are prefixes. 259 is then redefined first (used while being defined), 260 next.
        {"partial clear frees leaves only",
         {{'a', 9},
          {'b', 9},
          {257, 9},
          {258, 9},
          {257, 9},
          {256, 9},
          {2, 9},
          {259, 9},
          {258, 9},
          {260, 9},
          {259, 9}},
         std::string("a") + "b" + "ab" + "ba" + "ab" + "aba" + "ba" + "abab" + "aba"},
    };
    for (const auto& C : Cases)
        EXPECT_EQ(RunUnshrink(ShrinkCodes(C.Codes)), C.Out) << C.Why;
}

TEST(Unshrink, CodeSizeGrowsToThirteenBitsAndNoFurther) {
    // 'x', then four times sub-code 1, each widening the codes that follow by one bit.
    TShrinkCodes Codes = {{'x', 9}};
    for (unsigned Size = 9; Size < 13; ++Size)
        Codes.insert(Codes.end(), {{256, Size}, {1, Size}});
    TShrinkCodes Grown = Codes;
    Grown.insert(Grown.end(), {{'z', 13}, {257, 13}});
    EXPECT_EQ(RunUnshrink(ShrinkCodes(Grown)), "xzxz");
    // A fifth increase would make codes the tables cannot hold: the entry ends there.
    Codes.insert(Codes.end(), {{256, 13}, {1, 13}, {'z', 14}, {'z', 14}});
    EXPECT_EQ(RunUnshrink(ShrinkCodes(Codes)), "x");
}

// ---- Unreduce

// Follower sets (Sets[c] for c listed; every other set empty) followed by Symbols of 8 plain bits each.
std::string Reduced(const std::map<unsigned, std::string>& Sets, const std::string& Symbols) {
    TLsbBitWriter W;
    for (int C = 255; C >= 0; --C) {
        const auto It = Sets.find(unsigned(C));
        const std::string Followers = It == Sets.end() ? "" : It->second;
        W.Put(unsigned(Followers.size()), 6);
        for (char F : Followers)
            W.Put(uint8_t(F), 8);
    }
    // Every symbol after a byte with a set of followers is sent as a plain byte (flag 1).
    char Last = 0;
    for (char S : Symbols) {
        if (Sets.count(uint8_t(Last)))
            W.Put(1, 1);
        W.Put(uint8_t(S), 8);
        Last = S;
    }
    return W.Bytes();
}

const std::string Dle = "\x90";

TEST(Unreduce, StatedCases) {
    const std::string Zero(1, '\0');
    struct {
        const char* Why;
        std::string Symbols;
        uint64_t Size;
        int Factor;
        std::string Out;
    } const Cases[] = {
        {"empty follower sets read plain bytes", "Hello", 5, 1, "Hello"},
        {"DLE followed by 0 is one DLE", "a" + Dle + Zero + "b", 3, 2, "a" + Dle + "b"},
        // Factor 1: V = 0x7E copies 0x7E + 3 bytes; V = 0x7F adds the next byte to the length.
        {"no length byte below a full mask", "a" + Dle + "\x7E" + Zero, 130, 1, std::string(130, 'a')},
        {"length byte with a full mask", "a" + Dle + "\x7F\x05" + Zero, 136, 1, std::string(136, 'a')},
        {"reference before the first byte", Dle + "\x01\x09" + "z", 5, 1, std::string(4, '\0') + "z"},
        {"stops at the stated size after the copy", "ab" + Dle + "\x05\x01" + "cd", 3, 1, "ababababab"},
    };
    for (const auto& C : Cases)
        EXPECT_EQ(RunUnreduce(Reduced({}, C.Symbols), C.Size, C.Factor), C.Out) << C.Why;
}

TEST(Unreduce, DistanceHighBitsPerFactor) {
    // V = 0xC1 = 1100 0001 with low byte 0x00: the top Factor bits of V are the distance's high byte, the
    // rest the length.
    struct {
        int Factor;
        unsigned High, Length;
    } const Cases[] = {{1, 1, 0x41}, {2, 3, 1}, {3, 6, 1}, {4, 12, 1}};
    for (auto [Factor, High, Length] : Cases) {
        SCOPED_TRACE(Factor);
        std::string Data = "x" + std::string(High * 256, '.') + Dle + "\xC1" + std::string(1, '\0');
        const std::string Out = RunUnreduce(Reduced({}, Data), 1 + High * 256 + Length + 3, Factor);
        ASSERT_EQ(Out.size(), 1 + High * 256 + Length + 3);
        EXPECT_EQ(Out[1 + High * 256], 'x');
    }
}

TEST(Unreduce, FollowerSetsIndexTheNextByte) {
    // After 'a' the set is {'b', 'c', 'd'}: a 0 flag and a 2-bit index pick one. Index 3 lies past the set
    // (only damaged data sends it) and reads as 0.
    TLsbBitWriter W;
    for (int C = 255; C >= 0; --C) {
        if (C == 'a') {
            W.Put(3, 6);
            for (char F : std::string("bcd"))
                W.Put(uint8_t(F), 8);
        } else {
            W.Put(0, 6);
        }
    }
    W.Put('a', 8); // after the start value 0, whose set is empty
    W.Put(0, 1);
    W.Put(2, 2); // 'd'
    W.Put('a', 8);
    W.Put(1, 1);
    W.Put('z', 8); // a plain byte despite the set
    W.Put('a', 8);
    W.Put(0, 1);
    W.Put(3, 2);
    EXPECT_EQ(RunUnreduce(W.Bytes(), 6, 1), std::string("adaza") + '\0');
}

// ---- Explode

// Puts a Shannon-Fano code: its bits most significant first.
void PutCode(TLsbBitWriter& W, unsigned Code, unsigned Length) {
    for (unsigned I = Length; I-- > 0;)
        W.Put(Code >> I & 1, 1);
}

void PutTree(TLsbBitWriter& W, const std::string& Description) {
    W.Put(unsigned(Description.size() - 1), 8);
    for (char B : Description)
        W.Put(uint8_t(B), 8);
}

// Literal tree: 0 has the one-bit code 1, 1 the eight-bit code 01111111, and every other value v the nine-bit
// code 255 - v.
const std::string LiteralTree = std::string("\0\x07", 2) + std::string(15, '\xF8') + "\xD8";
void PutLiteral(TLsbBitWriter& W, uint8_t V) {
    if (V == 0)
        PutCode(W, 1, 1);
    else if (V == 1)
        PutCode(W, 127, 8);
    else
        PutCode(W, 255u - V, 9);
}
// Length and distance trees: every value v has the six-bit code 63 - v.
const std::string UniformTree = "\xF5\xF5\xF5\xF5";
void PutUniform(TLsbBitWriter& W, unsigned V) {
    PutCode(W, 63 - V, 6);
}

struct TImplodeWriter {
    TLsbBitWriter W;
    bool LiteralTree;
    unsigned LowBits;
    void Literal(uint8_t V) {
        W.Put(1, 1);
        if (LiteralTree)
            PutLiteral(W, V);
        else
            W.Put(V, 8);
    }
    // Length symbol and distance - 1 as sent.
    void Match(unsigned LengthSymbol, unsigned Distance, unsigned Extra = 0) {
        W.Put(0, 1);
        W.Put((Distance - 1) & ((1u << LowBits) - 1), LowBits);
        PutUniform(W, (Distance - 1) >> LowBits);
        PutUniform(W, LengthSymbol);
        if (LengthSymbol == 63)
            W.Put(Extra, 8);
    }
};

TImplodeWriter ThreeTrees8K() {
    TImplodeWriter I{{}, true, 7};
    PutTree(I.W, LiteralTree);
    PutTree(I.W, UniformTree);
    PutTree(I.W, UniformTree);
    return I;
}

TImplodeWriter TwoTrees4K() {
    TImplodeWriter I{{}, false, 6};
    PutTree(I.W, UniformTree);
    PutTree(I.W, UniformTree);
    return I;
}

TEST(Explode, ThreeTreesAndTheLargeDictionary) {
    TImplodeWriter I = ThreeTrees8K();
    const std::string Text = RandomBytes(300, 5) + std::string("\1\0", 2);
    for (char C : Text)
        I.Literal(uint8_t(C));
    I.Match(0, 2);    // 3 bytes, the minimum with a literal tree
    I.Match(7, 290);  // 10 bytes, 290 = 2 * 128 + 33 + 1: seven low bits
    I.Match(1, 8000); // far beyond the first byte: zeros
    std::string Expected = Text;
    for (int K = 0; K < 3; ++K)
        Expected += Expected[Expected.size() - 2];
    Expected += Expected.substr(Expected.size() - 290, 10);
    Expected += std::string(4, '\0');
    EXPECT_TRUE(RunExplode(I.W.Bytes(), Expected.size(), 2, 3) == Expected);
}

TEST(Explode, TwoTreesAndTheSmallDictionary) {
    TImplodeWriter I = TwoTrees4K();
    const std::string Text = RandomBytes(300, 6);
    for (char C : Text)
        I.Literal(uint8_t(C));
    I.Match(0, 1);   // 2 bytes, the minimum without a literal tree
    I.Match(8, 290); // 10 bytes, 290 = 4 * 64 + 33 + 1: six low bits
    std::string Expected = Text + std::string(2, Text.back());
    Expected += Expected.substr(Expected.size() - 290, 10);
    EXPECT_TRUE(RunExplode(I.W.Bytes(), Expected.size(), 1, 2) == Expected);
}

TEST(Explode, LengthSymbol63TakesAnExtraByte) {
    TImplodeWriter I = ThreeTrees8K();
    I.Literal('A');
    I.Match(63, 1, 255); // 63 + 255 + 3
    EXPECT_EQ(RunExplode(I.W.Bytes(), 322, 2, 3), std::string(322, 'A'));
    TImplodeWriter J = TwoTrees4K();
    J.Literal('A');
    J.Match(63, 1, 10); // 63 + 10 + 2
    EXPECT_EQ(RunExplode(J.W.Bytes(), 76, 1, 2), std::string(76, 'A'));
}

TEST(Explode, ReferenceBeforeTheFirstByteGivesZeros) {
    TImplodeWriter I = TwoTrees4K();
    I.Match(3, 4096); // the farthest the small dictionary reaches
    I.Literal('z');
    EXPECT_EQ(RunExplode(I.W.Bytes(), 6, 1, 2), std::string(5, '\0') + "z");
}

TEST(Explode, StopsAtTheStatedSizeAfterFinishingTheCopy) {
    TImplodeWriter I = TwoTrees4K();
    I.Literal('a');
    I.Match(10, 1);
    I.Literal('b');
    EXPECT_EQ(RunExplode(I.W.Bytes(), 2, 1, 2), std::string(13, 'a'));
}

TEST(Explode, RunOfSixteenAndUndescribedEntries) {
    // Length tree: one byte "run 16, length 4" gives values 0 to 15 the four-bit codes 15 - v; values 16 to
    // 63 stay undescribed.
    TLsbBitWriter W;
    PutTree(W, "\xF3");
    PutTree(W, UniformTree);
    W.Put(1, 1);
    W.Put('q', 8);
    for (unsigned Symbol : {0u, 5u, 15u}) {
        W.Put(0, 1);
        W.Put(0, 6);
        PutUniform(W, 0);
        PutCode(W, 15 - Symbol, 4);
    }
    EXPECT_EQ(RunExplode(W.Bytes(), 1 + 2 + 7 + 17, 1, 2), std::string(27, 'q'));
}

TEST(Explode, OverlongTreeDescriptionStaysInsideTheTree) {
    TLsbBitWriter W;
    PutTree(W, std::string(256, '\xFF')); // 4,096 entries of length 16 for a 64-entry tree
    PutTree(W, UniformTree);
    for (int I = 0; I < 100; ++I)
        W.Put(1, 9);
    const std::string Out = RunExplode(W.Bytes(), 1000, 1, 2);
    EXPECT_LE(Out.size(), 1000u + 66);
}

} // namespace
