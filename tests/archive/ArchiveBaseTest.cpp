// The archive base: name index, tags, extraction through the hook with confirmations, failure reports and
// progress, the base folder.

#include "TestUtil.h"
#include "archive/AbExcept.h"
#include "archive/Abziptyp.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testutil;

namespace {

// An archive with every extraction and failure recorded.
class TRecordingArchive : public TAbZipArchive {
public:
    explicit TRecordingArchive(const std::string& FileName) : TAbZipArchive(FileName, fmOpenRead) {
        Load();
        ExtractHandler = [this](TAbZipArchive&, TAbZipItem& Item, const std::string& NewName) {
            EXPECT_EQ(Status(), asBusy);
            Log.push_back(Item.GetFileName() + " -> " + NewName);
        };
        OnProcessItemFailure = [this](void*, TAbArchiveItem* Item, TAbProcessType Type, TAbErrorClass Class,
                                      int Code, const std::string& Message) {
            Log.push_back("failed " + Item->GetFileName() + " " + std::to_string(Type) + " " +
                          std::to_string(Class) + " " + std::to_string(Code) + ": " + Message);
        };
    }
    std::vector<std::string> Log;
};

} // namespace

TEST(ArchiveBase, NameIndexTagsAndNamesDifferingInCase) {
    TScratchDir Dir;
    PythonZip(Dir / "c.zip",
              "for n in ['README', 'readme', 'Zeta.txt', 'a/Quiz.TXT', 'b.bmp']:\n    z.writestr(n, n)");
    TRecordingArchive A(Dir / "c.zip");
    for (int I = 0; I < A.Count(); ++I)
        EXPECT_EQ(A.FindItem(A.Items(I)->GetFileName()), I == 0 ? 1 : I);
    EXPECT_EQ(A.FindItem("zeta.TXT"), 2);
    EXPECT_EQ(A.FindItem("A/QUIZ.txt"), 3);
    EXPECT_EQ(A.FindItem("zeta.TX"), -1);
    // Each entry is extracted itself, also where another differs only in case.
    A.ExtractAt(0, "");
    A.Extract(A.Items(1), "/tmp/other");
    // Tags accumulate across masks until cleared.
    A.TagItems("*");
    A.ClearTags();
    A.TagItems("*.TXT");
    A.TagItems("*.bmp");
    std::string Tagged;
    for (int I = 0; I < A.Count(); ++I)
        Tagged += A.Items(I)->Tagged ? '1' : '0';
    EXPECT_EQ(Tagged, "00111");

    // A refused confirmation does nothing and reports nothing; a failing hook is reported, not raised.
    A.OnConfirmProcessItem = [](void*, TAbArchiveItem*, TAbProcessType Type, bool& Confirm) {
        Confirm = Type != ptExtract;
    };
    A.ExtractAt(2, "");
    A.OnConfirmProcessItem = nullptr;
    A.ExtractHandler = [](TAbZipArchive&, TAbZipItem&, const std::string&) { throw EAbZipBadCRC(); };
    A.ExtractAt(3, "");
    A.ExtractHandler = nullptr;
    A.ExtractAt(4, "");
    EXPECT_EQ(A.Log,
              (std::vector<std::string>{
                  "README -> README", "readme -> /tmp/other", "failed a/Quiz.TXT 2 0 23: Failed CRC Check",
                  "failed b.bmp 2 0 3: Cannot extract file - no extraction support provided"}));
    EXPECT_EQ(A.Status(), asIdle);
}

TEST(ArchiveBase, ExtractFilesProgressAbortAndTheBaseFolder) {
    TScratchDir Dir;
    TRecordingArchive A(
        MakeZip(Dir / "four.zip", {{"a.txt", "a"}, {"b.dat", "b"}, {"c.txt", "c"}, {"d.dat", "d"}}));
    A.SetBaseDirectory(Dir.Path() + "/");
    EXPECT_EQ(A.BaseDirectory(), Dir.Path());
    std::vector<int> Progress;
    A.OnArchiveProgress = [&](void*, uint8_t P, bool& Abort) {
        Progress.push_back(P);
        Abort = Progress.size() > 5 && P >= 50;
    };
    A.ExtractFiles("*.txt");
    EXPECT_EQ(Progress, (std::vector<int>{25, 50, 75, 100, 100}));
    EXPECT_EQ(A.Log, (std::vector<std::string>{"a.txt -> a.txt", "c.txt -> c.txt"}));
    EXPECT_THROW(A.ExtractFiles("*"), EAbUserAbort);
    EXPECT_EQ(A.Log.size(), 4u);
    EXPECT_EQ(A.Status(), asIdle);
    // The base folder is checked again first; a missing one is refused and the old one kept.
    {
        TScratchDir Gone;
        A.SetBaseDirectory(Gone.Path());
    }
    EXPECT_THROW(A.ExtractFiles("*"), EAbNoSuchDirectory);
    A.SetBaseDirectory("/");
    EXPECT_THROW(A.SetBaseDirectory(Dir / "missing"), EAbNoSuchDirectory);
    EXPECT_EQ(A.BaseDirectory(), "/");
    EXPECT_EQ(TRecordingArchive(Pkzip("PKZ204E0.ZIP")).BaseDirectory(), ProgramFolder());
}
