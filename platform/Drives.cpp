#include "platform/Drives.h"

#include "platform/Files.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

namespace {

const char* const PseudoTypes[] = {"proc",        "sysfs",           "cgroup",     "cgroup2",   "devpts",
                                   "devtmpfs",    "securityfs",      "debugfs",    "tracefs",   "pstore",
                                   "bpf",         "mqueue",          "hugetlbfs",  "configfs",  "fusectl",
                                   "nsfs",        "autofs",          "efivarfs",   "selinuxfs", "rpc_pipefs",
                                   "binfmt_misc", "fuse.gvfsd-fuse", "fuse.portal"};
const char* const NetworkTypes[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "sshfs", "fuse.sshfs", "9p"};

template <size_t N> bool OneOf(const std::string& S, const char* const (&List)[N]) {
    return std::find(std::begin(List), std::end(List), S) != std::end(List);
}

// mountinfo writes space, tab, newline and backslash as three octal digits after a backslash.
std::string Unescape(const std::string& S) {
    std::string Out;
    for (size_t I = 0; I < S.size(); ++I) {
        if (S[I] == '\\' && I + 3 < S.size()) {
            std::string Digits = S.substr(I + 1, 3);
            if (Digits.find_first_not_of("01234567") == std::string::npos) {
                Out += char(std::strtol(Digits.c_str(), nullptr, 8));
                I += 3;
                continue;
            }
        }
        Out += S[I];
    }
    return Out;
}

bool ReadFlag(const std::string& Path) {
    std::ifstream F(Path);
    int Value = 0;
    return F >> Value && Value == 1;
}

// A partition has no flag of its own: its disk, one folder up, has it.
bool BlockDeviceRemovable(const std::string& Device) {
    std::string Dir = "/sys/dev/block/" + Device;
    return ReadFlag(Dir + "/removable") || ReadFlag(Dir + "/../removable");
}

std::mutex GSourceLock;
TMountTableSource GSource;

} // namespace

TDriveType DriveTypeOf(const std::string& FsType, bool Removable) {
    if (OneOf(FsType, PseudoTypes))
        return dtNoDrive;
    if (FsType == "iso9660" || FsType == "udf")
        return dtCDROM;
    if (FsType == "tmpfs" || FsType == "ramfs")
        return dtRAMDisk;
    if (OneOf(FsType, NetworkTypes))
        return dtRemote;
    return Removable ? dtRemovable : dtFixed;
}

std::vector<TMount> ParseMountInfo(const std::string& Text,
                                   const std::function<bool(const std::string& Device)>& Removable) {
    // Fields: id, parent id, major:minor, root, mount point, options, optional fields, "-", type, source.
    std::vector<TMount> Table;
    std::istringstream Lines(Text);
    std::string Line;
    while (std::getline(Lines, Line)) {
        std::istringstream Fields(Line);
        std::string Id, Parent, Device, Root, MountPoint, Options, Field;
        if (!(Fields >> Id >> Parent >> Device >> Root >> MountPoint >> Options))
            continue;
        while (Fields >> Field && Field != "-") {
        }
        std::string FsType;
        if (Field != "-" || !(Fields >> FsType))
            continue;
        TMount M;
        M.Device = Device;
        M.Root = Unescape(Root);
        M.MountPoint = Unescape(MountPoint);
        M.FsType = FsType;
        M.Type = DriveTypeOf(FsType, DriveTypeOf(FsType, false) == dtFixed && Removable(Device));
        Table.push_back(std::move(M));
    }
    return Table;
}

void SetMountTableSource(TMountTableSource Source) {
    std::lock_guard Lock(GSourceLock);
    GSource = std::move(Source);
}

std::vector<TMount> MountTable() {
    TMountTableSource Source;
    {
        std::lock_guard Lock(GSourceLock);
        Source = GSource;
    }
    if (Source)
        return Source();
    std::ifstream F("/proc/self/mountinfo");
    std::ostringstream Text;
    Text << F.rdbuf();
    return ParseMountInfo(Text.str(), BlockDeviceRemovable);
}

bool PathWithin(const std::string& Path, const std::string& Folder) {
    if (Folder == "/")
        return !Path.empty() && Path[0] == '/';
    return Path.compare(0, Folder.size(), Folder) == 0 &&
           (Path.size() == Folder.size() || Path[Folder.size()] == '/');
}

std::vector<TMount> Drives(const std::vector<TMount>& Table) {
    std::vector<const TMount*> Candidates;
    for (const TMount& M : Table) {
        // A single file mounted over another (as containers do) is no drive either.
        if (M.Type == dtNoDrive || !DirExists(M.MountPoint))
            continue;
        bool InsidePseudo = std::any_of(Table.begin(), Table.end(), [&](const TMount& P) {
            return P.Type == dtNoDrive && P.MountPoint != "/" && PathWithin(M.MountPoint, P.MountPoint);
        });
        if (!InsidePseudo)
            Candidates.push_back(&M);
    }
    // Shallowest roots first, so the mount that shows most of a file system is the one kept.
    std::stable_sort(Candidates.begin(), Candidates.end(),
                     [](const TMount* A, const TMount* B) { return A->Root.size() < B->Root.size(); });
    std::vector<TMount> Result;
    for (const TMount* M : Candidates) {
        bool Covered = std::any_of(Result.begin(), Result.end(), [&](const TMount& K) {
            return K.Device == M->Device && PathWithin(M->Root, K.Root);
        });
        if (!Covered)
            Result.push_back(*M);
    }
    std::sort(Result.begin(), Result.end(),
              [](const TMount& A, const TMount& B) { return A.MountPoint < B.MountPoint; });
    return Result;
}

bool DriveOfFolder(const std::vector<TMount>& Table, const std::string& Folder, TMount& Drive) {
    std::string Path = Folder;
    if (char* Real = ::realpath(Folder.c_str(), nullptr)) {
        Path = Real;
        std::free(Real);
    }
    const TMount* Best = nullptr;
    for (const TMount& M : Table)
        if (PathWithin(Path, M.MountPoint) && (!Best || M.MountPoint.size() > Best->MountPoint.size()))
            Best = &M;
    if (!Best || Best->Type == dtNoDrive)
        return false;
    Drive = *Best;
    return true;
}
