#include "platform/Find.h"
#include "platform/Drives.h"

#include "common/TestUtil.h"

#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <tuple>
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

TEST(Find, ListsSortedWithoutRegardToCaseAndWithoutDots) {
    TScratchDir D;
    for (const char* N : {"b.zip", "A.ZIP", "_x", "Z", "a.txt", "c", "B.ZIP"})
        WriteFile(D / N, "");
    EXPECT_EQ(ListNames(D.Path()),
              (std::vector<std::string>{"a.txt", "A.ZIP", "B.ZIP", "b.zip", "c", "Z", "_x"}));
    EXPECT_TRUE(ListNames(D / "absent").empty());
    EXPECT_FALSE(TFileFinder(D / "absent").Opened());
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

    // A link to a file is the file; a link to a folder is never a folder to enter.
    const std::map<std::string, std::pair<int, int64_t>> Expected = {
        {"plain.zip", {attrArchive, 5}},
        {".hidden", {attrArchive | attrHidden, 0}},
        {"locked", {attrArchive | attrReadOnly, 0}},
        {"sub", {attrDirectory, 0}},
        {"pipe", {attrSystem, 0}},
        {"link.zip", {attrArchive, 5}},
        {"linkdir", {attrSystem, 0}},
        {"dangling", {attrSystem, 0}}};
    size_t Seen = 0;
    TFileFinder F(D.Path());
    while (F.Next()) {
        ASSERT_TRUE(F.Load()) << F.Name();
        const auto& [Attr, Size] = Expected.at(F.Name());
        EXPECT_EQ(F.Record().Attr, Attr) << F.Name();
        EXPECT_EQ(F.Record().Size, Size) << F.Name();
        EXPECT_EQ(F.IsDirectory(), F.Name() == "sub") << F.Name();
        EXPECT_TRUE(F.Name() != "plain.zip" || F.Record().Time == 1000000000);
        ++Seen;
    }
    EXPECT_EQ(Seen, Expected.size());
}

TEST(Find, VanishedEntriesAndTreesDeeperThanTheKeptHandles) {
    TScratchDir D;
    WriteFile(D / "gone", "");
    {
        TFileFinder F(D.Path());
        unlink((D / "gone").c_str());
        ASSERT_TRUE(F.Next());
        EXPECT_FALSE(F.Load());
        EXPECT_FALSE(F.Next());
    }
    std::string Path = D.Path();
    const int Levels = 100;
    for (int I = 0; I < Levels; ++I) {
        WriteFile(Path + "/f", "x");
        Path += "/d";
        ASSERT_EQ(mkdir(Path.c_str(), 0755), 0);
    }
    EXPECT_EQ(LoadNested(D.Path(), Levels), Levels);
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
    std::vector<TDriveType> Types;
    for (const TMount& M : Table)
        Types.push_back(M.Type);
    EXPECT_EQ(Types, (std::vector<TDriveType>{dtNoDrive, dtFixed, dtRemovable, dtRemote, dtCDROM, dtRAMDisk,
                                              dtNoDrive, dtRemote}));
    ASSERT_EQ(Table.size(), 8u);
    EXPECT_EQ(Table[1].MountPoint, "/");
    EXPECT_EQ(Table[1].Device, "254:0");
    EXPECT_EQ(Table[2].MountPoint, "/media/usb stick");
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
    for (auto [Path, Folder, Within] : {std::tuple{"/a/b", "/a", true},
                                        {"/a", "/a", true},
                                        {"/ab", "/a", false},
                                        {"/ab", "/", true},
                                        {"relative", "/", false}})
        EXPECT_EQ(PathWithin(Path, Folder), Within) << Path << " in " << Folder;

    // The running system.
    Table = MountTable();
    ASSERT_TRUE(DriveOfFolder(Table, "/", Drive));
    EXPECT_EQ(Drive.MountPoint, "/");
    for (const TMount& Found : Drives(Table))
        EXPECT_NE(Found.FsType, "proc");
}
