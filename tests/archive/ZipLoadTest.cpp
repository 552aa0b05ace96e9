// Loading an archive's directory: where the end record is found, what starts a spanned set, self-extracting
// programs, sets made by zip -s, progress and abort.

#include "TestUtil.h"
#include "archive/AbExcept.h"
#include "archive/Abziptyp.h"
#include "platform/Classes.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

using namespace testutil;

namespace {

// Collects the message boxes shown while it lives (answered OK).
class TPromptLog {
public:
    TPromptLog() {
        SetMessageBoxHandler([this](const std::string& Text, const std::string& Caption, unsigned) {
            Shown.push_back(Caption + ": " + Text);
            return 1;
        });
    }
    ~TPromptLog() { SetMessageBoxHandler(nullptr); }
    TPromptLog(const TPromptLog&) = delete;
    TPromptLog& operator=(const TPromptLog&) = delete;
    std::vector<std::string> Shown;
};

// Makes Dir/Name.zip from the files given (name -> contents) with zip and the extra options.
std::string MakeZip(const TScratchDir& Dir, const std::string& Name,
                    const std::map<std::string, std::string>& Files, const std::string& Options = "") {
    std::string Src = Dir / "src";
    std::filesystem::remove_all(Src);
    std::string List;
    for (const auto& [File, Data] : Files) {
        std::filesystem::create_directories(std::filesystem::path(Src + "/" + File).parent_path());
        WriteFile(Src + "/" + File, Data);
        List += " " + Quote(File);
    }
    std::string Zip = Dir / (Name + ".zip");
    EXPECT_EQ(Run("cd " + Quote(Src) + " && zip -q -X " + Options + " " + Quote(Zip) + List), 0);
    return Zip;
}

std::vector<std::string> Names(const TAbZipArchive& A) {
    std::vector<std::string> N;
    for (int I = 0; I < A.Count(); ++I)
        N.push_back(A.Items(I)->GetFileName());
    return N;
}

void Put16(std::string& B, size_t At, uint16_t V) {
    B[At] = char(V);
    B[At + 1] = char(V >> 8);
}

size_t EndRecordAt(const std::string& Zip) {
    return Zip.rfind(std::string("PK\x05\x06", 4));
}

// An archive of three stored files, as bytes.
std::string ThreeFileZip(const TScratchDir& Dir) {
    return ReadFile(MakeZip(Dir, "three", {{"a.txt", "alpha"}, {"b.txt", "beta"}, {"c.txt", "gamma"}}, "-0"));
}

TEST(ZipLoad, EmptyAndTinyFiles) {
    TScratchDir Dir;
    WriteFile(Dir / "empty.zip", "");
    TAbZipArchive Empty(Dir / "empty.zip", fmOpenRead);
    EXPECT_EQ(Empty.Count(), 0);
    Empty.Load();
    EXPECT_EQ(Empty.Count(), 0);
    EXPECT_EQ(Empty.Status(), asIdle);

    WriteFile(Dir / "ten.zip", "0123456789");
    TAbZipArchive Ten(Dir / "ten.zip", fmOpenRead);
    EXPECT_THROW(Ten.Load(), EAbZipInvalid);
    EXPECT_EQ(Ten.Status(), asIdle);

    EXPECT_THROW(TAbZipArchive(Dir / "missing.zip", fmOpenRead), EFOpenError);
}

TEST(ZipLoad, EndRecordIsFoundWithinItsReachOnly) {
    const std::string Sig("PK\x05\x06", 4);
    auto Find = [](const std::string& Bytes) {
        TMemoryStream S;
        S.WriteBuffer(Bytes.data(), int64_t(Bytes.size()));
        int64_t At = TAbZipArchive::FindCentralDirectoryTail(S);
        EXPECT_EQ(S.Position(), At);
        return At;
    };
    // Straddling the first two windows: only their overlap sees it.
    EXPECT_EQ(Find(std::string(100, 'x') + Sig + std::string(26, 'y')), 100);
    EXPECT_EQ(Find(Sig + std::string(10, 'y')), 0);
    // It may begin at most 2,044 bytes before the end.
    EXPECT_EQ(Find(std::string(50, 'x') + Sig + std::string(2040, 'y')), 50);
    EXPECT_THROW(Find(std::string(50, 'x') + Sig + std::string(2041, 'y')), EAbZipInvalid);
    // A file of at most 2,048 bytes is searched whole.
    EXPECT_EQ(Find(Sig + std::string(2041, 'y')), 0);
    // The window nearest the end wins, and in it the first occurrence.
    EXPECT_EQ(Find(std::string(10, 'x') + Sig + std::string(30, 'z') + Sig + std::string(8, 'y')), 44);
    EXPECT_EQ(Find(std::string(10, 'x') + Sig + "ab" + Sig + std::string(8, 'y')), 10);
}

TEST(ZipLoad, ArchiveCommentsWithinAndBeyondReach) {
    TScratchDir Dir;
    std::string Zip = ThreeFileZip(Dir);
    size_t End = EndRecordAt(Zip);
    for (size_t Length : {size_t(1900), size_t(2100)}) {
        std::string WithComment = Zip;
        Put16(WithComment, End + 20, uint16_t(Length));
        WithComment += std::string(Length, 'c');
        WriteFile(Dir / "comment.zip", WithComment);
        TAbZipArchive A(Dir / "comment.zip", fmOpenRead);
        if (Length == 1900) {
            A.Load();
            EXPECT_EQ(A.Count(), 3);
            EXPECT_EQ(A.Footer().ZipfileComment, std::string(1900, 'c'));
        } else {
            EXPECT_THROW(A.Load(), EAbZipInvalid);
        }
    }
}

TEST(ZipLoad, ProgressLoadEventAndAbort) {
    TScratchDir Dir;
    WriteFile(Dir / "three.zip", ThreeFileZip(Dir));
    TAbZipArchive A(Dir / "three.zip", fmOpenRead);
    std::vector<int> Progress;
    int Loads = 0;
    A.OnArchiveProgress = [&](void* Sender, uint8_t P, bool&) {
        EXPECT_EQ(Sender, &A);
        Progress.push_back(P);
    };
    A.OnLoad = [&](void*) { ++Loads; };
    A.Load();
    EXPECT_EQ(Progress, (std::vector<int>{33, 66, 100, 100}));
    EXPECT_EQ(Loads, 1);
    EXPECT_EQ(Names(A), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(A.Items(1)->GetUncompressedSize(), 4u);
    EXPECT_EQ(A.Items(1)->CompressionMethod(), 0);
    EXPECT_FALSE(A.Spanned);
    EXPECT_FALSE(A.IsExecutable);
    EXPECT_FALSE(A.IsDirty());

    // An abort at progress makes the archive invalid.
    TAbZipArchive B(Dir / "three.zip", fmOpenRead);
    Loads = 0;
    B.OnArchiveProgress = [](void*, uint8_t P, bool& Abort) { Abort = P > 50; };
    B.OnLoad = [&](void*) { ++Loads; };
    EXPECT_THROW(B.Load(), EAbUserAbort);
    EXPECT_EQ(Loads, 1);
    EXPECT_EQ(B.Status(), asInvalid);
    EXPECT_EQ(B.Count(), 2);
    EXPECT_THROW(B.Extract(B.Items(0), ""), EAbNoArchive);
    EXPECT_THROW(B.ExtractFiles("*"), EAbNoArchive);
}

TEST(ZipLoad, EmptyArchiveIsTakenForASpannedSet) {
    TScratchDir Dir;
    WriteFile(Dir / "none.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    TPromptLog Log;
    TAbZipArchive A(Dir / "none.zip", fmOpenRead);
    A.Load();
    EXPECT_EQ(A.Count(), 0);
    EXPECT_TRUE(A.Spanned);
    ASSERT_EQ(Log.Shown.size(), 1u);
    EXPECT_EQ(Log.Shown[0], "Insert floppy: Insert the last disk in the spanned disk set");
}

TEST(ZipLoad, DiskRequestsAndTheirAbort) {
    TScratchDir Dir;
    std::string Zip = ThreeFileZip(Dir);

    // A first disk: the last one is asked for before anything else.
    std::string First = std::string("PK\x07\x08", 4) + Zip;
    WriteFile(Dir / "first.zip", First);
    TAbZipArchive A(Dir / "first.zip", fmOpenRead);
    int Asked = 0;
    A.OnRequestLastDisk = [&](void*, bool& Abort) {
        ++Asked;
        Abort = true;
    };
    EXPECT_THROW(A.Load(), EAbUserAbort);
    EXPECT_EQ(Asked, 1);
    EXPECT_EQ(A.Status(), asInvalid);

    // An end record naming another disk for the directory: that disk is asked for (counted from 1).
    std::string Later = Zip;
    size_t End = EndRecordAt(Later);
    Put16(Later, End + 4, 2);
    Put16(Later, End + 6, 1);
    WriteFile(Dir / "later.bin", "junk" + Later);
    TAbZipArchive B(Dir / "later.bin", fmOpenRead);
    std::vector<int> Disks;
    B.OnRequestNthDisk = [&](void*, uint16_t Disk, bool& Abort) {
        Disks.push_back(Disk);
        Abort = true;
    };
    EXPECT_THROW(B.Load(), EAbUserAbort);
    EXPECT_EQ(Disks, std::vector<int>{2});
    EXPECT_TRUE(B.Spanned);
    EXPECT_EQ(B.Status(), asInvalid);

    // Without a handler the prompt is shown and answered OK: the same file is read again.
    TPromptLog Log;
    TAbZipArchive C(Dir / "later.bin", fmOpenRead);
    EXPECT_THROW(C.Load(), EAbZipInvalid);
    ASSERT_FALSE(Log.Shown.empty());
    EXPECT_EQ(Log.Shown[0], "Insert floppy: Insert disk number 2 of the spanned disk set");
    EXPECT_EQ(C.Status(), asIdle);

    // A set read from a stream the archive did not open cannot change disks.
    TMemoryStream M;
    M.WriteBuffer(First.data(), int64_t(First.size()));
    TAbZipArchive D(M, "memory");
    EXPECT_THROW(D.Load(), EAbZipBadSpanStream);
}

TEST(ZipLoad, MalformedDirectories) {
    TScratchDir Dir;
    std::string Zip = ThreeFileZip(Dir);
    size_t End = EndRecordAt(Zip);

    std::string NoEntries = Zip;
    Put16(NoEntries, End + 8, 0);
    Put16(NoEntries, End + 10, 0);
    WriteFile(Dir / "zero.zip", NoEntries);
    TAbZipArchive A(Dir / "zero.zip", fmOpenRead);
    try {
        A.Load();
        FAIL() << "loaded";
    } catch (const EAbZipInvalid& E) {
        EXPECT_STREQ(E.what(), "Invalid file - not a PKZip file");
    }

    // A damaged second record: the first stays listed, the status returns to idle.
    std::string Bad = Zip;
    size_t Second = Bad.find(std::string("PK\x01\x02", 4), Bad.find(std::string("PK\x01\x02", 4)) + 4);
    Bad[Second + 3] = 9;
    WriteFile(Dir / "bad.zip", Bad);
    TAbZipArchive B(Dir / "bad.zip", fmOpenRead);
    EXPECT_THROW(B.Load(), EAbZipInvalid);
    EXPECT_EQ(B.Count(), 1);
    EXPECT_EQ(B.Status(), asIdle);

    // A directory offset past the end of the file.
    std::string Far = Zip;
    Far[End + 19] = 0x7F;
    WriteFile(Dir / "far.zip", Far);
    TAbZipArchive C(Dir / "far.zip", fmOpenRead);
    EXPECT_THROW(C.Load(), EReadError);
}

TEST(ZipLoad, SelfExtractingProgram) {
    TScratchDir Dir;
    std::string Zip = ThreeFileZip(Dir);
    std::string Stub = "MZ" + std::string(998, '\x90');
    WriteFile(Dir / "sfx.exe", Stub + Zip);
    ASSERT_EQ(testutil::Run("zip -q -A " + Quote(Dir / "sfx.exe")), 0);
    TAbZipArchive A(Dir / "sfx.exe", fmOpenRead);
    A.Load();
    EXPECT_TRUE(A.IsExecutable);
    EXPECT_FALSE(A.Spanned);
    EXPECT_EQ(A.StubSize, Stub.size());
    EXPECT_EQ(Names(A), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));

    WriteFile(Dir / "plain.exe", Stub + std::string(5000, '\0'));
    TAbZipArchive B(Dir / "plain.exe", fmOpenRead);
    EXPECT_THROW(B.Load(), EAbZipInvalid);
}

TEST(ZipLoad, SetsMadeByZipSplit) {
    TScratchDir Dir;
    // Enough long names that the directory itself runs over several 64 KiB disks.
    std::map<std::string, std::string> Files;
    for (int I = 0; I < 700; ++I)
        Files["folder/" + std::string(150, char('a' + I % 26)) + std::to_string(I)] =
            RandomBytes(size_t(I), I);
    std::string Whole = MakeZip(Dir, "whole", Files);
    TAbZipArchive Reference(Whole, fmOpenRead);
    Reference.Load();

    MakeZip(Dir, "set", Files, "-s 64k");
    ASSERT_TRUE(FileExists(Dir / "set.z03"));
    TPromptLog Log;
    for (const char* Opened : {"set.zip", "set.z01"}) {
        TAbZipArchive A(Dir / Opened, fmOpenRead);
        std::vector<int> Progress;
        A.OnArchiveProgress = [&](void*, uint8_t P, bool&) { Progress.push_back(P); };
        A.Load();
        EXPECT_TRUE(A.Spanned) << Opened;
        EXPECT_NE(A.Footer().StartDiskNumber, A.Footer().DiskNumber);
        EXPECT_EQ(A.CurrentDisk, A.Footer().DiskNumber);
        EXPECT_EQ(Names(A), Names(Reference)) << Opened;
        EXPECT_EQ(Progress.back(), 100);
        EXPECT_GT(A.Items(A.Count() - 1)->DiskNumberStart(), 0u);
    }
    EXPECT_EQ(Log.Shown, std::vector<std::string>{});

    // A last disk that begins with a local header is still known as a set by its end record.
    MakeZip(Dir, "two", {{"a", RandomBytes(65480, 1)}, {"b", "0123456789"}}, "-0 -s 64k");
    ASSERT_EQ(ReadFile(Dir / "two.zip").substr(0, 4), std::string("PK\x03\x04", 4));
    TAbZipArchive Two(Dir / "two.zip", fmOpenRead);
    Two.Load();
    EXPECT_TRUE(Two.Spanned);
    EXPECT_EQ(Names(Two), (std::vector<std::string>{"a", "b"}));

    // Opening a disk of the set: the file of that disk.
    TAbZipArchive A(Dir / "set.zip", fmOpenRead);
    A.Load();
    A.ChangeDisk(1);
    EXPECT_EQ(A.CurrentDisk, 1);
    EXPECT_EQ(A.Stream->Size(), FileSizeOf(Dir / "set.z02"));
    // A missing disk fails under its own name.
    testutil::Run("rm " + Quote(Dir / "set.z02"));
    try {
        A.ChangeDisk(1);
        FAIL() << "opened";
    } catch (const EFOpenError& E) {
        EXPECT_NE(std::string(E.what()).find("set.z02"), std::string::npos);
    }
}

} // namespace
