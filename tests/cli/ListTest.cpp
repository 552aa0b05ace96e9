// tarnlet-cli list: names as the reference tools print them, for archives made by many programs; the
// long form; errors and exit statuses.

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

using namespace testutil;

namespace {

std::string Cli() {
    return Quote(BinDir() + "/tarnlet-cli");
}

// Standard output of `tarnlet-cli list --names`, which must succeed.
std::string ListNames(const std::string& Archive) {
    std::string Out;
    EXPECT_EQ(testutil::Run(Cli() + " list --names " + Quote(Archive) + " 2>/dev/null", &Out), 0) << Archive;
    return Out;
}

std::string UnzipNames(const std::string& Archive) {
    std::string Out;
    testutil::Run("LC_ALL=C.UTF-8 unzip -Z1 " + Quote(Archive) + " 2>/dev/null", &Out);
    return Out;
}

// Names as 7zz lists them (folders without their final "/").
std::string SevenZipNames(const std::string& Archive) {
    std::string Out;
    EXPECT_EQ(testutil::Run("7zz l -slt -ba " + Quote(Archive), &Out), 0);
    std::istringstream In(Out);
    std::string Line, Names;
    while (std::getline(In, Line))
        if (Line.rfind("Path = ", 0) == 0)
            Names += Line.substr(7) + "\n";
    return Names;
}

std::string WithoutFolderSlashes(const std::string& Names) {
    std::string R;
    std::istringstream In(Names);
    std::string Line;
    while (std::getline(In, Line)) {
        if (!Line.empty() && Line.back() == '/')
            Line.pop_back();
        R += Line + "\n";
    }
    return R;
}

// A tree of folders, empty files and small files under Dir/tree.
void MakeTree(const TScratchDir& Dir) {
    for (const char* Sub : {"tree/docs/deep/er", "tree/empty folder", "tree/src"})
        std::filesystem::create_directories(Dir / Sub);
    WriteFile(Dir / "tree/readme.txt", "read me\n");
    WriteFile(Dir / "tree/docs/empty.txt", "");
    WriteFile(Dir / "tree/docs/deep/er/x.bin", RandomBytes(5000, 3));
    WriteFile(Dir / "tree/src/main.c", "int main(void) { return 0; }\n");
}

int RunStatus(const std::string& Args, std::string* Err) {
    return testutil::Run(Cli() + " " + Args + " 2>&1 >/dev/null", Err);
}

TEST(CliList, NamesOfEveryFixtureMatchUnzip) {
    for (const auto& E : std::filesystem::directory_iterator(FixturesDir() + "/pkzip")) {
        if (E.path().extension() != ".ZIP")
            continue;
        std::string Names = ListNames(E.path());
        EXPECT_FALSE(Names.empty());
        EXPECT_EQ(Names, UnzipNames(E.path())) << E.path();
    }
}

TEST(CliList, NamesOfArchivesMadeByOtherProgramsMatchUnzip) {
    TScratchDir Dir;
    MakeTree(Dir);
    std::string Cd = "cd " + Quote(Dir.Path()) + " && ";
    std::string Comment(1900, 'k');
    ASSERT_EQ(testutil::Run(Cd + "printf '%s' " + Comment + " | zip -q -r -z zip.zip tree"), 0);
    ASSERT_EQ(testutil::Run(Cd + "7zz a -tzip -bd 7z.zip tree >/dev/null"), 0);
    ASSERT_EQ(testutil::Run(Cd + "python3 -c \"import zipfile\n"
                                 "z = zipfile.ZipFile('py.zip', 'w', zipfile.ZIP_DEFLATED)\n"
                                 "for n in ['caf\\u00e9/na\\u00efve.txt', '\\u65e5\\u672c/\\u8a9e.txt', "
                                 "'\\u00c5ngstr\\u00f6m', 'plain.txt']:\n"
                                 "    z.writestr(n, n * 3)\n"
                                 "z.close()\""),
              0);
    // A self-extracting program: a stub in front, offsets adjusted by zip -A.
    WriteFile(Dir / "sfx.exe", "MZ" + std::string(3000, '\0') + ReadFile(Dir / "zip.zip"));
    ASSERT_EQ(testutil::Run("zip -q -A " + Quote(Dir / "sfx.exe")), 0);

    for (const char* Name : {"zip.zip", "7z.zip", "py.zip", "sfx.exe"}) {
        EXPECT_EQ(ListNames(Dir / Name), UnzipNames(Dir / Name)) << Name;
    }
    EXPECT_NE(ListNames(Dir / "sfx.exe").find("tree/empty folder/\n"), std::string::npos);
    EXPECT_NE(ListNames(Dir / "py.zip").find("\xE6\x97\xA5\xE6\x9C\xAC/"), std::string::npos);
}

TEST(CliList, SplitSetListsWhatSevenZipLists) {
    TScratchDir Dir;
    MakeTree(Dir);
    for (int I = 0; I < 400; ++I)
        WriteFile(Dir / ("tree/src/" + std::string(120, 'f') + std::to_string(I) + ".dat"),
                  RandomBytes(700, I));
    ASSERT_EQ(testutil::Run("cd " + Quote(Dir.Path()) + " && zip -q -r -s 64k set.zip tree"), 0);
    ASSERT_TRUE(std::filesystem::exists(Dir / "set.z02"));
    std::string Expected = SevenZipNames(Dir / "set.zip");
    EXPECT_EQ(std::count(Expected.begin(), Expected.end(), '\n'), 400 + 10);
    EXPECT_EQ(WithoutFolderSlashes(ListNames(Dir / "set.zip")), Expected);
    EXPECT_EQ(WithoutFolderSlashes(ListNames(Dir / "set.z01")), Expected);
}

TEST(CliList, LongForm) {
    std::string Out;
    ASSERT_EQ(testutil::Run(Cli() + " list " + Quote(FixturesDir() + "/pkzip/PKZ204EN.ZIP"), &Out), 0);
    EXPECT_EQ(Out.substr(0, Out.find('\n')), "TEST.ANS  68  62  Deflated  5CE2F707  2012-09-19 14:21:52");
    EXPECT_NE(Out.find("\nTEST.ASC  13  13  Stored  7EF91C5D  2012-09-19 14:17:52\n"), std::string::npos);
    EXPECT_EQ(std::count(Out.begin(), Out.end(), '\n'), 15);
    ASSERT_EQ(testutil::Run(Cli() + " list " + Quote(FixturesDir() + "/pkzip/PKZ80B3.ZIP"), &Out), 0);
    EXPECT_NE(Out.find("  Reduced  "), std::string::npos);
}

TEST(CliList, ErrorsAndHelp) {
    TScratchDir Dir;
    std::string Err;
    EXPECT_EQ(RunStatus("list " + Quote(Dir / "missing.zip"), &Err), 2);
    EXPECT_NE(Err.find("missing.zip"), std::string::npos) << Err;

    WriteFile(Dir / "noise.zip", RandomBytes(5000, 9));
    EXPECT_EQ(RunStatus("list --names " + Quote(Dir / "noise.zip"), &Err), 2);
    EXPECT_NE(Err.find("Invalid file - not a PKZip file"), std::string::npos) << Err;

    std::string Zip = ReadFile(FixturesDir() + "/pkzip/PKZ204E0.ZIP");
    WriteFile(Dir / "cut.zip", Zip.substr(0, Zip.size() - 200) + Zip.substr(Zip.size() - 22));
    EXPECT_EQ(RunStatus("list " + Quote(Dir / "cut.zip"), &Err), 2);

    EXPECT_EQ(RunStatus("list", &Err), 2);
    EXPECT_NE(Err.find("usage"), std::string::npos);
    EXPECT_EQ(RunStatus("list --names", &Err), 2);
    EXPECT_EQ(RunStatus("frobnicate x", &Err), 2);
    EXPECT_EQ(RunStatus("", &Err), 2);

    std::string Help;
    EXPECT_EQ(testutil::Run(Cli() + " --help", &Help), 0);
    EXPECT_NE(Help.find("list [--names] ARCHIVE"), std::string::npos);
}

} // namespace
