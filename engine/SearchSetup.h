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
};

// The settings that stay the same from search to search: every drive type, no attribute required of a
// file, the highest priority, "#" for unprintable pattern bytes.
void ApplyScannerDefaults(TMemSeeker& Scanner);
// One search's settings. Raises, changing nothing that a running search uses, when the context refuses
// the text.
void ApplySearchRequest(TMemSeeker& Scanner, const TSearchRequest& Request);

// Groups the matches of one search as they arrive: a match in an archive other than the last one starts
// a new archive group; a plain file is a group of its own and leaves the last archive as it was.
class TMatchGrouper {
public:
    enum TKind { mkPlainFile, mkNewArchive, mkSameArchive };
    struct TPlace {
        TKind Kind;
        std::string Archive; // relative to the search folder when below it; empty for a plain file
    };

    // Forgets the previous search's groups and counts.
    void Start();
    // ArcFilename is empty for a plain file; an archive below SearchFolder is named relative to it.
    TPlace Add(const std::string& SearchFolder, const std::string& ArcFilename);

    int ArchiveMatches() const { return FArchiveMatches; }
    int EntryMatches() const { return FEntryMatches; }

private:
    std::string FLastArchive;
    bool FHasArchive = false;
    int FArchiveMatches = 0;
    int FEntryMatches = 0;
};
