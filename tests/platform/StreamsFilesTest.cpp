#include "TestUtil.h"
#include "platform/Classes.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using testutil::TScratchDir;

TEST(FileStream, ReadWriteSeekAndSize) {
    TScratchDir Dir;
    std::string Name = Dir / "data.bin";
    {
        TFileStream F(Name, fmCreate);
        F.WriteBuffer("0123456789", 10);
        EXPECT_EQ(F.Position(), 10);
        EXPECT_EQ(F.Size(), 10);
        EXPECT_EQ(F.Position(), 10); // asking the size keeps the position
        F.SetSize(4);
        EXPECT_EQ(F.Size(), 4);
        EXPECT_EQ(F.Position(), 4);
    }
    TFileStream F(Name, fmOpenRead | fmShareDenyWrite);
    char Buf[8] = {};
    EXPECT_EQ(F.Read(Buf, 8), 4);
    EXPECT_EQ(std::string(Buf, 4), "0123");
    EXPECT_EQ(F.Read(Buf, 8), 0);
    EXPECT_EQ(F.Seek(-2, soFromEnd), 2);
    EXPECT_THROW(F.ReadBuffer(Buf, 3), EReadError);
    EXPECT_EQ(F.Write("x", 1), 0); // opened for reading only
}

TEST(FileStream, OpenAndCreateFailuresNameTheFile) {
    TScratchDir Dir;
    try {
        TFileStream F(Dir / "missing", fmOpenRead);
        FAIL();
    } catch (const EFOpenError& E) {
        EXPECT_NE(std::string(E.what()).find(Dir / "missing"), std::string::npos);
    }
    EXPECT_THROW(TFileStream(Dir / "no/such/folder/x", fmCreate), EFCreateError);
}

TEST(MemoryStream, GrowsOnWriteAndCopies) {
    TMemoryStream M;
    M.Seek(5, soFromBeginning);
    M.WriteBuffer("ab", 2);
    EXPECT_EQ(M.Size(), 7);
    EXPECT_EQ(M.Memory()[0], 0);
    EXPECT_EQ(M.Memory()[5], 'a');
    TMemoryStream Copy;
    EXPECT_EQ(Copy.CopyFrom(M, 0), 7);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(Copy.Memory()), 7), std::string(5, '\0') + "ab");
    M.SetSize(3);
    EXPECT_EQ(M.Position(), 3);
    char C;
    EXPECT_EQ(M.Read(&C, 1), 0);
    // A position before the start reads nothing.
    M.Seek(-1, soFromBeginning);
    EXPECT_EQ(M.Read(&C, 1), 0);
}

TEST(Files, NamesAndJoining) {
    EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
    EXPECT_EQ(JoinPath("", "b"), "b");
    EXPECT_EQ(ExtractFilePath("/x/y/z.zip"), "/x/y/");
    EXPECT_EQ(ExtractFileName("/x/y/z.zip"), "z.zip");
    EXPECT_EQ(ExtractFileExt("/x.d/y"), "");
    EXPECT_EQ(ExtractFileExt("/x/y.tar.ZIP"), ".ZIP");
    EXPECT_EQ(ExcludeTrailingSlash("/"), "/");
    EXPECT_TRUE(DirExists(ProgramFolder()));
    EXPECT_TRUE(DirExists(TempFolder()));
}

TEST(Files, ResolvesUpperCasedNamesOneComponentAtATime) {
    TScratchDir Dir;
    std::filesystem::create_directories(Dir / "Sub Folder/inner");
    testutil::WriteFile(Dir / "Sub Folder/inner/Archive.zip", "x");
    EXPECT_EQ(ResolvePathCase(Dir / "SUB FOLDER/INNER/ARCHIVE.ZIP"), Dir / "Sub Folder/inner/Archive.zip");
    EXPECT_EQ(ResolvePathCase(Dir / "Sub Folder/inner/Archive.zip"), Dir / "Sub Folder/inner/Archive.zip");
    // Nothing fits: the missing part stays as given.
    EXPECT_EQ(ResolvePathCase(Dir / "SUB FOLDER/NOPE.ZIP"), Dir / "Sub Folder/NOPE.ZIP");
}

TEST(Files, UniqueTempFilesAndDeletion) {
    TScratchDir Dir;
    std::string A = CreateUniqueTempFile(Dir.Path(), "VMS");
    std::string B = CreateUniqueTempFile(Dir.Path(), "VMS");
    ASSERT_FALSE(A.empty());
    EXPECT_NE(A, B);
    EXPECT_EQ(ExtractFileName(A).substr(0, 3), "VMS");
    EXPECT_TRUE(FileExists(A));
    EXPECT_TRUE(DeleteFile(A));
    EXPECT_FALSE(FileExists(A));
    EXPECT_TRUE(DeleteFile(A)); // already gone counts as deleted
    EXPECT_TRUE(CreateUniqueTempFile(Dir / "missing", "VMS").empty());
}

TEST(Dialogs, DefaultAnswersWithTheFirstButtonAndHandlersReplaceIt) {
    EXPECT_EQ(ShowMessageBox("Insert floppy", "Disk", mbOKCancel), idOK);
    EXPECT_EQ(ShowMessageBox("Overwrite?", "Confirm", mbYesNo), idYes);
    std::string Seen;
    SetMessageBoxHandler([&](const std::string& Text, const std::string&, unsigned) {
        Seen = Text;
        return idCancel;
    });
    EXPECT_EQ(ShowMessageBox("Insert floppy", "Disk", mbOKCancel), idCancel);
    EXPECT_EQ(Seen, "Insert floppy");
    SetMessageBoxHandler(nullptr);
    EXPECT_EQ(ShowMessageBox("again", "Disk", mbOKCancel), idOK);
}
