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

// Every event of a search, with its arguments, in the order it arrived.
std::string Describe(const std::vector<std::string>& Events) {
    std::string All;
    for (const std::string& E : Events)
        All += E + "\n";
    return All;
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
            Log("match " + Arc + "|" + Name + "|" + std::to_string(Size) + "|" + std::to_string(Pos));
            if (OnMatch)
                OnMatch();
        };
        S.OnProcess = [this](uint32_t ACount, uint64_t ASize, uint32_t AItem, uint32_t AItemCount,
                             const std::string& ACurrent, uint64_t ACurrentSize, uint64_t ACurrentPos) {
            Log("process " + std::to_string(ACount) + " " + std::to_string(ASize) + " " +
                std::to_string(AItem) + "/" + std::to_string(AItemCount) + " " + ACurrent + " " +
                std::to_string(ACurrentSize) + " " + std::to_string(ACurrentPos));
        };
        S.OnFileFound = [this](const std::string& AName, const std::string& APath, int32_t, int64_t ASize,
                               int32_t ACount, TDateTime) {
            Log("file " + APath + "|" + AName + " " + std::to_string(ASize) + " " + std::to_string(ACount));
            if (OnFile)
                OnFile();
        };
        S.OnProcessDone = [this](uint32_t ACount, uint64_t ASize) {
            DoneCount = ACount;
            InUseAtEnd = S.Context().InUse();
            Log("done " + std::to_string(ACount) + " " + std::to_string(ASize));
        };
    }

    void Log(const std::string& Event) {
        EXPECT_FALSE(Ended) << "after the end: " << Event;
        Events.push_back(Event);
        if (Event.starts_with("done"))
            Ended = true;
    }

    // Runs the search with one, two and eight workers, which must send the very same events; the
    // matches of the run with one.
    std::vector<TMatch> Search(const std::string& Pattern) {
        S.Context().SetContextAsString(Pattern);
        std::vector<TMatch> First;
        std::vector<std::string> FirstEvents;
        for (unsigned Workers : {1u, 2u, 8u}) {
            Matches.clear();
            Events.clear();
            Ended = false;
            S.SetWorkers(Workers);
            S.Start();
            EXPECT_TRUE(DrainSynchronize([&] { return !S.Running(); }));
            EXPECT_FALSE(InUseAtEnd) << "released before the end notice";
            EXPECT_TRUE(Ended);
            if (Workers == 1) {
                First = Matches;
                FirstEvents = Events;
            } else
                EXPECT_EQ(Describe(Events), Describe(FirstEvents)) << Workers << " workers";
        }
        return First;
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
    std::vector<std::string> Events;
    bool Ended = false;
    std::function<void()> OnMatch;
    std::function<void()> OnFile;
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

namespace {

// A tree of archives (stored and deflated entries, folders, a damaged entry in the middle of an
// archive, a self-extracting program), plain files and a file named like an archive that is none.
// expected.txt lists every match Python finds: "ARCHIVE\tentry\toffset", ARCHIVE empty for a plain file.
const char* const MakeTree = R"PY(
import os, random, sys, zipfile, zlib
root = sys.argv[1]
rnd = random.Random(5)
words = [b"needle", b"NEEDLE", b"Needl", b"eedle", b"hay", b"stack", b"neeneedle", b"\xc8"]
def text(n):
    return b" ".join(rnd.choice(words) for _ in range(n))
expected = []
def find(arc, name, data):
    up = data.upper()
    at = up.find(b"NEEDLE")
    while at >= 0:
        expected.append("%s\t%s\t%d" % (arc, name, at))
        at = up.find(b"NEEDLE", at + 1)
for i in range(24):
    folder = os.path.join(root, ["", "a", "a/b", "c"][i % 4])
    os.makedirs(folder, exist_ok=True)
    name = "arc%02d.zip" % i
    path = os.path.join(folder, name)
    damaged = None
    with zipfile.ZipFile(path, "w") as z:
        if i % 5 == 0:
            z.writestr("dir%d/" % i, b"")
        for e in range(rnd.randint(1, 5)):
            entry = "dir%d/e%d.txt" % (i, e) if e % 2 else "e%d.txt" % e
            data = text(rnd.choice([3, 200, 900]))
            method = zipfile.ZIP_DEFLATED if (i + e) % 3 else zipfile.ZIP_STORED
            if i == 7 and e == 1:
                # Stored, and damaged after its needles: it is read to the end and fails its check.
                data = b"needle " * 100 + b"hay" * 300
                method = zipfile.ZIP_STORED
                damaged = entry
            z.writestr(entry, data, compress_type=method)
            if damaged != entry:
                find(os.path.abspath(folder) + "/" + name.upper(), entry, data)
        if i == 7:
            z.writestr("last.txt", b"needle after the damage")
            find(os.path.abspath(folder) + "/" + name.upper(), "last.txt", b"needle after the damage")
    if damaged:
        raw = bytearray(open(path, "rb").read())
        raw[raw.find(b"hay" * 300) + 500] ^= 0x55
        open(path, "wb").write(bytes(raw))
for i in range(3):
    data = text(300)
    open(os.path.join(root, "plain%d.txt" % i), "wb").write(data)
    find("", "PLAIN%d.TXT" % i, data)
open(os.path.join(root, "a", "fake.zip"), "wb").write(b"no archive, a needle")
find("", "FAKE.ZIP", b"no archive, a needle")
sfx = os.path.join(root, "c", "setup.exe")
with zipfile.ZipFile(sfx + ".tmp", "w") as z:
    z.writestr("inside.txt", b"the needle in a program")
open(sfx, "wb").write(b"MZ" + bytes(300) + open(sfx + ".tmp", "rb").read())
os.remove(sfx + ".tmp")
find("", "SETUP.EXE", open(sfx, "rb").read())
open(os.path.join(root, "expected.txt"), "w").write("\n".join(sorted(expected)) + "\n")
)PY";

} // namespace

TEST_F(ContentSearchTest, ATreeGivesTheSameEventsWithAnyNumberOfWorkers) {
    WriteFile(Scratch / "make.py", MakeTree);
    ASSERT_EQ(testutil::Run("python3 " + testutil::Quote(Scratch / "make.py") + " " +
                            testutil::Quote(Scratch / "t")),
              0);
    S.SetDirectory(Scratch / "t");
    S.SetFiles("*.zip;*.exe;*.txt");
    S.Context().SetFileFilter("*.*");
    S.Context().SetFirstEntryOnly(false);
    // Search compares the events of one, two and eight workers; Python says what the matches are.
    std::string Found;
    std::vector<std::string> Lines;
    for (const TMatch& M : Search("needle"))
        Lines.push_back(M.Arc + "\t" + M.Name + "\t" + std::to_string(M.Pos));
    std::sort(Lines.begin(), Lines.end());
    for (const std::string& L : Lines)
        Found += L + "\n";
    EXPECT_EQ(Found, testutil::ReadFile(Scratch / "t/expected.txt"));
    EXPECT_EQ(Found.find("ARC07.ZIP\tdir7/e1.txt"), std::string::npos) << "the damaged entry";
    EXPECT_NE(Found.find("ARC07.ZIP\tlast.txt"), std::string::npos) << "the entry after it";

    S.Context().SetFirstEntryOnly(true);
    EXPECT_FALSE(Search("NEEDLE").empty());
    S.Context().SetNamesOnly(true);
    EXPECT_FALSE(Search("e1").empty());
    S.Context().SetNamesOnly(false);
    // Stopped from a handler: nothing more arrives, whichever the workers were doing meanwhile.
    for (size_t StopAt : {1, 5, 20}) {
        OnMatch = [&] {
            if (Matches.size() == StopAt)
                S.Stop();
        };
        EXPECT_EQ(Search("needle").size(), StopAt);
    }
    OnMatch = nullptr;
    // Stopped from the main thread at the first file: no match at all.
    OnFile = [&] { S.Stop(); };
    EXPECT_TRUE(Search("needle").empty());
    EXPECT_EQ(DoneCount, 1u);
}
