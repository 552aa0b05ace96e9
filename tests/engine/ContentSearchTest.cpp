#include "engine/SeekU.h"

#include "platform/Files.h"

#include "common/TestUtil.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using testutil::DrainSynchronize;
using testutil::TScratchDir;
using testutil::WriteFile;

namespace {

struct TMatch {
    std::string Arc, Name;
    int64_t Size, Pos;
    bool operator==(const TMatch&) const = default;
};

std::ostream& operator<<(std::ostream& Out, const TMatch& M) {
    return Out << "{" << M.Arc << "|" << M.Name << "|" << M.Size << "|" << M.Pos << "}";
}

class ContentSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        S.SetScanScope(ssSpecifiedDir);
        S.SetDirectory(Scratch.Path());
        S.SetFiles("*.txt;*.bin");
        S.SetPriority(tpNormal);
        S.Context().SetBufferSizeKb(1);
        S.OnContextFound = [this](const std::string& Arc, const std::string& Name, int64_t Size,
                                  int64_t Pos) {
            EXPECT_TRUE(IsMainThread());
            EXPECT_TRUE(S.Context().InUse());
            Matches.push_back({Arc, Name, Size, Pos});
            if (OnMatch)
                OnMatch();
        };
        S.OnProcessDone = [this](uint32_t ACount, uint64_t) {
            DoneCount = ACount;
            InUseAtEnd = S.Context().InUse();
        };
    }

    std::vector<TMatch> Search(const std::string& Pattern) {
        Matches.clear();
        S.Context().SetContextAsString(Pattern);
        S.Start();
        EXPECT_TRUE(DrainSynchronize([&] { return !S.Running(); }));
        EXPECT_FALSE(InUseAtEnd) << "released before the end notice";
        EXPECT_FALSE(FileExists(TempFileName()));
        return Matches;
    }
    std::vector<int64_t> Offsets(const std::string& Pattern) {
        std::vector<int64_t> Result;
        for (const TMatch& M : Search(Pattern))
            Result.push_back(M.Pos);
        return Result;
    }

    TScratchDir Scratch;
    TMemSeeker S;
    std::vector<TMatch> Matches;
    std::function<void()> OnMatch;
    uint32_t DoneCount = 0;
    bool InUseAtEnd = true;
};

} // namespace

TEST_F(ContentSearchTest, MatchesAcrossAndAtTheEndOfReads) {
    std::string Data(3000, '.');
    Data.replace(1021, 6, "needle"); // straddles the first read's end
    Data.replace(2042, 6, "needle"); // ends on the second read's last byte
    Data.replace(2994, 6, "needle"); // ends the file
    WriteFile(Scratch / "hay.txt", Data);
    S.Context().SetFirstEntryOnly(false);
    EXPECT_EQ(Search("needle"),
              (std::vector<TMatch>{
                  {"", "HAY.TXT", 3000, 1021}, {"", "HAY.TXT", 3000, 2042}, {"", "HAY.TXT", 3000, 2994}}));
    S.Context().SetFirstEntryOnly(true);
    EXPECT_EQ(Offsets("needle"), (std::vector<int64_t>{1021}));
}

TEST_F(ContentSearchTest, OneBytePatternAtTheLastByteAfterFullReads) {
    std::string Data(1025, '.');
    Data.back() = 'Q';
    WriteFile(Scratch / "one.bin", Data);
    EXPECT_EQ(Offsets("Q"), (std::vector<int64_t>{1024}));
}

TEST_F(ContentSearchTest, OverlappingMatchesAndCase) {
    WriteFile(Scratch / "a.txt", "aaa");
    S.Context().SetFirstEntryOnly(false);
    EXPECT_EQ(Offsets("aa"), (std::vector<int64_t>{0, 1}));
    WriteFile(Scratch / "a.txt", "ABC aBc abc \xC8 \xE8");
    EXPECT_EQ(Offsets("abc"), (std::vector<int64_t>{0, 4, 8}));
    EXPECT_EQ(Offsets("\xC8"), (std::vector<int64_t>{12}));
    S.Context().SetCaseSensitive(true);
    EXPECT_EQ(Offsets("aBc"), (std::vector<int64_t>{4}));
    EXPECT_EQ(Offsets("\xE8"), (std::vector<int64_t>{14}));
}

TEST_F(ContentSearchTest, AnEmptyPatternSearchesNothingButTheWalkGoesOn) {
    WriteFile(Scratch / "a.txt", "text");
    WriteFile(Scratch / "b.txt", "text");
    EXPECT_TRUE(Search("").empty());
    EXPECT_EQ(DoneCount, 2u);
}

TEST_F(ContentSearchTest, StopEndsTheSearchOfTheFile) {
    std::string Data;
    for (int I = 0; I < 2000; ++I)
        Data += "hit ";
    WriteFile(Scratch / "many.txt", Data);
    WriteFile(Scratch / "more.txt", Data);
    S.Context().SetFirstEntryOnly(false);
    OnMatch = [&] {
        if (Matches.size() == 3)
            S.Stop();
    };
    EXPECT_EQ(Search("hit").size(), 3u);
    EXPECT_EQ(DoneCount, 1u);
}

TEST_F(ContentSearchTest, TheContextIsLockedWhileTheSearchRuns) {
    WriteFile(Scratch / "a.txt", "xyz");
    OnMatch = [&] {
        S.Context().SetContextAsString("other");
        S.Context().SetBufferSizeKb(4);
    };
    EXPECT_EQ(Offsets("y"), (std::vector<int64_t>{1}));
    EXPECT_EQ(S.Context().ContextAsString(), "y");
    EXPECT_EQ(S.Context().BufferSizeKb(), 1);
}

TEST_F(ContentSearchTest, NamesOnlyReportsEntriesByMaskOrByText) {
    ASSERT_EQ(mkdir((Scratch / "src").c_str(), 0755), 0);
    for (const char* F : {"src/main.pas", "src/unit.PAS", "readme.txt", "notes.doc"})
        WriteFile(Scratch / F, "content");
    ASSERT_EQ(testutil::Run("cd " + testutil::Quote(Scratch.Path()) +
                            " && zip -qr arc.zip src readme.txt notes.doc && rm -r src readme.txt notes.doc"),
              0);
    S.SetFiles("*.zip");
    S.Context().SetNamesOnly(true);
    const std::string Arc = Scratch.Path() + "/ARC.ZIP";
    EXPECT_EQ(Search("*.pas"),
              (std::vector<TMatch>{{Arc, "src/main.pas", 0, 0}, {Arc, "src/unit.PAS", 0, 0}}));
    EXPECT_EQ(Search("READ"), (std::vector<TMatch>{{Arc, "readme.txt", 0, 0}}));
    EXPECT_EQ(
        Search("src"),
        (std::vector<TMatch>{{Arc, "src/", 0, 0}, {Arc, "src/main.pas", 0, 0}, {Arc, "src/unit.PAS", 0, 0}}))
        << "folder entries too";
    S.Context().SetCaseSensitive(true);
    EXPECT_TRUE(Search("READ").empty());
}

TEST_F(ContentSearchTest, AFileNamedLikeAnArchiveThatIsNoneIsSearchedAsItLies) {
    WriteFile(Scratch / "fake.zip", "no archive, just a needle");
    S.SetFiles("*.zip");
    EXPECT_EQ(Search("needle"), (std::vector<TMatch>{{"", "FAKE.ZIP", 25, 19}}));
}
