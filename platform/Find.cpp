#include "platform/Find.h"

#include "platform/Files.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <atomic>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Case-insensitive order; names equal but for case keep a fixed order by their bytes.
bool NameBefore(const std::string& A, const std::string& B) {
    size_t N = std::min(A.size(), B.size());
    for (size_t I = 0; I < N; ++I) {
        unsigned char X = UpCaseAscii(A[I]), Y = UpCaseAscii(B[I]);
        if (X != Y)
            return X < Y;
    }
    if (A.size() != B.size())
        return A.size() < B.size();
    return A < B;
}

// Whether the running user may write the file by its permission bits (the owner's, the group's or
// everyone's, whichever class the user falls in). Privileged users are not treated specially, so a file
// without write permission reads as read-only for them too.
bool Writable(const struct stat& St) {
    static const uid_t User = ::geteuid();
    static const std::vector<gid_t> Groups = [] {
        std::vector<gid_t> G(1, ::getegid());
        int N = ::getgroups(0, nullptr);
        if (N > 0) {
            std::vector<gid_t> More(static_cast<size_t>(N));
            N = ::getgroups(N, More.data());
            if (N > 0)
                G.insert(G.end(), More.begin(), More.begin() + N);
        }
        return G;
    }();
    if (St.st_uid == User)
        return St.st_mode & S_IWUSR;
    if (std::find(Groups.begin(), Groups.end(), St.st_gid) != Groups.end())
        return St.st_mode & S_IWGRP;
    return St.st_mode & S_IWOTH;
}

} // namespace

namespace {

// Folders whose handles are kept open. A deep tree keeps one per level; past this many the deeper
// listings read their entries by path, so a walk never runs out of handles.
std::atomic<int> GOpenHandles{0};
const int MaxOpenHandles = 64;

} // namespace

TFileFinder::TFileFinder(const std::string& Folder) : FFolder(Folder) {
    int Fd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Fd < 0)
        return;
    alignas(8) char Buf[32768];
    ssize_t N;
    while ((N = ::getdents64(Fd, Buf, sizeof Buf)) > 0) {
        for (ssize_t Pos = 0; Pos < N;) {
            const auto* E = reinterpret_cast<const dirent64*>(Buf + Pos);
            Pos += E->d_reclen;
            const char* Name = E->d_name;
            if (Name[0] == '.' && (Name[1] == 0 || (Name[1] == '.' && Name[2] == 0)))
                continue;
            FEntries.push_back({Name, E->d_type});
        }
    }
    if (N < 0) {
        ::close(Fd);
        FEntries.clear();
        return;
    }
    if (++GOpenHandles <= MaxOpenHandles) {
        FHandle = Fd;
    } else {
        --GOpenHandles;
        ::close(Fd);
    }
    std::sort(FEntries.begin(), FEntries.end(),
              [](const TEntry& A, const TEntry& B) { return NameBefore(A.Name, B.Name); });
    FOpened = true;
}

TFileFinder::~TFileFinder() {
    if (FHandle >= 0) {
        ::close(FHandle);
        --GOpenHandles;
    }
}

bool TFileFinder::Next() {
    if (FStarted && FIndex < FEntries.size())
        ++FIndex;
    FStarted = true;
    FLoaded = false;
    return FIndex < FEntries.size();
}

bool TFileFinder::IsDirectory() {
    switch (FEntries[FIndex].Type) {
    case DT_DIR:
        return true;
    case DT_REG:
        return false;
    default:
        return Load() && (FRecord.Attr & attrDirectory);
    }
}

namespace {

// The record of Path (relative to the folder handle Dir), named Name.
bool ReadRecord(int Dir, const std::string& Path, const std::string& Name, TSearchRec& Rec) {
    struct stat St;
    if (::fstatat(Dir, Path.c_str(), &St, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (S_ISLNK(St.st_mode)) {
        // Links to files count as the file; links to folders and dangling links stay system entries.
        struct stat Target;
        if (::fstatat(Dir, Path.c_str(), &Target, 0) == 0 && S_ISREG(Target.st_mode))
            St = Target;
    }
    uint32_t Attr = 0;
    if (S_ISREG(St.st_mode))
        Attr |= attrArchive;
    else if (S_ISDIR(St.st_mode))
        Attr |= attrDirectory;
    else
        Attr |= attrSystem;
    if (!Writable(St))
        Attr |= attrReadOnly;
    if (!Name.empty() && Name[0] == '.')
        Attr |= attrHidden;
    Rec.Name = Name;
    Rec.Attr = Attr;
    Rec.Size = S_ISREG(St.st_mode) ? int64_t(St.st_size) : 0;
    Rec.Time = St.st_mtime;
    Rec.Mode = St.st_mode;
    return true;
}

} // namespace

bool TFileFinder::Load() {
    if (FLoaded)
        return true;
    const std::string& EntryName = FEntries[FIndex].Name;
    // Relative to the folder's handle when there is one: no path to resolve again for every entry.
    std::string Path = FHandle >= 0 ? EntryName : JoinPath(FFolder, EntryName);
    FLoaded = ReadRecord(FHandle >= 0 ? FHandle : AT_FDCWD, Path, EntryName, FRecord);
    return FLoaded;
}

bool FindRecord(const std::string& Path, TSearchRec& Rec) {
    return ReadRecord(AT_FDCWD, Path, ExtractFileName(ExcludeTrailingSlash(Path)), Rec);
}
