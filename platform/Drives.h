#pragma once
// The mount table seen as drives: every mounted file system is a drive walked from its mount point,
// with a type from its file-system kind (removable when its block device says so). Pseudo file systems
// (proc, sysfs, cgroup, devpts, ...) and whatever is mounted inside them are no drives.

#include <functional>
#include <string>
#include <vector>

enum TDriveType { dtNoDrive, dtRemovable, dtFixed, dtRemote, dtCDROM, dtRAMDisk };

struct TMount {
    std::string Device;     // "major:minor"
    std::string Root;       // the folder of the file system that is mounted
    std::string MountPoint; // absolute, without a final "/" except for "/" itself
    std::string FsType;
    TDriveType Type = dtNoDrive;
};

TDriveType DriveTypeOf(const std::string& FsType, bool Removable);

// Parses /proc/self/mountinfo text; Removable answers for a block device given as "major:minor".
std::vector<TMount> ParseMountInfo(const std::string& Text,
                                   const std::function<bool(const std::string& Device)>& Removable);

// Where the walk gets the mount table: the running system's unless a test installs its own.
using TMountTableSource = std::function<std::vector<TMount>()>;
void SetMountTableSource(TMountTableSource Source); // empty restores the system's
std::vector<TMount> MountTable();

// The drives of a table, each file system once, sorted by mount point: of several mounts showing the
// same file system, one whose tree holds the others' is kept. Mount points that are not folders (a
// file mounted over a file) are left out.
std::vector<TMount> Drives(const std::vector<TMount>& Table);

// The mount that holds Folder (the deepest mount point above it); false when there is none or it is no
// drive.
bool DriveOfFolder(const std::vector<TMount>& Table, const std::string& Folder, TMount& Drive);

// Whether Path is Folder or lies below it ("/" holds every absolute path).
bool PathWithin(const std::string& Path, const std::string& Folder);
