// tarnlet-cli add: files and folders into a new or existing archive.

#include "archive/AbZipPrc.h"
#include "archive/Abziptyp.h"
#include "cli/Verbs.h"
#include "platform/Files.h"
#include "platform/Find.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <unistd.h>

const TVerb AddVerbInfo = {
    "add", "[-0|-1|-3|-5|-9] [-p PASSWORD] [-r] ARCHIVE PATH...",
    "      Adds files (and folders with -r, with everything below them) to ARCHIVE, which is made\n"
    "      when it does not exist; an entry of the same name is replaced. -0 stores, -1 to -9 deflate\n"
    "      from fastest to smallest (default -5), storing what does not get smaller. -p encrypts.\n"
    "      On failure the archive stays as it was.",
    AddVerb};

namespace {

struct TAddArgs {
    TAbZipDeflationOption Option = doNormal;
    bool Stored = false;
    bool Recurse = false;
    std::string Password;
    std::vector<std::string> Operands;
};

bool ParseAddArgs(const std::vector<std::string>& Args, TAddArgs& Out) {
    size_t I = 0;
    for (; I < Args.size() && Args[I].size() == 2 && Args[I][0] == '-'; ++I) {
        switch (Args[I][1]) {
        case '0':
            Out.Stored = true;
            break;
        case '1':
            Out.Option = doSuperFast;
            break;
        case '3':
            Out.Option = doFast;
            break;
        case '5':
            Out.Option = doNormal;
            break;
        case '9':
            Out.Option = doMaximum;
            break;
        case 'r':
            Out.Recurse = true;
            break;
        case 'p':
            if (++I == Args.size())
                return false;
            Out.Password = Args[I];
            break;
        default:
            return false;
        }
    }
    Out.Operands.assign(Args.begin() + std::ptrdiff_t(I), Args.end());
    return Out.Operands.size() >= 2;
}

} // namespace

int AddVerb(const std::vector<std::string>& Args) {
    TAddArgs Options;
    if (!ParseAddArgs(Args, Options))
        return ReportUsage(AddVerbInfo);
    const std::string& Path = Options.Operands[0];
    TSearchRec Rec;
    const bool Existed = FindRecord(Path, Rec);
    if (Existed && (Rec.Attr & (attrDirectory | attrSystem)))
        return ReportError(Path, "not an archive file");
    try {
        TAbZipArchive Archive(Path,
                              Existed ? uint16_t(fmOpenReadWrite | fmShareDenyWrite) : uint16_t(fmCreate));
        Archive.Load();
        Archive.CompressionMethodToUse = Options.Stored ? smStored : smBestMethod;
        Archive.DeflationOption = Options.Option;
        Archive.Password = Options.Password;
        Archive.StoreOptions.Include(soRemoveDots);
        if (Options.Recurse)
            Archive.StoreOptions.Include(soRecurse);
        Archive.InsertHandler = ZipItemFromFile;
        if (::isatty(STDERR_FILENO) == 1)
            Archive.OnArchiveItemProgress = [](void*, TAbArchiveItem* Item, uint8_t Progress, bool&) {
                std::fprintf(stderr, "\r%3u%% %s\033[K", unsigned(Progress), Item->GetFileName().c_str());
            };
        for (size_t I = 1; I < Options.Operands.size(); ++I)
            Archive.AddFiles(Options.Operands[I]);
        Archive.Save();
        if (::isatty(STDERR_FILENO) == 1)
            std::fputs("\r\033[K", stderr);
        return ExitOk;
    } catch (const std::exception& E) {
        if (::isatty(STDERR_FILENO) == 1)
            std::fputs("\r\033[K", stderr);
        // A file made for the new archive goes again: nothing was added.
        if (!Existed)
            DeleteFile(Path);
        return ReportError(Path, E.what());
    }
}
