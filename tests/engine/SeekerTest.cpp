// The folder walk: its events and their order, counts, options, stops and errors, dates, links, a seeker
// destroyed during its walk, and walks over drives of a given mount table.

#include "engine/Seeker.h"
#include "platform/DosDate.h"
#include "platform/Files.h"

#include "common/TestUtil.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using namespace testutil;
using Strings = std::vector<std::string>;

namespace {

class SeekerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char* Real = realpath(Scratch.Path().c_str(), nullptr);
        Root = Real;
        free(Real);
        S.SetScanScope(ssSpecifiedDir);
        S.SetDirectory(Root);
        S.SetFiles("*.zip;*.exe");
        S.SetPriority(tpNormal);
        for (auto [Name, Size] : {std::pair{".hid.zip", 2},
                                  {"a.ZIP", 3},
                                  {"B/c.exe", 5},
                                  {"B/d.txt", 100},
                                  {"B/e/f.zip", 7},
                                  {"backup.zip/inner.zip", 11},
                                  {"c.txt", 100},
                                  {"Z.Exe", 13}})
            WriteFile(At(Name), std::string(size_t(Size), 'x'));
        // Each event runs on the main thread while the worker waits where it was.
        S.OnProcess = [this](uint32_t ACount, uint64_t, uint32_t, uint32_t, const std::string& ACurrent,
                             uint64_t, uint64_t) {
            Checked([&] { return S.Thread()->CurrentPath == ACurrent; });
            Log.push_back("P " + Rel(ACurrent) + " #" + std::to_string(ACount));
        };
        S.OnFileFound = [this](const std::string& AName, const std::string& APath, int32_t, int64_t, int32_t,
                               TDateTime ADate) {
            Checked([&] { return S.Thread()->FindData.Name == AName; });
            Log.push_back("F " + Rel(JoinPath(APath, AName)));
            Dates[AName] = ADate;
            if (OnFile)
                OnFile(AName);
        };
        S.OnProcessDone = [this](uint32_t ACount, uint64_t ASize) {
            ++DoneCalls;
            Done = {ACount, ASize, S.Thread()->SeekError};
            ErrorText = S.Thread()->ErrorMessage;
        };
    }
    void TearDown() override { SetMountTableSource(nullptr); }

    void Checked(const std::function<bool()>& WorkerStillThere) {
        bool Before = WorkerStillThere();
        usleep(1000);
        WorkerWaited &= IsMainThread() && Before && WorkerStillThere();
    }
    std::string Rel(const std::string& Path) const {
        return Path == Root || Path == Root + "/" ? "." : Path.substr(Root.size() + 1);
    }
    std::string At(const std::string& RelPath) const { return Root + "/" + RelPath; }

    // Runs a walk to its end; the log holds its events.
    void Run() {
        Log.clear();
        DoneCalls = 0;
        S.Start();
        ASSERT_TRUE(S.Running());
        ASSERT_TRUE(DrainSynchronize([&] { return !S.Running(); }));
        EXPECT_EQ(DoneCalls, 1);
        EXPECT_TRUE(WorkerWaited);
    }

    struct TDone {
        uint32_t Count;
        uint64_t Size;
        int32_t Error;
        bool operator==(const TDone&) const = default;
    };
    TScratchDir Scratch;
    std::string Root;
    TSeeker S;
    Strings Log;
    std::map<std::string, TDateTime> Dates;
    std::function<void(const std::string&)> OnFile;
    int DoneCalls = 0;
    TDone Done{};
    std::string ErrorText;
    bool WorkerWaited = true;
};

} // namespace

TEST_F(SeekerTest, WalksDepthFirstInSortedOrderWithTheChosenAttributesAndDates) {
    chmod(At("Z.Exe").c_str(), 0444);
    SetFileTime(At("B/c.exe"), 0);              // 1970
    SetFileTime(At("B/e/f.zip"), 4417977600LL); // 2110
    S.SetAttributes({});
    Run();
    EXPECT_EQ(Log,
              (Strings{"P . #0", "F .hid.zip", "F a.ZIP", "P B #2", "F B/c.exe", "P B/e #3", "F B/e/f.zip",
                       "F backup.zip", "P backup.zip #5", "F backup.zip/inner.zip", "F Z.Exe"}));
    EXPECT_EQ(Done, (TDone{7, 2u + 3 + 5 + 7 + 0 + 11 + 13, 0}));
    // A time that is no DOS date is shown as the nearest one, and the walk goes on.
    EXPECT_EQ(Dates["c.exe"], DosDateTimeToDateTime(0x00210000));
    EXPECT_EQ(Dates["f.zip"], DosDateTimeToDateTime(0xFF9FBF7D));
    S.SetAttributes({faArchive, faHidden});
    Run();
    EXPECT_EQ(Log, (Strings{"P . #0", "F .hid.zip", "P B #1", "P B/e #1", "P backup.zip #1"}));
    S.SetAttributes({faReadOnly});
    S.SetRecursive(false);
    Run();
    EXPECT_EQ(Log, (Strings{"P . #0", "F Z.Exe"}));
}

TEST_F(SeekerTest, StopsErrorsAndRestarts) {
    // A start while running and a stop while idle do nothing; the walk keeps its settings.
    S.Stop();
    OnFile = [&](const std::string& Name) {
        if (Name == ".hid.zip") {
            S.Start();
            S.SetFiles("");
        }
        if (Name == "a.ZIP")
            S.Stop();
    };
    Run();
    EXPECT_EQ(Log, (Strings{"P . #0", "F .hid.zip", "F a.ZIP"}));
    EXPECT_EQ(Done, (TDone{2, 5, 0}));
    // A throwing handler ends the walk with its message; the next walk starts clean.
    S.SetFiles("*.zip;*.exe");
    OnFile = [&](const std::string& Name) {
        if (Name == "a.ZIP")
            throw std::runtime_error("handler failed");
    };
    Run();
    EXPECT_EQ(Done, (TDone{2, 5, -1}));
    EXPECT_EQ(ErrorText, "handler failed");
    S.SetFiles("*.zip;[ab");
    Run();
    EXPECT_TRUE(Log.empty());
    EXPECT_EQ(ErrorText, "'[ab' is an invalid mask at (4)");
}

TEST_F(SeekerTest, LinkedFoldersAreNotEnteredAndADestroyedSeekerTakesNoEndNotice) {
    ASSERT_EQ(symlink(At("B").c_str(), At("loop").c_str()), 0);
    ASSERT_EQ(symlink(Root.c_str(), At("B/e/up").c_str()), 0);
    ASSERT_EQ(symlink("a.ZIP", At("link.zip").c_str()), 0);
    Run();
    EXPECT_EQ(Done.Count, 7u) << "six files and the link to a file";
    EXPECT_EQ(std::count_if(Log.begin(), Log.end(), [](const std::string& L) { return L[0] == 'P'; }), 4);

    // The seeker goes while its walk waits in the first event, as when a window closes.
    auto* Own = new TSeeker;
    Own->SetScanScope(ssSpecifiedDir);
    Own->SetDirectory(Root);
    Own->SetPriority(tpNormal);
    int Folders = 0;
    Own->OnProcess = [&](uint32_t, uint64_t, uint32_t, uint32_t, const std::string&, uint64_t, uint64_t) {
        if (++Folders == 1)
            delete Own;
    };
    Own->OnProcessDone = [&](uint32_t, uint64_t) {
        ADD_FAILURE() << "end notice reached a destroyed seeker";
    };
    Own->Start();
    EXPECT_FALSE(DrainSynchronize([] { return false; }, 300));
    EXPECT_LE(Folders, 2);
}

TEST_F(SeekerTest, DriveWalks) {
    for (const char* F : {"disk1/x.zip", "disk1/sub/y.zip", "disk1/sub/mnt2/z.zip", "disk1/proc/p.zip",
                          "bind/y.zip", "net/n.zip", "cd/c.zip", "usb/u.zip"})
        WriteFile(At(F), "x");
    const std::vector<TMount> Table = {{"1:1", "/", At("disk1"), "ext4", dtFixed},
                                       {"0:5", "/", At("disk1/sub/mnt2"), "tmpfs", dtRAMDisk},
                                       {"0:9", "/", At("disk1/proc"), "proc", dtNoDrive},
                                       {"1:1", "/sub", At("bind"), "ext4", dtFixed},
                                       {"0:7", "/", At("net"), "nfs", dtRemote},
                                       {"11:0", "/", At("cd"), "iso9660", dtCDROM},
                                       {"8:1", "/", At("usb"), "vfat", dtRemovable}};
    SetMountTableSource([&] { return Table; });
    // Each selected file system once, never crossing into another mount.
    S.SetScanScope(ssGlobal);
    Run();
    EXPECT_EQ(Log, (Strings{"P cd #0", "F cd/c.zip", "P disk1 #1", "P disk1/sub #1", "F disk1/sub/y.zip",
                            "F disk1/x.zip", "P disk1/sub/mnt2 #3", "F disk1/sub/mnt2/z.zip", "P net #4",
                            "F net/n.zip"}));
    // Only the drive types chosen; the file system holding the folder; a pseudo file system is no drive.
    S.SetScanDrives({sdFloppy});
    Run();
    EXPECT_EQ(Log, (Strings{"P usb #0", "F usb/u.zip"}));
    S.SetScanScope(ssSpecifiedDisk);
    S.SetDirectory(At("disk1/sub"));
    Run();
    EXPECT_EQ(Log, (Strings{"P disk1 #0", "P disk1/sub #0", "F disk1/sub/y.zip", "F disk1/x.zip"}));
    S.SetDirectory(At("disk1/proc"));
    Run();
    EXPECT_TRUE(Log.empty());
}
