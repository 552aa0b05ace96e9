#include "platform/Find.h"

#include "platform/Files.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <dirent.h>
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

TFileFinder::TFileFinder(const std::string& Folder) : FFolder(Folder) {
    DIR* D = ::opendir(Folder.c_str());
    if (!D)
        return;
    while (dirent* E = ::readdir(D)) {
        std::string Name = E->d_name;
        if (Name == "." || Name == "..")
            continue;
        FEntries.push_back({std::move(Name), E->d_type});
    }
    ::closedir(D);
    std::sort(FEntries.begin(), FEntries.end(),
              [](const TEntry& A, const TEntry& B) { return NameBefore(A.Name, B.Name); });
    FOpened = true;
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

bool TFileFinder::Load() {
    if (FLoaded)
        return true;
    const std::string& EntryName = FEntries[FIndex].Name;
    std::string Path = JoinPath(FFolder, EntryName);
    struct stat St;
    if (::lstat(Path.c_str(), &St) != 0)
        return false;
    if (S_ISLNK(St.st_mode)) {
        // Links to files count as the file; links to folders and dangling links stay system entries.
        struct stat Target;
        if (::stat(Path.c_str(), &Target) == 0 && S_ISREG(Target.st_mode))
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
    if (EntryName[0] == '.')
        Attr |= attrHidden;
    FRecord.Name = EntryName;
    FRecord.Attr = Attr;
    FRecord.Size = S_ISREG(St.st_mode) ? int64_t(St.st_size) : 0;
    FRecord.Time = St.st_mtime;
    FLoaded = true;
    return true;
}
