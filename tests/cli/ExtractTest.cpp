// tarnlet-cli test and extract against unzip, on archives that zip and 7zz make at several levels, with
// folders, empty files, encryption and a file over 64 MiB; the DOS archives; damaged data; overwriting.

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testutil;
namespace fs = std::filesystem;

namespace {

// Files below Root with their modification times, one a line.
std::string FilesAndTimes(const std::string& Root) {
    std::string Out;
    testutil::Run("cd " + Quote(Root) + " && find . -type f -printf '%P %T@\\n' | sort", &Out);
    return Out;
}

// Extracts Zip with tarnlet-cli and with unzip and expects the same files with the same times.
void ExpectLikeUnzip(const TScratchDir& Dir, const std::string& Zip, const std::string& Password = "") {
    const std::string Ours = Dir / "ours", Theirs = Dir / "theirs";
    fs::remove_all(Ours);
    fs::remove_all(Theirs);
    const std::string P = Password.empty() ? " " : " -p " + Quote(Password) + " ";
    EXPECT_EQ(Cli("extract" + P + Quote(Zip) + " " + Quote(Ours)), 0) << Zip;
    ASSERT_EQ(testutil::Run("unzip -qq" + (Password.empty() ? "" : " -P " + Quote(Password)) + " " +
                            Quote(Zip) + " -d " + Quote(Theirs)),
              0);
    EXPECT_EQ(testutil::Run("diff -r " + Quote(Ours) + " " + Quote(Theirs)), 0) << Zip;
    EXPECT_EQ(FilesAndTimes(Ours), FilesAndTimes(Theirs)) << Zip;
    std::string Report;
    EXPECT_EQ(Cli("test" + P + Quote(Zip), &Report), 0) << Zip << "\n" << Report;
}

} // namespace

TEST(CliExtract, ArchivesOfZipAndSevenZipLikeUnzip) {
    TScratchDir Dir;
    const std::string Tree = Dir / "tree";
    fs::create_directories(Tree + "/empty folder");
    WriteFile(Tree + "/docs/readme.txt", SampleText(30000, 1));
    WriteFile(Tree + "/docs/deep/data.bin", RandomBytes(20000, 2) + std::string(40000, 'z'));
    WriteFile(Tree + "/docs/empty.txt", "");
    WriteFile(Tree + "/Makefile", SampleText(70000, 3));
    // An even second, which the two-second DOS times hold exactly, in summer.
    ASSERT_EQ(testutil::Run("find " + Quote(Tree) + " -exec touch -d @1720000000 {} +"), 0);
    const std::pair<const char*, const char*> Makers[] = {
        {"zip -qr -0", ""},
        {"zip -qr -1", ""},
        {"zip -qr -6", ""},
        {"zip -qr -9", ""},
        {"zip -qr -e -P secret", "secret"},
        {"7zz a -bd -bso0 -tzip -mx=1", ""},
        {"7zz a -bd -bso0 -tzip -mx=9", ""},
        {"7zz a -bd -bso0 -tzip -mx=0 -psecret -mem=ZipCrypto", "secret"}};
    for (auto [Make, Password] : Makers) {
        fs::remove(Dir / "z.zip");
        ASSERT_EQ(testutil::Run("cd " + Quote(Tree) + " && " + Make + " ../z.zip ."), 0);
        ExpectLikeUnzip(Dir, Dir / "z.zip", Password);
    }
    // Past 64 MiB.
    const std::string Part = SampleText(4 << 20, 5) + RandomBytes(1 << 18, 6);
    std::string Big;
    while (Big.size() <= (64u << 20))
        Big += Part;
    MakeZip(Dir / "big.zip", {{"big.bin", Big}}, "-1");
    EXPECT_EQ(Cli("extract " + Quote(Dir / "big.zip") + " " + Quote(Dir / "out")), 0);
    EXPECT_TRUE(ReadFile(Dir / "out/big.bin") == Big);
}

TEST(CliExtract, EveryDosArchiveTests) {
    int Archives = 0;
    for (const auto& File : fs::directory_iterator(FixturesDir() + "/pkzip"))
        if (File.path().extension() == ".ZIP") {
            std::string Report;
            EXPECT_EQ(Cli("test " + Quote(File.path()), &Report), 0) << Report;
            ++Archives;
        }
    EXPECT_EQ(Archives, 13);
}

TEST(CliExtract, WrongPasswordsAndDamagedEntriesFailAloneAndLeaveNoFile) {
    TScratchDir Dir;
    // One byte checks a password, so one header in 256 lets a wrong one through: such an archive is made
    // again.
    std::string Report;
    for (int Try = 0; Try < 5 && Report != "one.txt: Cannot extract file - invalid password\n"; ++Try) {
        fs::remove(Dir / "one.zip");
        MakeZip(Dir / "one.zip", {{"one.txt", SampleText(5000, 4)}}, "-e -P secret");
        EXPECT_EQ(Cli("test -p wrong " + Quote(Dir / "one.zip"), &Report), 2);
    }
    EXPECT_EQ(Report, "one.txt: Cannot extract file - invalid password\n");
    EXPECT_EQ(Cli("extract -p wrong " + Quote(Dir / "one.zip") + " " + Quote(Dir / "out") + " 2>/dev/null"),
              2);
    EXPECT_TRUE(fs::is_empty(Dir / "out"));

    std::string Zip = ReadFile(
        MakeZip(Dir / "d.zip", {{"a.txt", SampleText(20000, 6)}, {"b.txt", SampleText(20000, 7)}}, "-9"));
    Zip[Zip.find("a.txt") + 5 + 200] ^= 0x55; // inside a.txt's deflated data
    WriteFile(Dir / "d.zip", Zip);
    EXPECT_EQ(Cli("test " + Quote(Dir / "d.zip"), &Report), 2);
    EXPECT_NE(Report.find("b.txt: OK\n"), std::string::npos);
    EXPECT_EQ(Report.find("a.txt: OK"), std::string::npos);
    EXPECT_EQ(Cli("extract " + Quote(Dir / "d.zip") + " " + Quote(Dir / "out") + " 2>/dev/null"), 2);
    EXPECT_FALSE(fs::exists(Dir / "out/a.txt"));
    EXPECT_EQ(ReadFile(Dir / "out/b.txt"), SampleText(20000, 7));
}

TEST(CliExtract, OverwriteChoices) {
    TScratchDir Dir;
    const std::string Zip = Quote(MakeZip(Dir / "o.zip", {{"a.txt", "new a"}, {"b.txt", "new b"}})),
                      Out = Dir / "out";
    // Options, answers typed, what a.txt and b.txt hold afterwards.
    for (auto [Options, Answers, Expected] : {std::tuple{"-n", "", "old a,old b"},
                                              {"-o", "", "new a,new b"},
                                              {"", "n\ny\n", "old a,new b"},
                                              {"", "A\n", "new a,new b"},
                                              {"", "N\n", "old a,old b"},
                                              {"", "", "old a,old b"}}) {
        WriteFile(Out + "/a.txt", "old a");
        WriteFile(Out + "/b.txt", "old b");
        EXPECT_EQ(testutil::Run("printf " + Quote(Answers) + " | " + Quote(BinDir() + "/tarnlet-cli") +
                                " extract " + Options + " " + Zip + " " + Quote(Out) + " 2>/dev/null"),
                  0);
        EXPECT_EQ(ReadFile(Out + "/a.txt") + "," + ReadFile(Out + "/b.txt"), Expected) << Options << Answers;
    }
    EXPECT_EQ(Cli("extract -o -n " + Zip + " " + Quote(Out) + " 2>/dev/null"), 2);
}
