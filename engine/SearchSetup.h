#pragma once
// One search as the user asks for it, in the window or at the console: the seeker's settings, and the
// grouping of its matches into archives and entries.

#include "engine/ContentSearch.h"

#include <string>

struct TSearchRequest {
    std::string Text;
    std::string Folder;
    std::string EntryMasks = "*.*;"; // ";"-separated masks of the entries to search
    bool CaseSensitive = false;
    bool NamesOnly = false;
    bool Recursive = true;
    bool SelfExtracting = true; // "*.exe" files are opened as archives too
    unsigned Workers = 0;       // files searched at a time; 0: one per processor, at most 8
};

// The settings that stay the same from search to search: every drive type, no attribute required of a
// file, the highest priority, "#" for unprintable pattern bytes.
void ApplyScannerDefaults(TMemSeeker& Scanner);
// One search's settings. Raises, changing nothing that a running search uses, when the context refuses
// the text.
void ApplySearchRequest(TMemSeeker& Scanner, const TSearchRequest& Request);

// Groups the matches of one search as they arrive: a match in an archive other than the last one starts
// a new archive group; a plain file is a group of its own and leaves the last archive as it was. Archives
// and plain files below the search folder are named relative to it, so two files of one name in
// different folders stay apart. Also counts the entries that could not be examined.
class TMatchGrouper {
public:
    enum TKind { mkPlainFile, mkNewArchive, mkSameArchive };
    struct TPlace {
        TKind Kind;
        std::string Archive; // the archive's or the plain file's name, relative to the search folder
        std::string File;    // the same, with the file's name as it is on disk
    };

    // Forgets the previous search's groups and counts.
    void Start();
    // The walk's report of the file whose matches come next (its folder and name).
    void FileFound(const std::string& APath, const std::string& AName);
    // ArcFilename is empty for a plain file, which then is the file last found, named AFileName.
    TPlace Add(const std::string& SearchFolder, const std::string& ArcFilename, const std::string& AFileName);

    // The file last found, as it is on disk, relative to the search folder.
    std::string LastFile(const std::string& SearchFolder) const;
    void EntryFailed() { ++FUnexamined; }

    int ArchiveMatches() const { return FArchiveMatches; }
    int EntryMatches() const { return FEntryMatches; }
    int Unexamined() const { return FUnexamined; }

private:
    std::string FLastArchive;
    std::string FLastArchiveFile;
    std::string FLastFile;
    bool FHasArchive = false;
    int FArchiveMatches = 0;
    int FEntryMatches = 0;
    int FUnexamined = 0;
};

// The end of a search: "Done! Total of N files examined", and how many entries could not be.
std::string DoneText(uint32_t Examined, int Unexamined);
