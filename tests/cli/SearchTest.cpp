// tarnlet-cli search against ugrep over a few hundred generated archives, its options, the printed tree,
// and damaged or odd files that must not stop a search.

#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

using namespace testutil;

namespace {

std::set<std::string> Lines(const std::string& Text) {
    std::set<std::string> Result;
    std::istringstream In(Text);
    for (std::string Line; std::getline(In, Line);)
        Result.insert(Line);
    return Result;
}

// A few hundred small archives in nested folders, made once: zip and 7zz, stored and deflated, one
// encrypted, a self-extracting program, a file named .zip that is none and a folder named like an archive.
// archives.txt lists the real archives, one path a line relative to the tree.
const char* const MakeTree = R"PY(
import concurrent.futures, os, random, shutil, subprocess, sys
root = sys.argv[1]
rnd = random.Random(7)
words = ["alpha", "beta", "needle", "Needle", "NEEDLE", "needl", "eedle", "haystack", "gamma"]
folders = ["", "a b", "a b/\u00f1\u00e9 x", "deep/x y/z", "deep/tool.zip.d"]
made, jobs = [], []
for i in range(200):
    folder = folders[i % len(folders)]
    os.makedirs(os.path.join(root, folder), exist_ok=True)
    work = os.path.join(root, ".work%d" % i)
    os.makedirs(os.path.join(work, "sub"), exist_ok=True)
    names = []
    for j in range(rnd.randint(1, 4)):
        name = ("sub/" if j == 2 else "") + "e%d_%d.%s" % (i, j, rnd.choice(["txt", "c", "dat"]))
        size = rnd.choice([10, 300, 5000, 70000])
        text = " ".join(rnd.choice(words[3:] if rnd.random() < 0.5 else words) for _ in range(size // 6))
        open(os.path.join(work, name), "w").write(text)
        names.append(name)
    arc = os.path.join(folder, "Arc %d.zip" % i if i % 3 else "arc%d.ZIP" % i)
    full = os.path.abspath(os.path.join(root, arc))
    if i % 4 != 0:
        jobs.append((["zip", "-q", "-0" if i % 2 else "-6", full] + names, work))
    else:
        jobs.append((["7zz", "a", "-bd", "-tzip", "-mm=" + ("Copy" if i % 8 == 0 else "Deflate"), full] + names, work))
    made.append(arc)
def pack(job):
    subprocess.run(job[0], cwd=job[1], check=True, stdout=subprocess.DEVNULL)
    shutil.rmtree(job[1])
with concurrent.futures.ThreadPoolExecutor(4) as pool:
    list(pool.map(pack, jobs))
os.makedirs(os.path.join(root, "a b", "folder.zip"), exist_ok=True)
open(os.path.join(root, "a b", "fake.zip"), "w").write("no archive but a needle")
os.makedirs(os.path.join(root, ".enc"), exist_ok=True)
open(os.path.join(root, ".enc", "s.txt"), "w").write("secret needle")
subprocess.run(["zip", "-q", "-P", "pw", "../secret.zip", "s.txt"], cwd=os.path.join(root, ".enc"), check=True)
open(os.path.join(root, ".enc", "t.txt"), "w").write("stored needle in a program")
subprocess.run(["zip", "-q", "-0", "../sfx.zip", "t.txt"], cwd=os.path.join(root, ".enc"), check=True)
subprocess.run(["rm", "-r", os.path.join(root, ".enc")], check=True)
with open(os.path.join(root, "sfx.exe"), "wb") as out:
    out.write(b"MZ" + bytes(510) + open(os.path.join(root, "sfx.zip"), "rb").read())
os.remove(os.path.join(root, "sfx.zip"))
subprocess.run(["zip", "-q", "-A", os.path.join(root, "sfx.exe")], check=True)
open(os.path.join(root, "archives.txt"), "w").write("\n".join(made) + "\n")
)PY";

class SearchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Tree = new TScratchDir;
        WriteFile(*Tree / "make.py", MakeTree);
        ASSERT_EQ(testutil::Run("python3 " + Quote(*Tree / "make.py") + " " + Quote(*Tree / "t")), 0);
    }
    static void TearDownTestSuite() {
        delete Tree;
        Tree = nullptr;
    }
    static std::string Root() { return *Tree / "t"; }

    // The lines of tarnlet-cli search with Options, and its exit status.
    static std::set<std::string> Search(const std::string& Options, int& Status) {
        std::string Out;
        Status = Cli("search " + Options + " " + Quote(Root()) + " 2>/dev/null", &Out);
        return Lines(Out);
    }
    // What ugrep finds in the real archives, as "FOLDER/UPPER NAME\tentry" lines.
    static std::set<std::string> Reference(const std::string& Options) {
        std::istringstream List(testutil::ReadFile(Root() + "/archives.txt"));
        std::string Command = "cd " + Quote(Root()) + " && ugrep -z -F -l " + Options + " needle";
        for (std::string Arc; std::getline(List, Arc);)
            Command += " " + Quote(Arc);
        std::string Out;
        testutil::Run(Command, &Out);
        std::set<std::string> Found;
        for (const std::string& Line : Lines(Out)) {
            // "archive{entry}"; archive names hold no "{".
            const size_t Brace = Line.find('{');
            if (Brace == std::string::npos || !Line.ends_with("}"))
                continue;
            std::string Node = Line.substr(0, Brace);
            for (size_t I = Node.rfind('/') + 1; I < Node.size(); ++I) // npos + 1 is 0
                Node[I] = char(std::toupper(static_cast<unsigned char>(Node[I])));
            Found.insert(Node + "\t" + Line.substr(Brace + 1, Line.size() - Brace - 2));
        }
        return Found;
    }

    static TScratchDir* Tree;
};

TScratchDir* SearchTest::Tree = nullptr;

TEST_F(SearchTest, FindsWhatAnIndependentReaderFinds) {
    int Status = -1;
    for (const auto& [Ours, Theirs] : {std::pair{"", "-i"}, std::pair{"--case", ""}}) {
        std::set<std::string> Expected = Reference(Theirs);
        ASSERT_GT(Expected.size(), 50u);
        Expected.insert("a b/FAKE.ZIP"); // no archive: its bytes, under its path as archives are named
        Expected.insert("SFX.EXE");      // a program is searched as it lies; its entry is stored
        EXPECT_EQ(Search(std::string("--list ") + Ours + " needle", Status), Expected) << Ours;
        EXPECT_EQ(Status, 0);
    }
}

TEST_F(SearchTest, AnyNumberOfWorkersPrintsTheSameTree) {
    std::string One;
    ASSERT_EQ(Cli("search -j 1 needle " + Quote(Root()) + " 2>/dev/null", &One), 0);
    EXPECT_GT(std::count(One.begin(), One.end(), '\n'), 100);
    for (const std::string Workers : {"2", "8"}) {
        std::string Many;
        EXPECT_EQ(Cli("search -j " + Workers + " needle " + Quote(Root()) + " 2>/dev/null", &Many), 0);
        EXPECT_EQ(Many, One) << Workers << " workers";
    }
    for (const std::string Bad : {"0", "65", "x", "-1"})
        EXPECT_EQ(Cli("search -j " + Bad + " needle " + Quote(Root()) + " 2>/dev/null"), 2) << Bad;
}

TEST_F(SearchTest, OptionsNarrowTheSearch) {
    int Status = -1;
    std::set<std::string> Top = Search("--list --no-subfolders --no-exe --types '*.txt;' needle", Status);
    ASSERT_FALSE(Top.empty());
    for (const std::string& Line : Top)
        EXPECT_TRUE(Line.find('/') > Line.find('\t') && Line.ends_with(".txt")) << Line;
    EXPECT_TRUE(Search("--list --no-exe 'stored needle'", Status).empty());
    EXPECT_EQ(Status, 1);
    EXPECT_EQ(Search("--list 'stored needle'", Status), (std::set<std::string>{"SFX.EXE"}));
    std::set<std::string> Names = Search("--list --names-only e8_0", Status);
    ASSERT_EQ(Names.size(), 1u);
    EXPECT_TRUE(Names.begin()->starts_with("deep/x y/z/ARC 8.ZIP\te8_0.")) << *Names.begin();
}

TEST_F(SearchTest, PrintsTheTreeAndTheCounts) {
    std::string Out;
    ASSERT_EQ(Cli("search 'stored needle' " + Quote(Root()) + " 2>/dev/null", &Out), 0);
    // The folder named like an archive counts too, as in the window.
    EXPECT_EQ(Out, "SFX.EXE\n0/1\nDone! Total of 204 files examined\n");
    EXPECT_EQ(Cli("search 'secret needle' " + Quote(Root()) + " 2>/dev/null"), 1)
        << "encrypted entries are skipped";
    EXPECT_EQ(Cli("search x /no/such/folder 2>/dev/null"), 2);
    EXPECT_EQ(Cli("search --bogus x " + Quote(Root()) + " 2>/dev/null"), 2);
}

} // namespace

TEST(SearchBadInputTest, DamagedAndOddFilesDoNotStopTheSearch) {
    TScratchDir D;
    const std::string Good = ReadFile(MakeZip(D / "good.zip", {{"x.txt", "the needle"}}, "-0"));
    WriteFile(D / "z/good.zip", Good);
    WriteFile(D / "cut.zip", Good.substr(0, 50));
    WriteFile(D / "garbage.zip", RandomBytes(5000, 3) + "PK\x05\x06" + std::string(18, '\xff'));
    ASSERT_EQ(testutil::Run("mkfifo " + Quote(D / "pipe.zip")), 0);
    std::string Out;
    EXPECT_EQ(testutil::Run("timeout 20 " + Quote(BinDir() + "/tarnlet-cli") + " search --list needle " +
                                Quote(D.Path()) + " 2>/dev/null",
                            &Out),
              0);
    EXPECT_EQ(Lines(Out), (std::set<std::string>{"GOOD.ZIP\tx.txt", "z/GOOD.ZIP\tx.txt", "CUT.ZIP"})) << Out;
}
