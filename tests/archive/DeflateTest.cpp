// The compressor: every stream it writes decodes to its input with our Inflate and with zlib, at every
// level and however the input arrives; sizes against zlib; the entry helper's storing fallback, source
// checks and progress.

#include "archive/Deflate.h"
#include "TestUtil.h"
#include "archive/AbExcept.h"
#include "archive/AbZipPrc.h"
#include "archive/Inflate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <zlib.h>

using namespace testutil;

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

class TCollect : public TDeflateOutput {
public:
    void Write(uint8_t* Data, size_t Count) override {
        EXPECT_LE(Count, 8192u);
        Bytes.append(reinterpret_cast<const char*>(Data), Count);
    }
    std::string Bytes;
};

std::string OurInflate(const std::string& Stream) {
    TDecodeSource In(Stream, {4096});
    TDecodeSink Out;
    Inflate(In, Out);
    return Out.Bytes;
}

// zlib's raw inflate; "<damaged>" unless the stream ends exactly where its last block does.
std::string ZlibInflate(const std::string& Stream, size_t Expected) {
    z_stream Z{};
    inflateInit2(&Z, -15);
    std::string Out(Expected + 1, '\0');
    Z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Stream.data()));
    Z.avail_in = uInt(Stream.size());
    Z.next_out = reinterpret_cast<Bytef*>(Out.data());
    Z.avail_out = uInt(Out.size());
    int Rc = inflate(&Z, Z_FINISH);
    Out.resize(Z.total_out);
    bool Whole = Rc == Z_STREAM_END && Z.avail_in == 0;
    inflateEnd(&Z);
    return Whole ? Out : "<damaged>";
}

struct TSample {
    const char* Name;
    std::string Data;
    bool Text;
};

std::vector<TSample> Samples() {
    std::string Periodic;
    for (int I = 0; I < 90000; ++I)
        Periodic += char('a' + I % 7);
    std::string Block = RandomBytes(40000, 3);
    std::string Mixed = SampleText(150000, 5);
    for (size_t I = 0; I < Mixed.size(); I += 997)
        Mixed[I] = char(I & 0xFF);
    return {
        {"empty", "", true},
        {"one byte", "x", true},
        {"short", "abcabcabcabd", true},
        {"text", SampleText(250000, 1), true},
        {"random", RandomBytes(200000, 2), false},
        {"one byte repeated", std::string(200000, 'a'), true},
        {"period of 7", Periodic, true},
        // Repeats just beyond and just within the reach of a match, across window slides.
        {"random block repeated", Block + Block.substr(0, 33000) + Block + RandomBytes(30000, 4) + Block,
         false},
        {"text with binary bytes", Mixed, true},
    };
}

// Sizes stay close to zlib's at the same level, and the type is guessed from the data.
TEST(Deflate, EveryStreamDecodesWithInflateAndZlib) {
    for (const TSample& S : Samples())
        for (int Level : {1, 3, 5, 9, 0}) {
            for (size_t MaxRead : {size_t(1) << 20, size_t(300)}) {
                if (MaxRead == 300 && S.Data.size() > 150000)
                    continue;
                TRandomReads In(S.Data, unsigned(Level * 31 + MaxRead), MaxRead);
                TCollect Out;
                const TDeflateFileType Type = Deflate(In, Out, Level);
                SCOPED_TRACE(std::string(S.Name) + " level " + std::to_string(Level) + " reads up to " +
                             std::to_string(MaxRead));
                EXPECT_EQ(ZlibInflate(Out.Bytes, S.Data.size()), S.Data);
                EXPECT_EQ(OurInflate(Out.Bytes), S.Data);
                // Incompressible data goes into stored blocks: 5 bytes for each block of 16,383 symbols.
                EXPECT_LE(Out.Bytes.size(), S.Data.size() + 5 * (S.Data.size() / 16383 + 1));
                if (MaxRead == 300 || Level == 0 || Level == 3 || S.Data.size() < 1000)
                    continue;
                EXPECT_LE(double(Out.Bytes.size()), 1.02 * double(RawDeflate(S.Data, Level).size()) + 64);
                EXPECT_EQ(Type, S.Text ? ftText : ftBinary);
            }
        }
}

// A source whose stated size the helper is told.
struct THelperRun {
    THelperRun(const std::string& Data, TAbZipMethod Method, int64_t StatedSize = -1, uint8_t AbortAt = 255) {
        In.WriteBuffer(Data.data(), int64_t(Data.size()));
        TStream* Ref = &Out;
        TAbZipHelper Helper(In, nullptr, Ref);
        if (StatedSize >= 0)
            Helper.SourceSize = StatedSize;
        Helper.Method = Method;
        Helper.OnProgressHook = [this, AbortAt](uint8_t P, bool& Abort) {
            Progress.push_back(P);
            Abort = P >= AbortAt;
        };
        Helper.Compress();
        ResultMethod = Helper.Method;
        Crc = Helper.Crc;
        CompressedSize = Helper.CompressedSize;
        Text = Helper.IsText();
    }
    TMemoryStream In, Out;
    std::vector<uint8_t> Progress;
    TAbZipMethod ResultMethod = cmStored;
    uint32_t Crc = 0;
    int64_t CompressedSize = 0;
    bool Text = false;
};

TEST(ZipHelper, BestMethodStoresWhatDoesNotShrinkAndChecksTheSource) {
    const std::string Text = SampleText(100000, 9), Random = RandomBytes(50000, 9);
    THelperRun Deflated(Text, cmBestMethod);
    EXPECT_EQ(Deflated.ResultMethod, cmDeflated);
    EXPECT_TRUE(Deflated.Text);
    EXPECT_EQ(Deflated.Crc, Crc32(Text));
    EXPECT_EQ(Deflated.CompressedSize, Deflated.Out.Size());
    EXPECT_EQ(Deflated.Progress.back(), 100);

    for (const std::string& Data : {Random, std::string()}) {
        THelperRun Stored(Data, cmBestMethod);
        EXPECT_EQ(Stored.ResultMethod, cmStored);
        EXPECT_EQ(Stored.CompressedSize, int64_t(Data.size()));
        EXPECT_EQ(Stored.Out.Size(), int64_t(Data.size()));
        EXPECT_EQ(Stored.Crc, Crc32(Data));
    }
    EXPECT_FALSE(THelperRun(Random, cmDeflated).Text);

    // An abort from progress, a source shorter or longer than it said, an unknown method.
    EXPECT_THROW(THelperRun(Text, cmBestMethod, -1, 50), EAbUserAbort);
    EXPECT_THROW(THelperRun(Text, cmBestMethod, int64_t(Text.size()) + 10), EReadError);
    EXPECT_THROW(THelperRun(Text, cmStored, int64_t(Text.size()) - 10), EReadError);
    EXPECT_THROW(THelperRun(Text, cmEnhancedDeflated), EAbZipUnsupported);
}

} // namespace
