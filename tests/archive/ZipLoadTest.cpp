// Zip records and loading an archive's directory: end record, spanned sets, progress, damaged directories.

#include "TestUtil.h"
#include "archive/AbExcept.h"
#include "archive/Abziptyp.h"
#include "common/ArchiveBytes.h"
#include "platform/Classes.h"
#include "platform/Files.h"

#include <gtest/gtest.h>
#include <memory>
#include <random>

using namespace testutil;

namespace {

std::string Saved(const auto& Record) {
    TMemoryStream S;
    Record.SaveToStream(S);
    return std::string(reinterpret_cast<const char*>(S.Memory()), size_t(S.Size()));
}

struct TBytesStream : TMemoryStream {
    explicit TBytesStream(const std::string& Bytes) {
        WriteBuffer(Bytes.data(), int64_t(Bytes.size())), SetPosition(0);
    }
};

std::vector<std::string> Names(const TAbZipArchive& A) {
    std::vector<std::string> N;
    for (int I = 0; I < A.Count(); ++I)
        N.push_back(A.Items(I)->GetFileName());
    return N;
}

const std::string EndSig("PK\x05\x06", 4);

std::string ThreeFileZip(const TScratchDir& Dir) {
    return ReadFile(
        MakeZip(Dir / "three.zip", {{"a.txt", "alpha"}, {"b.txt", "beta"}, {"c.txt", "gamma"}}, "-0"));
}

bool Loads(const std::string& Bytes) {
    return TArchiveInMemory(Bytes.data(), Bytes.size()).Load();
}

} // namespace

// Flagged or UTF-8 names from other hosts pass, DOS-family names are CP437; saturated sizes come from the
// zip64 field in its order; what does not fit a 16-bit length is never written.
TEST(ZipRecords, RefusalsDerivedValuesNamesAndZip64Sizes) {
    TAbZipDirectoryFileHeader H;
    H.FileName = "dir/name.txt";
    std::string Bytes = Saved(H);
    Bytes[2] = 3;
    TBytesStream S(Bytes + "tail");
    EXPECT_THROW(H.LoadFromStream(S), EAbZipInvalid);
    EXPECT_EQ(S.Position(), int64_t(Bytes.size())); // refused after the whole record was read
    TAbZipLocalFileHeader L;
    L.FileName.assign(70000, 'a');
    TMemoryStream Out;
    EXPECT_THROW(L.SaveToStream(Out), EWriteError);
    EXPECT_EQ(Out.Size(), 0);

    struct {
        uint16_t Flags, Method;
        uint32_t Compressed, Uncompressed;
        double Ratio;
        int Dictionary, Trees;
    } const Cases[] = {{1, 6, 112, 200, 50.0, 1, 2}, // encrypted: the 12-byte header is no data
                       {0, 6, 112, 400, 72.0, 1, 2},
                       {2, 6, 0, 0, 0.0, 2, 2},
                       {4, 0x86, 0, 0, 0.0, 1, 3},
                       {6, 8, 10, 10, 0.0, 0, 0}};
    for (const auto& C : Cases) {
        H.GeneralPurposeBitFlag = C.Flags;
        H.SetCompressionMethod(C.Method);
        H.CompressedSize = C.Compressed;
        H.UncompressedSize = C.Uncompressed;
        EXPECT_DOUBLE_EQ(H.CompressionRatio(), C.Ratio) << C.Flags << " " << C.Method;
        EXPECT_EQ(H.DictionarySize() * 10 + H.ShannonFanoTreeCount(), C.Dictionary * 10 + C.Trees);
    }

    auto Loaded = [&] {
        TBytesStream Record(Saved(H));
        auto Item = std::make_unique<TAbZipItem>();
        Item->LoadFromStream(Record);
        return Item;
    };
    H.GeneralPurposeBitFlag = 0;
    for (auto [MadeBy, Raw, Name] : {std::tuple<uint16_t, std::string, std::string>{
                                         0x0014, "caf\x82/\x9c.txt", "caf\xC3\xA9/\xC2\xA3.txt"},
                                     {0x0314, "caf\x82.txt", "caf\xC3\xA9.txt"},
                                     {0x0314, "caf\xC3\xA9.txt", "caf\xC3\xA9.txt"},
                                     {0x0014, "caf\xC3\xA9.txt", "caf\xE2\x94\x9C\xE2\x8C\x90.txt"}}) {
        H.VersionMadeBy = MadeBy;
        H.FileName = Raw;
        EXPECT_EQ(Loaded()->GetFileName(), Name) << Raw;
    }
    H.VersionMadeBy = 0x0B14;
    H.GeneralPurposeBitFlag = Ab_ZipUtf8NameFlag;
    H.FileName = "\xCE\xB1\xCE\xB2/" + std::string(300, 'n');
    EXPECT_EQ(Loaded()->GetFileName(), H.FileName);
    H.UncompressedSize = H.CompressedSize = H.RelativeOffset = 0xFFFFFFFFu;
    H.ExtraField = std::string("\x0A\x00\x02\x00zz\x01\x00\x18\x00", 10) + Le(0x123456789, 8) +
                   Le(0x23456789A, 8) + Le(0x3456789AB, 8);
    const auto Item = Loaded();
    EXPECT_EQ(Item->GetUncompressedSize(), 0x123456789u);
    EXPECT_EQ(Item->GetCompressedSize(), 0x23456789Au);
    EXPECT_EQ(Item->RelativeOffset(), 0x3456789ABu);
}

TEST(ZipLoad, EndRecordIsFoundWithinItsReachOnly) {
    auto Record = [](uint16_t Comment) {
        return EndSig + std::string(16, '\0') + Le(Comment, 2) + std::string(Comment, 'c');
    };
    auto Find = [](const std::string& Bytes) {
        TBytesStream S(Bytes);
        int64_t At = TAbZipArchive::FindCentralDirectoryTail(S);
        EXPECT_EQ(S.Position(), At);
        return At;
    };
    EXPECT_EQ(Find(std::string(100, 'x') + Record(0)), 100);
    EXPECT_EQ(Find(Record(0)), 0);
    // Longest comment, appended data as far as the window reaches; nearest the end first unless it overruns.
    EXPECT_EQ(Find(std::string(50, 'x') + Record(0xFFFF)), 50);
    EXPECT_EQ(Find(std::string(50, 'x') + Record(0) + std::string(0xFFFF, 'y')), 50);
    EXPECT_THROW(Find(std::string(50, 'x') + Record(0) + std::string(0x10000, 'y')), EAbZipInvalid);
    EXPECT_EQ(Find(std::string(10, 'x') + Record(0) + Record(3)), 32);
    EXPECT_EQ(Find(std::string(10, 'x') + Record(30) + EndSig + std::string(16, '\0') + "\x10" + '\0'), 10);
    EXPECT_THROW(Find(EndSig + std::string(10, 'y')), EAbZipInvalid);

    TScratchDir Dir;
    const std::string Zip = ThreeFileZip(Dir);
    std::string WithComment = Zip;
    SetLe(WithComment, Zip.rfind(EndSig) + 20, 60000, 2);
    EXPECT_TRUE(Loads(WithComment + std::string(60000, 'c')));
    EXPECT_TRUE(Loads(Zip + std::string(5000, 'z')));
    EXPECT_FALSE(Loads(Zip + std::string(70000, 'z')));
    WriteFile(Dir / "empty.zip", "");
    TAbZipArchive Empty(Dir / "empty.zip", fmOpenRead);
    Empty.Load();
    EXPECT_EQ(Empty.Count(), 0);
}

TEST(ZipLoad, ProgressAbortAndDiskRequests) {
    TScratchDir Dir;
    const std::string Zip = ThreeFileZip(Dir);
    std::vector<int> Progress;
    TAbZipArchive A(Dir / "three.zip", fmOpenRead);
    A.OnArchiveProgress = [&](void*, uint8_t P, bool&) { Progress.push_back(P); };
    A.Load();
    EXPECT_EQ(Progress, (std::vector<int>{33, 66, 100, 100}));
    EXPECT_EQ(Names(A), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_FALSE(A.Spanned || A.IsExecutable || A.IsDirty());
    TAbZipArchive Aborted(Dir / "three.zip", fmOpenRead);
    Aborted.OnArchiveProgress = [](void*, uint8_t P, bool& Abort) { Abort = P > 50; };
    EXPECT_THROW(Aborted.Load(), EAbUserAbort);
    EXPECT_EQ(Aborted.Status(), asInvalid);
    EXPECT_THROW(Aborted.ExtractFiles("*"), EAbNoArchive);

    // An empty archive is no disk of a set; the last disk of one may begin with its end record; a first disk
    // asks for the last before anything else.
    TBoxAnswers Log;
    WriteFile(Dir / "none.zip", EndSig + std::string(18, '\0'));
    TAbZipArchive None(Dir / "none.zip", fmOpenRead);
    None.Load();
    EXPECT_FALSE(None.Count() || None.Spanned);
    WriteFile(Dir / "last.zip", EndSig + "\x01" + std::string(17, '\0'));
    WriteFile(Dir / "first.zip", std::string("PK\x07\x08", 4) + Zip);
    for (const char* Name : {"last.zip", "first.zip"}) {
        TAbZipArchive Set(Dir / Name, fmOpenRead);
        Set.OnRequestLastDisk = [](void*, bool& Abort) { Abort = true; };
        EXPECT_THROW(Set.Load(), EAbUserAbort) << Name;
        EXPECT_EQ(Set.Status(), asInvalid);
    }
    EXPECT_TRUE(Log.Texts.empty());
    // Another disk named for the directory is asked for; the default prompt's OK reads the same file again.
    std::string Later = Zip;
    SetLe(Later, Zip.rfind(EndSig) + 4, 0x00010002, 4);
    WriteFile(Dir / "later.bin", "junk" + Later);
    TAbZipArchive B(Dir / "later.bin", fmOpenRead);
    std::vector<int> Disks;
    B.OnRequestNthDisk = [&](void*, uint16_t Disk, bool& Abort) { Disks.push_back(Disk), Abort = true; };
    EXPECT_THROW(B.Load(), EAbUserAbort);
    EXPECT_EQ(Disks, std::vector<int>{2});
    TAbZipArchive C(Dir / "later.bin", fmOpenRead);
    EXPECT_THROW(C.Load(), EAbZipInvalid);
    EXPECT_EQ(Log.Texts, std::vector<std::string>{"Insert disk number 2 of the spanned disk set"});
    // A set read from a stream the archive did not open cannot change disks.
    const std::string First = ReadFile(Dir / "first.zip");
    TArchiveInMemory M(First.data(), First.size());
    EXPECT_THROW(M.Archive.Load(), EAbZipBadSpanStream);
}

// Sets made by zip -s: the directory runs over several disks, or the last disk begins with a local header
// and is still known as a set by its end record. Either end of the set opens it.
TEST(ZipLoad, SetsMadeByZip) {
    TScratchDir Dir;
    TFiles Files;
    for (int I = 0; I < 700; ++I)
        Files.push_back({"folder/" + std::string(150, char('a' + I % 26)) + std::to_string(I),
                         RandomBytes(size_t(I), I)});
    TAbZipArchive Whole(MakeZip(Dir / "whole.zip", Files), fmOpenRead);
    Whole.Load();
    MakeZip(Dir / "set.zip", Files, "-s 64k");
    ASSERT_TRUE(FileExists(Dir / "set.z03"));
    TBoxAnswers Log;
    for (const char* Opened : {"set.zip", "set.z01"}) {
        TAbZipArchive A(Dir / Opened, fmOpenRead);
        A.Load();
        EXPECT_TRUE(A.Spanned && A.Footer().StartDiskNumber != A.Footer().DiskNumber) << Opened;
        EXPECT_EQ(Names(A), Names(Whole)) << Opened;
        EXPECT_GT(A.Items(A.Count() - 1)->DiskNumberStart(), 0u);
    }
    EXPECT_TRUE(Log.Texts.empty());
    MakeZip(Dir / "two.zip", {{"a", RandomBytes(65480, 1)}, {"b", "0123456789"}}, "-0 -s 64k");
    ASSERT_EQ(ReadFile(Dir / "two.zip").substr(0, 4), std::string("PK\x03\x04", 4));
    TAbZipArchive Two(Dir / "two.zip", fmOpenRead);
    Two.Load();
    EXPECT_TRUE(Two.Spanned);
    EXPECT_EQ(Names(Two), (std::vector<std::string>{"a", "b"}));
}

// Loading ends with the entries or the library's error, never a crash, hang or huge allocation (sanitizers).
TEST(ZipLoad, DamagedDirectories) {
    // The directory and end record alone behind a program stub (so no disk of a set) keep each copy small.
    auto DirectoryOf = [](const std::string& Zip) {
        const size_t End = Zip.rfind(EndSig), Dir = GetLe(Zip, End + 16, 4);
        std::string Small = std::string("MZ\0\0", 4) + Zip.substr(Dir);
        SetLe(Small, End - Dir + 4 + 16, 4, 4);
        return Small;
    };
    TScratchDir D;
    PythonZip(D / "made.zip", "z.writestr('d/a', 'x')\nz.writestr('d/empty', '')\nz.comment = b'note'");
    std::mt19937 Gen(20261206);
    int Loaded = 0, Refused = 0;
    for (const std::string& Base : {DirectoryOf(ReadFile(Pkzip("PKZ204EN.ZIP"))),
                                    DirectoryOf(ReadFile(Pkzip("PKZ110.ZIP"))), ReadFile(D / "made.zip")}) {
        ASSERT_TRUE(Loads(Base));
        for (size_t Cut = 1; Cut < Base.size(); Cut += 7)
            EXPECT_FALSE(Loads(Base.substr(0, Cut))) << Cut;
        for (int I = 0; I < 1500; ++I) {
            std::string Bytes = Base;
            // Biased towards the directory and end record; a length or count may be at its largest.
            for (int K = 1 + int(Gen() % 6); K > 0; --K)
                Bytes[Base.size() / 2 + Gen() % (Base.size() - Base.size() / 2)] = Gen() % 3 == 0 ? '\xFF'
                                                                                   : Gen() % 2 ? char(Gen())
                                                                                               : '\0';
            (Loads(Bytes) ? Loaded : Refused)++;
        }
    }
    EXPECT_GT(Refused, 100);
    EXPECT_GT(Loaded, 100);

    // Counts too high, a directory past the end or in the end record, a missing disk, a stray zip64 locator.
    const std::string Base = DirectoryOf(ReadFile(Pkzip("PKZ204E0.ZIP")));
    const size_t End = Base.rfind(EndSig);
    for (auto [At, Value, Width, Ok] : {std::tuple<size_t, uint64_t, int, bool>{10, 0xFFFF, 2, true},
                                        {12, 0xFFFFFFFF, 4, true},
                                        {16, 0x7FFFFFFF, 4, false},
                                        {16, End + 4, 4, false},
                                        {4, 9, 2, false},
                                        {8, 0, 4, false}}) {
        std::string B = Base;
        SetLe(B, End + At, Value, Width);
        EXPECT_EQ(Loads(B), Ok) << At;
    }
    const std::string Locator = std::string("PK\x06\x07", 4) + Le(0, 4) + Le(~0ull, 8) + Le(1, 4);
    EXPECT_FALSE(Loads(Base.substr(0, End) + Locator + Base.substr(End)));
}
