#include "engine/SeekU.h"

#include "platform/Files.h"

#include "common/TestUtil.h"

#include <climits>
#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using testutil::DrainSynchronize;
using testutil::TScratchDir;
using testutil::WriteFile;
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
        S.OnProcess = [this](uint32_t ACount, uint64_t, uint32_t, uint32_t, const std::string& ACurrent,
                             uint64_t, uint64_t) {
            CheckWorkerWaits([&] { return S.Thread()->CurrentPath == ACurrent; });
            Log.push_back("P " + Rel(ACurrent) + " #" + std::to_string(ACount));
            if (OnProcessHook)
                OnProcessHook();
        };
        S.OnFileFound = [this](const std::string& AName, const std::string& APath, int32_t, int64_t, int32_t,
                               TDateTime) {
            CheckWorkerWaits(
                [&] { return S.Thread()->FindData.Name == AName && S.Thread()->CurrentPath == APath; });
            Log.push_back("F " + Rel(JoinPath(APath, AName)));
            if (OnFileHook)
                OnFileHook(AName);
        };
        S.OnProcessDone = [this](uint32_t ACount, uint64_t ASize) {
            AllOnMainThread &= IsMainThread();
            ++DoneCalls;
            DoneCount = ACount;
            DoneSize = ASize;
            SeekError = S.Thread()->SeekError;
            ErrorText = S.Thread()->ErrorMessage;
        };
    }
    void TearDown() override { SetMountTableSource(nullptr); }

    // Each event runs on the main thread, and the worker stays where it was until the handler returns.
    void CheckWorkerWaits(const std::function<bool()>& WorkerStillThere) {
        AllOnMainThread &= IsMainThread();
        bool Before = WorkerStillThere();
        usleep(1000);
        WorkerStayed &= Before && WorkerStillThere();
    }

    std::string Rel(const std::string& Path) const {
        if (Path == Root || Path == Root + "/")
            return ".";
        return Path.compare(0, Root.size() + 1, Root + "/") == 0 ? Path.substr(Root.size() + 1) : Path;
    }
    std::string At(const std::string& RelPath) const { return Root + "/" + RelPath; }
    void File(const std::string& RelPath, size_t Size = 0) { WriteFile(At(RelPath), std::string(Size, 'x')); }
    void Folder(const std::string& RelPath) { ASSERT_EQ(mkdir(At(RelPath).c_str(), 0755), 0) << RelPath; }

    void MakeTree() {
        File(".hid.zip", 2);
        File("a.ZIP", 3);
        Folder("B");
        File("B/c.exe", 5);
        File("B/d.txt", 100);
        Folder("B/e");
        File("B/e/f.zip", 7);
        Folder("backup.zip");
        File("backup.zip/inner.zip", 11);
        File("c.txt", 100);
        File("Z.Exe", 13);
    }

    void Run() {
        Log.clear();
        DoneCalls = 0;
        S.Start();
        ASSERT_TRUE(S.Running());
        ASSERT_TRUE(DrainSynchronize([&] { return !S.Running(); }));
        EXPECT_EQ(DoneCalls, 1);
        EXPECT_TRUE(AllOnMainThread);
        EXPECT_TRUE(WorkerStayed);
    }

    TScratchDir Scratch;
    std::string Root;
    TSeeker S;
    Strings Log;
    std::function<void()> OnProcessHook;
    std::function<void(const std::string&)> OnFileHook;
    int DoneCalls = 0;
    uint32_t DoneCount = 0;
    uint64_t DoneSize = 0;
    int32_t SeekError = 0;
    std::string ErrorText;
    bool AllOnMainThread = true;
    bool WorkerStayed = true;
};

} // namespace

TEST_F(SeekerTest, WalksDepthFirstInSortedOrderAndSumsTheFiles) {
    MakeTree();
    S.SetAttributes({});
    Run();
    EXPECT_EQ(Log,
              (Strings{"P . #0", "F .hid.zip", "F a.ZIP", "P B #2", "F B/c.exe", "P B/e #3", "F B/e/f.zip",
                       "F backup.zip", "P backup.zip #5", "F backup.zip/inner.zip", "F Z.Exe"}));
    EXPECT_EQ(DoneCount, 7u);
    EXPECT_EQ(DoneSize, 2u + 3 + 5 + 7 + 0 + 11 + 13);
    EXPECT_EQ(SeekError, 0);
}

TEST_F(SeekerTest, AttributesAndRecursiveAreHonoured) {
    MakeTree();
    chmod(At("Z.Exe").c_str(), 0444);
    Run(); // [faArchive]: regular files only
    EXPECT_EQ(Log, (Strings{"P . #0", "F .hid.zip", "F a.ZIP", "P B #2", "F B/c.exe", "P B/e #3",
                            "F B/e/f.zip", "P backup.zip #4", "F backup.zip/inner.zip", "F Z.Exe"}));
    S.SetAttributes({faArchive, faHidden});
    Run();
    EXPECT_EQ(Log, (Strings{"P . #0", "F .hid.zip", "P B #1", "P B/e #1", "P backup.zip #1"}));
    S.SetAttributes({faReadOnly});
    S.SetRecursive(false);
    Run();
    EXPECT_EQ(Log, (Strings{"P . #0", "F Z.Exe"}));
    S.SetAttributes({faDirectory});
    Run();
    EXPECT_EQ(Log, (Strings{"P . #0", "F backup.zip"}));
}

TEST_F(SeekerTest, PathsAreJoinedFromTheStartingFolderAsGiven) {
    MakeTree();
    Strings Paths;
    S.SetDirectory(Root + "/");
    S.OnFileFound = [&](const std::string& AName, const std::string& APath, int32_t, int64_t, int32_t,
                        TDateTime) {
        if (AName == "a.ZIP" || AName == "c.exe")
            Paths.push_back(APath);
    };
    Run();
    EXPECT_EQ(Paths, (Strings{Root + "/", Root + "/B"}));
}

TEST_F(SeekerTest, EmptyFilesReportsNothingButAnnouncesEveryFolder) {
    MakeTree();
    S.SetFiles("");
    Run();
    EXPECT_EQ(Log, (Strings{"P . #0", "P B #0", "P B/e #0", "P backup.zip #0"}));
    EXPECT_EQ(DoneCount, 0u);
}

TEST_F(SeekerTest, WithoutAFileHandlerNothingIsCounted) {
    MakeTree();
    S.OnFileFound = nullptr;
    Run();
    EXPECT_EQ(DoneCount, 0u);
    EXPECT_EQ(DoneSize, 0u);
    EXPECT_EQ(Log.size(), 4u) << "the folders are still announced";
}

TEST_F(SeekerTest, StopMidWalkStillReportsTheEnd) {
    MakeTree();
    OnFileHook = [&](const std::string& Name) {
        if (Name == "a.ZIP")
            S.Stop();
    };
    Run();
    EXPECT_EQ(Log, (Strings{"P . #0", "F .hid.zip", "F a.ZIP"}));
    EXPECT_EQ(DoneCount, 2u);
    EXPECT_EQ(DoneSize, 5u);
    EXPECT_EQ(SeekError, 0);
}

TEST_F(SeekerTest, StartWhileRunningAndStopWhileIdleDoNothing) {
    MakeTree();
    S.Stop();
    EXPECT_FALSE(S.Running());
    TSeekThread* First = nullptr;
    OnProcessHook = [&] {
        if (!First) {
            First = S.Thread();
            S.Start();
            EXPECT_EQ(S.Thread(), First);
            // The walk works on the settings it was started with.
            S.SetFiles("");
            S.SetRecursive(false);
        }
    };
    Run();
    EXPECT_EQ(DoneCount, 6u);
    EXPECT_EQ(Log.size(), 10u);
    S.Stop();
    EXPECT_FALSE(S.Running());
}

TEST_F(SeekerTest, AThrowingHandlerEndsTheWalkQuietly) {
    MakeTree();
    OnFileHook = [&](const std::string& Name) {
        if (Name == "a.ZIP")
            throw std::runtime_error("handler failed");
    };
    Run();
    EXPECT_EQ(Log, (Strings{"P . #0", "F .hid.zip", "F a.ZIP"}));
    EXPECT_EQ(DoneCount, 2u);
    EXPECT_EQ(SeekError, -1);
    EXPECT_EQ(ErrorText, "handler failed");

    OnFileHook = nullptr;
    Run();
    EXPECT_EQ(DoneCount, 6u) << "the next walk starts clean";
    EXPECT_EQ(SeekError, 0);
}

TEST_F(SeekerTest, AnInvalidMaskEndsTheWalkQuietly) {
    MakeTree();
    S.SetFiles("*.zip;[ab");
    Run();
    EXPECT_TRUE(Log.empty());
    EXPECT_EQ(DoneCount, 0u);
    EXPECT_EQ(SeekError, -1);
    EXPECT_EQ(ErrorText, "'[ab' is an invalid mask at (4)");
}

TEST_F(SeekerTest, ATimeThatIsNoDosDateStopsTheWalkAfterItsEvent) {
    MakeTree();
    for (long long Time : {0LL /* 1970 */, 4417977600LL /* 2110 */}) {
        testutil::SetFileTime(At("B/c.exe"), Time);
        Run();
        EXPECT_EQ(Log, (Strings{"P . #0", "F .hid.zip", "F a.ZIP", "P B #2", "F B/c.exe"})) << Time;
        EXPECT_EQ(DoneCount, 3u);
        EXPECT_EQ(SeekError, -1);
        EXPECT_NE(ErrorText.find(At("B/c.exe")), std::string::npos) << ErrorText;
    }
    testutil::SetFileTime(At("B/c.exe"), 315532800LL + 86400); // 2 January 1980
    Run();
    EXPECT_EQ(DoneCount, 6u);
}

TEST_F(SeekerTest, LinkedFoldersAreNotEntered) {
    MakeTree();
    ASSERT_EQ(symlink(At("B").c_str(), At("loop").c_str()), 0);
    ASSERT_EQ(symlink(Root.c_str(), At("B/e/up").c_str()), 0);
    ASSERT_EQ(symlink("a.ZIP", At("link.zip").c_str()), 0);
    Run();
    EXPECT_EQ(DoneCount, 7u) << "six files and the link to a file";
    EXPECT_EQ(std::count(Log.begin(), Log.end(), "F link.zip"), 1);
    EXPECT_EQ(std::count_if(Log.begin(), Log.end(), [](const std::string& L) { return L[0] == 'P'; }), 4);
}

TEST_F(SeekerTest, ADestroyedSeekerStopsItsWalkAndTakesNoEndNotice) {
    MakeTree();
    auto* Own = new TSeeker;
    Own->SetScanScope(ssSpecifiedDir);
    Own->SetDirectory(Root);
    Own->SetPriority(tpNormal);
    int Folders = 0;
    // The seeker goes while its walk waits in the first event, as when a window closes.
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

namespace {

class DriveWalkTest : public SeekerTest {
protected:
    void SetUp() override {
        SeekerTest::SetUp();
        for (const char* F :
             {"disk1", "disk1/sub", "disk1/sub/mnt2", "disk1/proc", "bind", "net", "cd", "usb"})
            Folder(F);
        for (const char* F : {"disk1/x.zip", "disk1/sub/y.zip", "disk1/sub/mnt2/z.zip", "disk1/proc/p.zip",
                              "bind/y.zip", "net/n.zip", "cd/c.zip", "usb/u.zip"})
            File(F, 1);
        Table = {
            {"1:1", "/", At("disk1"), "ext4", dtFixed},
            {"0:5", "/", At("disk1/sub/mnt2"), "tmpfs", dtRAMDisk},
            {"0:9", "/", At("disk1/proc"), "proc", dtNoDrive},
            {"1:1", "/sub", At("bind"), "ext4", dtFixed},
            {"0:7", "/", At("net"), "nfs", dtRemote},
            {"11:0", "/", At("cd"), "iso9660", dtCDROM},
            {"8:1", "/", At("usb"), "vfat", dtRemovable},
        };
        SetMountTableSource([this] { return Table; });
    }
    std::vector<TMount> Table;
};

} // namespace

TEST_F(DriveWalkTest, GlobalWalksEachSelectedFileSystemOnceWithoutCrossingMounts) {
    S.SetScanScope(ssGlobal);
    Run();
    EXPECT_EQ(Log, (Strings{"P cd #0", "F cd/c.zip", "P disk1 #1", "P disk1/sub #1", "F disk1/sub/y.zip",
                            "F disk1/x.zip", "P disk1/sub/mnt2 #3", "F disk1/sub/mnt2/z.zip", "P net #4",
                            "F net/n.zip"}));
    S.SetScanDrives({sdFloppy});
    Run();
    EXPECT_EQ(Log, (Strings{"P usb #0", "F usb/u.zip"}));
    S.SetScanDrives({});
    Run();
    EXPECT_TRUE(Log.empty());
}

TEST_F(DriveWalkTest, StopDuringAGlobalWalkStillAnnouncesTheRemainingDrives) {
    S.SetScanScope(ssGlobal);
    OnFileHook = [&](const std::string&) { S.Stop(); };
    Run();
    EXPECT_EQ(Log, (Strings{"P cd #0", "F cd/c.zip", "P disk1 #1", "P disk1/sub/mnt2 #1", "P net #1"}));
}

TEST_F(DriveWalkTest, SpecifiedDiskWalksTheFileSystemHoldingTheFolder) {
    S.SetScanScope(ssSpecifiedDisk);
    S.SetDirectory(At("disk1/sub"));
    Run();
    EXPECT_EQ(Log, (Strings{"P disk1 #0", "P disk1/sub #0", "F disk1/sub/y.zip", "F disk1/x.zip"}));
    S.SetDirectory(At("disk1/sub/mnt2/"));
    Run();
    EXPECT_EQ(Log, (Strings{"P disk1/sub/mnt2 #0", "F disk1/sub/mnt2/z.zip"}));
    S.SetDirectory(At("disk1/proc"));
    Run();
    EXPECT_TRUE(Log.empty()) << "a pseudo file system is no drive";
}
