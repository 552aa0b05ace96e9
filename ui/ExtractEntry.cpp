#include "ui/ExtractEntry.h"

#include "archive/Abziptyp.h"
#include "engine/ContentSearch.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"

std::string ExtractEntryToFolder(const std::string& ArchivePath, const std::string& EntryName,
                                 const std::string& Folder, std::string& Failure) {
    Failure.clear();
    const std::string BareName = ExtractFileName(EntryName);
    if (BareName.empty() || BareName == "." || BareName == "..")
        return {};
    const std::string Target = JoinPath(Folder, BareName);
    // A file left from earlier must not stand in for an entry that cannot be extracted.
    DeleteFile(Target);
    THelper Helper;
    TAbZipArchive Archive(ResolvePathCase(ArchivePath), fmOpenRead | fmShareDenyNone);
    Archive.Load();
    Archive.ExtractHandler = [&Helper, &Failure](TAbZipArchive& Sender, TAbZipItem& Item,
                                                 const std::string& NewName) {
        try {
            Helper.UnzipEntry(Sender, Item, NewName);
        } catch (const std::exception& E) {
            Failure = E.what();
            throw;
        }
    };
    // Two entries may share a bare name in different folders: the named one is meant.
    int Found = -1;
    for (int I = 0; I < Archive.Count() && Found < 0; ++I)
        if (Archive.Items(I)->GetFileName() == EntryName)
            Found = I;
    const std::string Wanted = UpperCaseAscii(BareName);
    for (int I = 0; I < Archive.Count() && Found < 0; ++I)
        if (UpperCaseAscii(ExtractFileName(Archive.Items(I)->GetFileName())) == Wanted)
            Found = I;
    if (Found < 0)
        return {};
    Archive.SetBaseDirectory(Folder);
    Archive.Extract(Archive.Items(Found), BareName);
    return FileExists(Target) ? Target : std::string();
}
