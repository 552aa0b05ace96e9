// The archive base, the decompressor on its own (size cap) and entries extracted to files.

#include "TestUtil.h"
#include "archive/AbExcept.h"
#include "archive/AbUnZPrc.h"
#include "archive/Abziptyp.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <random>

using namespace testutil;
namespace fs = std::filesystem;

namespace {

// An archive with every extraction recorded.
class TRecordingArchive : public TAbZipArchive {
public:
    explicit TRecordingArchive(const std::string& FileName) : TAbZipArchive(FileName, fmOpenRead) {
        Load();
        ExtractHandler = [this](TAbZipArchive&, TAbZipItem& Item, const std::string& NewName) {
            EXPECT_EQ(Status(), asBusy);
            Log.push_back(Item.GetFileName() + " -> " + NewName);
        };
    }
    std::vector<std::string> Log;
};

} // namespace

TEST(ArchiveBase, NameIndexAndNamesDifferingInCase) {
    TScratchDir Dir;
    PythonZip(Dir / "c.zip",
              "for n in ['README', 'readme', 'Zeta.txt', 'a/Quiz.TXT', 'b.bmp']:\n    z.writestr(n, n)");
    TRecordingArchive A(Dir / "c.zip");
    for (int I = 0; I < A.Count(); ++I)
        EXPECT_EQ(A.FindItem(A.Items(I)->GetFileName()), I == 0 ? 1 : I);
    EXPECT_EQ(A.FindItem("zeta.TXT"), 2);
    EXPECT_EQ(A.FindItem("A/QUIZ.txt"), 3);
    EXPECT_EQ(A.FindItem("zeta.TX"), -1);
    A.ExtractAt(0, ""); // each entry itself, also where another differs only in case
    A.Extract(A.Items(1), "/tmp/other");
    EXPECT_EQ(A.Log, (std::vector<std::string>{"README -> README", "readme -> /tmp/other"}));
}

// Masks pick entries; an abort raises and leaves the archive idle; the base folder is checked again first.
TEST(ArchiveBase, ExtractFilesAbortAndTheBaseFolder) {
    TScratchDir Dir;
    TRecordingArchive A(
        MakeZip(Dir / "four.zip", {{"a.txt", "a"}, {"b.dat", "b"}, {"c.txt", "c"}, {"d.dat", "d"}}));
    A.SetBaseDirectory(Dir.Path() + "/");
    EXPECT_EQ(A.BaseDirectory(), Dir.Path());
    A.ExtractFiles("*.txt");
    EXPECT_EQ(A.Log, (std::vector<std::string>{"a.txt -> a.txt", "c.txt -> c.txt"}));
    A.OnArchiveProgress = [&](void*, uint8_t P, bool& Abort) { Abort = P >= 50; };
    EXPECT_THROW(A.ExtractFiles("*"), EAbUserAbort);
    EXPECT_TRUE(A.Log.size() == 4 && A.Status() == asIdle);
    A.SetBaseDirectory(TScratchDir().Path());
    EXPECT_THROW(A.ExtractFiles("*"), EAbNoSuchDirectory);
}

namespace {

std::unique_ptr<TMemoryStream> StreamOf(const std::string& Data) {
    auto M = std::make_unique<TMemoryStream>();
    M->WriteBuffer(Data.data(), int64_t(Data.size())), M->SetPosition(0);
    return M;
}

// One entry's data in a stream, decoded by a helper set up as the extraction driver sets it up.
struct TEntry {
    std::unique_ptr<TMemoryStream> Input;
    TStream* InStream;
    TMemoryStream Output;
    TAbUnzipHelper Helper;

    TEntry(const std::string& Packed, uint16_t Method, uint64_t Size)
        : Input(StreamOf(Packed)), InStream(Input.get()), Helper(InStream, nullptr, Output) {
        Helper.Method = Method;
        Helper.UncompressedSize = Size;
    }
    std::string Out() {
        return std::string(reinterpret_cast<const char*>(Output.Memory()), size_t(Output.Size()));
    }
};

// An archive opened for extraction into Base, failures collected.
struct TOpened {
    TAbZipArchive Archive;
    std::vector<int> Failures;
    TOpened(const std::string& Path, const std::string& Base) : Archive(Path, fmOpenRead) {
        Archive.Load();
        Archive.SetBaseDirectory(Base);
        Archive.ExtractHandler = UnzipItemToFile;
        Archive.OnProcessItemFailure = [this](void*, TAbArchiveItem*, TAbProcessType, TAbErrorClass, int Code,
                                              const std::string&) { Failures.push_back(Code); };
    }
};

} // namespace

TEST(UnzipHelper, DataCrcAndTheSizeCap) {
    const std::string Data = SampleText(100000, 1) + RandomBytes(50000, 2);
    for (uint16_t Method : {0, 8}) {
        TEntry E(Method ? RawDeflate(Data, 6) : Data, Method, Data.size());
        EXPECT_EQ(E.Helper.Decompress(), Crc32(Data));
        EXPECT_TRUE(E.Out() == Data);
        // Output beyond the stated size is never written.
        TEntry Short(Method ? RawDeflate(Data, 1) : Data, Method, Data.size() - 1);
        EXPECT_THROW(Short.Helper.Decompress(), EAbZipSizeExceeded) << Method;
        EXPECT_LT(Short.Output.Size(), int64_t(Data.size()));
    }
    // A bomb: megabytes of zeros from a few kilobytes, stated as 1,000 bytes.
    TEntry Bomb(RawDeflate(std::string(8000000, 0), 1), 8, 1000);
    EXPECT_THROW(Bomb.Helper.Decompress(), EAbZipSizeExceeded);
    EXPECT_LE(Bomb.Output.Size(), 1000);
    // Abort from progress; input shorter than stated; methods nobody decodes.
    TEntry Aborted(RawDeflate(Data, 6), 8, Data.size());
    Aborted.Helper.OnProgressHook = [](uint8_t, bool& Abort) { Abort = true; };
    EXPECT_THROW(Aborted.Helper.Decompress(), EAbUserAbort);
    TEntry Cut(Data, 0, Data.size() + 10);
    Cut.Helper.CompressedSize = Data.size() + 10;
    EXPECT_THROW(Cut.Helper.Decompress(), EAbReadError);
    for (uint16_t Method : {7, 9, 10, 12, 99})
        EXPECT_THROW(TEntry("abc", Method, 3).Helper.Decompress(), EAbZipInvalidMethod) << Method;
}

// An abort and a refused method (an encrypted AES entry: never its password) leave no file; the version an
// entry states does not matter.
TEST(UnzipItem, RefusedEntriesLeaveNoFile) {
    TScratchDir Dir;
    const std::string Good = ReadFile(MakeZip(Dir / "a.zip", {{"a.txt", SampleText(100000, 1)}}));
    fs::create_directory(Dir / "out");
    for (auto [Field, Value, Code] :
         {std::tuple{0, 0x02014B50, int(AbUserAbort)}, {8, 1 | 99 << 16, AbZipInvalidMethod}, {6, 45, 0}}) {
        std::string Zip = Good;
        SetLe(Zip, Zip.find("PK\x01\x02") + size_t(Field), unsigned(Value), 4);
        WriteFile(Dir / "a.zip", Zip);
        TOpened A(Dir / "a.zip", Dir / "out");
        A.Archive.OnArchiveItemProgress = [&](void*, TAbArchiveItem*, uint8_t, bool& Stop) {
            Stop = Code != 0;
        };
        A.Archive.ExtractAt(0, "");
        EXPECT_EQ(A.Failures, Code ? std::vector<int>{Code} : std::vector<int>{}) << Field;
        EXPECT_EQ(fs::exists(Dir / "out/a.txt"), Code == 0) << Field;
    }
}

TEST(UnzipItem, NamesNeverLeaveTheBaseFolderAndFoldersAreMade) {
    TScratchDir Dir;
    PythonZip(Dir / "evil.zip",
              "for n in ['../up.txt', '/abs/root.txt', 'a/../../b/deep.txt', './here.txt', 'link.txt',"
              " 'x/..', '../..', 'dir/', 'dir/sub/']:\n"
              "    z.writestr(n, 'data of ' + n)");
    // A link planted where an entry will be written must be replaced, not written through.
    WriteFile(Dir / "outside.txt", "keep");
    fs::create_directories(Dir / "base");
    fs::create_symlink(Dir / "outside.txt", Dir / "base/link.txt");
    TOpened A(Dir / "evil.zip", Dir / "base");
    A.Archive.ExtractOptions.Include(eoCreateDirs);
    A.Archive.ExtractOptions.Include(eoRestorePath);
    for (int I = 0; I < A.Archive.Count(); ++I)
        A.Archive.ExtractAt(I, "");
    EXPECT_EQ(A.Failures, std::vector<int>{AbZipInvalid}); // "../.." names nothing
    for (auto [Path, Name] : {std::pair{"x", "x/.."},
                              {"up.txt", "../up.txt"},
                              {"abs/root.txt", "/abs/root.txt"},
                              {"a/b/deep.txt", "a/../../b/deep.txt"},
                              {"here.txt", "./here.txt"},
                              {"link.txt", "link.txt"}})
        EXPECT_EQ(ReadFile(Dir / "base/" + Path), std::string("data of ") + Name);
    EXPECT_TRUE(!fs::is_symlink(Dir / "base/link.txt") && ReadFile(Dir / "outside.txt") == "keep");
    EXPECT_TRUE(fs::is_directory(Dir / "base/dir/sub"));
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir.Path()), fs::directory_iterator()), 3);

    // Without paths files land in the base; declining an overwrite keeps the file, renaming moves the entry;
    // with paths but without making folders a missing folder is refused.
    PythonZip(Dir / "t.zip", "z.writestr('docs/', '')\nz.writestr('docs/a.txt', 'new')");
    fs::create_directory(Dir / "flat");
    TOpened Flat(Dir / "t.zip", Dir / "flat");
    Flat.Archive.ExtractFiles("*.*");
    EXPECT_EQ(ReadFile(Dir / "flat/a.txt"), "new");
    WriteFile(Dir / "flat/a.txt", "old");
    Flat.Archive.OnConfirmOverwrite = [](std::string&, bool& Confirm) { Confirm = false; };
    Flat.Archive.ExtractAt(1, "");
    Flat.Archive.OnConfirmOverwrite = [&Dir](std::string& Name, bool&) { Name = Dir / "flat/b.txt"; };
    Flat.Archive.ExtractAt(1, "");
    EXPECT_EQ(ReadFile(Dir / "flat/a.txt") + ReadFile(Dir / "flat/b.txt"), "oldnew");
    Flat.Archive.ExtractOptions.Include(eoRestorePath);
    Flat.Archive.ExtractAt(1, "");
    EXPECT_EQ(Flat.Failures, std::vector<int>{AbNoSuchDirectory});
}

// Damaged archives: every failure is reported for its entry, and nothing is written beside the base folder.
TEST(UnzipItem, DamagedArchivesFailCleanly) {
    TScratchDir Dir;
    const TFiles Files = {{"one.txt", SampleText(3000, 2) + RandomBytes(500, 3)},
                          {"two.bin", RandomBytes(3000, 4)}};
    const std::string Zips[] = {ReadFile(MakeZip(Dir / "good.zip", Files, "-9")),
                                ReadFile(MakeZip(Dir / "enc.zip", Files, "-0 -e -P pw"))};
    fs::create_directory(Dir / "base");
    TBoxAnswers Boxes;
    std::mt19937 Gen(7);
    int Loaded = 0;
    for (int Round = 0; Round < 400; ++Round) {
        std::string Zip = Zips[Round % 2];
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
    EXPECT_GT(Loaded, 100);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir.Path()), fs::directory_iterator()), 4);
}
