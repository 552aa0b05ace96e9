// Where the program finds its help file and whether it writes beside itself, for a built copy and an
// installed one.

#include "platform/DataFiles.h"

#include "TestUtil.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using testutil::TScratchDir;
using testutil::WriteFile;
namespace fs = std::filesystem;

TEST(DataFilesTest, HelpFileBesideTheProgramWinsOverTheInstalledOne) {
    TScratchDir Dir;
    const std::string Bin = Dir / "bin", Data = Dir / "share/tarnlet";
    fs::create_directories(Bin);
    fs::create_directories(Data);
    // Neither: the path beside the program, so a message names where it was looked for first.
    EXPECT_EQ(DataFilePath(Bin, "tarnlet.hlp"), Bin + "/tarnlet.hlp");
    WriteFile(Data + "/tarnlet.hlp", "installed");
    EXPECT_TRUE(fs::equivalent(DataFilePath(Bin, "tarnlet.hlp"), Data + "/tarnlet.hlp"));
    WriteFile(Bin + "/tarnlet.hlp", "beside");
    EXPECT_EQ(DataFilePath(Bin, "tarnlet.hlp"), Bin + "/tarnlet.hlp");
}

TEST(DataFilesTest, OnlyAWritableCopyThatIsNotInstalledWritesBesideItself) {
    TScratchDir Dir;
    const std::string Bin = Dir / "bin", Data = Dir / "share/tarnlet";
    fs::create_directories(Bin);
    EXPECT_TRUE(WritesBesideProgram(Bin));
    // Installed: its data folder exists, and its program folder is never written, even by root.
    fs::create_directories(Data);
    EXPECT_FALSE(WritesBesideProgram(Bin));
    fs::remove(Data);
    if (::geteuid() != 0) { // root may write everywhere
        fs::permissions(Bin, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(WritesBesideProgram(Bin));
        fs::permissions(Bin, fs::perms::owner_all);
    }
}

} // namespace
