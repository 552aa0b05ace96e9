// The content search: matches at the edges of reads, case, stops, the locked context, entries chosen by
// name or by the filter, entries that cannot be extracted, files named like archives.

#include "engine/ContentSearch.h"

#include "platform/Files.h"

#include "common/TestUtil.h"

#include <gtest/gtest.h>

using namespace testutil;

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

TEST_F(ContentSearchTest, MatchesAtTheEdgesOfReadsOverlappingAndWithoutCase) {
    std::string Data(3000, '.');
    Data.replace(1021, 6, "needle"); // straddles the first read's end
    Data.replace(2042, 6, "needle"); // ends on the second read's last byte
    Data.replace(2994, 6, "needle"); // ends the file
    WriteFile(Scratch / "hay.txt", Data);
    S.Context().SetFirstEntryOnly(false);
    EXPECT_EQ(Search("needle"),
              (std::vector<TMatch>{
                  {"", "HAY.TXT", 3000, 1021}, {"", "HAY.TXT", 3000, 2042}, {"", "HAY.TXT", 3000, 2994}}));
    WriteFile(Scratch / "hay.txt", std::string(1024, '.') + "Q");
    EXPECT_EQ(Offsets("Q"), (std::vector<int64_t>{1024}));
    WriteFile(Scratch / "hay.txt", "aaa ABC aBc abc zeta ZETA \xC8 \xE8");
    EXPECT_EQ(Offsets("aa"), (std::vector<int64_t>{0, 1}));
    EXPECT_EQ(Offsets("abc"), (std::vector<int64_t>{4, 8, 12}));
    EXPECT_EQ(Offsets("Zeta"), (std::vector<int64_t>{16, 21}));
    EXPECT_EQ(Offsets("\xC8"), (std::vector<int64_t>{26}));
    S.Context().SetCaseSensitive(true);
    EXPECT_EQ(Offsets("aBc"), (std::vector<int64_t>{8}));
    S.Context().SetFirstEntryOnly(true);
    S.Context().SetCaseSensitive(false);
    EXPECT_EQ(Offsets("ZETA"), (std::vector<int64_t>{16}));
}

TEST_F(ContentSearchTest, StopsEmptyPatternsAndTheLockedContext) {
    std::string Data;
    for (int I = 0; I < 2000; ++I)
        Data += "hit ";
    WriteFile(Scratch / "many.txt", Data);
    WriteFile(Scratch / "more.txt", Data);
    // An empty pattern searches nothing, but the walk goes on.
    EXPECT_TRUE(Search("").empty());
    EXPECT_EQ(DoneCount, 2u);
    // Stop ends the search of the file and the walk.
    S.Context().SetFirstEntryOnly(false);
    OnMatch = [&] {
        if (Matches.size() == 3)
            S.Stop();
        S.Context().SetContextAsString("other");
        S.Context().SetBufferSizeKb(4);
    };
    EXPECT_EQ(Search("hit").size(), 3u);
    EXPECT_EQ(DoneCount, 1u);
    EXPECT_EQ(S.Context().ContextAsString(), "hit");
    EXPECT_EQ(S.Context().BufferSizeKb(), 1);
}

TEST_F(ContentSearchTest, EntriesChosenByNameOrByTheFilter) {
    MakeZip(Scratch / "arc.zip", {{"src/main.pas", "one needle"},
                                  {"src/unit.PAS", "content"},
                                  {"readme.txt", std::string(5000, '.') + "needle"},
                                  {"b.doc", "needle too"},
                                  {"empty.txt", ""}});
    WriteFile(Scratch / "fake.zip", "no archive, just a needle");
    S.SetFiles("*.zip");
    const std::string Arc = Scratch.Path() + "/ARC.ZIP";
    // A fresh context's filter list was never filled: only the file that is no archive is searched.
    EXPECT_EQ(Search("needle"), (std::vector<TMatch>{{"", "FAKE.ZIP", 25, 19}}));
    S.Context().SetFileFilter("*.txt;*.pas");
    EXPECT_EQ(Search("needle"),
              (std::vector<TMatch>{
                  {Arc, "src/main.pas", 10, 4}, {Arc, "readme.txt", 5006, 5000}, {"", "FAKE.ZIP", 25, 19}}));
    S.Context().SetFileFilter("*.*;*.txt");
    EXPECT_EQ(Search("NEEDLE").size(), 4u);
    // Names only: by the masks the text holds, or by the text in the name.
    S.Context().SetNamesOnly(true);
    EXPECT_EQ(Search("*.pas"),
              (std::vector<TMatch>{{Arc, "src/main.pas", 0, 0}, {Arc, "src/unit.PAS", 0, 0}}));
    EXPECT_EQ(Search("MAIN"), (std::vector<TMatch>{{Arc, "src/main.pas", 0, 0}}));
    S.Context().SetCaseSensitive(true);
    EXPECT_EQ(Search("READ").size(), 0u);
}

TEST_F(ContentSearchTest, EntriesThatCannotBeExtractedAreSkippedAndStopEndsTheWalk) {
    MakeZip(Scratch / "enc.zip", {{"secret.txt", "needle hidden"}}, "-P pw");
    std::string Damaged = ReadFile(MakeZip(
        Scratch / "arc.zip", {{"x.txt", std::string(3000, 'x') + "needle"}, {"y.txt", "needle"}}, "-0"));
    Damaged[Damaged.find("xxxx") + 10] ^= 0x55; // inside x.txt's stored data: its CRC fails
    WriteFile(Scratch / "arc.zip", Damaged);
    S.SetFiles("*.zip");
    S.Context().SetFileFilter("*.*");
    EXPECT_EQ(Search("needle"), (std::vector<TMatch>{{Scratch.Path() + "/ARC.ZIP", "y.txt", 6, 0}}));
    EXPECT_EQ(DoneCount, 2u);

    TFiles Files;
    for (int I = 0; I < 20; ++I)
        Files.push_back({"e" + std::to_string(I) + ".txt", "needle"});
    MakeZip(Scratch / "arc.zip", Files);
    OnMatch = [&] {
        if (Matches.size() == 2)
            S.Stop();
    };
    EXPECT_EQ(Search("needle").size(), 2u);
    EXPECT_EQ(DoneCount, 1u);
}
