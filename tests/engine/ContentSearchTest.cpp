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

namespace {

// Makes Scratch/arc.zip from Files (name, content) with the extra zip options; the sources are removed.
void MakeZip(const TScratchDir& Scratch, const std::vector<std::pair<std::string, std::string>>& Files,
             const std::string& Options = "") {
    std::string Names;
    for (const auto& [Name, Content] : Files) {
        const std::string Folder = ExtractFilePath(Scratch / Name);
        ASSERT_EQ(testutil::Run("mkdir -p " + testutil::Quote(Folder)), 0);
        WriteFile(Scratch / Name, Content);
        Names += " " + testutil::Quote(Name);
    }
    ASSERT_EQ(testutil::Run("cd " + testutil::Quote(Scratch.Path()) + " && zip -q " + Options + " arc.zip" +
                            Names + " && rm -r" + Names),
              0);
}

} // namespace

TEST_F(ContentSearchTest, EntriesChosenByTheFilterAreExtractedAndScanned) {
    MakeZip(Scratch, {{"a.txt", "one needle"},
                      {"b.doc", "needle too"},
                      {"sub/c.txt", std::string(5000, '.') + "needle"},
                      {"empty.txt", ""},
                      {"d.TXT", "nothing"}});
    S.SetFiles("*.zip");
    const std::string Arc = Scratch.Path() + "/ARC.ZIP";
    // A fresh context's filter list was never filled: no entry is searched.
    EXPECT_TRUE(Search("needle").empty());
    S.Context().SetFileFilter("*.txt");
    EXPECT_EQ(Search("needle"), (std::vector<TMatch>{{Arc, "a.txt", 10, 4}, {Arc, "sub/c.txt", 5006, 5000}}));
    S.Context().SetFileFilter("*.*;*.txt");
    EXPECT_EQ(Search("NEEDLE").size(), 3u);
}

TEST_F(ContentSearchTest, EntriesThatCannotBeExtractedAreSkipped) {
    MakeZip(Scratch, {{"secret.txt", "needle hidden"}}, "-P pw");
    ASSERT_EQ(testutil::Run("cd " + testutil::Quote(Scratch.Path()) + " && mv arc.zip enc.zip"), 0);
    MakeZip(Scratch, {{"x.txt", std::string(3000, 'x') + "needle"}, {"y.txt", "needle"}}, "-0");
    std::string Damaged = testutil::ReadFile(Scratch / "arc.zip");
    Damaged[Damaged.find("xxxx") + 10] ^= 0x55; // inside x.txt's stored data: its CRC fails
    WriteFile(Scratch / "arc.zip", Damaged);
    S.SetFiles("*.zip");
    S.Context().SetFileFilter("*.*");
    EXPECT_EQ(Search("needle"), (std::vector<TMatch>{{Scratch.Path() + "/ARC.ZIP", "y.txt", 6, 0}}));
    EXPECT_EQ(DoneCount, 2u);
}

TEST_F(ContentSearchTest, StopDuringAnArchiveEndsTheWalk) {
    std::vector<std::pair<std::string, std::string>> Files;
    for (int I = 0; I < 20; ++I)
        Files.push_back({"e" + std::to_string(I) + ".txt", "needle"});
    MakeZip(Scratch, Files);
    WriteFile(Scratch / "z.zip", "needle");
    S.SetFiles("*.zip");
    S.Context().SetFileFilter("*.*");
    OnMatch = [&] {
        if (Matches.size() == 2)
            S.Stop();
    };
    EXPECT_EQ(Search("needle").size(), 2u);
    EXPECT_EQ(DoneCount, 1u);
}
