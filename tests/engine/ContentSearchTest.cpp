// The content search against Python over a generated tree, with one, two and eight workers sending the
// very same events: matches at the edges of small reads, entries that cannot be examined, programs that
// are archives, stops and the locked context. (Entry filters and names: tarnlet-cli's search test.)

#include "engine/ContentSearch.h"

#include "common/TestUtil.h"

#include <gtest/gtest.h>

using namespace testutil;

namespace {

std::string Str(const std::string& S) {
    return S;
}
std::string Str(auto Number) {
    return std::to_string(Number);
}

class ContentSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        S.SetScanScope(ssSpecifiedDir);
        S.SetFiles("*.zip;*.exe;*.txt");
        S.SetPriority(tpNormal);
        S.Context().SetBufferSizeKb(1);
        S.Context().SetFileFilter("*.*");
        S.Context().SetFirstEntryOnly(false);
        S.OnContextFound = [this](const std::string& Arc, const std::string& Name, int64_t Size,
                                  int64_t Pos) {
            EXPECT_TRUE(IsMainThread() && S.Context().InUse());
            Matches.push_back(Arc + "|" + Name + "|" + std::to_string(Size) + "|" + std::to_string(Pos));
            Log("match " + Matches.back());
            if (OnMatch)
                OnMatch();
        };
        S.OnEntryFailed = [this](const std::string& Arc, const std::string& Name, const std::string& Why) {
            Failed.push_back(Arc + "|" + Name);
            Log("failed " + Failed.back() + " " + Why);
        };
        S.OnProcess = [this](auto... Args) { Log((std::string("process") + ... + (" " + Str(Args)))); };
        S.OnFileFound = [this](const std::string& AName, const std::string& APath, auto...) {
            Log("file " + APath + "|" + AName);
            if (OnFile)
                OnFile();
        };
        S.OnProcessDone = [this](uint32_t ACount, uint64_t) {
            DoneCount = ACount;
            InUseAtEnd = S.Context().InUse();
            Log("done");
        };
    }

    void Log(const std::string& Event) {
        EXPECT_FALSE(Events.ends_with("done\n")) << "after the end: " << Event;
        Events += Event + "\n";
    }

    // Runs the search with one, two and eight workers, which must send the very same events; the
    // matches, as "ARCHIVE|entry|size|offset", of the run with one.
    std::vector<std::string> Search(const std::string& Pattern) {
        S.Context().SetContextAsString(Pattern);
        std::string FirstEvents;
        std::vector<std::string> First;
        for (unsigned Workers : {1u, 2u, 8u}) {
            Matches.clear();
            Failed.clear();
            Events.clear();
            S.SetWorkers(Workers);
            S.Start();
            EXPECT_TRUE(DrainSynchronize([&] { return !S.Running(); }));
            EXPECT_FALSE(InUseAtEnd) << "released before the end notice";
            EXPECT_TRUE(Events.ends_with("done\n"));
            if (Workers == 1) {
                First = Matches;
                FirstEvents = Events;
            } else
                EXPECT_EQ(Events, FirstEvents) << Workers << " workers";
        }
        return First;
    }

    TScratchDir Scratch;
    TMemSeeker S;
    std::vector<std::string> Matches, Failed;
    std::string Events;
    std::function<void()> OnMatch, OnFile;
    uint32_t DoneCount = 0;
    bool InUseAtEnd = true;
};

// Archives (stored and deflated entries, folders, a damaged and an encrypted entry in the middle of an
// archive, one dated 1970), plain files, a file named like an archive that is none, programs with an
// archive behind a stub (adjusted or not) and one without. expected.txt lists every match:
// "ARCHIVE|entry|size|offset", ARCHIVE empty for a plain file; failed.txt the entries that cannot be
// examined.
const char* const MakeTree = R"PY(
import os, random, subprocess, sys, zipfile
root = sys.argv[1]
rnd = random.Random(5)
words = [b"needle", b"NEEDLE", b"Needl", b"eedle", b"hay", b"stack", b"neeneedle", b"\xc8"]
def text(n):
    return b" ".join(rnd.choice(words) for _ in range(n))
expected, failed = [], []
def find(arc, name, data):
    at = data.upper().find(b"NEEDLE")
    while at >= 0:
        expected.append("%s|%s|%d|%d" % (arc, name, len(data), at))
        at = data.upper().find(b"NEEDLE", at + 1)
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
            z.writestr("last.txt", b"needle after the damage")
            find(arc, "last.txt", b"needle after the damage")
    if i == 7:
        raw = bytearray(open(path, "rb").read())
        raw[raw.find(b"hay" * 300) + 500] ^= 0x55
        open(path, "wb").write(bytes(raw))
        open(os.path.join(root, "s.txt"), "wb").write(b"secret needle")
        subprocess.run(["zip", "-qP", "pw", os.path.abspath(path), "s.txt"], cwd=root, check=True)
        os.remove(os.path.join(root, "s.txt"))
        failed.append(arc + "|s.txt")
    if i == 9:
        os.utime(path, (0, 0))
plain = [("plain%d.txt" % i, text(300)) for i in range(3)] + [("a/fake.zip", b"no archive, a needle")]
for rel, data in plain + [("tool.exe", b"MZ" + bytes(3000) + b"a needle in code")]:
    open(os.path.join(root, rel), "wb").write(data)
    find("", os.path.basename(rel).upper(), data)
for name, adjust in (("setup.exe", False), ("Adj.exe", True)):
    sfx = os.path.join(root, "c", name)
    with zipfile.ZipFile(sfx + ".zip", "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("inside.txt", b"the needle in a program " * 50)
    open(sfx, "wb").write(b"MZ" + bytes(300) + open(sfx + ".zip", "rb").read())
    os.remove(sfx + ".zip")
    if adjust:
        subprocess.run(["zip", "-qA", sfx], check=True)
    find(os.path.abspath(sfx)[:-len(name)] + name.upper(), "inside.txt", b"the needle in a program " * 50)
open(os.path.join(root, "expected.txt"), "w").write("\n".join(sorted(expected)) + "\n")
open(os.path.join(root, "failed.txt"), "w").write("\n".join(sorted(failed)) + "\n")
)PY";

std::string Sorted(std::vector<std::string> Lines) {
    std::sort(Lines.begin(), Lines.end());
    std::string All;
    for (const std::string& L : Lines)
        All += L + "\n";
    return All;
}

} // namespace

TEST_F(ContentSearchTest, ATreeAsPythonSeesItWithAnyNumberOfWorkers) {
    WriteFile(Scratch / "make.py", MakeTree);
    ASSERT_EQ(testutil::Run("python3 " + Quote(Scratch / "make.py") + " " + Quote(Scratch / "t")), 0);
    S.SetDirectory(Scratch / "t");
    EXPECT_EQ(Sorted(Search("needle")), ReadFile(Scratch / "t/expected.txt"));
    EXPECT_EQ(Sorted(Failed), ReadFile(Scratch / "t/failed.txt"));
    EXPECT_NE(Events.find("Cannot extract file - invalid password"), std::string::npos) << Events;

    // An empty pattern searches nothing, but the walk goes on.
    EXPECT_TRUE(Search("").empty());
    EXPECT_EQ(DoneCount, 33u);
    // Stopped from a handler: nothing more arrives, whichever the workers were doing meanwhile; the
    // context the search uses does not change under it.
    for (size_t StopAt : {1, 5, 20}) {
        OnMatch = [&] {
            if (Matches.size() == StopAt)
                S.Stop();
            S.Context().SetContextAsString("other");
        };
        EXPECT_EQ(Search("needle").size(), StopAt);
        EXPECT_EQ(S.Context().ContextAsString(), "needle");
    }
    OnMatch = nullptr;
    // Stopped from the main thread at the first file: no match at all.
    OnFile = [&] { S.Stop(); };
    EXPECT_TRUE(Search("needle").empty());
    EXPECT_EQ(DoneCount, 1u);
}
