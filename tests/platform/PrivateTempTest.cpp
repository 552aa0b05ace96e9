// The user's private temporary folder: made private, and refused when the name is taken by something
// another user could control.

#include "common/TestUtil.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t ModeOf(const std::string& Path) {
    struct stat St;
    return ::lstat(Path.c_str(), &St) == 0 ? St.st_mode : 0;
}

} // namespace

TEST(PrivateTempFolder, MadeAndKeptPrivateAndRefusedWhenTheNameIsTaken) {
    testutil::TScratchDir Tmp;
    testutil::TEnvSetting Env("TMPDIR", Tmp.Path());
    const std::string Name = Tmp / ("tarnlet-" + std::to_string(::geteuid()));
    ::umask(022);
    for (int Twice = 0; Twice < 2; ++Twice) {
        EXPECT_EQ(PrivateTempFolder(), Name);
        EXPECT_EQ(ModeOf(Name), S_IFDIR | 0700u);
        ::chmod(Name.c_str(), 0777);
    }
    ::rmdir(Name.c_str());
    // A link to a folder of others, a planted file, a folder someone else owns.
    ::mkdir((Tmp / "elsewhere").c_str(), 0777);
    const mode_t Before = ModeOf(Tmp / "elsewhere");
    ASSERT_EQ(::symlink((Tmp / "elsewhere").c_str(), Name.c_str()), 0);
    EXPECT_THROW(PrivateTempFolder(), EInOutError);
    EXPECT_EQ(ModeOf(Tmp / "elsewhere"), Before);
    ::unlink(Name.c_str());
    testutil::WriteFile(Name, "planted");
    EXPECT_THROW(PrivateTempFolder(), EInOutError);
    ::unlink(Name.c_str());
    if (::geteuid() == 0) {
        ::mkdir(Name.c_str(), 0700);
        ASSERT_EQ(::chown(Name.c_str(), 65534, 65534), 0);
        EXPECT_THROW(PrivateTempFolder(), EInOutError);
    }
}
