// Grouping matches into archives and entries, shared by the window and tarnlet-cli search.

#include "engine/SearchSetup.h"

#include <gtest/gtest.h>

namespace {

struct TStep {
    const char* Folder;
    const char* Archive; // empty for a plain file, which is the one found last
    const char* Found;
    TMatchGrouper::TKind Kind;
    const char* Group;
};

} // namespace

TEST(MatchGrouper, GroupsAndCountsAsTheTreeDoes) {
    using G = TMatchGrouper;
    const TStep Steps[] = {
        {"/work/", "/work/A.ZIP", "/work/A.zip", G::mkNewArchive, "A.ZIP"},
        {"/work/", "/work/A.ZIP", "/work/A.zip", G::mkSameArchive, "A.ZIP"},
        // A plain file between two matches of one archive leaves the archive's group open; plain files
        // of one name in two folders are told apart by their folders.
        {"/work/", "", "/work/data/x.zip", G::mkPlainFile, "data/X.ZIP"},
        {"/work/", "", "/work/data/broken/x.zip", G::mkPlainFile, "data/broken/X.ZIP"},
        {"/work/", "/work/A.ZIP", "/work/A.zip", G::mkSameArchive, "A.ZIP"},
        // Only "a" to "z" fold: the folder is cut from the front whatever its letters' case ...
        {"/WoRk/", "/work/Sub/A.ZIP", "/work/Sub/A.zip", G::mkNewArchive, "Sub/A.ZIP"},
        // ... but other letters compare exactly, so this one stays whole.
        {"/\xc3\xb1/", "/\xc3\x91/B.ZIP", "/\xc3\x91/B.zip", G::mkNewArchive, "/\xc3\x91/B.ZIP"},
        {"/work/", "/elsewhere/A.ZIP", "/elsewhere/A.zip", G::mkNewArchive, "/elsewhere/A.ZIP"},
    };
    TMatchGrouper Matches;
    Matches.Start();
    for (const TStep& S : Steps) {
        const std::string Found = S.Found;
        Matches.FileFound(Found.substr(0, Found.rfind('/')), Found.substr(Found.rfind('/') + 1));
        const std::string Name = S.Archive[0] ? "entry.txt" : "X.ZIP";
        const TMatchGrouper::TPlace Place = Matches.Add(S.Folder, S.Archive, Name);
        EXPECT_EQ(Place.Kind, S.Kind) << S.Archive;
        EXPECT_EQ(Place.Archive, S.Group) << S.Archive;
    }
    EXPECT_EQ(Matches.ArchiveMatches(), 4);
    EXPECT_EQ(Matches.EntryMatches(), 8);

    // A new search starts a new group even for the archive the last one ended with.
    Matches.Start();
    EXPECT_EQ(Matches.Add("/work/", "/elsewhere/A.ZIP", "a.txt").Kind, G::mkNewArchive);
    EXPECT_EQ(Matches.ArchiveMatches(), 1);
    EXPECT_EQ(Matches.EntryMatches(), 1);
}
