// Inflate against zlib over generated data at every level and strategy, hand-made blocks for what zlib
// never writes, truncated input, and damaged streams.

#include "archive/Inflate.h"
#include "archive/AbExcept.h"

#include "TestUtil.h"

#include <gtest/gtest.h>
#include <random>
#include <zlib.h>

using namespace testutil;

namespace {

std::string Unpack(const std::string& Stream, std::vector<size_t> Chunks = {4096}) {
    TDecodeSource In(Stream, std::move(Chunks));
    TDecodeSink Out;
    Inflate(In, Out);
    EXPECT_FALSE(In.AskedPastEnd) << "asked for input after the end of the stream";
    return Out.Bytes;
}

bool Damaged(const std::string& Stream) {
    TDecodeSource In(Stream);
    TDecodeSink Out;
    try {
        Inflate(In, Out);
        return false;
    } catch (const EAbZipInflateBlock&) {
        return true;
    }
}

// A deflate stream written bit by bit.
struct TDeflateWriter : TLsbBitWriter {
    TDeflateWriter& Header(bool Last, unsigned Type) {
        return static_cast<TDeflateWriter&>(Put(Last, 1).Put(Type, 2));
    }
    // A fixed-code literal/length symbol, or a distance symbol with its extra bits.
    TDeflateWriter& Fixed(unsigned Sym) {
        Code(Sym < 144   ? 0x30 + Sym
             : Sym < 256 ? 0x190 + Sym - 144
             : Sym < 280 ? Sym - 256
                         : 0xC0 + Sym - 280,
             Sym < 144   ? 8
             : Sym < 256 ? 9
             : Sym < 280 ? 7
                         : 8);
        return *this;
    }
    TDeflateWriter& Dist(unsigned Sym, uint32_t Extra = 0, unsigned ExtraBits = 0) {
        Code(Sym, 5).Put(Extra, ExtraBits);
        return *this;
    }
    TDeflateWriter& Stored(bool Last, const std::string& Data, int NLen = -1) {
        Header(Last, 0);
        while (BitCount() % 8)
            Put(0, 1);
        Put(uint32_t(Data.size()), 16).Put(NLen < 0 ? uint16_t(~Data.size()) : uint32_t(NLen), 16);
        for (char C : Data)
            Put(uint8_t(C), 8);
        return *this;
    }
};

} // namespace

TEST(Inflate, EveryLevelStrategyAndChunkingDecodesLikeZlib) {
    std::string Runs;
    for (int I = 0; I < 300; ++I)
        Runs += std::string(size_t(I * 7 % 301), char('a' + I % 26));
    const std::string Samples[] = {"",
                                   "x",
                                   SampleText(60000, 1),
                                   RandomBytes(70000, 2),
                                   SampleText(40000, 3) + RandomBytes(9000, 4) + SampleText(30000, 3),
                                   Runs,
                                   std::string(50000, 0),
                                   SampleText(32768, 5),
                                   SampleText(32769, 9) + SampleText(32769, 9)};
    const int Strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    for (const std::string& Data : Samples)
        for (int Strategy : Strategies)
            for (int Level = 0; Level <= 9; ++Level)
                // Only the default strategy makes different streams at every level.
                if (Strategy == Z_DEFAULT_STRATEGY || Level == 1 || Level == 9) {
                    ASSERT_TRUE(Unpack(RawDeflate(Data, Level, Strategy)) == Data)
                        << Data.size() << " bytes, level " << Level << " strategy " << Strategy;
                }
    const std::string& Mixed = Samples[4];
    for (const std::vector<size_t>& Chunks :
         {std::vector<size_t>{}, {1}, {7}, {3, 0, 9, 4093, 1, 0, 15, 8}, {65536}})
        for (int Level : {0, 6})
            EXPECT_TRUE(Unpack(RawDeflate(Mixed, Level), Chunks) == Mixed) << Chunks.size() << " " << Level;
}

// What zlib never writes: stored blocks in a row, the longest copy, distances reaching before the first byte
// (zeros), and damaged blocks. Input that ends inside the last block gives every complete code; ending
// anywhere else is an error, after what came before was written out.
TEST(Inflate, HandMadeBlocksAndInputEndingEarly) {
    using W = TDeflateWriter;
    EXPECT_EQ(Unpack(W().Stored(false, "ab").Stored(false, "").Stored(true, "cde").Bytes()), "abcde");
    EXPECT_EQ(Unpack(W().Header(true, 1).Fixed('z').Fixed(285).Dist(0).Fixed(256).Bytes()),
              std::string(259, 'z'));
    W Far;
    Far.Header(true, 1).Fixed('A').Fixed(264).Dist(13, 3, 5).Fixed(285).Dist(29, 8191, 13).Fixed(256);
    EXPECT_EQ(Unpack(Far.Bytes()), "A" + std::string(268, '\0'));
    std::vector<std::string> Bad = {"", W().Stored(true, "abc", 0xFFFF).Bytes(),
                                    W().Stored(true, "abc", 3).Bytes(), W().Stored(false, "abc").Bytes(),
                                    W().Stored(true, "abc").Bytes().substr(0, 3)};
    for (unsigned Sym : {286u, 287u})
        Bad.push_back(W().Header(true, 1).Fixed('a').Fixed(Sym).Dist(0).Fixed(256).Bytes());
    for (unsigned Dist : {30u, 31u})
        Bad.push_back(W().Header(true, 1).Fixed('a').Fixed(257).Dist(Dist).Fixed(256).Bytes());
    for (auto [HLit, HDist] : {std::pair{30u, 0u}, {31u, 0u}, {0u, 30u}, {0u, 31u}})
        Bad.push_back(
            W().Header(true, 2).Put(HLit, 5).Put(HDist, 5).Put(15, 4).Put(0, 32).Put(0, 32).Bytes());
    for (size_t I = 0; I < Bad.size(); ++I)
        EXPECT_TRUE(Damaged(Bad[I])) << I;
    TDecodeSource Head(W().Stored(false, "kept").Header(true, 3).Put(0, 16).Bytes());
    TDecodeSink Kept;
    EXPECT_THROW(Inflate(Head, Kept), EAbZipInflateBlock);
    EXPECT_EQ(Kept.Bytes, "kept");

    const std::string Data = SampleText(5000, 12), Stream = RawDeflate(Data, 6); // one block
    auto Cut = [](const std::string& S, size_t Keep) {
        TDecodeSource In(S.substr(0, Keep), {1000});
        TDecodeSink Out;
        Inflate(In, Out);
        return Out.Bytes;
    };
    for (size_t Keep : {Stream.size() / 5, Stream.size() / 2, Stream.size() - 1}) {
        const std::string Got = Cut(Stream, Keep);
        EXPECT_EQ(Got, Data.substr(0, Got.size()));
        EXPECT_GT(Got.size(), Keep);
    }
    EXPECT_EQ(Cut(W().Stored(true, "abcdef").Bytes(), 8), "abc");
    EXPECT_TRUE(Damaged(W().Stored(false, "abcdef").Bytes().substr(0, 8)));
}

TEST(Inflate, DamagedStreamsEndNormallyOrWithTheLibrarysError) {
    std::vector<std::string> Streams;
    for (unsigned Seed = 0; Seed < 4; ++Seed) {
        const std::string Text = SampleText(1500 + Seed * 700, Seed);
        Streams.push_back(RawDeflate(Text, 9));
        Streams.push_back(RawDeflate(Text + RandomBytes(300, Seed), 1, Z_FIXED));
        Streams.push_back(RawDeflate(RandomBytes(2000, Seed) + Text.substr(0, 500), 0));
    }
    std::mt19937 Gen(2024);
    int Failed = 0, Ended = 0;
    for (int Round = 0; Round < 3000; ++Round) {
        std::string S = Streams[Gen() % Streams.size()];
        if (Round % 3 == 0)
            S.resize(Gen() % S.size());
        else if (Round % 3 == 1)
            S = RandomBytes(1 + Gen() % 600, Gen());
        else
            for (unsigned Flips = 1 + Gen() % 4; Flips--;)
                S[Gen() % S.size()] ^= char(1 << (Gen() % 8));
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
