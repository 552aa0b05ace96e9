// tarnlet-cli list, test and extract on archives as zip, Python and 7zz write them, against Python and unzip;
// refusals, damage and overwriting.

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace testutil;
namespace fs = std::filesystem;

namespace {

int In(const std::string& Folder, const std::string& Command) {
    return Run("cd " + Quote(Folder) + " && " + Command);
}

// One line per path below Root: type, permissions, modification time, link target or content digest.
std::string Snapshot(const std::string& Root) {
    const std::string Script = R"(
import os, sys, hashlib
for d, dirs, files in os.walk(sys.argv[1]):
    for n in dirs + files:
        p = os.path.join(d, n)
        s, rel = os.lstat(p), os.path.relpath(p, sys.argv[1])
        if os.path.islink(p):
            print(rel, 'link', os.readlink(p))
        else:
            print(rel, oct(s.st_mode), int(s.st_mtime), os.path.isdir(p) or hashlib.sha1(open(p, 'rb').read()).hexdigest())
)";
    std::string Out;
    EXPECT_EQ(Run("python3 -c " + Quote(Script) + " " + Quote(Root) + " | sort", &Out), 0);
    return Out;
}

// Zip is read by tarnlet-cli and by Python and unzip from UnzipFrom.
void ExpectLikeUnzip(const TScratchDir& Dir, const std::string& Zip, const std::string& UnzipFrom,
                     const std::string& Password = "") {
    SCOPED_TRACE(Zip);
    const std::string P = Password.empty() ? " " : " -p " + Quote(Password) + " ";
    std::string Names, Theirs, Report;
    EXPECT_EQ(Cli("list --names " + Quote(Zip), &Names), 0);
    Run("python3 -c 'import sys, zipfile; print(*zipfile.ZipFile(sys.argv[1]).namelist(), sep=\"\\n\")' " +
            Quote(UnzipFrom),
        &Theirs);
    EXPECT_EQ(Names, Theirs == "\n" ? "" : Theirs);
    EXPECT_EQ(Cli("test" + P + Quote(Zip), &Report), 0) << Report;
    fs::remove_all(Dir / "ours");
    fs::remove_all(Dir / "theirs");
    EXPECT_EQ(Cli("extract" + P + Quote(Zip) + " " + Quote(Dir / "ours")), 0);
    // unzip warns (status 1) about a program in front of the archive.
    EXPECT_LE(Run("unzip -qq" + (Password.empty() ? "" : " -P " + Quote(Password)) + " " + Quote(UnzipFrom) +
                  " -d " + Quote(Dir / "theirs") + " 2>/dev/null"),
              1);
    fs::create_directories(Dir / "theirs"); // unzip makes nothing for an empty archive
    EXPECT_EQ(Snapshot(Dir / "ours"), Snapshot(Dir / "theirs"));
}

} // namespace

TEST(OtherWriters, ExtractedLikeUnzip) {
    umask(022); // both extractions under one umask, so that their permissions compare
    TScratchDir Dir;
    // What Linux users keep: a script, links, an old file, folders with times of their own, empty ones.
    WriteFile(Dir / "tree/docs/data.bin", RandomBytes(20000, 2) + std::string(40000, 'z'));
    ASSERT_EQ(In(Dir / "tree",
                 "mkdir -p docs/old 'empty folder' && echo mine > private.txt && "
                 "printf '#!/bin/sh\\necho run\\n' > run.sh && chmod 755 run.sh && chmod 600 private.txt && "
                 "seq 1 6000 > docs/readme.txt && : > docs/empty.txt && echo old > docs/old/1975.txt && "
                 "ln -s docs/readme.txt readme && ln -s ../readme.txt docs/old/up && touch -d @163134367 "
                 "docs/old/1975.txt && touch -d @981173106 docs/old && touch -d @1262304000 docs"),
              0);
    WriteFile(Dir / "mz", "MZ" + RandomBytes(3000, 7));
    WriteFile(Dir / "elf", "\x7f" + std::string("ELF") + RandomBytes(5000, 8));
    const std::string Py =
        "python3 -c 'import sys, zipfile as Z\nwith Z.ZipFile(sys.argv[1], \"w\", 8) as z:\n";
    // Name, how it is made in the tree's folder (those with a password use "secret").
    const std::pair<std::string, std::string> Makers[] = {
        {"y.zip", "zip -qry ../y.zip ."},
        {"fz.zip", "zip -qry -fz ../fz.zip ."},
        {"z0.zip", "zip -qry -0 ../z0.zip ."},
        {"z9.zip", "zip -qry -9 -e -P secret ../z9.zip ."},
        {"7z1.zip", "7zz a -bd -bso0 -tzip -mx=1 ../7z1.zip ."},
        {"7z9.zip", "7zz a -bd -bso0 -tzip -mx=9 ../7z9.zip ."},
        {"7zc.zip", "7zz a -bd -bso0 -tzip -mx=0 -psecret -mem=ZipCrypto ../7zc.zip ."},
        {"pipe.zip", "zip -q ../pipe.zip - < docs/readme.txt"},
        {"comment.zip", "printf %60000s | tr ' ' c | zip -qry -z ../comment.zip ."},
        {"py64.zip", Py + "  for i in range(3):\n    with z.open(str(i), \"w\", force_zip64=True) as f:\n"
                          "      f.write(b\"data %d \" % i * 5000)' ../py64.zip"},
        {"empty.zip", Py + "  pass' ../empty.zip"},
        {"sfx-mz.exe", "cat ../mz ../fz.zip > ../sfx-mz.exe"},
        {"sfx-elf", "cat ../elf ../y.zip > ../sfx-elf"},
        {"sfx-pipe.exe", "cat ../mz ../pipe.zip > ../sfx-pipe.exe"},
        {"vol.zip.001", "7zz a -bd -bso0 -tzip -v7k ../vol.zip . && cat ../vol.zip.0* > ../whole.zip"}};
    for (const auto& [Name, Command] : Makers) {
        ASSERT_EQ(In(Dir / "tree", Command), 0) << Name;
        // Numbered pieces: unzip reads them put back together.
        const std::string Whole = Name.starts_with("vol") ? Dir / "whole.zip" : Dir / Name;
        ExpectLikeUnzip(Dir, Dir / Name, Whole, Command.find("secret") != std::string::npos ? "secret" : "");
    }
    ASSERT_TRUE(fs::exists(Dir / "vol.zip.003"));
    ExpectLikeUnzip(Dir, Dir / "vol.zip.002", Dir / "whole.zip");
}

TEST(OtherWriters, RefusalsWrongPasswordsAndDamageFailAloneAndLeaveNoFile) {
    TScratchDir Dir;
    // Methods we do not decode are named; the other entries extract.
    PythonZip(Dir / "methods.zip",
              "for n, m in ('b', 12), ('l', 14), ('s', 0): z.writestr(n + '.txt', n * 99 + '!', m)");
    std::string Report, Errors;
    EXPECT_EQ(Cli("test " + Quote(Dir / "methods.zip"), &Report), 2);
    EXPECT_EQ(Report, "b.txt: Cannot extract file - unsupported compression method (BZip2, method 12)\n"
                      "l.txt: Cannot extract file - unsupported compression method (LZMA, method 14)\n"
                      "s.txt: OK\n");
    EXPECT_EQ(Cli("extract " + Quote(Dir / "methods.zip") + " " + Quote(Dir / "m") + " 2>/dev/null"), 2);
    EXPECT_FALSE(fs::exists(Dir / "m/b.txt"));
    EXPECT_EQ(ReadFile(Dir / "m/s.txt"), std::string(99, 's') + "!");

    // Links that lead out of the target folder, directly or through one another, are not made.
    ASSERT_EQ(
        In(Dir.Path(),
           "mkdir -p links/sub && cd links && ln -s /etc/passwd abs && cd sub && "
           "ln -s ../../outside up2 && ln -s . self && ln -s self/../../x through && ln -s ../sub fine && "
           "cd .. && zip -qry ../links.zip ."),
        0);
    EXPECT_EQ(Cli("extract " + Quote(Dir / "links.zip") + " " + Quote(Dir / "l") + " 2>&1", &Errors), 2);
    for (const char* Name : {"sub/up2", "abs", "sub/through"}) {
        EXPECT_NE(Errors.find(std::string(Name) + ": Cannot extract file - symbolic link leads outside"),
                  std::string::npos)
            << Errors;
        EXPECT_FALSE(fs::exists(fs::symlink_status(Dir / "l/" + Name))) << Name;
    }
    EXPECT_EQ(fs::read_symlink(Dir / "l/sub/fine"), "../sub");
    EXPECT_EQ(fs::read_symlink(Dir / "l/sub/self"), ".");

    // A split set with a part missing: the entries on the parts present extract, the others name it.
    fs::create_directories(Dir / "split");
    for (int I = 1; I <= 6; ++I)
        WriteFile(Dir / "split/f" + std::to_string(I) + ".bin", RandomBytes(40000, unsigned(I)));
    ASSERT_EQ(In(Dir / "split", "zip -q -0 -s 64k set.zip f*.bin && rm set.z02"), 0);
    EXPECT_EQ(Cli("test " + Quote(Dir / "split/set.zip"), &Report), 2);
    const std::string Missing =
        ": Cannot open file \"" + Dir / "split/set.z02\". No such file or directory\n";
    EXPECT_EQ(Report, "f1.bin: OK\nf2.bin" + Missing + "f3.bin" + Missing + "f4.bin" + Missing +
                          "f5.bin: OK\nf6.bin: OK\n");

    // One byte checks a password, so one header in 256 lets a wrong one through: such an archive is made
    // again.
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
    // A file the damaged entry was to replace stays as it was, and nothing is left beside it.
    WriteFile(Dir / "out/a.txt", "old a");
    EXPECT_EQ(Cli("extract -o " + Quote(Dir / "d.zip") + " " + Quote(Dir / "out") + " 2>/dev/null"), 2);
    EXPECT_EQ(ReadFile(Dir / "out/a.txt"), "old a");
    EXPECT_EQ(ReadFile(Dir / "out/b.txt"), SampleText(20000, 7));
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "out"), {}), 2);
}

TEST(OtherWriters, OverwriteChoices) {
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
        WriteFile(Dir / "answers", Answers);
        EXPECT_EQ(Cli("extract " + std::string(Options) + " " + Zip + " " + Quote(Out) + " 2>/dev/null <" +
                      Quote(Dir / "answers")),
                  0);
        EXPECT_EQ(ReadFile(Out + "/a.txt") + "," + ReadFile(Out + "/b.txt"), Expected) << Options << Answers;
    }
    EXPECT_EQ(Cli("extract -o -n " + Zip + " " + Quote(Out) + " 2>/dev/null"), 2);
}
