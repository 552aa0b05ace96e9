#include "archive/AbUnZPrc.h"
#include "archive/Abziptyp.h"
#include "cli/Verbs.h"
#include "platform/Files.h"

#include <stdexcept>

struct TEntryScratch::TData {
    TData(const std::string& ArchivePath) : Archive(ArchivePath, fmOpenRead | fmShareDenyNone) {}
    TAbZipArchive Archive;
    std::string Folder;
    std::string File;
};

TEntryScratch::TEntryScratch(const std::string& ArchivePath, const std::string& Password)
    : F(std::make_unique<TData>(ArchivePath)) {
    F->Archive.Load();
    F->Archive.Password = Password;
    F->Folder = CreateUniqueTempFolder(TempFolder(), "tarnlet-cat-");
    F->File = JoinPath(F->Folder, "entry");
    F->Archive.SetBaseDirectory(F->Folder);
}

TEntryScratch::~TEntryScratch() {
    DeleteFile(F->File);
    RemoveDir(F->Folder);
}

std::string TEntryScratch::Extract(const std::string& Name) {
    DeleteFile(F->File);
    for (int I = 0; I < F->Archive.Count(); ++I) {
        TAbZipItem& Item = *F->Archive.Items(I);
        if (Item.GetFileName() != Name)
            continue;
        UnzipItemToFile(F->Archive, Item, "entry");
        // A folder entry makes no file: it has no bytes.
        if (!FileExists(F->File))
            TFileStream Empty(F->File, fmCreate);
        return F->File;
    }
    throw std::runtime_error("no such entry");
}
