// The archive base: name index, tagging, extraction through the hook with its confirmations and failure
// reports, progress, the base folder, renaming.

#include "TestUtil.h"
#include "archive/AbExcept.h"
#include "archive/Abziptyp.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testutil;

namespace {

std::string Fixture(const std::string& Name) {
    return FixturesDir() + "/pkzip/" + Name;
}

struct TFailure {
    TAbArchiveItem* Item;
    TAbProcessType Type;
    TAbErrorClass Class;
    int Code;
    std::string Message;
};

// An archive of the fixture with every hook recorded.
class TRecordingArchive : public TAbZipArchive {
public:
    explicit TRecordingArchive(const std::string& FileName) : TAbZipArchive(FileName, fmOpenRead) {
        ExtractHandler = [this](TAbZipArchive& Sender, TAbZipItem& Item, const std::string& NewName) {
            EXPECT_EQ(&Sender, this);
            EXPECT_EQ(CurrentItem, &Item);
            EXPECT_EQ(Status(), asBusy);
            Extracted.push_back(Item.GetFileName() + " -> " + NewName);
        };
        OnProcessItemFailure = [this](void*, TAbArchiveItem* Item, TAbProcessType Type, TAbErrorClass Class,
                                      int Code, const std::string& Message) {
            Failures.push_back({Item, Type, Class, Code, Message});
        };
    }
    std::vector<std::string> Extracted;
    std::vector<TFailure> Failures;
};

TEST(ArchiveBase, NameIndexAndTags) {
    EXPECT_EQ(TAbArchiveList::BucketOf("ABC"), 406u);
    EXPECT_EQ(TAbArchiveList::BucketOf("abc"), 406u);
    EXPECT_LT(TAbArchiveList::BucketOf(std::string(500, '\xFF')), 1021u);

    TRecordingArchive A(Fixture("PKZ204E0.ZIP"));
    EXPECT_EQ(A.Count(), 0);
    A.Load();
    ASSERT_EQ(A.Count(), 15);
    for (int I = 0; I < A.Count(); ++I)
        EXPECT_EQ(A.FindItem(A.Items(I)->GetFileName()), I);
    EXPECT_EQ(A.FindItem("test.bmp"), 2);
    EXPECT_EQ(A.FindItem("TEST.BM"), -1);

    // Tags accumulate across masks.
    A.TagItems("*.TXT");
    A.TagItems("*.bmp");
    std::vector<std::string> Tagged;
    for (int I = 0; I < A.Count(); ++I)
        if (A.Items(I)->Tagged)
            Tagged.push_back(A.Items(I)->GetFileName());
    EXPECT_EQ(Tagged, (std::vector<std::string>{"TEST.BMP", "TEST.TXT"}));
    A.ClearTags();
    for (int I = 0; I < A.Count(); ++I)
        EXPECT_FALSE(A.Items(I)->Tagged);
}

TEST(ArchiveBase, ExtractGoesThroughTheHookAndReportsFailures) {
    TRecordingArchive A(Fixture("PKZ204E0.ZIP"));
    A.Load();
    A.Extract(A.Items(1), "");
    A.Extract(A.Items(2), "/tmp/other.bmp");
    EXPECT_EQ(A.Extracted, (std::vector<std::string>{"TEST.ASC -> TEST.ASC", "TEST.BMP -> /tmp/other.bmp"}));
    EXPECT_EQ(A.Status(), asIdle);

    // Refused confirmation: nothing, and no failure.
    std::vector<TAbProcessType> Asked;
    A.OnConfirmProcessItem = [&](void*, TAbArchiveItem*, TAbProcessType Type, bool& Confirm) {
        Asked.push_back(Type);
        Confirm = false;
    };
    A.Extract(A.Items(3), "");
    EXPECT_EQ(Asked, std::vector<TAbProcessType>{ptExtract});
    EXPECT_EQ(A.Extracted.size(), 2u);
    EXPECT_TRUE(A.Failures.empty());

    // Failures are reported, not raised.
    A.OnConfirmProcessItem = nullptr;
    A.ExtractHandler = [](TAbZipArchive&, TAbZipItem&, const std::string&) { throw EAbZipBadCRC(); };
    A.Extract(A.Items(0), "");
    A.ExtractHandler = nullptr;
    A.ExtractAt(4, "");
    ASSERT_EQ(A.Failures.size(), 2u);
    EXPECT_EQ(A.Failures[0].Item, A.Items(0));
    EXPECT_EQ(A.Failures[0].Type, ptExtract);
    EXPECT_EQ(A.Failures[0].Class, ecArchiveError);
    EXPECT_EQ(A.Failures[0].Code, 23);
    EXPECT_EQ(A.Failures[0].Message, "Failed CRC Check");
    EXPECT_EQ(A.Failures[1].Item, A.Items(4));
    EXPECT_EQ(A.Failures[1].Code, 3);
    EXPECT_EQ(A.Failures[1].Message, "Cannot extract file - no extraction support provided");
    EXPECT_EQ(A.Status(), asIdle);
}

TEST(ArchiveBase, NamesDifferingInCaseStayDistinct) {
    TScratchDir Dir;
    ASSERT_EQ(testutil::Run("cd " + Quote(Dir.Path()) +
                            " && python3 -c \"import zipfile; z = zipfile.ZipFile('c.zip', 'w'); "
                            "z.writestr('README', 'upper'); z.writestr('readme', 'lower'); z.close()\""),
              0);
    TRecordingArchive A(Dir / "c.zip");
    A.Load();
    ASSERT_EQ(A.Count(), 2);
    EXPECT_EQ(A.FindItem("Readme"), 1);
    A.Extract(A.Items(0), "");
    A.Extract(A.Items(1), "");
    EXPECT_EQ(A.Extracted, (std::vector<std::string>{"README -> README", "readme -> readme"}));
}

TEST(ArchiveBase, ExtractFilesProgressAndAbort) {
    TScratchDir Dir;
    ASSERT_EQ(
        testutil::Run("cd " + Quote(Dir.Path()) +
                      " && for f in a.txt b.dat c.txt d.dat; do echo $f > $f; done && zip -q four.zip a.txt "
                      "b.dat c.txt d.dat"),
        0);
    TRecordingArchive A(Dir / "four.zip");
    A.Load();
    A.SetBaseDirectory(Dir.Path());
    std::vector<int> Progress;
    A.OnArchiveProgress = [&](void*, uint8_t P, bool&) { Progress.push_back(P); };
    A.ExtractFiles("*.txt");
    EXPECT_EQ(Progress, (std::vector<int>{25, 50, 75, 100, 100}));
    EXPECT_EQ(A.Extracted, (std::vector<std::string>{"a.txt -> a.txt", "c.txt -> c.txt"}));

    A.OnArchiveProgress = [](void*, uint8_t P, bool& Abort) { Abort = P >= 50; };
    A.Extracted.clear();
    EXPECT_THROW(A.ExtractFiles("*"), EAbUserAbort);
    EXPECT_EQ(A.Extracted.size(), 2u);
    EXPECT_EQ(A.Status(), asIdle);

    // The base folder is checked again first.
    TScratchDir Gone;
    A.SetBaseDirectory(Gone.Path());
    std::filesystem::remove_all(Gone.Path());
    EXPECT_THROW(A.ExtractFiles("*"), EAbNoSuchDirectory);
}

TEST(ArchiveBase, BaseDirectory) {
    TScratchDir Dir;
    TRecordingArchive A(Fixture("PKZ204E0.ZIP"));
    EXPECT_EQ(A.BaseDirectory(), ProgramFolder());
    A.SetBaseDirectory(Dir.Path() + "/");
    EXPECT_EQ(A.BaseDirectory(), Dir.Path());
    A.SetBaseDirectory("/");
    EXPECT_EQ(A.BaseDirectory(), "/");
    A.SetBaseDirectory("");
    EXPECT_EQ(A.BaseDirectory(), "");
    try {
        A.SetBaseDirectory(Dir / "missing");
        FAIL() << "accepted";
    } catch (const EAbNoSuchDirectory& E) {
        EXPECT_STREQ(E.what(), "Directory does not exist");
        EXPECT_EQ(E.ErrorCode, 19);
    }
    EXPECT_EQ(A.BaseDirectory(), "");
}

TEST(ArchiveBase, RenameKeepsTheIndexAndRefusesTakenNames) {
    TRecordingArchive A(Fixture("PKZ204E0.ZIP"));
    A.Load();
    TAbArchiveItem* Item = A.Items(0);
    A.Rename(Item, "TEST.BMP");
    ASSERT_EQ(A.Failures.size(), 1u);
    EXPECT_EQ(A.Failures[0].Type, ptRename);
    EXPECT_EQ(A.Failures[0].Class, ecDuplicateName);
    EXPECT_EQ(A.Failures[0].Message, "Cannot insert file - duplicates stored name");
    EXPECT_FALSE(A.IsDirty());

    A.Rename(Item, "/docs/renamed.ans");
    EXPECT_EQ(Item->GetFileName(), "docs/renamed.ans");
    EXPECT_EQ(Item->Action, aaRename);
    EXPECT_TRUE(A.IsDirty());
    EXPECT_EQ(A.FindItem("DOCS/RENAMED.ANS"), 0);
    EXPECT_EQ(A.FindItem("TEST.ANS"), -1);
}

} // namespace
