// The user's private temporary folder: made private, and refused when the name is taken by something
// another user could control.

#include "common/TestUtil.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class TTmpDir {
public:
    explicit TTmpDir(const std::string& Path) {
        if (const char* T = std::getenv("TMPDIR"))
            FOld = T;
        setenv("TMPDIR", Path.c_str(), 1);
    }
    ~TTmpDir() {
        if (FOld.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", FOld.c_str(), 1);
    }
    TTmpDir(const TTmpDir&) = delete;
    TTmpDir& operator=(const TTmpDir&) = delete;

private:
    std::string FOld;
};

mode_t ModeOf(const std::string& Path) {
    struct stat St;
    return ::lstat(Path.c_str(), &St) == 0 ? St.st_mode : 0;
}

} // namespace

TEST(PrivateTempFolder, MadeAndKeptPrivate) {
    testutil::TScratchDir Tmp;
    TTmpDir Env(Tmp.Path());
    const std::string Expected = Tmp / ("tarnlet-" + std::to_string(::geteuid()));
    ::umask(022);
    EXPECT_EQ(PrivateTempFolder(), Expected);
    EXPECT_EQ(ModeOf(Expected), S_IFDIR | 0700u);
    ::chmod(Expected.c_str(), 0777);
    EXPECT_EQ(PrivateTempFolder(), Expected);
    EXPECT_EQ(ModeOf(Expected), S_IFDIR | 0700u);
}

TEST(PrivateTempFolder, NameTakenByOthers) {
    testutil::TScratchDir Tmp;
    TTmpDir Env(Tmp.Path());
    const std::string Name = Tmp / ("tarnlet-" + std::to_string(::geteuid()));
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
