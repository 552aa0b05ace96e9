// The decompressor on its own: stored and deflated data from memory streams, decryption, the size cap,
// progress and abort, disk changes, short input and refused methods.
#include "archive/AbExcept.h"
#include "archive/AbUnZPrc.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <vector>

using namespace testutil;

namespace {

std::unique_ptr<TMemoryStream> StreamOf(const std::string& Data) {
    auto M = std::make_unique<TMemoryStream>();
    M->WriteBuffer(Data.data(), int64_t(Data.size()));
    M->SetPosition(0);
    return M;
}

std::string Contents(TMemoryStream& M) {
    return std::string(reinterpret_cast<const char*>(M.Memory()), size_t(M.Size()));
}

// One entry's data in a stream, decoded by a helper set up as the extraction driver sets it up.
struct TEntry {
    std::unique_ptr<TMemoryStream> Input;
    TStream* InStream;
    TMemoryStream Output;
    std::unique_ptr<TAbZDecoder> Decoder;
    std::unique_ptr<TAbUnzipHelper> Helper;
    std::vector<int> Progress;

    TEntry(const std::string& Packed, uint16_t Method, uint64_t Size) : Input(StreamOf(Packed)) {
        InStream = Input.get();
        Make(Method, Size);
    }
    void Make(uint16_t Method, uint64_t Size) {
        Helper = std::make_unique<TAbUnzipHelper>(InStream, Decoder.get(), Output);
        Helper->Method = Method;
        Helper->UncompressedSize = Size;
        Helper->OnProgressHook = [this](uint8_t P, bool&) { Progress.push_back(P); };
    }
    std::string Run() {
        EXPECT_EQ(Helper->Decompress(), ExpectedCrc);
        return Contents(Output);
    }
    uint32_t ExpectedCrc = 0;
};

} // namespace

TEST(UnzipHelper, StoredAndDeflatedDataWithTheirCrc) {
    const std::string Data = SampleText(100000, 1) + RandomBytes(50000, 2);
    TEntry Stored(Data, 0, Data.size());
    Stored.ExpectedCrc = Crc32(Data);
    EXPECT_EQ(Stored.Run(), Data);
    EXPECT_EQ(Stored.Progress.back(), 100);

    TEntry Deflated(RawDeflate(Data, 6), 8, Data.size());
    Deflated.ExpectedCrc = Crc32(Data);
    EXPECT_EQ(Deflated.Run(), Data);

    // Percentages only when they change, in order, ending at 100.
    for (size_t I = 1; I < Deflated.Progress.size(); ++I)
        EXPECT_GT(Deflated.Progress[I], Deflated.Progress[I - 1]);
    EXPECT_EQ(Deflated.Progress.back(), 100);

    // A stored or deflated entry of length 0.
    TEntry Empty("", 0, 0);
    EXPECT_EQ(Empty.Run(), "");
    TEntry EmptyDeflated(RawDeflate("", 6), 8, 0);
    EXPECT_EQ(EmptyDeflated.Run(), "");
}

TEST(UnzipHelper, ExactlyOneOutputBufferIsFlushedOnce) {
    const std::string Data = SampleText(32768, 3);
    TEntry E(RawDeflate(Data, 9), 8, Data.size());
    E.ExpectedCrc = Crc32(Data);
    EXPECT_EQ(E.Run(), Data);
    EXPECT_EQ(E.Progress, std::vector<int>{100});
}

TEST(UnzipHelper, EncryptedDataIsDecryptedAfterItsHeader) {
    const std::string Data = SampleText(20000, 4);
    const uint32_t Crc = Crc32(Data);
    TMemoryStream Packed;
    TStream* P = &Packed;
    TAbZDecoder Encoder("secret", true, Crc, P);
    Encoder.EncryptHeader();
    std::string Body = RawDeflate(Data, 6);
    Encoder.EncryptBuffer(Body.data(), Body.size());
    Packed.WriteBuffer(Body.data(), int64_t(Body.size()));

    TEntry E(Contents(Packed), 8, Data.size());
    E.Decoder = std::make_unique<TAbZDecoder>("secret", true, Crc, E.InStream);
    E.Make(8, Data.size());
    E.Helper->CompressedSize = uint64_t(Packed.Size());
    E.ExpectedCrc = Crc;
    EXPECT_EQ(E.Run(), Data);
}

TEST(UnzipHelper, OutputBeyondTheStatedSizeIsRefused) {
    const std::string Data = RandomBytes(70000, 5);
    for (uint16_t Method : {0, 8}) {
        TEntry E(Method ? RawDeflate(Data, 1) : Data, Method, Data.size() - 1);
        EXPECT_THROW(E.Helper->Decompress(), EAbZipSizeExceeded) << Method;
        EXPECT_LT(E.Output.Size(), int64_t(Data.size()));
    }
    // A bomb: megabytes of zeros from a few kilobytes, stated as 1,000 bytes.
    TEntry Bomb(RawDeflate(std::string(8000000, 0), 1), 8, 1000);
    EXPECT_THROW(Bomb.Helper->Decompress(), EAbZipSizeExceeded);
    EXPECT_LE(Bomb.Output.Size(), 1000);
}

TEST(UnzipHelper, AbortFromProgressStops) {
    const std::string Data = SampleText(200000, 6);
    TEntry E(RawDeflate(Data, 6), 8, Data.size());
    E.Helper->OnProgressHook = [&E](uint8_t P, bool& Abort) {
        E.Progress.push_back(P);
        Abort = true;
    };
    EXPECT_THROW(E.Helper->Decompress(), EAbUserAbort);
    EXPECT_EQ(E.Progress.size(), 1u);
}

TEST(UnzipHelper, SpannedDataContinuesOnTheNextDisk) {
    const std::string Data = SampleText(60000, 7);
    const std::string Packed = RawDeflate(Data, 6);
    // The entry starts 100 bytes into disk 0 and ends on disk 2.
    std::vector<std::unique_ptr<TMemoryStream>> Disks;
    Disks.push_back(StreamOf(std::string(100, 'x') + Packed.substr(0, 5000)));
    Disks.push_back(StreamOf(Packed.substr(5000, 1)));
    Disks.push_back(StreamOf(Packed.substr(5001) + "trailing records"));
    Disks[0]->SetPosition(100);
    TEntry E("", 8, Data.size());
    E.InStream = Disks[0].get();
    E.Make(8, Data.size());
    E.Helper->CompressedSize = Packed.size();
    E.Helper->Spanned = true;
    std::vector<uint16_t> Asked;
    E.Helper->OnChangeDisk = [&](uint16_t Disk) {
        Asked.push_back(Disk);
        E.InStream = Disks.at(Disk).get();
    };
    E.ExpectedCrc = Crc32(Data);
    EXPECT_EQ(E.Run(), Data);
    EXPECT_EQ(Asked, (std::vector<uint16_t>{1, 2}));
    EXPECT_EQ(E.Helper->CurrentDisk, 2);
}

TEST(UnzipHelper, InputShorterThanItsStatedSizeIsAReadError) {
    const std::string Data = RandomBytes(10000, 8);
    TEntry E(Data, 0, Data.size() + 10);
    E.Helper->CompressedSize = Data.size() + 10;
    EXPECT_THROW(E.Helper->Decompress(), EAbReadError);
}

TEST(UnzipHelper, UnknownMethodsAreRefused) {
    for (uint16_t Method : {7, 9, 10, 12, 99}) {
        TEntry E("abc", Method, 3);
        EXPECT_THROW(E.Helper->Decompress(), EAbZipInvalidMethod) << Method;
    }
}

// Every entry of the DOS archives, whatever its method, through the method dispatch.
TEST(UnzipHelper, EveryMethodOfTheDosArchives) {
    std::map<std::string, std::string> Originals;
    for (auto& E : ReadLocalEntries(FixturesDir() + "/pkzip/PKZ204E0.ZIP"))
        Originals[E.Name] = E.Data;
    std::set<unsigned> Methods;
    for (const char* Archive : {"PKZ80A1.ZIP", "PKZ110ES.ZIP", "PKZ80B1.ZIP", "PKZ80B2.ZIP", "PKZ80B3.ZIP",
                                "PKZ80B4.ZIP", "PKZ110EI.ZIP", "PKZ110.ZIP", "PKZ204EX.ZIP", "PKZ204ES.ZIP"})
        for (auto& E : ReadLocalEntries(FixturesDir() + "/pkzip/" + Archive)) {
            TEntry Entry(E.Data, uint16_t(E.Method), E.UncompressedSize);
            Entry.Helper->DictionarySize = E.Flags & 2 ? 2 : 1;
            Entry.Helper->ShannonFanoTreeCount = E.Flags & 4 ? 3 : 2;
            Entry.ExpectedCrc = E.Crc;
            EXPECT_TRUE(Entry.Run() == Originals.at(E.Name)) << Archive << " " << E.Name;
            Methods.insert(E.Method);
        }
    EXPECT_EQ(Methods, (std::set<unsigned>{0, 1, 2, 3, 4, 5, 6, 8}));
}
