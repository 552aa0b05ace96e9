// File and memory streams, file names, temporary files and the private temporary folder.

#include "TestUtil.h"
#include "platform/Classes.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testutil;

TEST(Streams, FileAndMemoryStreams) {
    TScratchDir Dir;
    {
        TFileStream F(Dir / "data.bin", fmCreate);
        F.WriteBuffer("0123456789", 10);
        EXPECT_TRUE(F.Size() == 10 && F.Position() == 10); // asking the size keeps the position
        F.SetSize(4);
        EXPECT_EQ(F.Position(), 4);
    }
    TFileStream F(Dir / "data.bin", fmOpenRead | fmShareDenyWrite);
    char Buf[8] = {};
    EXPECT_EQ(F.Read(Buf, 8), 4);
    EXPECT_EQ(F.Seek(-2, soFromEnd), 2);
    EXPECT_THROW(F.ReadBuffer(Buf, 3), EReadError);
    EXPECT_EQ(F.Write("x", 1), 0); // opened for reading only
    EXPECT_NE(ErrorOf<EFOpenError>([&] { TFileStream(Dir / "missing", fmOpenRead); }).find(Dir / "missing"),
              std::string::npos);
    EXPECT_THROW(TFileStream(Dir / "no/such/folder/x", fmCreate), EFCreateError);

    TMemoryStream M, Copy;
    M.Seek(5, soFromBeginning);
    M.WriteBuffer("ab", 2);
    EXPECT_EQ(Copy.CopyFrom(M, 0), 7);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(Copy.Memory()), 7), std::string(5, '\0') + "ab");
    M.Seek(-1, soFromBeginning);
    EXPECT_EQ(M.Read(Buf, 1), 0); // a position before the start reads nothing
}

TEST(Files, NamesAndTemporaryFiles) {
    TScratchDir Dir;
    WriteFile(Dir / "Sub Folder/inner/Archive.zip", "x");
    EXPECT_EQ(ResolvePathCase(Dir / "SUB FOLDER/INNER/ARCHIVE.ZIP"), Dir / "Sub Folder/inner/Archive.zip");
    EXPECT_EQ(ResolvePathCase(Dir / "SUB FOLDER/NOPE.ZIP"), Dir / "Sub Folder/NOPE.ZIP");
    const std::string A = CreateUniqueTempFile(Dir.Path(), "VMS"),
                      B = CreateUniqueTempFile(Dir.Path(), "VMS");
    EXPECT_NE(A, B);
    EXPECT_TRUE(DeleteFile(A) && !FileExists(A) && DeleteFile(A)); // already gone counts as deleted
    EXPECT_TRUE(CreateUniqueTempFile(Dir / "missing", "VMS").empty());
}

// Made and kept private; refused when the name is a link to others' folder, a planted file or a folder
// someone else owns.
TEST(PrivateTempFolder, MadeAndKeptPrivateAndRefusedWhenTheNameIsTaken) {
    TScratchDir Tmp;
    TEnvSetting Env("TMPDIR", Tmp.Path());
    const std::string Name = Tmp / ("tarnlet-" + std::to_string(::geteuid()));
    auto ModeOf = [](const std::string& Path) {
        struct stat St;
        return ::lstat(Path.c_str(), &St) == 0 ? St.st_mode : 0;
    };
    ::umask(022);
    for (int Twice = 0; Twice < 2; ++Twice) {
        EXPECT_EQ(PrivateTempFolder(), Name);
        EXPECT_EQ(ModeOf(Name), S_IFDIR | 0700u);
        ::chmod(Name.c_str(), 0777);
    }
    ::rmdir(Name.c_str());
    ::mkdir((Tmp / "elsewhere").c_str(), 0777);
    const mode_t Before = ModeOf(Tmp / "elsewhere");
    ASSERT_EQ(::symlink((Tmp / "elsewhere").c_str(), Name.c_str()), 0);
    EXPECT_THROW(PrivateTempFolder(), EInOutError);
    EXPECT_EQ(ModeOf(Tmp / "elsewhere"), Before);
    ::unlink(Name.c_str());
    WriteFile(Name, "planted");
    EXPECT_THROW(PrivateTempFolder(), EInOutError);
    ::unlink(Name.c_str());
    if (::geteuid() == 0) {
        ::mkdir(Name.c_str(), 0700);
        ASSERT_EQ(::chown(Name.c_str(), 65534, 65534), 0);
        EXPECT_THROW(PrivateTempFolder(), EInOutError);
    }
}
