#include "platform/Find.h"
#include "platform/DosDate.h"
#include "platform/Drives.h"

#include "common/TestUtil.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using testutil::TScratchDir;
using testutil::WriteFile;

namespace {

std::vector<std::string> ListNames(const std::string& Folder) {
    std::vector<std::string> Names;
    TFileFinder F(Folder);
    while (F.Next())
        Names.push_back(F.Name());
    return Names;
}

TSearchRec RecordOf(const std::string& Folder, const std::string& Name) {
    TFileFinder F(Folder);
    while (F.Next())
        if (F.Name() == Name) {
            EXPECT_TRUE(F.Load());
            return F.Record();
        }
    ADD_FAILURE() << Name << " not listed";
    return {};
}

} // namespace

TEST(Find, ListsSortedWithoutRegardToCaseAndWithoutDots) {
    TScratchDir D;
    for (const char* N : {"b.zip", "A.ZIP", "_x", "Z", "a.txt", "c", "B.ZIP"})
        WriteFile(D / N, "");
    EXPECT_EQ(ListNames(D.Path()),
              (std::vector<std::string>{"a.txt", "A.ZIP", "B.ZIP", "b.zip", "c", "Z", "_x"}));
    EXPECT_TRUE(ListNames(D / "absent").empty());
    EXPECT_FALSE(TFileFinder(D / "absent").Opened());
    EXPECT_TRUE(TFileFinder(D.Path()).Opened());
}

TEST(Find, AttributeBitsSizeAndTime) {
    TScratchDir D;
    WriteFile(D / "plain.zip", "12345");
    testutil::SetFileTime(D / "plain.zip", 1000000000);
    WriteFile(D / ".hidden", "");
    WriteFile(D / "locked", "");
    chmod((D / "locked").c_str(), 0444);
    mkdir((D / "sub").c_str(), 0755);
    mkfifo((D / "pipe").c_str(), 0644);
    symlink("plain.zip", (D / "link.zip").c_str());
    symlink("sub", (D / "linkdir").c_str());
    symlink("nowhere", (D / "dangling").c_str());

    TSearchRec R = RecordOf(D.Path(), "plain.zip");
    EXPECT_EQ(R.Attr, attrArchive);
    EXPECT_EQ(R.Size, 5);
    EXPECT_EQ(R.Time, 1000000000);
    EXPECT_EQ(RecordOf(D.Path(), ".hidden").Attr, attrArchive | attrHidden);
    EXPECT_EQ(RecordOf(D.Path(), "locked").Attr, attrArchive | attrReadOnly);
    EXPECT_EQ(RecordOf(D.Path(), "sub").Attr, attrDirectory);
    EXPECT_EQ(RecordOf(D.Path(), "sub").Size, 0);
    EXPECT_EQ(RecordOf(D.Path(), "pipe").Attr, attrSystem);
    // A link to a file is the file; a link to a folder is never a folder to enter.
    EXPECT_EQ(RecordOf(D.Path(), "link.zip").Attr, attrArchive);
    EXPECT_EQ(RecordOf(D.Path(), "link.zip").Size, 5);
    EXPECT_EQ(RecordOf(D.Path(), "linkdir").Attr, attrSystem);
    EXPECT_EQ(RecordOf(D.Path(), "dangling").Attr, attrSystem);

    TFileFinder F(D.Path());
    while (F.Next())
        EXPECT_EQ(F.IsDirectory(), F.Name() == "sub") << F.Name();
}

TEST(Find, AnEntryThatVanishesIsNotLoaded) {
    TScratchDir D;
    WriteFile(D / "gone", "");
    TFileFinder F(D.Path());
    unlink((D / "gone").c_str());
    ASSERT_TRUE(F.Next());
    EXPECT_FALSE(F.Load());
    EXPECT_FALSE(F.Next());
}

TEST(DosDate, DateTimeCountsDaysFrom1899) {
    uint32_t Dos = (0u << 25) | (1u << 21) | (1u << 16); // 1980-01-01 00:00:00
    EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(Dos), 29221.0);
    Dos = (20u << 25) | (1u << 21) | (1u << 16) | (12u << 11) | (0u << 5) | 0u; // 2000-01-01 12:00:00
    EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(Dos), 36526.5);
    Dos = (44u << 25) | (2u << 21) | (29u << 16) | (23u << 11) | (59u << 5) | 29u; // 2024-02-29 23:59:58
    EXPECT_NEAR(DosDateTimeToDateTime(Dos), 45351.0 + 86398.0 / 86400.0, 1e-9);
}

TEST(Drives, MountInfoIsParsedAndTyped) {
    const std::string Text = "22 27 0:21 / /proc rw - proc proc rw\n"
                             "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
                             "28 27 8:17 / /media/usb\\040stick rw - vfat /dev/sdb1 rw\n"
                             "29 27 0:40 / /mnt/share rw - cifs //srv/share rw\n"
                             "30 27 11:0 / /media/cd ro - iso9660 /dev/sr0 ro\n"
                             "31 27 0:41 / /run rw - tmpfs tmpfs rw\n"
                             "32 22 0:42 / /proc/sys/fs/binfmt_misc rw - binfmt_misc binfmt_misc rw\n"
                             "33 27 0:43 / /home/me/remote rw - fuse.sshfs me@host: rw\n"
                             "garbage line\n";
    auto Table = ParseMountInfo(Text, [](const std::string& Dev) { return Dev == "8:17"; });
    ASSERT_EQ(Table.size(), 8u);
    EXPECT_EQ(Table[0].Type, dtNoDrive);
    EXPECT_EQ(Table[1].MountPoint, "/");
    EXPECT_EQ(Table[1].Type, dtFixed);
    EXPECT_EQ(Table[1].Device, "254:0");
    EXPECT_EQ(Table[2].MountPoint, "/media/usb stick");
    EXPECT_EQ(Table[2].Type, dtRemovable);
    EXPECT_EQ(Table[3].Type, dtRemote);
    EXPECT_EQ(Table[4].Type, dtCDROM);
    EXPECT_EQ(Table[5].Type, dtRAMDisk);
    EXPECT_EQ(Table[6].Type, dtNoDrive);
    EXPECT_EQ(Table[7].Type, dtRemote);
    // A tmpfs inside a pseudo file system is no drive.
    EXPECT_EQ(DriveTypeOf("tmpfs", false), dtRAMDisk);
    EXPECT_EQ(DriveTypeOf("btrfs", true), dtRemovable);
}

TEST(Drives, EachFileSystemOnceAndNothingInsidePseudoFileSystems) {
    TScratchDir D;
    const std::string R = D.Path();
    for (const char* F : {"/sys", "/sys/fs", "/srv", "/again", "/tmp", "/zz"})
        mkdir((R + F).c_str(), 0755);
    WriteFile(R + "/hosts", "");
    auto M = [](std::string Dev, std::string Root, std::string Point, TDriveType Type) {
        return TMount{std::move(Dev), std::move(Root), std::move(Point), "x", Type};
    };
    std::vector<TMount> Table = {
        M("0:1", "/", R + "/sys", dtNoDrive),       M("0:2", "/", R + "/sys/fs", dtRAMDisk),
        M("8:1", "/data/sub", R + "/srv", dtFixed), M("8:1", "/", R, dtFixed),
        M("8:1", "/", R + "/again", dtFixed),       M("0:3", "/", R + "/tmp", dtRAMDisk),
        M("8:2", "/sub", R + "/zz", dtFixed),       M("8:3", "/etc/hosts", R + "/hosts", dtFixed),
    };
    std::vector<std::string> Points;
    for (const TMount& Drive : Drives(Table))
        Points.push_back(Drive.MountPoint);
    EXPECT_EQ(Points, (std::vector<std::string>{R, R + "/tmp", R + "/zz"}));

    TMount Drive;
    ASSERT_TRUE(DriveOfFolder(Table, R + "/tmp/x/y", Drive));
    EXPECT_EQ(Drive.MountPoint, R + "/tmp");
    ASSERT_TRUE(DriveOfFolder(Table, R + "/tmpfoo", Drive));
    EXPECT_EQ(Drive.MountPoint, R);
    EXPECT_FALSE(DriveOfFolder(Table, R + "/sys/kernel", Drive)) << "held by a pseudo file system";
    EXPECT_FALSE(DriveOfFolder({}, "/", Drive));

    EXPECT_TRUE(PathWithin("/a/b", "/a"));
    EXPECT_TRUE(PathWithin("/a", "/a"));
    EXPECT_FALSE(PathWithin("/ab", "/a"));
    EXPECT_TRUE(PathWithin("/ab", "/"));
    EXPECT_FALSE(PathWithin("relative", "/"));
}

TEST(Drives, TheRunningSystemHasARootDrive) {
    std::vector<TMount> Table = MountTable();
    TMount Root;
    ASSERT_TRUE(DriveOfFolder(Table, "/", Root));
    EXPECT_EQ(Root.MountPoint, "/");
    for (const TMount& D : Drives(Table))
        EXPECT_NE(D.FsType, "proc");
}

namespace {

// Lists Folder and, inside the listing, the folder "d" below it, Levels deep; counts loaded files.
int LoadNested(const std::string& Folder, int Levels) {
    TFileFinder F(Folder);
    int Loaded = 0;
    while (F.Next()) {
        if (F.Name() == "f" && F.Load() && F.Record().Size == 1)
            ++Loaded;
        if (F.Name() == "d" && Levels > 1)
            Loaded += LoadNested(Folder + "/d", Levels - 1);
    }
    return Loaded;
}

} // namespace

TEST(Find, DeepTreesAreListedPastTheKeptHandles) {
    TScratchDir D;
    std::string Path = D.Path();
    const int Levels = 100;
    for (int I = 0; I < Levels; ++I) {
        WriteFile(Path + "/f", "x");
        Path += "/d";
        ASSERT_EQ(mkdir(Path.c_str(), 0755), 0);
    }
    EXPECT_EQ(LoadNested(D.Path(), Levels), Levels);
}
