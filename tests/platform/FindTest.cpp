// Folder listings (order, attributes, links, vanished entries, deep trees) and the mount table as drives.

#include "platform/Find.h"
#include "common/TestUtil.h"
#include "platform/Drives.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using testutil::TScratchDir;
using testutil::WriteFile;

TEST(Find, ListsSortedWithAttributesAndLinksToFilesOnly) {
    TScratchDir D;
    for (const char* N : {"b.zip", "A.ZIP", "_x", "Z", "c", "B.ZIP"})
        WriteFile(D / N, "");
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
    // Sorted without regard to case; a link to a file is the file, a link to a folder never a folder.
    std::string Listed;
    TFileFinder F(D.Path());
    while (F.Next()) {
        ASSERT_TRUE(F.Load()) << F.Name();
        const int A = int(F.Record().Attr);
        Listed += F.Name() + ":" + (A & attrReadOnly ? "R" : "") + (A & attrHidden ? "H" : "") +
                  (A & attrSystem ? "S" : "") + (A & attrDirectory ? "D" : "") +
                  (A & attrArchive ? "A" : "") + std::to_string(F.Record().Size) + " ";
        EXPECT_EQ(F.IsDirectory(), F.Name() == "sub");
        EXPECT_TRUE(F.Name() != "plain.zip" || F.Record().Time == 1000000000);
    }
    EXPECT_EQ(Listed, ".hidden:HA0 A.ZIP:A0 B.ZIP:A0 b.zip:A0 c:A0 dangling:S0 link.zip:A5 linkdir:S0 "
                      "locked:RA0 pipe:S0 plain.zip:A5 sub:D0 Z:A0 _x:A0 ");
    EXPECT_FALSE(TFileFinder(D / "absent").Opened());
}

TEST(Find, VanishedEntriesAndTreesDeeperThanTheKeptHandles) {
    TScratchDir D;
    WriteFile(D / "gone", "");
    {
        TFileFinder F(D.Path());
        unlink((D / "gone").c_str());
        ASSERT_TRUE(F.Next());
        EXPECT_FALSE(F.Load());
    }
    // Lists each folder and, inside the listing, the folder "d" below it; counts the files it loads.
    std::function<int(const std::string&, int)> LoadNested = [&](const std::string& Folder, int Levels) {
        TFileFinder F(Folder);
        int Loaded = 0;
        while (F.Next()) {
            if (F.Name() == "f" && F.Load() && F.Record().Size == 1)
                ++Loaded;
            if (F.Name() == "d" && Levels > 1)
                Loaded += LoadNested(Folder + "/d", Levels - 1);
        }
        return Loaded;
    };
    for (std::string Path = D.Path(); Path.size() < D.Path().size() + 200; Path += "/d")
        WriteFile(Path + "/f", "x");
    EXPECT_EQ(LoadNested(D.Path(), 100), 100);
}

TEST(Drives, MountInfoIsParsedAndTypedAndEachFileSystemIsADriveOnce) {
    const std::string Text = "22 27 0:21 / /proc rw - proc proc rw\n"
                             "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
                             "28 27 8:17 / /media/usb\\040stick rw - vfat /dev/sdb1 rw\n"
                             "29 27 0:40 / /mnt/share rw - cifs //srv/share rw\n"
                             "30 27 11:0 / /media/cd ro - iso9660 /dev/sr0 ro\n"
                             "31 27 0:41 / /run rw - tmpfs tmpfs rw\n"
                             "32 22 0:42 / /proc/sys/fs/binfmt_misc rw - binfmt_misc binfmt_misc rw\n"
                             "33 27 0:43 / /home/me/remote rw - fuse.sshfs me@host: rw\n"
                             "garbage line\n";
    std::string Parsed;
    for (const TMount& M : ParseMountInfo(Text, [](const std::string& Dev) { return Dev == "8:17"; }))
        Parsed += M.Device + " " + M.MountPoint + " " + "NRFMCD"[M.Type] + ","; // the drive types' initials
    EXPECT_EQ(Parsed,
              "0:21 /proc N,254:0 / F,8:17 /media/usb stick R,0:40 /mnt/share M,11:0 /media/cd C,0:41 /run D,"
              "0:42 /proc/sys/fs/binfmt_misc N,0:43 /home/me/remote M,");

    TScratchDir D;
    const std::string R = D.Path();
    for (const char* F : {"/sys/fs", "/srv", "/again", "/tmp", "/zz"})
        std::filesystem::create_directories(R + F);
    WriteFile(R + "/hosts", "");
    auto M = [](std::string Dev, std::string Root, std::string Point, TDriveType Type) {
        return TMount{std::move(Dev), std::move(Root), std::move(Point), "x", Type};
    };
    const std::vector<TMount> Table = {
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
    EXPECT_FALSE(DriveOfFolder(Table, R + "/sys/kernel", Drive)); // held by a pseudo file system
    EXPECT_TRUE(DriveOfFolder(MountTable(), "/", Drive) && Drive.MountPoint == "/");
}
