// Archives as zip, Python and 7zz write them (zip64 records, streamed entries, long comments, programs in
// front, numbered pieces, links, Unix permissions, times before 1980): listed like Python lists them,
// tested, and extracted into the tree unzip makes, times, permissions and links included.

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testutil;
namespace fs = std::filesystem;

namespace {

// Both extractions under the same umask, so that the permissions they give can be compared.
int Sh(const std::string& Command, std::string* Output = nullptr) {
    return Run("umask 022; " + Command, Output);
}

// tarnlet-cli with Args.
std::string Tarnlet(const std::string& Args) {
    return Quote(BinDir() + "/tarnlet-cli") + " " + Args;
}

// One line per path below Root: type, permissions, modification time, link target or content digest.
std::string Snapshot(const std::string& Root) {
    const std::string Script = R"(
import os, sys, hashlib
root = sys.argv[1]
for d, dirs, files in os.walk(root):
    for n in sorted(dirs + files):
        p = os.path.join(d, n)
        s = os.lstat(p)
        rel = os.path.relpath(p, root)
        if os.path.islink(p):
            print(rel, 'link', os.readlink(p))
        elif os.path.isdir(p):
            print(rel, 'dir', oct(s.st_mode & 0o7777), int(s.st_mtime))
        else:
            print(rel, 'file', oct(s.st_mode & 0o7777), int(s.st_mtime),
                  hashlib.sha1(open(p, 'rb').read()).hexdigest())
)";
    std::string Out;
    EXPECT_EQ(Run("python3 -c " + Quote(Script) + " " + Quote(Root) + " | sort", &Out), 0);
    return Out;
}

std::string PythonNames(const std::string& Zip) {
    std::string Out;
    EXPECT_EQ(
        Run("python3 -c " +
                Quote("import sys, zipfile\nfor n in zipfile.ZipFile(sys.argv[1]).namelist(): print(n)") +
                " " + Quote(Zip),
            &Out),
        0);
    return Out;
}

// A tree with what Linux users keep: a script, a link, an old file, a folder with a time of its own.
void MakeTree(const std::string& Root) {
    fs::create_directories(Root + "/docs/old");
    WriteFile(Root + "/run.sh", "#!/bin/sh\necho run\n");
    fs::permissions(Root + "/run.sh", fs::perms(0755));
    WriteFile(Root + "/docs/readme.txt", SampleText(30000, 1));
    WriteFile(Root + "/docs/old/1975.txt", "from before 1980\n");
    WriteFile(Root + "/private.txt", "mine\n");
    fs::permissions(Root + "/private.txt", fs::perms(0600));
    fs::create_symlink("docs/readme.txt", Root + "/readme");
    fs::create_symlink("../readme.txt", Root + "/docs/old/up");
    SetFileTime(Root + "/docs/old/1975.txt", 163134367);
    SetFileTime(Root + "/docs/old", 981173106);
    SetFileTime(Root + "/docs", 1262304000);
}

// Zip is read by Reader (the file tarnlet-cli opens) and by unzip from UnzipFrom.
void ExpectLikeUnzip(const TScratchDir& Dir, const std::string& Zip, const std::string& UnzipFrom) {
    SCOPED_TRACE(Zip);
    std::string Names;
    EXPECT_EQ(Sh(Tarnlet("list --names " + Quote(Zip)), &Names), 0);
    EXPECT_EQ(Names, PythonNames(UnzipFrom));
    std::string Report;
    EXPECT_EQ(Sh(Tarnlet("test " + Quote(Zip)), &Report), 0) << Report;
    const std::string Ours = Dir / "ours", Theirs = Dir / "theirs";
    fs::remove_all(Ours);
    fs::remove_all(Theirs);
    EXPECT_EQ(Sh(Tarnlet("extract " + Quote(Zip) + " " + Quote(Ours))), 0);
    // unzip warns (status 1) about a program in front of the archive.
    EXPECT_LE(Sh("unzip -qq " + Quote(UnzipFrom) + " -d " + Quote(Theirs) + " 2>/dev/null"), 1);
    fs::create_directories(Theirs); // unzip makes nothing for an empty archive
    EXPECT_EQ(Snapshot(Ours), Snapshot(Theirs));
}

} // namespace

TEST(OtherWriters, ExtractedLikeUnzip) {
    TScratchDir Dir;
    const std::string Tree = Dir / "tree";
    MakeTree(Tree);
    WriteFile(Dir / "mz", "MZ" + RandomBytes(3000, 7));
    WriteFile(Dir / "elf", "\x7f"
                           "ELF" +
                               RandomBytes(5000, 8));
    const std::string In = "cd " + Quote(Tree) + " && ";
    struct TMaker {
        std::string Name, Command;
    };
    const std::vector<TMaker> Makers = {
        {"y.zip", In + "zip -qry ../y.zip ."},
        {"fz.zip", In + "zip -qry -fz ../fz.zip ."},
        {"pipe.zip", In + "zip -q ../pipe.zip - < docs/readme.txt"},
        {"comment.zip", In + "python3 -c 'print(60000 * \"c\", end=\"\")' > ../c.txt && zip -qry -z "
                             "../comment.zip . < ../c.txt"},
        {"py64.zip", "python3 -c " +
                         Quote("import sys, zipfile\n"
                               "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                               "    for i in range(3):\n"
                               "        with z.open('f%d.txt' % i, 'w', force_zip64=True) as f:\n"
                               "            f.write(b'data %d ' % i * 5000)\n") +
                         " " + Quote(Dir / "py64.zip")},
        {"empty.zip", "python3 -c " +
                          Quote("import sys, zipfile\nzipfile.ZipFile(sys.argv[1], 'w').close()") + " " +
                          Quote(Dir / "empty.zip")},
        {"sfx-mz.exe",
         "cat " + Quote(Dir / "mz") + " " + Quote(Dir / "fz.zip") + " > " + Quote(Dir / "sfx-mz.exe")},
        {"sfx-elf",
         "cat " + Quote(Dir / "elf") + " " + Quote(Dir / "y.zip") + " > " + Quote(Dir / "sfx-elf")},
        {"sfx-pipe.exe",
         "cat " + Quote(Dir / "mz") + " " + Quote(Dir / "pipe.zip") + " > " + Quote(Dir / "sfx-pipe.exe")},
    };
    for (const TMaker& M : Makers) {
        ASSERT_EQ(Sh(M.Command), 0) << M.Name;
        ExpectLikeUnzip(Dir, Dir / M.Name, Dir / M.Name);
    }
    // Numbered pieces: unzip reads them put back together.
    ASSERT_EQ(Sh(In + "7zz a -bd -bso0 -tzip -v7k ../vol.zip ."), 0);
    ASSERT_EQ(Sh("cat " + Quote(Dir / "vol.zip") + ".0* > " + Quote(Dir / "whole.zip")), 0);
    ASSERT_TRUE(fs::exists(Dir / "vol.zip.003"));
    ExpectLikeUnzip(Dir, Dir / "vol.zip.001", Dir / "whole.zip");
    ExpectLikeUnzip(Dir, Dir / "vol.zip.002", Dir / "whole.zip");
}

TEST(OtherWriters, RefusalsNameTheirReason) {
    TScratchDir Dir;
    // Methods we do not decode are named; the other entries extract.
    ASSERT_EQ(Sh("python3 -c " +
                 Quote("import sys, zipfile as Z\n"
                       "with Z.ZipFile(sys.argv[1], 'w') as z:\n"
                       "    z.writestr('b.txt', 'bz' * 100, compress_type=Z.ZIP_BZIP2)\n"
                       "    z.writestr('l.txt', 'lz' * 100, compress_type=Z.ZIP_LZMA)\n"
                       "    z.writestr('s.txt', 'plain')\n") +
                 " " + Quote(Dir / "methods.zip")),
              0);
    std::string Report;
    EXPECT_EQ(Sh(Tarnlet("test " + Quote(Dir / "methods.zip")), &Report), 2);
    EXPECT_EQ(Report, "b.txt: Cannot extract file - unsupported compression method (BZip2, method 12)\n"
                      "l.txt: Cannot extract file - unsupported compression method (LZMA, method 14)\n"
                      "s.txt: OK\n");
    EXPECT_EQ(Sh(Tarnlet("extract " + Quote(Dir / "methods.zip") + " " + Quote(Dir / "m") + " 2>/dev/null")),
              2);
    EXPECT_FALSE(fs::exists(Dir / "m/b.txt"));
    EXPECT_EQ(ReadFile(Dir / "m/s.txt"), "plain");

    // Links that lead out of the target folder, directly or through one another, are not made.
    fs::create_directories(Dir / "links/sub");
    fs::create_symlink("../../outside", Dir / "links/sub/up2");
    fs::create_symlink("/etc/passwd", Dir / "links/abs");
    fs::create_symlink(".", Dir / "links/sub/self");
    fs::create_symlink("self/../../x", Dir / "links/sub/through");
    fs::create_symlink("../sub", Dir / "links/sub/fine");
    ASSERT_EQ(Sh("cd " + Quote(Dir / "links") + " && zip -qry ../links.zip ."), 0);
    std::string Errors;
    EXPECT_EQ(Sh(Tarnlet("extract " + Quote(Dir / "links.zip") + " " + Quote(Dir / "l") + " 2>&1"), &Errors),
              2);
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
    ASSERT_EQ(Sh("cd " + Quote(Dir / "split") + " && zip -q -0 -s 64k set.zip f*.bin && rm set.z02"), 0);
    EXPECT_EQ(Sh(Tarnlet("test " + Quote(Dir / "split/set.zip")), &Report), 2);
    const std::string Missing =
        ": Cannot open file \"" + Dir / "split/set.z02\". No such file or directory\n";
    EXPECT_EQ(Report, "f1.bin: OK\nf2.bin" + Missing + "f3.bin" + Missing + "f4.bin" + Missing +
                          "f5.bin: OK\nf6.bin: OK\n");
}
