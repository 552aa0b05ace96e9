// Zip records (refusals, derived values, names and zip64 sizes) and loading an archive's directory: where
// the end record is found, what starts a spanned set, sets made by zip -s, progress and abort, and damaged
// directories.

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

class TBytesStream : public TMemoryStream {
public:
    explicit TBytesStream(const std::string& Bytes) {
        WriteBuffer(Bytes.data(), int64_t(Bytes.size())), SetPosition(0);
    }
};

std::unique_ptr<TAbZipItem> Loaded(const TAbZipDirectoryFileHeader& H) {
    TBytesStream S(Saved(H));
    auto Item = std::make_unique<TAbZipItem>();
    Item->LoadFromStream(S);
    return Item;
}

} // namespace

TEST(ZipRecords, Refusals) {
    TAbZipDirectoryFileHeader H;
    H.FileName = "dir/name.txt";
    H.FileComment = "a comment";
    // A wrong signature is refused after the whole record was read.
    std::string Bytes = Saved(H);
    Bytes[2] = 3;
    TBytesStream S(Bytes + "tail");
    EXPECT_THROW(H.LoadFromStream(S), EAbZipInvalid);
    EXPECT_EQ(S.Position(), int64_t(Bytes.size()));
    for (size_t Cut : {size_t(0), size_t(45), size_t(46), Bytes.size() - 1}) {
        TBytesStream Short(Bytes.substr(0, Cut));
        EXPECT_THROW(H.LoadFromStream(Short), EReadError) << Cut;
    }
    TAbZipDirectoryFileFooter F;
    std::string FBytes = Saved(F);
    FBytes[20] = char(0xFF); // a comment of 255 bytes that are not there
    TBytesStream FS(FBytes);
    EXPECT_THROW(F.LoadFromStream(FS), EReadError);
    // What does not fit a 16-bit length is never written.
    TAbZipLocalFileHeader L;
    L.FileName.assign(70000, 'a');
    TMemoryStream Out;
    EXPECT_THROW(L.SaveToStream(Out), EWriteError);
    EXPECT_EQ(Out.Size(), 0);
}

TEST(ZipRecords, DerivedValues) {
    TAbZipDirectoryFileHeader H;
    struct {
        uint16_t Flags, Method;
        uint32_t Compressed, Uncompressed;
        double Ratio;
        int Dictionary, Trees;
    } const Cases[] = {
        {1, 6, 112, 200, 50.0, 1, 2}, // encrypted: the 12-byte header is no data
        {0, 6, 112, 400, 72.0, 1, 2}, {2, 6, 0, 0, 0.0, 2, 2},
        {4, 0x86, 0, 0, 0.0, 1, 3},   {6, 8, 10, 10, 0.0, 0, 0},
    };
    for (const auto& C : Cases) {
        H.GeneralPurposeBitFlag = C.Flags;
        H.SetCompressionMethod(C.Method);
        H.CompressedSize = C.Compressed;
        H.UncompressedSize = C.Uncompressed;
        EXPECT_DOUBLE_EQ(H.CompressionRatio(), C.Ratio) << C.Flags << " " << C.Method;
        EXPECT_EQ(H.DictionarySize(), C.Dictionary) << C.Flags << " " << C.Method;
        EXPECT_EQ(H.ShannonFanoTreeCount(), C.Trees) << C.Flags << " " << C.Method;
    }
}

// Flagged or UTF-8 names from other hosts pass; DOS-family hosts' names are CP437. Saturated sizes come from
// the zip64 extra field, in its order.
TEST(ZipRecords, NamesAndZip64Sizes) {
    TAbZipDirectoryFileHeader H;
    struct {
        uint16_t MadeBy, Flags;
        std::string Raw, Name;
    } const Names[] = {
        {0x0014, 0, "caf\x82/\x9c.txt", "caf\xC3\xA9/\xC2\xA3.txt"},
        {0x0314, 0, "caf\x82.txt", "caf\xC3\xA9.txt"},
        {0x0314, 0, "caf\xC3\xA9.txt", "caf\xC3\xA9.txt"},
        {0x0014, 0, "caf\xC3\xA9.txt", "caf\xE2\x94\x9C\xE2\x8C\x90.txt"},
        {0x0B14, Ab_ZipUtf8NameFlag, "\xCE\xB1\xCE\xB2/" + std::string(300, 'n'),
         "\xCE\xB1\xCE\xB2/" + std::string(300, 'n')},
    };
    for (const auto& N : Names) {
        H.VersionMadeBy = N.MadeBy;
        H.GeneralPurposeBitFlag = N.Flags;
        H.FileName = N.Raw;
        EXPECT_EQ(Loaded(H)->GetFileName(), N.Name) << N.Raw;
    }
    H.UncompressedSize = H.CompressedSize = H.RelativeOffset = 0xFFFFFFFFu;
    H.ExtraField = std::string("\x0A\x00\x02\x00zz\x01\x00\x18\x00", 10);
    for (uint64_t V : {uint64_t(0x123456789), uint64_t(0x23456789A), uint64_t(0x3456789AB)})
        for (int B = 0; B < 8; ++B)
            H.ExtraField += char(V >> (8 * B));
    const auto Item = Loaded(H);
    EXPECT_EQ(Item->GetUncompressedSize(), 0x123456789u);
    EXPECT_EQ(Item->GetCompressedSize(), 0x23456789Au);
    EXPECT_EQ(Item->RelativeOffset(), 0x3456789ABu);
}

namespace {

std::vector<std::string> Names(const TAbZipArchive& A) {
    std::vector<std::string> N;
    for (int I = 0; I < A.Count(); ++I)
        N.push_back(A.Items(I)->GetFileName());
    return N;
}

const std::string EndSig("PK\x05\x06", 4);

// An archive of three stored files, as bytes.
std::string ThreeFileZip(const TScratchDir& Dir) {
    return ReadFile(
        MakeZip(Dir / "three.zip", {{"a.txt", "alpha"}, {"b.txt", "beta"}, {"c.txt", "gamma"}}, "-0"));
}

bool Loads(const std::string& Bytes) {
    return TArchiveInMemory(Bytes.data(), Bytes.size()).Load();
}

} // namespace

TEST(ZipLoad, EndRecordIsFoundWithinItsReachOnly) {
    // An end record with a comment of Comment bytes.
    auto Record = [](uint16_t Comment) {
        return EndSig + std::string(16, '\0') + std::string{char(Comment), char(Comment >> 8)} +
               std::string(Comment, 'c');
    };
    auto Find = [](const std::string& Bytes) {
        TMemoryStream S;
        S.WriteBuffer(Bytes.data(), int64_t(Bytes.size()));
        int64_t At = TAbZipArchive::FindCentralDirectoryTail(S);
        EXPECT_EQ(S.Position(), At);
        return At;
    };
    EXPECT_EQ(Find(std::string(100, 'x') + Record(0)), 100);
    EXPECT_EQ(Find(Record(0)), 0);
    // The longest comment, and data appended after the record, as far as the window reaches.
    EXPECT_EQ(Find(std::string(50, 'x') + Record(0xFFFF)), 50);
    EXPECT_EQ(Find(std::string(50, 'x') + Record(0) + std::string(0xFFFF, 'y')), 50);
    EXPECT_THROW(Find(std::string(50, 'x') + Record(0) + std::string(0x10000, 'y')), EAbZipInvalid);
    // Nearest the end first, unless that record would run past the end of the file.
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
    EXPECT_FALSE(Loads("0123456789"));
    EXPECT_THROW(TAbZipArchive(Dir / "missing.zip", fmOpenRead), EFOpenError);
}

TEST(ZipLoad, ProgressAndAbort) {
    TScratchDir Dir;
    WriteFile(Dir / "three.zip", ThreeFileZip(Dir));
    TAbZipArchive A(Dir / "three.zip", fmOpenRead);
    std::vector<int> Progress;
    A.OnArchiveProgress = [&](void*, uint8_t P, bool&) { Progress.push_back(P); };
    A.Load();
    EXPECT_EQ(Progress, (std::vector<int>{33, 66, 100, 100}));
    EXPECT_EQ(Names(A), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_FALSE(A.Spanned || A.IsExecutable || A.IsDirty());

    // An abort at progress makes the archive unusable.
    TAbZipArchive B(Dir / "three.zip", fmOpenRead);
    B.OnArchiveProgress = [](void*, uint8_t P, bool& Abort) { Abort = P > 50; };
    EXPECT_THROW(B.Load(), EAbUserAbort);
    EXPECT_EQ(B.Status(), asInvalid);
    EXPECT_THROW(B.ExtractFiles("*"), EAbNoArchive);
}

TEST(ZipLoad, DiskRequests) {
    TScratchDir Dir;
    const std::string Zip = ThreeFileZip(Dir);
    // An empty archive is no disk of a set; the last disk of one may begin with its end record too.
    {
        TBoxAnswers Log;
        WriteFile(Dir / "none.zip", EndSig + std::string(18, '\0'));
        TAbZipArchive A(Dir / "none.zip", fmOpenRead);
        A.Load();
        EXPECT_EQ(A.Count(), 0);
        EXPECT_FALSE(A.Spanned);
        WriteFile(Dir / "last.zip", EndSig + "\x01" + std::string(17, '\0'));
        TAbZipArchive B(Dir / "last.zip", fmOpenRead);
        B.OnRequestLastDisk = [](void*, bool& Abort) { Abort = true; };
        EXPECT_THROW(B.Load(), EAbUserAbort);
        EXPECT_TRUE(Log.Texts.empty());
    }
    // A first disk asks for the last one before anything else.
    WriteFile(Dir / "first.zip", std::string("PK\x07\x08", 4) + Zip);
    TAbZipArchive A(Dir / "first.zip", fmOpenRead);
    A.OnRequestLastDisk = [&](void*, bool& Abort) { Abort = true; };
    EXPECT_THROW(A.Load(), EAbUserAbort);
    EXPECT_EQ(A.Status(), asInvalid);

    // An end record naming another disk for the directory: that disk is asked for (counted from 1); the
    // default prompt is answered OK and the same file is read again.
    std::string Later = Zip;
    SetLe(Later, Zip.rfind(EndSig) + 4, 2, 2);
    SetLe(Later, Zip.rfind(EndSig) + 6, 1, 2);
    WriteFile(Dir / "later.bin", "junk" + Later);
    TAbZipArchive B(Dir / "later.bin", fmOpenRead);
    std::vector<int> Disks;
    B.OnRequestNthDisk = [&](void*, uint16_t Disk, bool& Abort) {
        Disks.push_back(Disk);
        Abort = true;
    };
    EXPECT_THROW(B.Load(), EAbUserAbort);
    EXPECT_EQ(Disks, std::vector<int>{2});
    TBoxAnswers Log;
    TAbZipArchive C(Dir / "later.bin", fmOpenRead);
    EXPECT_THROW(C.Load(), EAbZipInvalid);
    EXPECT_EQ(Log.Texts.at(0), "Insert disk number 2 of the spanned disk set");
    // A set read from a stream the archive did not open cannot change disks.
    const std::string First = ReadFile(Dir / "first.zip");
    TArchiveInMemory M(First.data(), First.size());
    EXPECT_THROW(M.Archive.Load(), EAbZipBadSpanStream);
}

// Sets made by zip -s: the directory itself runs over several disks, or the last disk begins with a local
// header and is still known as a set by its end record. Either end of the set opens it.
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
        EXPECT_TRUE(A.Spanned) << Opened;
        EXPECT_NE(A.Footer().StartDiskNumber, A.Footer().DiskNumber);
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

// Whatever the bytes, loading ends with the entries or with the library's exception (or a stream read
// error), never a crash, a hang or an allocation sized by a damaged field. Run under the sanitizers in CI.
TEST(ZipLoad, DamagedDirectories) {
    // The directory and end record of archives alone, behind a 4-byte program stub (so they are not taken
    // for a disk of a set): they load the same and keep each damaged copy small.
    auto DirectoryOf = [](const std::string& Zip) {
        const size_t End = Zip.rfind(EndSig), Dir = GetLe(Zip, End + 16, 4);
        std::string Small = std::string("MZ\0\0", 4) + Zip.substr(Dir);
        SetLe(Small, End - Dir + 4 + 16, 4, 4);
        return Small;
    };
    TScratchDir D;
    PythonZip(D / "made.zip", "z.writestr('d/a', 'x')\nz.writestr('d/empty', '')\nz.comment = b'note'");
    const std::string Bases[] = {DirectoryOf(ReadFile(Pkzip("PKZ204EN.ZIP"))),
                                 DirectoryOf(ReadFile(Pkzip("PKZ110.ZIP"))), ReadFile(D / "made.zip")};
    std::mt19937 Gen(20261206);
    int Loaded = 0, Refused = 0;
    for (const std::string& Base : Bases) {
        ASSERT_TRUE(Loads(Base));
        for (size_t Cut = 1; Cut < Base.size(); Cut += 7)
            EXPECT_FALSE(Loads(Base.substr(0, Cut))) << Cut;
        for (int I = 0; I < 1500; ++I) {
            std::string Bytes = Base;
            // Biased towards the directory and end record; a length or count field may be at its largest.
            for (int K = 1 + int(Gen() % 6); K > 0; --K) {
                const size_t At = Base.size() / 2 + Gen() % (Base.size() - Base.size() / 2);
                Bytes[At] = Gen() % 3 == 0 ? '\xFF' : Gen() % 2 ? char(Gen()) : '\0';
            }
            (Loads(Bytes) ? Loaded : Refused)++;
        }
    }
    EXPECT_GT(Refused, 100);
    EXPECT_GT(Loaded, 100);

    // Counts far above what follows, a directory that starts past the end or inside the end record, a disk
    // that is not there, a zip64 locator pointing anywhere, a footer stating no entries while records follow.
    const std::string Base = DirectoryOf(ReadFile(Pkzip("PKZ204E0.ZIP")));
    const size_t End = Base.rfind(EndSig);
    auto Patched = [&](size_t At, uint64_t Value, int Width) {
        std::string B = Base;
        SetLe(B, At, Value, Width);
        return B;
    };
    EXPECT_TRUE(Loads(Patched(End + 10, 0xFFFF, 2)));
    EXPECT_TRUE(Loads(Patched(End + 12, 0xFFFFFFFF, 4)));
    EXPECT_FALSE(Loads(Patched(End + 16, 0x7FFFFFFF, 4)));
    EXPECT_FALSE(Loads(Patched(End + 16, End + 4, 4)));
    EXPECT_FALSE(Loads(Patched(End + 4, 9, 2)));
    EXPECT_FALSE(Loads(Patched(End + 8, 0, 4)));
    const std::string Locator = std::string("PK\x06\x07", 4) + Le(0, 4) + Le(~0ull, 8) + Le(1, 4);
    EXPECT_FALSE(Loads(Base.substr(0, End) + Locator + Base.substr(End)));
}
