// Extracting entries to files: the DOS archives with their dates, refusals that leave no file, names that
// try to leave the base folder, folder entries, overwrite confirmation, and damaged archives.
#include "archive/AbExcept.h"
#include "archive/AbUnZPrc.h"
#include "archive/Abziptyp.h"
#include "platform/Dialogs.h"
#include "platform/DosDate.h"
#include "platform/Files.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <sys/stat.h>

using namespace testutil;
namespace fs = std::filesystem;

namespace {

std::string Pkzip(const std::string& Name) {
    return FixturesDir() + "/pkzip/" + Name;
}

// Runs a Python snippet that writes the zip file named by its first argument.
void PythonZip(const std::string& Path, const std::string& Body) {
    const std::string Script =
        "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1], 'w')\n" + Body + "z.close()\n";
    ASSERT_EQ(testutil::Run("python3 -c " + Quote(Script) + " " + Quote(Path)), 0);
}

// An archive opened for extraction into Base, failures collected.
struct TOpened {
    TAbZipArchive Archive;
    std::vector<int> Failures;
    TOpened(const std::string& Path, const std::string& Base) : Archive(Path, fmOpenRead) {
        Archive.Load();
        Archive.SetBaseDirectory(Base);
        Archive.ExtractHandler = [](TAbZipArchive& A, TAbZipItem& I, const std::string& N) {
            UnzipItemToFile(A, I, N);
        };
        Archive.OnProcessItemFailure = [this](void*, TAbArchiveItem*, TAbProcessType, TAbErrorClass, int Code,
                                              const std::string&) { Failures.push_back(Code); };
    }
    TAbZipItem& Item(int I) { return *Archive.Items(I); }
};

// Rewrites bytes of every central directory record (Offset from the record's start).
void PatchDirectory(const std::string& Path, size_t Offset, const std::string& Bytes) {
    std::string Zip = ReadFile(Path);
    for (size_t P = Zip.find("PK\x01\x02"); P != std::string::npos; P = Zip.find("PK\x01\x02", P + 4))
        Zip.replace(P + Offset, Bytes.size(), Bytes);
    WriteFile(Path, Zip);
}

std::string Le16(unsigned V) {
    return std::string{char(V & 0xFF), char(V >> 8)};
}

} // namespace

TEST(UnzipItem, DosArchivesExtractByteIdenticalWithTheirDates) {
    TScratchDir Dir;
    std::map<std::string, std::string> Originals;
    for (auto& E : ReadLocalEntries(Pkzip("PKZ204E0.ZIP")))
        Originals[E.Name] = E.Data;
    for (const char* Name : {"PKZ80A1.ZIP", "PKZ80B3.ZIP", "PKZ110.ZIP", "PKZ204EX.ZIP", "PKZ204ES.ZIP"}) {
        TOpened A(Pkzip(Name), Dir.Path());
        for (int I = 0; I < A.Archive.Count(); ++I) {
            TAbZipItem& Item = A.Item(I);
            A.Archive.Extract(&Item, "");
            const std::string Out = Dir / Item.GetFileName();
            EXPECT_TRUE(ReadFile(Out) == Originals.at(Item.GetFileName()))
                << Name << " " << Item.GetFileName();
            struct stat St;
            ASSERT_EQ(stat(Out.c_str(), &St), 0);
            EXPECT_EQ(St.st_mtime,
                      DosDateTimeToUnix(uint32_t(Item.LastModFileDate()) << 16 | Item.LastModFileTime()));
        }
        EXPECT_TRUE(A.Failures.empty()) << Name;
    }
}

TEST(UnzipItem, RefusedAndFailedEntriesLeaveNoFile) {
    TScratchDir Dir;
    fs::create_directory(Dir / "out");
    const std::string Data = SampleText(100000, 1);
    WriteFile(Dir / "a.txt", Data);
    const std::string Zip = Dir / "a.zip";
    ASSERT_EQ(testutil::Run("cd " + Quote(Dir.Path()) + " && zip -q a.zip a.txt"), 0);
    auto Expect = [&](int Code, const std::function<void(TOpened&)>& Setup = nullptr) {
        TOpened A(Zip, Dir / "out");
        if (Setup)
            Setup(A);
        A.Archive.Extract(&A.Item(0), "");
        EXPECT_EQ(A.Failures, std::vector<int>{Code});
        EXPECT_FALSE(fs::exists(Dir / "out/a.txt")) << Code;
        return A.Archive.Status();
    };
    // An abort from progress: the archive is no longer usable.
    EXPECT_EQ(Expect(AbUserAbort,
                     [](TOpened& A) {
                         A.Archive.OnArchiveItemProgress = [](void*, TAbArchiveItem*, uint8_t, bool& Abort) {
                             Abort = true;
                         };
                     }),
              asInvalid);
    // A wrong CRC-32 in the directory.
    const std::string Good = ReadFile(Zip);
    PatchDirectory(Zip, 16, "\x01\x02\x03\x04");
    Expect(AbZipBadCRC);
    WriteFile(Zip, Good);
    // Methods nobody decodes, and a newer version needed.
    for (unsigned Method : {7u, 9u, 10u, 12u}) {
        PatchDirectory(Zip, 10, Le16(Method));
        Expect(AbZipInvalidMethod);
    }
    WriteFile(Zip, Good);
    PatchDirectory(Zip, 6, Le16(21));
    Expect(AbZipVersion);
    PatchDirectory(Zip, 6, Le16(20));
    TOpened A(Zip, Dir / "out");
    A.Archive.Extract(&A.Item(0), "");
    EXPECT_EQ(ReadFile(Dir / "out/a.txt"), Data);
}

TEST(UnzipItem, NamesNeverLeaveTheBaseFolder) {
    TScratchDir Dir;
    const std::string Zip = Dir / "evil.zip";
    PythonZip(Zip, "for n in ['../up.txt', '/abs/root.txt', 'a/../../b/deep.txt', './here.txt', 'link.txt',"
                   " 'x/..', '../..', 'dir/', 'dir/sub/']:\n"
                   "    z.writestr(n, 'data of ' + n)\n");
    fs::create_directories(Dir / "base");
    // A link planted where an entry will be written must be replaced, not written through.
    WriteFile(Dir / "outside.txt", "keep");
    fs::create_symlink(Dir / "outside.txt", Dir / "base/link.txt");

    TOpened A(Zip, Dir / "base");
    A.Archive.ExtractOptions.Include(eoCreateDirs);
    A.Archive.ExtractOptions.Include(eoRestorePath);
    for (int I = 0; I < A.Archive.Count(); ++I)
        A.Archive.ExtractAt(I, "");
    EXPECT_EQ(A.Failures, std::vector<int>{AbZipInvalid}); // "../.." names nothing
    EXPECT_EQ(ReadFile(Dir / "base/x"), "data of x/..");
    EXPECT_EQ(ReadFile(Dir / "base/up.txt"), "data of ../up.txt");
    EXPECT_EQ(ReadFile(Dir / "base/abs/root.txt"), "data of /abs/root.txt");
    EXPECT_EQ(ReadFile(Dir / "base/a/b/deep.txt"), "data of a/../../b/deep.txt");
    EXPECT_EQ(ReadFile(Dir / "base/here.txt"), "data of ./here.txt");
    EXPECT_FALSE(fs::is_symlink(Dir / "base/link.txt"));
    EXPECT_EQ(ReadFile(Dir / "base/link.txt"), "data of link.txt");
    EXPECT_EQ(ReadFile(Dir / "outside.txt"), "keep");
    EXPECT_TRUE(fs::is_directory(Dir / "base/dir/sub"));
    std::vector<std::string> Top;
    for (auto& E : fs::directory_iterator(Dir.Path()))
        Top.push_back(E.path().filename());
    std::sort(Top.begin(), Top.end());
    EXPECT_EQ(Top, (std::vector<std::string>{"base", "evil.zip", "outside.txt"}));
}

TEST(UnzipItem, FoldersAndOverwriteConfirmation) {
    TScratchDir Dir;
    const std::string Zip = Dir / "t.zip";
    PythonZip(Zip, "z.writestr('docs/', '')\nz.writestr('docs/a.txt', 'new')\n");
    fs::create_directory(Dir / "flat");

    // Without eoRestorePath the folder entry has nothing to make and the file lands directly in the base.
    TOpened Flat(Zip, Dir / "flat");
    Flat.Archive.ExtractFiles("*.*");
    EXPECT_TRUE(Flat.Failures.empty());
    EXPECT_EQ(ReadFile(Dir / "flat/a.txt"), "new");

    // With it but without eoCreateDirs a missing folder is refused.
    TOpened NoDirs(Zip, Dir / "flat");
    NoDirs.Archive.ExtractOptions.Include(eoRestorePath);
    NoDirs.Archive.Extract(&NoDirs.Item(1), "");
    EXPECT_EQ(NoDirs.Failures, std::vector<int>{AbNoSuchDirectory});

    // A handler that declines keeps the file; one that renames puts the entry under the new name.
    WriteFile(Dir / "flat/a.txt", "old");
    TOpened Keep(Zip, Dir / "flat");
    Keep.Archive.OnConfirmOverwrite = [](std::string&, bool& Confirm) { Confirm = false; };
    Keep.Archive.Extract(&Keep.Item(1), "");
    EXPECT_EQ(ReadFile(Dir / "flat/a.txt"), "old");
    EXPECT_TRUE(Keep.Failures.empty());
    TOpened Rename(Zip, Dir / "flat");
    Rename.Archive.OnConfirmOverwrite = [&Dir](std::string& Name, bool&) { Name = Dir / "flat/b.txt"; };
    Rename.Archive.Extract(&Rename.Item(1), "");
    EXPECT_EQ(ReadFile(Dir / "flat/a.txt"), "old");
    EXPECT_EQ(ReadFile(Dir / "flat/b.txt"), "new");
}

// Damaged archives: every failure is the library's (or a stream's) exception reported for the entry, and
// nothing is written outside the base folder.
TEST(UnzipItem, DamagedArchivesFailCleanly) {
    TScratchDir Dir;
    for (const char* Name : {"one.txt", "two.bin"})
        WriteFile(Dir / Name, SampleText(3000, 2) + RandomBytes(500, 3));
    ASSERT_EQ(testutil::Run("cd " + Quote(Dir.Path()) +
                            " && zip -q -9 good.zip one.txt two.bin && zip -q -0 -e -P pw "
                            "enc.zip one.txt"),
              0);
    fs::create_directory(Dir / "base");
    SetMessageBoxHandler([](const std::string&, const std::string&, unsigned) { return 1; });
    std::mt19937 Gen(7);
    int Loaded = 0;
    for (int Round = 0; Round < 400; ++Round) {
        std::string Zip = ReadFile(Dir / (Round % 3 ? "good.zip" : "enc.zip"));
        for (int Flips = 1 + int(Gen() % 6); Flips--;)
            Zip[Gen() % Zip.size()] = char(Gen());
        WriteFile(Dir / "bad.zip", Zip);
        try {
            TOpened A(Dir / "bad.zip", Dir / "base");
            A.Archive.Password = "pw";
            A.Archive.ExtractFiles("*.*");
            ++Loaded;
        } catch (const Exception&) {
        }
        for (auto& E : fs::directory_iterator(Dir / "base"))
            fs::remove_all(E.path());
    }
    SetMessageBoxHandler(nullptr);
    EXPECT_GT(Loaded, 100);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir.Path()), fs::directory_iterator()), 6);
}
