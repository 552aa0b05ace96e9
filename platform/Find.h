#pragma once
// Folder listings in the shape of a find-first / find-next record: name, attribute bits, size and
// last-write time. Entries come sorted by name without regard to case, as a case-insensitive file
// system lists them; "." and ".." are left out.
//
// Attribute bits: read-only when the file is not writable, hidden for names beginning with ".", system
// for entries that are neither regular files nor folders, folder, archive on every regular file; the
// volume-ID bit is never set. Symbolic links to files are followed; a symbolic link to a folder is a
// system entry, so a walk never enters a folder through a link.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

enum : uint32_t {
    attrReadOnly = 1,
    attrHidden = 2,
    attrSystem = 4,
    attrVolumeID = 8,
    attrDirectory = 16,
    attrArchive = 32,
};

struct TSearchRec {
    std::string Name;
    uint32_t Attr = 0;
    int64_t Size = 0;
    time_t Time = 0;   // last write
    uint32_t Mode = 0; // the file's type and permission bits (st_mode)
};

// One listing of a folder. The names are read when it is made; the rest of an entry's record is read
// only when asked for, so a walk that looks at names only costs no per-file system calls.
class TFileFinder {
public:
    // Opened() is false when Folder cannot be listed.
    explicit TFileFinder(const std::string& Folder);
    ~TFileFinder();
    TFileFinder(const TFileFinder&) = delete;
    TFileFinder& operator=(const TFileFinder&) = delete;
    bool Opened() const { return FOpened; }

    // Moves to the next entry (the first on the first call); false past the last.
    bool Next();
    const std::string& Name() const { return FEntries[FIndex].Name; }
    // Cheap when the listing tells the entry's type.
    bool IsDirectory();
    // Reads the current entry's record; false when the entry has gone meanwhile.
    bool Load();
    // The current entry's record once Load succeeded.
    const TSearchRec& Record() const { return FRecord; }

private:
    struct TEntry {
        std::string Name;
        unsigned char Type;
    };
    std::string FFolder;
    int FHandle = -1; // kept open for reading entries relative to it, while few are open
    std::vector<TEntry> FEntries;
    size_t FIndex = 0;
    bool FOpened = false;
    bool FStarted = false;
    bool FLoaded = false;
    TSearchRec FRecord;
};

// The record of one file or folder, as a listing of its folder would give it; false when it cannot be
// read.
bool FindRecord(const std::string& Path, TSearchRec& Rec);
