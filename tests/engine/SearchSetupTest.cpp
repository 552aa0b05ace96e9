// Grouping matches into archives and entries, shared by the window and tarnlet-cli search.

#include "engine/SearchSetup.h"

#include <gtest/gtest.h>

namespace {

struct TStep {
    const char* Folder;
    const char* Archive;
    TMatchGrouper::TKind Kind;
    const char* Group;
};

} // namespace

TEST(MatchGrouper, GroupsAndCountsAsTheTreeDoes) {
    using G = TMatchGrouper;
    const TStep Steps[] = {
        {"/work/", "/work/A.ZIP", G::mkNewArchive, "A.ZIP"},
        {"/work/", "/work/A.ZIP", G::mkSameArchive, "A.ZIP"},
        // A plain file between two matches of one archive leaves the archive's group open.
        {"/work/", "", G::mkPlainFile, ""},
        {"/work/", "/work/A.ZIP", G::mkSameArchive, "A.ZIP"},
        // Only "a" to "z" fold: the folder is cut from the front whatever its letters' case ...
        {"/WoRk/", "/work/Sub/A.ZIP", G::mkNewArchive, "Sub/A.ZIP"},
        // ... but other letters compare exactly, so this one stays whole.
        {"/\xc3\xb1/", "/\xc3\x91/B.ZIP", G::mkNewArchive, "/\xc3\x91/B.ZIP"},
        {"/work/", "/elsewhere/A.ZIP", G::mkNewArchive, "/elsewhere/A.ZIP"},
    };
    TMatchGrouper Matches;
    Matches.Start();
    for (const TStep& S : Steps) {
        const TMatchGrouper::TPlace Place = Matches.Add(S.Folder, S.Archive);
        EXPECT_EQ(Place.Kind, S.Kind) << S.Archive;
        EXPECT_EQ(Place.Archive, S.Group) << S.Archive;
    }
    EXPECT_EQ(Matches.ArchiveMatches(), 4);
    EXPECT_EQ(Matches.EntryMatches(), 7);

    // A new search starts a new group even for the archive the last one ended with.
    Matches.Start();
    EXPECT_EQ(Matches.Add("/work/", "/elsewhere/A.ZIP").Kind, G::mkNewArchive);
    EXPECT_EQ(Matches.ArchiveMatches(), 1);
    EXPECT_EQ(Matches.EntryMatches(), 1);
}
