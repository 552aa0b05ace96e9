// Inflate and the compressor against zlib, blocks zlib never writes, damaged streams, the helper's checks.

#include "archive/Deflate.h"
#include "TestUtil.h"
#include "archive/AbExcept.h"
#include "archive/AbZipPrc.h"
#include "archive/Inflate.h"

#include <cstring>
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
    return !ErrorOf<EAbZipInflateBlock>([&] { Inflate(In, Out); }).empty();
}

// A deflate stream written bit by bit.
struct TDeflateWriter : TLsbBitWriter {
    TDeflateWriter& Header(bool Last, unsigned Type) {
        return static_cast<TDeflateWriter&>(Put(Last, 1).Put(Type, 2));
    }
    // A fixed-code literal/length symbol, or a distance symbol with its extra bits.
    TDeflateWriter& Fixed(unsigned Sym) {
        const unsigned Length = Sym < 144 ? 8 : Sym < 256 ? 9 : Sym < 280 ? 7 : 8;
        Code(Sym + (Sym < 144 ? 0x30 : Sym < 256 ? 0x190 - 144 : Sym < 280 ? -256u : 0xC0 - 280), Length);
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

// Samples for zlib's compressor and ours; repeats just beyond and within a match's reach cross window slides.
struct TSample {
    std::string Data;
    bool Text;
};

std::vector<TSample> Samples() {
    std::string Runs, Periodic;
    for (int I = 0; I < 300; ++I)
        Runs += std::string(size_t(I * 7 % 301), char('a' + I % 26));
    for (int I = 0; I < 90000; ++I)
        Periodic += char('a' + I % 7);
    const std::string Block = RandomBytes(40000, 3);
    std::string Mixed = SampleText(150000, 5);
    for (size_t I = 0; I < Mixed.size(); I += 997)
        Mixed[I] = char(I & 0xFF);
    return {{"", true},
            {"x", true},
            {"abcabcabcabd", true},
            {SampleText(250000, 1), true},
            {RandomBytes(200000, 2), false},
            {SampleText(40000, 3) + RandomBytes(9000, 4) + SampleText(30000, 3), false},
            {Runs, true},
            {std::string(200000, 'a'), true},
            {std::string(50000, 0), false},
            {SampleText(32769, 9) + SampleText(32769, 9), true},
            {Periodic, true},
            {Block + Block.substr(0, 33000) + Block + RandomBytes(30000, 4) + Block, false},
            {Mixed, true}};
}

} // namespace

TEST(Inflate, EveryLevelStrategyAndChunkingDecodesLikeZlib) {
    const std::vector<TSample> All = Samples();
    for (const TSample& S : All)
        for (int Strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
            for (int Level = 0; Level <= 9; ++Level)
                // Only the default strategy makes different streams at every level.
                if (Strategy == Z_DEFAULT_STRATEGY || Level == 1 || Level == 9) {
                    ASSERT_TRUE(Unpack(RawDeflate(S.Data, Level, Strategy)) == S.Data)
                        << S.Data.size() << " bytes, level " << Level << " strategy " << Strategy;
                }
    const std::string& Mixed = All[5].Data;
    for (const std::vector<size_t>& Chunks :
         {std::vector<size_t>{}, {1}, {7}, {3, 0, 9, 4093, 1, 0, 15, 8}, {65536}})
        for (int Level : {0, 6})
            EXPECT_TRUE(Unpack(RawDeflate(Mixed, Level), Chunks) == Mixed) << Chunks.size() << " " << Level;
}

// What zlib never writes: distances before the first byte (zeros), damaged blocks. Input ending inside the
// last block gives every complete code; ending anywhere else is an error, after what came before was written
// out.
TEST(Inflate, HandMadeBlocksAndInputEndingEarly) {
    using W = TDeflateWriter;
    EXPECT_EQ(Unpack(W().Stored(false, "ab").Stored(false, "").Stored(true, "cde").Bytes()), "abcde");
    W Far;
    Far.Header(true, 1).Fixed('A').Fixed(264).Dist(13, 3, 5).Fixed(285).Dist(29, 8191, 13).Fixed(256);
    EXPECT_EQ(Unpack(Far.Bytes()), "A" + std::string(268, '\0'));
    std::vector<std::string> Bad = {"",
                                    W().Stored(true, "abc", 0xFFFF).Bytes(),
                                    W().Stored(true, "abc", 3).Bytes(),
                                    W().Stored(false, "abc").Bytes(),
                                    W().Stored(true, "abc").Bytes().substr(0, 3),
                                    W().Stored(false, "abcdef").Bytes().substr(0, 8)};
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
    EXPECT_EQ(Kept.Bytes, "kept"); // what came before the damage is written out

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
}

namespace {

// Hands the source out in reads of random length (1 byte up to a few window halves).
class TRandomReads : public TDeflateInput {
public:
    TRandomReads(const std::string& AData, unsigned Seed, size_t MaxRead)
        : FData(AData), FRandom(Seed), FMaxRead(MaxRead) {}
    size_t Read(uint8_t* Buffer, size_t Count) override {
        size_t N = std::min({Count, FData.size() - FPos, size_t(FRandom() % FMaxRead) + 1});
        std::memcpy(Buffer, FData.data() + FPos, N);
        FPos += N;
        return N;
    }

private:
    const std::string& FData;
    size_t FPos = 0;
    std::mt19937 FRandom;
    size_t FMaxRead;
};

struct TCollect : TDeflateOutput {
    void Write(uint8_t* Data, size_t Count) override {
        EXPECT_LE(Count, 8192u);
        Bytes.append(reinterpret_cast<const char*>(Data), Count);
    }
    std::string Bytes;
};

} // namespace

// Sizes stay close to zlib's at the same level, and the type is guessed from the data.
TEST(Deflate, EveryStreamDecodesBack) {
    for (const TSample& S : Samples())
        for (int Level : {1, 3, 5, 9, 0})
            for (size_t MaxRead : {size_t(1) << 20, size_t(300)}) {
                if (MaxRead == 300 && S.Data.size() > 150000)
                    continue;
                TRandomReads In(S.Data, unsigned(Level * 31 + MaxRead), MaxRead);
                TCollect Out;
                const TDeflateFileType Type = Deflate(In, Out, Level);
                SCOPED_TRACE(std::to_string(S.Data.size()) + " bytes, level " + std::to_string(Level) +
                             " reads up to " + std::to_string(MaxRead));
                EXPECT_EQ(Unpack(Out.Bytes), S.Data); // Inflate itself is judged against zlib above
                // Incompressible data goes into stored blocks: 5 bytes for each block of 16,383 symbols.
                EXPECT_LE(Out.Bytes.size(), S.Data.size() + 5 * (S.Data.size() / 16383 + 1));
                if (MaxRead == 300 || Level == 0 || Level == 3 || S.Data.size() < 1000)
                    continue;
                EXPECT_LE(double(Out.Bytes.size()), 1.02 * double(RawDeflate(S.Data, Level).size()) + 64);
                EXPECT_EQ(Type, S.Text ? ftText : ftBinary);
            }
}

// The entry helper (its output is judged by the add command's tests): abort, a source shorter or longer than
// said.
TEST(ZipHelper, ChecksTheSourceAndStops) {
    auto Compress = [](const std::string& Data, TAbZipMethod Method, int64_t StatedSize, bool Abort = false) {
        TMemoryStream In, Out;
        In.WriteBuffer(Data.data(), int64_t(Data.size()));
        TStream* Ref = &Out;
        TAbZipHelper Helper(In, nullptr, Ref);
        Helper.SourceSize = StatedSize;
        Helper.Method = Method;
        Helper.OnProgressHook = [Abort](uint8_t P, bool& Stop) { Stop = Abort && P >= 50; };
        Helper.Compress();
    };
    const std::string Text = SampleText(100000, 9);
    const int64_t Size = int64_t(Text.size());
    EXPECT_NO_THROW(Compress(Text, cmBestMethod, Size));
    EXPECT_THROW(Compress(Text, cmBestMethod, Size, true), EAbUserAbort);
    EXPECT_THROW(Compress(Text, cmBestMethod, Size + 10), EReadError);
    EXPECT_THROW(Compress(Text, cmStored, Size - 10), EReadError);
}
