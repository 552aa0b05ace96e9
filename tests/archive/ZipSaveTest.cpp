// Writing an archive back (renamed, added and deleted entries, a self-extracting program's stub), checked by
// unzip.

#include "TestUtil.h"
#include "archive/AbExcept.h"
#include "archive/AbUtils.h"
#include "archive/Abziptyp.h"
#include "platform/Files.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testutil;

namespace {

// An archive a test can add a stored entry to and delete from.
struct TEditableArchive : TAbZipArchive {
    using TAbZipArchive::TAbZipArchive;
    TAbZipItem* AddStored(const std::string& Name) {
        std::unique_ptr<TAbArchiveItem> Item = CreateItem(Name);
        auto* Zip = static_cast<TAbZipItem*>(Item.get());
        Zip->Action = aaAdd;
        Zip->SetCompressionMethod(0);
        Zip->SetVersionNeededToExtract(10);
        Zip->SetLastModFileDate(0x5A21);
        FItemList.Add(std::move(Item));
        FIsDirty = true;
        return Zip;
    }
    void MarkDeleted(int Index) { Items(Index)->Action = aaDelete, FIsDirty = true; }
};

const std::string Added = "added contents";

void StoreAdded(TAbZipArchive&, TAbZipItem& Item, TStream& Out) {
    Item.SetCRC32(Crc32(Added));
    Item.SetCompressedSize(Added.size());
    Item.SetUncompressedSize(Added.size());
    Out.WriteBuffer(Added.data(), int64_t(Added.size()));
}

// unzip's verdict and the names it lists.
std::string Unzip(const std::string& Archive) {
    std::string Out;
    const int Rc = testutil::Run(
        "unzip -tq " + Quote(Archive) + " >/dev/null 2>&1 && unzip -Z1 " + Quote(Archive), &Out);
    return Rc == 0 ? Out : "unzip failed";
}

// Archives made by zip: deflated and stored entries, one written to a pipe (zip64 records), a program.
struct TMadeArchives {
    TMadeArchives() {
        WriteFile(Dir / "a.txt", std::string(3000, 'a'));
        WriteFile(Dir / "b.bin", RandomBytes(2000, 1));
        WriteFile(Dir / "c.txt", "see");
        WriteFile(Dir / "big", RandomBytes(100000, 2));
        EXPECT_EQ(
            testutil::Run("cd " + Quote(Dir.Path()) +
                          " && zip -q plain.zip a.txt b.bin c.txt && cat a.txt | zip -q - - > piped.zip && "
                          "zip -q -s 64k set.zip big && { printf MZ; head -c 500 /dev/zero | tr '\\0' '\\1'; "
                          "cat plain.zip; } > sfx.exe && zip -q -A sfx.exe"),
            0);
    }
    TScratchDir Dir;
};

} // namespace

TEST(ZipSave, RenamedEntriesAreWrittenBack) {
    TMadeArchives M;
    for (const char* Name : {"plain.zip", "piped.zip", "sfx.exe"}) {
        std::string Path = M.Dir / Name;
        {
            TAbZipArchive A(Path, fmOpenReadWrite | fmShareDenyWrite);
            A.Load();
            A.AutoSave = true;
            A.Rename(A.Items(0), "renamed/first.txt");
            EXPECT_TRUE(!A.IsDirty() && A.Items(0)->Action == aaNone && A.Status() == asIdle);
        }
        EXPECT_EQ(Unzip(Path).substr(0, 18), "renamed/first.txt\n") << Name;
    }
    EXPECT_EQ(ReadFile(M.Dir / "sfx.exe").substr(0, 502), "MZ" + std::string(500, '\x01'));
}

// Added and deleted entries; a failure half-way leaves the archive and its folder as they were.
TEST(ZipSave, TheArchiveIsReplacedWholeThroughItsLinkWithItsPermissions) {
    TMadeArchives M;
    namespace fs = std::filesystem;
    const std::string Real = M.Dir / "plain.zip", Link = M.Dir / "link.zip";
    const auto Perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(Real, Perms);
    fs::create_symlink("plain.zip", Link);
    const std::string Before = ReadFile(Real);
    auto Files = [&] {
        return std::distance(fs::directory_iterator(M.Dir.Path()), fs::directory_iterator());
    };
    const auto FileCount = Files();

    TEditableArchive A(Link, fmOpenReadWrite);
    A.Load();
    EXPECT_EQ(A.AddStored("/new/added.txt")->GetFileName(), "new/added.txt");
    A.MarkDeleted(1);
    EXPECT_THROW(A.Save(), EAbZipNoInsertion);
    A.InsertHandler = [](TAbZipArchive&, TAbZipItem&, TStream& Out) {
        Out.WriteBuffer("partial", 7);
        throw EReadError("source gone");
    };
    EXPECT_THROW(A.Save(), EReadError);
    EXPECT_TRUE(ReadFile(Real) == Before && Files() == FileCount && A.IsDirty());

    A.InsertHandler = StoreAdded;
    A.Save();
    EXPECT_TRUE(A.Count() == 3 && fs::is_symlink(Link) && Files() == FileCount);
    EXPECT_EQ(fs::status(Real).permissions() & fs::perms::all, Perms);
    EXPECT_EQ(Unzip(Real), "a.txt\nc.txt\nnew/added.txt\n");
    std::string Out;
    testutil::Run("unzip -p " + Quote(Real) + " new/added.txt", &Out);
    EXPECT_EQ(Out, Added);
    EXPECT_EQ(A.Stream->Size(), int64_t(ReadFile(Real).size())); // the object reads the new file from now on
}

// A read-only archive and a spanned set are never rewritten; one in memory is replaced in memory. No
// temporary file is left either way.
TEST(ZipSave, RefusalsAndTheTemporaryFile) {
    TMadeArchives M;
    TScratchDir Tmp;
    {
        TEnvSetting At("TMPDIR", Tmp.Path());
        TAbZipArchive ReadOnly(M.Dir / "plain.zip", fmOpenRead);
        ReadOnly.Load();
        ReadOnly.Rename(ReadOnly.Items(2), "x.txt");
        EXPECT_THROW(ReadOnly.Save(), EWriteError);
        EXPECT_EQ(Unzip(M.Dir / "plain.zip"), "a.txt\nb.bin\nc.txt\n");

        TMemoryStream Memory;
        Memory.LoadFromFile(M.Dir / "plain.zip");
        TAbZipArchive InMemory(Memory, "memory.zip");
        InMemory.Load();
        InMemory.Rename(InMemory.Items(1), "b2.bin");
        InMemory.Save();
        TAbZipArchive Reloaded(Memory, "memory.zip");
        Reloaded.Load();
        EXPECT_EQ(Reloaded.Items(1)->GetFileName(), "b2.bin");
        EXPECT_EQ(Reloaded.Items(1)->CRC32(), InMemory.Items(1)->CRC32());
    }
    EXPECT_TRUE(std::filesystem::is_empty(Tmp.Path()));
    TAbZipArchive Set(M.Dir / "set.zip", fmOpenReadWrite);
    Set.Load();
    ASSERT_TRUE(Set.Spanned);
    Set.Rename(Set.Items(0), "other");
    EXPECT_THROW(Set.Save(), EAbZipSpanOverwrite);
}
