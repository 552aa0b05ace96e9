// Grouping matches into archives and entries (the window and tarnlet-cli search), and the end report.

#include "engine/SearchSetup.h"

#include <gtest/gtest.h>

TEST(MatchGrouper, GroupsAndCountsAsTheTreeDoes) {
    using G = TMatchGrouper;
    // Folder, file found, archive reported (empty for a plain file), group's kind, name, name on disk.
    const std::tuple<const char*, const char*, const char*, G::TKind, const char*, const char*> Steps[] = {
        {"/work/", "/work/A.zip", "/work/A.ZIP", G::mkNewArchive, "A.ZIP", "A.zip"},
        {"/work/", "/work/A.zip", "/work/A.ZIP", G::mkSameArchive, "A.ZIP", "A.zip"},
        // A plain file between two matches of one archive leaves the archive's group open; plain files
        // of one name in two folders are told apart by their folders.
        {"/work/", "/work/data/x.zip", "", G::mkPlainFile, "data/X.ZIP", "data/x.zip"},
        {"/work/", "/work/data/broken/x.zip", "", G::mkPlainFile, "data/broken/X.ZIP", "data/broken/x.zip"},
        {"/work/", "/work/A.zip", "/work/A.ZIP", G::mkSameArchive, "A.ZIP", "A.zip"},
        // Names that differ only in case are two archives.
        {"/work/", "/work/a.zip", "/work/A.ZIP", G::mkNewArchive, "A.ZIP", "a.zip"},
        // Only "a" to "z" fold: the folder is cut from the front whatever its letters' case ...
        {"/WoRk/", "/work/Sub/A.zip", "/work/Sub/A.ZIP", G::mkNewArchive, "Sub/A.ZIP", "Sub/A.zip"},
        // ... but other letters compare exactly, so this one stays whole.
        {"/\xc3\xb1/", "/\xc3\x91/B.zip", "/\xc3\x91/B.ZIP", G::mkNewArchive, "/\xc3\x91/B.ZIP",
         "/\xc3\x91/B.zip"},
    };
    TMatchGrouper Matches;
    Matches.Start();
    for (const auto& [Folder, Found, Archive, Kind, Group, File] : Steps) {
        const std::string F = Found;
        Matches.FileFound(F.substr(0, F.rfind('/')), F.substr(F.rfind('/') + 1));
        const G::TPlace Place = Matches.Add(Folder, Archive, Archive[0] ? "entry.txt" : "X.ZIP");
        EXPECT_TRUE(Place.Kind == Kind && Place.Archive == Group && Place.File == File) << Found;
    }
    Matches.EntryFailed();
    EXPECT_EQ(std::tuple(Matches.ArchiveMatches(), Matches.EntryMatches(), Matches.Unexamined()),
              std::tuple(4, 8, 1));

    // A new search starts a new group even for the archive the last one ended with.
    Matches.Start();
    EXPECT_EQ(Matches.Add("/work/", "/\xc3\x91/B.ZIP", "a.txt").Kind, G::mkNewArchive);
    EXPECT_EQ(Matches.ArchiveMatches() + Matches.EntryMatches() + Matches.Unexamined(), 2);
    EXPECT_EQ(DoneText(5, 0) + "|" + DoneText(5, 1) + "|" + DoneText(0, 12),
              "Done! Total of 5 files examined|Done! Total of 5 files examined; 1 entry not examined|"
              "Done! Total of 0 files examined; 12 entries not examined");
}
