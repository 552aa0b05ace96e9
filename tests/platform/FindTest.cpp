// Folder listings (order, attributes, links, vanished entries, deep trees) and the mount table.

#include "platform/Find.h"
#include "common/TestUtil.h"
#include "platform/Drives.h"

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

// A mount point with a space is unescaped; pseudo file systems are no drives.
TEST(Drives, MountInfoIsParsedAndTyped) {
    const std::string Text = "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
                             "28 27 8:17 / /media/usb\\040stick rw - vfat /dev/sdb1 rw\n"
                             "29 27 0:40 / /mnt/share rw - cifs //srv/share rw\n"
                             "32 22 0:42 / /proc/sys/fs/binfmt_misc rw - binfmt_misc binfmt_misc rw\n"
                             "garbage line\n";
    std::string Parsed;
    for (const TMount& M : ParseMountInfo(Text, [](const std::string& Dev) { return Dev == "8:17"; }))
        Parsed += M.MountPoint + " " + "NRFMCD"[M.Type] + ","; // the drive types' initials
    EXPECT_EQ(Parsed, "/ F,/media/usb stick R,/mnt/share M,/proc/sys/fs/binfmt_misc N,");
    TMount Drive;
    EXPECT_TRUE(DriveOfFolder(MountTable(), "/", Drive) && Drive.MountPoint == "/");
}
