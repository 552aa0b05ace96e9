// tarnlet-cli list: names as unzip and 7zz print them for archives many programs made, the long form,
// errors and exit statuses.

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

using namespace testutil;

namespace {

// Standard output of `tarnlet-cli list --names`, which must succeed.
std::string ListNames(const std::string& Archive) {
    std::string Out;
    EXPECT_EQ(Cli("list --names " + Quote(Archive) + " 2>/dev/null", &Out), 0) << Archive;
    return Out;
}

std::string UnzipNames(const std::string& Archive) {
    std::string Out;
    testutil::Run("LC_ALL=C.UTF-8 unzip -Z1 " + Quote(Archive) + " 2>/dev/null", &Out);
    return Out;
}

} // namespace

TEST(CliList, NamesAsUnzipAndSevenZipList) {
    std::vector<std::string> Archives;
    for (const auto& E : std::filesystem::directory_iterator(FixturesDir() + "/pkzip"))
        if (E.path().extension() == ".ZIP")
            Archives.push_back(E.path());
    TScratchDir Dir;
    const std::string Cd = "cd " + Quote(Dir.Path()) + " && ";
    std::filesystem::create_directories(Dir / "tree/empty folder");
    for (int I = 0; I < 400; ++I)
        WriteFile(Dir / ("tree/src/" + std::string(120, 'f') + std::to_string(I) + ".dat"),
                  RandomBytes(700, I));
    WriteFile(Dir / "tree/docs/empty.txt", "");
    ASSERT_EQ(testutil::Run(Cd + "printf '%s' " + std::string(1900, 'k') + " | zip -q -r -z zip.zip tree"),
              0);
    ASSERT_EQ(testutil::Run(Cd + "7zz a -tzip -bd 7z.zip tree >/dev/null"), 0);
    PythonZip(Dir / "py.zip", "for n in ['caf\\u00e9/na\\u00efve.txt', '\\u65e5\\u672c/\\u8a9e.txt', "
                              "'\\u00c5ngstr\\u00f6m', 'plain.txt']:\n    z.writestr(n, n * 3)");
    // Names zip stores as they are on Linux, UTF-8 without the flag.
    ASSERT_EQ(testutil::Run(Cd + "mkdir -p u && echo x > u/$(printf 'gr\\303\\274n') && zip -q u.zip u/*"),
              0);
    // A self-extracting program: a stub in front, offsets adjusted by zip -A.
    WriteFile(Dir / "sfx.exe", "MZ" + std::string(3000, '\0') + ReadFile(Dir / "zip.zip"));
    ASSERT_EQ(testutil::Run("zip -q -A " + Quote(Dir / "sfx.exe")), 0);
    for (const char* Name : {"zip.zip", "7z.zip", "py.zip", "u.zip", "sfx.exe"})
        Archives.push_back(Dir / Name);
    for (const std::string& Archive : Archives) {
        const std::string Names = ListNames(Archive);
        EXPECT_TRUE(!Names.empty() && Names == UnzipNames(Archive)) << Archive;
    }
    EXPECT_NE(ListNames(Dir / "sfx.exe").find("tree/empty folder/\n"), std::string::npos);
    EXPECT_NE(ListNames(Dir / "u.zip").find("u/gr\xC3\xBCn\n"), std::string::npos);

    // A set split by zip, opened at its last or first disk, lists what 7zz lists (folders without "/").
    ASSERT_EQ(testutil::Run(Cd + "zip -q -r -s 64k set.zip tree"), 0);
    ASSERT_TRUE(std::filesystem::exists(Dir / "set.z02"));
    std::string Seven;
    ASSERT_EQ(testutil::Run("7zz l -slt -ba " + Quote(Dir / "set.zip") + " | sed -n 's/^Path = //p'", &Seven),
              0);
    EXPECT_EQ(std::count(Seven.begin(), Seven.end(), '\n'), 400 + 5);
    for (const char* Opened : {"set.zip", "set.z01"})
        EXPECT_EQ(std::regex_replace(ListNames(Dir / Opened), std::regex("/\n"), "\n"), Seven) << Opened;
}

TEST(CliList, LongFormErrorsAndHelp) {
    std::string Out;
    ASSERT_EQ(Cli("list " + Quote(Pkzip("PKZ204EN.ZIP")), &Out), 0);
    EXPECT_EQ(Out.substr(0, Out.find('\n')), "TEST.ANS  68  62  Deflated  5CE2F707  2012-09-19 14:21:52");
    EXPECT_NE(Out.find("\nTEST.ASC  13  13  Stored  7EF91C5D  2012-09-19 14:17:52\n"), std::string::npos);
    EXPECT_EQ(std::count(Out.begin(), Out.end(), '\n'), 15);
    ASSERT_EQ(Cli("list " + Quote(Pkzip("PKZ80B3.ZIP")), &Out), 0);
    EXPECT_NE(Out.find("  Reduced  "), std::string::npos);

    TScratchDir Dir;
    WriteFile(Dir / "noise.zip", RandomBytes(5000, 9));
    const std::string Zip = ReadFile(Pkzip("PKZ204E0.ZIP"));
    WriteFile(Dir / "cut.zip", Zip.substr(0, Zip.size() - 200) + Zip.substr(Zip.size() - 22));
    // Arguments, exit status, what standard error must say.
    for (auto [Args, Says] : {std::pair{"list " + Quote(Dir / "missing.zip"), std::string("missing.zip")},
                              {"list --names " + Quote(Dir / "noise.zip"), "Invalid file - not a PKZip file"},
                              {"list " + Quote(Dir / "cut.zip"), ""},
                              {"list", "usage"},
                              {"list --names", ""},
                              {"frobnicate x", ""},
                              {"", ""}}) {
        std::string Err;
        EXPECT_EQ(Cli(Args + " 2>&1 >/dev/null", &Err), 2) << Args;
        EXPECT_NE(Err.find(Says), std::string::npos) << Args << ": " << Err;
    }
    EXPECT_EQ(Cli("--help", &Out), 0);
    EXPECT_NE(Out.find("list [--names] ARCHIVE"), std::string::npos);
}
