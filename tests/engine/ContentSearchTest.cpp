// The walk and the content search as the window runs them: events and their order, options, stops, errors,
// dates, links; the search against Python, with 1, 2 and 8 workers sending the very same events.

#include "engine/ContentSearch.h"
#include "platform/DosDate.h"
#include "platform/Files.h"

#include "common/TextFixtures.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

using namespace testutil;
using Strings = std::vector<std::string>;

namespace {

class SearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        Root = std::filesystem::canonical(Scratch.Path());
        S.SetScanScope(ssSpecifiedDir);
        S.SetDirectory(Root);
        S.SetFiles("*.zip;*.exe");
        S.SetPriority(tpNormal);
        S.Context().SetBufferSizeKb(1);
        S.Context().SetFileFilter("*.*");
        S.Context().SetFirstEntryOnly(false);
        // Each event runs on the main thread while the worker waits where it was.
        S.OnProcess = [this](uint32_t ACount, auto... Args) {
            Checked([&] { return S.Thread()->FileCount == ACount; });
            std::ostringstream L;
            ((L << ' ' << Args), ...);
            Log("process " + std::to_string(ACount) + L.str());
            if (S.Context().IsEmpty())
                Walk.push_back("P " + Rel(S.Thread()->CurrentPath) + " #" + std::to_string(ACount));
        };
        S.OnFileFound = [this](const std::string& AName, const std::string& APath, int32_t, int64_t, int32_t,
                               TDateTime ADate) {
            Checked([&] { return S.Thread()->FindData.Name == AName; });
            Log("file " + APath + "|" + AName);
            Walk.push_back("F " + Rel(JoinPath(APath, AName)));
            Dates[AName] = ADate;
            OnFile(AName);
        };
        S.OnContextFound = [this](const std::string& Arc, const std::string& Name, int64_t Size,
                                  int64_t Pos) {
            EXPECT_TRUE(S.Context().InUse());
            Matches.push_back(Arc + "|" + Name + "|" + std::to_string(Size) + "|" + std::to_string(Pos));
            Log("match " + Matches.back());
            OnMatch();
        };
        S.OnEntryFailed = [this](const std::string& Arc, const std::string& Name, const std::string& Why) {
            Failed.push_back(Arc + "|" + Name);
            Log("failed " + Failed.back() + " " + Why);
        };
        S.OnProcessDone = [this](uint32_t ACount, uint64_t ASize) {
            Done = {ACount, ASize, S.Thread()->SeekError};
            ErrorText = S.Thread()->ErrorMessage;
            InUseAtEnd = S.Context().InUse();
            Log("done");
        };
        // Each file holds its name, so sizes differ.
        for (const char* Name : {".hid.zip", "a.ZIP", "B/c.exe", "B/d.txt", "B/e/f.zip",
                                 "backup.zip/inner.zip", "c.txt", "Z.Exe"})
            WriteFile(At(Name), Name);
    }

    void Checked(const std::function<bool()>& WorkerStillThere) {
        const bool Before = WorkerStillThere();
        if (S.Context().IsEmpty()) // the walk alone: few events
            usleep(1000);
        WorkerWaited &= IsMainThread() && Before && WorkerStillThere();
    }
    void Log(const std::string& Event) {
        EXPECT_FALSE(Events.ends_with("done\n")) << "after the end: " << Event;
        Events += Event + "\n";
    }
    std::string Rel(const std::string& Path) const {
        return Path == Root || Path == Root + "/" ? "." : Path.substr(Root.size() + 1);
    }
    std::string At(const std::string& RelPath) const { return Root + "/" + RelPath; }

    // Runs with each number of workers, which must send the same events; returns the first run's matches,
    // "ARCHIVE|entry|size|offset". Walk holds the walk's events.
    Strings Search(const std::string& Pattern = "", std::vector<unsigned> Runs = {1, 2, 8}) {
        S.Context().SetContextAsString(Pattern);
        std::string FirstEvents;
        Strings First;
        for (unsigned Workers : Runs) {
            Matches.clear(), Failed.clear(), Walk.clear(), Events.clear();
            S.SetWorkers(Workers);
            S.Start();
            EXPECT_TRUE(DrainSynchronize([&] { return !S.Running(); }));
            EXPECT_FALSE(InUseAtEnd) << "released before the end notice";
            EXPECT_TRUE(Events.ends_with("done\n") && WorkerWaited);
            if (Workers == Runs[0])
                First = Matches, FirstEvents = Events;
            else
                EXPECT_EQ(Events, FirstEvents) << Workers << " workers";
        }
        return First;
    }

    TScratchDir Scratch;
    std::string Root, Events, ErrorText;
    TMemSeeker S;
    Strings Matches, Failed, Walk;
    std::map<std::string, TDateTime> Dates;
    std::function<void(const std::string&)> OnFile = [](const std::string&) {};
    std::function<void()> OnMatch = [] {};
    std::tuple<uint32_t, uint64_t, int32_t> Done{};
    bool InUseAtEnd = true, WorkerWaited = true;
};

// Archives (stored and deflated entries, folders, a damaged entry and one of an unknown method amid an
// archive), plain files, a file named like an archive that is none. expected.txt: every match as
// "ARCHIVE|entry|size|offset" (ARCHIVE empty for a plain file); failed.txt: entries not examined.
const char* const MakeTree = R"PY(
import os, random, re, sys, zipfile
root, rnd = sys.argv[1], random.Random(5)
words = [b"needle", b"NEEDLE", b"Needl", b"eedle", b"hay", b"stack", b"neeneedle", b"\xc8"]
text = lambda n: b" ".join(rnd.choice(words) for _ in range(n))
expected, failed = [], []
def find(arc, name, data):
    expected.extend("%s|%s|%d|%d" % (arc, name, len(data), m.start()) for m in re.finditer(b"(?=NEEDLE)", data.upper()))
for i in range(24):
    folder = os.path.join(root, ["", "a", "a/b", "c"][i % 4])
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "arc%02d.zip" % i)
    arc = os.path.abspath(path)[:-9] + "ARC%02d.ZIP" % i
    with zipfile.ZipFile(path, "w") as z:
        if i % 5 == 0:
            z.writestr("dir%d/" % i, b"")
        for e in range(rnd.randint(1, 5)):
            entry = "dir%d/e%d.txt" % (i, e) if e % 2 else "e%d.txt" % e
            data, method = text(rnd.choice([3, 200, 900])), (i + e) % 3 and zipfile.ZIP_DEFLATED
            if i == 7 and e == 1: # stored, damaged after its needles: read to the end, then it fails
                data, method = b"needle " * 100 + b"hay" * 300, zipfile.ZIP_STORED
                failed.append(arc + "|" + entry)
            else:
                find(arc, entry, data)
            z.writestr(entry, data, compress_type=method)
        if i == 7:
            z.writestr("b.txt", b"needle in a method not read", zipfile.ZIP_BZIP2)
            z.writestr("last.txt", b"needle after the others")
            find(arc, "last.txt", b"needle after the others")
            failed.append(arc + "|b.txt")
    if i == 7:
        raw = bytearray(open(path, "rb").read())
        raw[raw.find(b"hay" * 300) + 500] ^= 0x55
        open(path, "wb").write(bytes(raw))
for rel, data in [("plain%d.txt" % i, text(300)) for i in range(3)] + [("a/fake.zip", b"no archive, a needle")]:
    open(os.path.join(root, rel), "wb").write(data)
    find("", os.path.basename(rel).upper(), data)
for name, lines in ("expected", expected), ("failed", failed):
    open(os.path.join(root, name + ".txt"), "w").write("\n".join(sorted(lines)) + "\n")
)PY";

std::multiset<std::string> Sorted(const Strings& Lines) {
    return {Lines.begin(), Lines.end()};
}

} // namespace

TEST_F(SearchTest, ATreeAsPythonSeesItWithAnyNumberOfWorkers) {
    WriteFile(Scratch / "make.py", MakeTree);
    ASSERT_EQ(testutil::Run("python3 " + Quote(Scratch / "make.py") + " " + Quote(Scratch / "t")), 0);
    S.SetDirectory(Scratch / "t");
    S.SetFiles("*.zip;*.exe;*.txt");
    EXPECT_EQ(Sorted(Search("needle")), Sorted(Lines(ReadFile(Scratch / "t/expected.txt"))));
    EXPECT_EQ(Sorted(Failed), Sorted(Lines(ReadFile(Scratch / "t/failed.txt"))));
    EXPECT_NE(Events.find("unsupported compression method (BZip2, method 12)"), std::string::npos) << Events;
    // Stopped from a handler: nothing more arrives, whatever the other workers were doing; the context in use
    // does not change under the search.
    for (size_t StopAt : {1, 5, 20}) {
        OnMatch = [&] {
            if (Matches.size() == StopAt)
                S.Stop();
            S.Context().SetContextAsString("other");
        };
        EXPECT_EQ(Search("needle").size(), StopAt);
        EXPECT_EQ(S.Context().ContextAsString(), "needle");
    }
    OnFile = [&](const std::string&) { S.Stop(); };
    EXPECT_TRUE(Search("needle").empty());
    EXPECT_EQ(std::get<0>(Done), 1u);
}

TEST_F(SearchTest, WalksDepthFirstInSortedOrderWithDates) {
    SetFileTime(At("B/c.exe"), 0);              // 1970
    SetFileTime(At("B/e/f.zip"), 4417977600LL); // 2110
    S.SetAttributes({});
    Search();
    EXPECT_EQ(Walk,
              (Strings{"P . #0", "F .hid.zip", "F a.ZIP", "P B #2", "F B/c.exe", "P B/e #3", "F B/e/f.zip",
                       "F backup.zip", "P backup.zip #5", "F backup.zip/inner.zip", "F Z.Exe"}));
    EXPECT_EQ(Done, std::tuple(7u, 8u + 5 + 7 + 9 + 0 + 20 + 5, 0));
    // A time that is no DOS date is shown as the nearest one, and the walk goes on.
    EXPECT_EQ(Dates["c.exe"], DosDateTimeToDateTime(0x00210000));
    EXPECT_EQ(Dates["f.zip"], DosDateTimeToDateTime(0xFF9FBF7D));
    S.SetRecursive(false);
    Search();
    EXPECT_EQ(Walk, (Strings{"P . #0", "F .hid.zip", "F a.ZIP", "F backup.zip", "F Z.Exe"}));
}

TEST_F(SearchTest, StopsErrorsAndRestarts) {
    // A start while running and a stop while idle do nothing; the walk keeps its settings.
    S.Stop();
    OnFile = [&](const std::string& Name) {
        if (Name == ".hid.zip")
            S.Start(), S.SetFiles("");
        if (Name == "a.ZIP")
            S.Stop();
    };
    Search("", {1});
    EXPECT_EQ(Walk, (Strings{"P . #0", "F .hid.zip", "F a.ZIP"}));
    EXPECT_EQ(Done, std::tuple(2u, 13u, 0));
    // A throwing handler ends the walk with its message; the next walk starts clean.
    S.SetFiles("*.zip;*.exe");
    OnFile = [&](const std::string& Name) {
        if (Name == "a.ZIP")
            throw std::runtime_error("handler failed");
    };
    Search();
    EXPECT_EQ(Done, std::tuple(2u, 13u, -1));
    EXPECT_EQ(ErrorText, "handler failed");
    S.SetFiles("*.zip;[ab");
    Search();
    EXPECT_TRUE(Walk.empty());
    EXPECT_EQ(ErrorText, "'[ab' is an invalid mask at (4)");
}

TEST_F(SearchTest, LinkedFoldersAreNotEntered) {
    ASSERT_EQ(symlink(At("B").c_str(), At("loop").c_str()), 0);
    ASSERT_EQ(symlink(Root.c_str(), At("B/e/up").c_str()), 0);
    ASSERT_EQ(symlink("a.ZIP", At("link.zip").c_str()), 0);
    Search();
    EXPECT_EQ(std::get<0>(Done), 7u) << "six files and the link to a file";
    EXPECT_EQ(std::count_if(Walk.begin(), Walk.end(), [](const std::string& L) { return L[0] == 'P'; }), 4);
}
