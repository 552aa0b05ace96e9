// tarnlet-cli test and extract against unzip, on archives that zip and 7zz make: every level, folders,
// empty files, encryption, a file over 64 MiB, damaged data and the overwrite choices.

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testutil;
namespace fs = std::filesystem;

namespace {

std::string Cli() {
    return Quote(BinDir() + "/tarnlet-cli");
}

// Status of a shell command; its standard output (and error, when asked) goes to Output.
int Sh(const std::string& Command, std::string* Output = nullptr) {
    return testutil::Run(Command, Output);
}

void MakeTree(const std::string& Root) {
    fs::create_directories(Root + "/docs/deep");
    fs::create_directories(Root + "/empty folder");
    WriteFile(Root + "/docs/readme.txt", SampleText(30000, 1));
    WriteFile(Root + "/docs/deep/data.bin", RandomBytes(20000, 2) + std::string(40000, 'z'));
    WriteFile(Root + "/docs/empty.txt", "");
    WriteFile(Root + "/top.txt", SampleText(70000, 3));
}

// Extracts Zip with tarnlet-cli and with unzip and expects the same trees.
void ExpectLikeUnzip(const TScratchDir& Dir, const std::string& Zip, const std::string& Password = "") {
    const std::string Ours = Dir / "ours", Theirs = Dir / "theirs";
    fs::remove_all(Ours);
    fs::remove_all(Theirs);
    const std::string P = Password.empty() ? "" : " -p " + Quote(Password);
    const std::string UP = Password.empty() ? "" : " -P " + Quote(Password);
    EXPECT_EQ(Sh(Cli() + " extract" + P + " " + Quote(Zip) + " " + Quote(Ours)), 0) << Zip;
    ASSERT_EQ(Sh("unzip -qq" + UP + " " + Quote(Zip) + " -d " + Quote(Theirs)), 0) << Zip;
    EXPECT_EQ(Sh("diff -r " + Quote(Ours) + " " + Quote(Theirs)), 0) << Zip;
    std::string Report;
    EXPECT_EQ(Sh(Cli() + " test" + P + " " + Quote(Zip), &Report), 0) << Zip << "\n" << Report;
}

} // namespace

TEST(CliExtract, ZipAndSevenZipArchivesAtEveryLevel) {
    TScratchDir Dir;
    MakeTree(Dir / "tree");
    for (int Level = 0; Level <= 9; ++Level) {
        const std::string Zip = Dir / ("zip" + std::to_string(Level) + ".zip");
        ASSERT_EQ(Sh("cd " + Quote(Dir / "tree") + " && zip -qr -" + std::to_string(Level) + " " +
                     Quote(Zip) + " ."),
                  0);
        ExpectLikeUnzip(Dir, Zip);
    }
    for (int Level = 1; Level <= 9; ++Level) {
        const std::string Zip = Dir / ("7z" + std::to_string(Level) + ".zip");
        ASSERT_EQ(Sh("cd " + Quote(Dir / "tree") + " && 7zz a -bd -bso0 -tzip -mx=" + std::to_string(Level) +
                     " " + Quote(Zip) + " ."),
                  0);
        ExpectLikeUnzip(Dir, Zip);
    }
}

TEST(CliExtract, EncryptedArchives) {
    TScratchDir Dir;
    MakeTree(Dir / "tree");
    const std::string Zip = Dir / "zipcrypto.zip", Seven = Dir / "7zcrypto.zip";
    ASSERT_EQ(Sh("cd " + Quote(Dir / "tree") + " && zip -qr -e -P secret " + Quote(Zip) + " ."), 0);
    ASSERT_EQ(Sh("cd " + Quote(Dir / "tree") + " && 7zz a -bd -bso0 -tzip -psecret -mem=ZipCrypto " +
                 Quote(Seven) + " ."),
              0);
    ExpectLikeUnzip(Dir, Zip, "secret");
    ExpectLikeUnzip(Dir, Seven, "secret");

    // A wrong password: one byte checks it, so one header in 256 lets it through to the data; such an
    // archive is made again.
    WriteFile(Dir / "one.txt", SampleText(5000, 4));
    std::string Report;
    for (int Try = 0; Try < 5; ++Try) {
        fs::remove(Dir / "one.zip");
        ASSERT_EQ(Sh("cd " + Quote(Dir.Path()) + " && zip -q -e -P secret one.zip one.txt"), 0);
        EXPECT_EQ(Sh(Cli() + " test -p wrong " + Quote(Dir / "one.zip"), &Report), 2);
        if (Report == "one.txt: Cannot extract file - invalid password\n")
            break;
    }
    EXPECT_EQ(Report, "one.txt: Cannot extract file - invalid password\n");
    EXPECT_EQ(
        Sh(Cli() + " extract -p wrong " + Quote(Dir / "one.zip") + " " + Quote(Dir / "out") + " 2>/dev/null"),
        2);
    EXPECT_TRUE(fs::is_empty(Dir / "out"));
}

TEST(CliExtract, FileOverSixtyFourMegabytes) {
    TScratchDir Dir;
    const std::string Part = SampleText(4 << 20, 5) + RandomBytes(1 << 18, 6);
    std::string Big;
    while (Big.size() <= (64u << 20))
        Big += Part;
    WriteFile(Dir / "big.bin", Big);
    ASSERT_EQ(Sh("cd " + Quote(Dir.Path()) + " && zip -q -1 big.zip big.bin && rm big.bin"), 0);
    EXPECT_EQ(Sh(Cli() + " extract " + Quote(Dir / "big.zip") + " " + Quote(Dir / "out")), 0);
    EXPECT_TRUE(ReadFile(Dir / "out/big.bin") == Big);
}

TEST(CliExtract, DamagedEntryFailsAloneAndLeavesNoFile) {
    TScratchDir Dir;
    WriteFile(Dir / "a.txt", SampleText(20000, 6));
    WriteFile(Dir / "b.txt", SampleText(20000, 7));
    ASSERT_EQ(Sh("cd " + Quote(Dir.Path()) + " && zip -q -9 d.zip a.txt b.txt"), 0);
    std::string Zip = ReadFile(Dir / "d.zip");
    Zip[Zip.find("a.txt") + 5 + 200] ^= 0x55; // inside a.txt's deflated data
    WriteFile(Dir / "d.zip", Zip);
    std::string Report;
    EXPECT_EQ(Sh(Cli() + " test " + Quote(Dir / "d.zip"), &Report), 2);
    EXPECT_NE(Report.find("b.txt: OK\n"), std::string::npos);
    EXPECT_EQ(Report.find("a.txt: OK"), std::string::npos);
    EXPECT_EQ(Sh(Cli() + " extract " + Quote(Dir / "d.zip") + " " + Quote(Dir / "out") + " 2>/dev/null"), 2);
    EXPECT_FALSE(fs::exists(Dir / "out/a.txt"));
    EXPECT_EQ(ReadFile(Dir / "out/b.txt"), SampleText(20000, 7));
}

TEST(CliExtract, OverwriteChoices) {
    TScratchDir Dir;
    WriteFile(Dir / "a.txt", "new a");
    WriteFile(Dir / "b.txt", "new b");
    ASSERT_EQ(Sh("cd " + Quote(Dir.Path()) + " && zip -q o.zip a.txt b.txt"), 0);
    const std::string Zip = Quote(Dir / "o.zip"), Out = Dir / "out";
    auto Reset = [&] {
        fs::create_directories(Out);
        WriteFile(Out + "/a.txt", "old a");
        WriteFile(Out + "/b.txt", "old b");
    };
    auto Contents = [&] { return ReadFile(Out + "/a.txt") + "," + ReadFile(Out + "/b.txt"); };
    Reset();
    EXPECT_EQ(Sh(Cli() + " extract -n " + Zip + " " + Quote(Out)), 0);
    EXPECT_EQ(Contents(), "old a,old b");
    EXPECT_EQ(Sh(Cli() + " extract -o " + Zip + " " + Quote(Out)), 0);
    EXPECT_EQ(Contents(), "new a,new b");
    for (auto [Answers, Expected] : {std::pair{"n\ny\n", "old a,new b"},
                                     {"A\n", "new a,new b"},
                                     {"N\n", "old a,old b"},
                                     {"", "old a,old b"}}) {
        Reset();
        EXPECT_EQ(Sh("printf " + Quote(Answers) + " | " + Cli() + " extract " + Zip + " " + Quote(Out) +
                     " 2>/dev/null"),
                  0);
        EXPECT_EQ(Contents(), Expected) << Answers;
    }
}
