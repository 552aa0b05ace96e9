// tarnlet-cli add judged by other readers: archives written at every level, with and without a password,
// pass unzip, 7zz and Python's zipfile, which extracts them byte-identical; adding to an archive zip made
// keeps its other entries as they were; failures leave the archive alone.

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

using namespace testutil;
namespace fs = std::filesystem;

namespace {

// The command line that runs tarnlet-cli add, for use after a change of folder.
std::string Add(const std::string& Args) {
    return Quote(BinDir() + "/tarnlet-cli") + " add " + Args;
}

// The 30 MB file takes seconds in an unoptimised build under the sanitizers, and adds nothing there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool BigFiles = false;
#else
constexpr bool BigFiles = true;
#endif

void MakeTree(const std::string& Root) {
    fs::create_directories(Root + "/empty folder");
    WriteFile(Root + "/docs/readme.txt", SampleText(30000, 1));
    WriteFile(Root + "/docs/deep/data.bin", RandomBytes(20000, 2) + std::string(40000, 'z'));
    WriteFile(Root + "/docs/empty.txt", "");
    WriteFile(Root + "/top.txt", SampleText(70000, 3));
    WriteFile(Root + "/noise.bin", RandomBytes(100000, 4));
    WriteFile(Root + "/caf\xC3\xA9.txt", "fits the DOS code page");
    WriteFile(Root + "/\xE6\x97\xA5\xE6\x9C\xAC.txt", "does not");
    WriteFile(Root + "/na\xC3\xAFve/\xC3\xBC.txt", SampleText(5000, 5));
}

// Python's view of each entry (name: method, compressed size, internal attributes, flags); it tests every
// entry and extracts the archive into Out too.
std::map<std::string, std::vector<long>> PythonInfo(const std::string& Zip, const std::string& Password,
                                                    const std::string& Out) {
    const std::string Script =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "z.setpassword(sys.argv[2].encode())\n"
        "assert z.testzip() is None\n"
        "z.extractall(sys.argv[3])\n"
        "for i in z.infolist():\n"
        "    print(i.compress_type, i.compress_size, i.internal_attr, i.flag_bits, i.filename)\n";
    std::string Printed;
    EXPECT_EQ(testutil::Run("python3 -c " + Quote(Script) + " " + Quote(Zip) + " " + Quote(Password) + " " +
                                Quote(Out),
                            &Printed),
              0);
    std::map<std::string, std::vector<long>> Info;
    std::istringstream Lines(Printed);
    long Method, Size, Internal, Flags;
    std::string Name;
    while (Lines >> Method >> Size >> Internal >> Flags && std::getline(Lines >> std::ws, Name))
        Info[Name] = {Method, Size, Internal, Flags};
    return Info;
}

TEST(CliAdd, ArchivesAtEveryLevelPassOtherReadersAndExtractIdentical) {
    TScratchDir Dir;
    const std::string Tree = Dir / "tree", Zip = Dir / "a.zip", Out = Dir / "out";
    MakeTree(Tree);
    for (const auto& [Level, Password, Big] : {std::tuple{0, "", false},
                                               {1, "", false},
                                               {3, "pw", false},
                                               {5, "", BigFiles},
                                               {9, "x y", false},
                                               {0, "pw", false}}) {
        SCOPED_TRACE("level " + std::to_string(Level) + " password \"" + Password + "\"");
        fs::remove_all(Out);
        fs::remove(Zip);
        fs::remove(Tree + "/big.txt");
        if (Big)
            WriteFile(Tree + "/big.txt", SampleText(30 << 20, 6));
        const std::string Pw = Password, P = Pw.empty() ? "" : " -p " + Quote(Pw);
        ASSERT_EQ(testutil::Run("cd " + Quote(Tree) + " && " +
                                Add("-" + std::to_string(Level) + P + " -r " + Quote(Zip) + " .")),
                  0);
        EXPECT_EQ(testutil::Run("unzip -tq -P " + Quote(Pw) + " " + Quote(Zip) + " >/dev/null"), 0);
        EXPECT_EQ(testutil::Run("7zz t -p" + Quote(Pw) + " " + Quote(Zip) + " >/dev/null"), 0);
        EXPECT_EQ(Cli("test" + P + " " + Quote(Zip) + " >/dev/null"), 0);
        auto Info = PythonInfo(Zip, Pw, Out);
        EXPECT_EQ(testutil::Run("diff -r " + Quote(Tree) + " " + Quote(Out)), 0);
        const long Header = Pw.empty() ? 0 : 12;
        // Incompressible and empty files are stored whatever the level; text is marked as text.
        EXPECT_EQ(Info["noise.bin"], (std::vector<long>{0, 100000 + Header, 0, Pw.empty() ? 0 : 1}));
        EXPECT_EQ(Info["docs/empty.txt"][0], 0);
        EXPECT_EQ(Info["docs/empty.txt"][1], Header);
        EXPECT_EQ(Info["docs/readme.txt"][0], Level == 0 ? 0 : 8);
        EXPECT_EQ(Info["docs/readme.txt"][2], Level == 0 ? 0 : 1);
        EXPECT_EQ(Info["empty folder/"], (std::vector<long>{0, 0, 0, 0}));
        // Names outside the DOS code page are UTF-8 and flagged; the others are not.
        EXPECT_EQ(Info["\xE6\x97\xA5\xE6\x9C\xAC.txt"].at(3) & 0x800, 0x800);
        EXPECT_EQ(Info["caf\xC3\xA9.txt"].at(3) & 0x800, 0);
        EXPECT_EQ(Info["na\xC3\xAFve/\xC3\xBC.txt"].at(3) & 0x800, 0);
        EXPECT_EQ(Info.size(), Big ? 13u : 12u);
    }
}

TEST(CliAdd, AddingToAnArchiveKeepsTheOtherEntriesAndFailuresLeaveItAlone) {
    TScratchDir Dir;
    const std::string Tree = Dir / "tree", Zip = Tree + "/made by zip.zip";
    MakeTree(Tree);
    ASSERT_EQ(testutil::Run("cd " + Quote(Tree) + " && zip -qr " + Quote(Zip) + " docs top.txt"), 0);
    const std::string Bytes = ReadFile(Zip);
    std::string Err;
    EXPECT_EQ(
        Cli("add " + Quote(Zip) + " " + Quote(Tree + "/noise.bin") + " " + Quote(Dir / "missing") + " 2>&1",
            &Err),
        2);
    EXPECT_NE(Err.find("missing: no such file or folder"), std::string::npos) << Err;
    EXPECT_EQ(ReadFile(Zip), Bytes);
    // A new archive that fails is not left behind; nor is a bad command line taken for one.
    for (const std::string& Args :
         {Quote(Dir / "new.zip") + " " + Quote(Dir / "missing"),
          "-7 " + Quote(Dir / "new.zip") + " " + Quote(Tree), Quote(Tree) + " " + Quote(Tree + "/top.txt")})
        EXPECT_EQ(Cli("add " + Args + " 2>/dev/null"), 2) << Args;
    EXPECT_FALSE(fs::exists(Dir / "new.zip"));

    // top.txt is replaced and noise.bin added (named without the leading "../"); the archive itself is
    // not taken in.
    const std::vector<TLocalEntry> Before = ReadLocalEntries(Zip);
    WriteFile(Tree + "/top.txt", "new contents");
    ASSERT_EQ(testutil::Run("cd " + Quote(Tree) + " && " +
                            Add("-9 " + Quote(Zip) + " top.txt ../tree/noise.bin " + Quote(Zip))),
              0);
    EXPECT_EQ(testutil::Run("unzip -tq " + Quote(Zip) + " >/dev/null"), 0);
    std::vector<TLocalEntry> After = ReadLocalEntries(Zip);
    ASSERT_EQ(After.size(), Before.size() + 1);
    for (const TLocalEntry& Old : Before) {
        auto Same = std::find_if(After.begin(), After.end(), [&](const TLocalEntry& E) {
            return E.Name == Old.Name && E.Data == Old.Data && E.Crc == Old.Crc;
        });
        EXPECT_EQ(Same != After.end(), Old.Name != "top.txt") << Old.Name;
    }
    std::string Top;
    testutil::Run("unzip -p " + Quote(Zip) + " top.txt", &Top);
    EXPECT_EQ(Top, "new contents");

    // The whole tree again: every name once, the archive not among them.
    ASSERT_EQ(testutil::Run("cd " + Quote(Tree) + " && " + Add("-1 -r " + Quote(Zip) + " .")), 0);
    const std::vector<TLocalEntry> All = ReadLocalEntries(Zip);
    std::set<std::string> Names;
    for (const TLocalEntry& E : All)
        Names.insert(E.Name);
    EXPECT_EQ(All.size(), 13u);
    EXPECT_EQ(Names.size(), 13u);
    EXPECT_EQ(Names.count("tree/noise.bin"), 1u);
    EXPECT_EQ(Names.count("made by zip.zip"), 0u);
}

} // namespace
