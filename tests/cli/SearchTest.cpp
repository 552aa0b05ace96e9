// tarnlet-cli search against ugrep over a few hundred generated archives, its options, the printed tree,
// programs that are archives, and damaged, encrypted or odd files that must not stop a search.

#include "common/TextFixtures.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

using namespace testutil;

namespace {

std::set<std::string> LineSet(const std::string& Text) {
    const std::vector<std::string> L = testutil::Lines(Text);
    return {L.begin(), L.end()};
}

// A few hundred small archives in nested folders, made once: zip and 7zz, stored and deflated, one dated
// 1970, programs with an archive behind a stub (adjusted by zip -A or not) and one that is none, a file
// named .zip that is none and a folder named like an archive. archives.txt lists the real archives.
const char* const MakeTree = R"PY(
import concurrent.futures, os, random, shutil, subprocess, sys, zipfile
root, rnd = sys.argv[1], random.Random(7)
words = ["alpha", "beta", "needle", "Needle", "NEEDLE", "needl", "eedle", "haystack", "gamma"]
folders = ["", "a b", "a b/\u00f1\u00e9 x", "deep/x y/z", "deep/tool.zip.d"]
made, jobs = [], []
for i in range(200):
    folder = folders[i % len(folders)]
    os.makedirs(os.path.join(root, folder), exist_ok=True)
    work, names = os.path.join(root, ".work%d" % i), []
    os.makedirs(os.path.join(work, "sub"), exist_ok=True)
    for j in range(rnd.randint(1, 4)):
        names.append(("sub/" if j == 2 else "") + "e%d_%d.%s" % (i, j, rnd.choice(["txt", "c", "dat"])))
        size, pick = rnd.choice([10, 300, 5000, 70000]), words[3:] if rnd.random() < 0.5 else words
        open(os.path.join(work, names[-1]), "w").write(" ".join(rnd.choice(pick) for _ in range(size // 6)))
    arc = os.path.abspath(os.path.join(root, folder, "Arc %d.zip" % i if i % 3 else "arc%d.ZIP" % i))
    if i % 4 != 0:
        jobs.append((["zip", "-q", "-0" if i % 2 else "-6", arc] + names, work))
    else:
        jobs.append((["7zz", "a", "-bd", "-tzip", "-mm=" + ("Copy" if i % 8 == 0 else "Deflate"), arc] + names, work))
    made.append(os.path.relpath(arc, root))
def pack(job):
    subprocess.run(job[0], cwd=job[1], check=True, stdout=subprocess.DEVNULL)
    shutil.rmtree(job[1])
with concurrent.futures.ThreadPoolExecutor(4) as pool:
    list(pool.map(pack, jobs))
os.utime(os.path.join(root, "arc0.ZIP"), (0, 0))
os.makedirs(os.path.join(root, "a b", "folder.zip"))
open(os.path.join(root, "a b", "fake.zip"), "w").write("no archive but a needle")
open(os.path.join(root, "tool.exe"), "wb").write(b"MZ" + bytes(900) + b"a needle in code")
for name, entry, data in ("sfx", "t.txt", "stored needle in a program"), ("setup", "inside.txt", "deflated needle in a program " * 40):
    exe = os.path.join(root, name + ".exe")
    with zipfile.ZipFile(exe + ".zip", "w") as z:
        z.writestr(entry, data, 0 if name == "sfx" else 8)
    open(exe, "wb").write(b"MZ" + bytes(510) + open(exe + ".zip", "rb").read())
    os.remove(exe + ".zip")
subprocess.run(["zip", "-qA", os.path.join(root, "sfx.exe")], check=True)
open(os.path.join(root, "archives.txt"), "w").write("\n".join(made) + "\n")
)PY";

// The tree, made on first use.
std::string Root() {
    static TScratchDir Tree;
    static const int Made = (WriteFile(Tree / "make.py", MakeTree),
                             testutil::Run("python3 " + Quote(Tree / "make.py") + " " + Quote(Tree / "t")));
    EXPECT_EQ(Made, 0);
    return Tree / "t";
}

// The lines tarnlet-cli search prints with Options, and its exit status.
std::set<std::string> Search(const std::string& Options, int& Status) {
    std::string Out;
    Status = Cli("search " + Options + " " + Quote(Root()) + " 2>/dev/null", &Out);
    return LineSet(Out);
}

// What ugrep finds in the real archives, as "archive\tentry" lines.
std::set<std::string> Reference(const std::string& Options) {
    std::istringstream List(ReadFile(Root() + "/archives.txt"));
    std::string Command = "cd " + Quote(Root()) + " && ugrep -z -F -l " + Options + " needle", Out;
    for (std::string Arc; std::getline(List, Arc);)
        Command += " " + Quote(Arc);
    testutil::Run(Command, &Out);
    std::set<std::string> Found;
    for (const std::string& Line : LineSet(Out)) // "archive{entry}"; archive names hold no "{"
        if (const size_t Brace = Line.find('{'); Brace != std::string::npos && Line.ends_with("}"))
            Found.insert(Line.substr(0, Brace) + "\t" + Line.substr(Brace + 1, Line.size() - Brace - 2));
    return Found;
}

} // namespace

TEST(Search, FindsWhatAnIndependentReaderFinds) {
    int Status = -1;
    for (const auto& [Ours, Theirs] : {std::pair{"", "-i"}, std::pair{"--case", ""}}) {
        std::set<std::string> Expected = Reference(Theirs);
        ASSERT_GT(Expected.size(), 50u);
        // Files that are no archive are searched as they lie; programs that are, entry by entry.
        Expected.insert({"a b/fake.zip", "tool.exe", "sfx.exe\tt.txt", "setup.exe\tinside.txt"});
        EXPECT_EQ(Search(std::string("--list -j 3 ") + Ours + " needle", Status), Expected) << Ours;
        EXPECT_EQ(Status, 0);
    }
}

TEST(Search, OptionsNarrowTheSearchAndTheTreeIsPrinted) {
    int Status = -1;
    std::set<std::string> Top = Search("--list --no-subfolders --no-exe --types '*.txt;' needle", Status);
    ASSERT_FALSE(Top.empty());
    for (const std::string& Line : Top)
        EXPECT_TRUE(Line.find('/') > Line.find('\t') && Line.ends_with(".txt")) << Line;
    EXPECT_TRUE(Search("--list --no-exe 'in a program'", Status).empty());
    EXPECT_EQ(Status, 1);
    EXPECT_EQ(Search("--list 'in a program'", Status),
              (std::set<std::string>{"sfx.exe\tt.txt", "setup.exe\tinside.txt"}));
    EXPECT_EQ(Search("--list --names-only e8_0", Status).size(), 1u);
    std::set<std::string> Masked = Search("--list --names-only '*.c'", Status);
    EXPECT_GT(Masked.size(), 50u);
    for (const std::string& Line : Masked)
        EXPECT_TRUE(Line.ends_with(".c")) << Line;
    for (const std::string Bad : {"-j 0", "-j 65", "-j x", "-j -1", "--bogus"})
        EXPECT_EQ(Cli("search " + Bad + " needle " + Quote(Root()) + " 2>/dev/null"), 2) << Bad;
    EXPECT_EQ(Cli("search x /no/such/folder 2>/dev/null"), 2);
    // The tree; the folder named like an archive counts too, as in the window.
    std::string Out;
    ASSERT_EQ(Cli("search 'stored needle' " + Quote(Root()) + " 2>/dev/null", &Out), 0);
    EXPECT_EQ(Out, "sfx.exe\n  t.txt\n1/1\nDone! Total of 205 files examined\n");
}

TEST(SearchBadInputTest, DamagedEncryptedAndOddFilesDoNotStopTheSearch) {
    TScratchDir D;
    const std::string Good = ReadFile(MakeZip(D / "good.zip", {{"x.txt", "the needle"}}, "-0"));
    WriteFile(D / "z/good.zip", Good);
    WriteFile(D / "cut.zip", Good.substr(0, 50));
    WriteFile(D / "garbage.zip", RandomBytes(5000, 3) + "PK\x05\x06" + std::string(18, '\xff'));
    std::string Bad = ReadFile(MakeZip(D / "z/bad.zip", {{"b.txt", "a needle"}, {"c.txt", "needle"}}, "-0"));
    Bad[Bad.find("a needle")] = 'A'; // its check fails
    WriteFile(D / "z/bad.zip", Bad);
    MakeZip(D / "z/Secret.Zip", {{"s.txt", "secret needle"}}, "-P pw");
    ASSERT_EQ(testutil::Run("mkfifo " + Quote(D / "pipe.zip")), 0);
    std::string Out, Errors;
    EXPECT_EQ(
        testutil::Run("timeout 20 " + Quote(BinDir() + "/tarnlet-cli") + " search needle " + Quote(D.Path()),
                      &Out, &Errors),
        2)
        << "entries that could not be examined";
    EXPECT_EQ(LineSet(Out),
              (std::set<std::string>{"good.zip", "z/good.zip", "z/bad.zip", "  x.txt", "  c.txt", "cut.zip",
                                     "3/4", "Done! Total of 7 files examined; 2 entries not examined"}));
    EXPECT_EQ(Errors, "tarnlet-cli: z/bad.zip: b.txt: Failed CRC Check\n"
                      "tarnlet-cli: z/Secret.Zip: s.txt: Cannot extract file - invalid password\n");
}
