// tarnlet-cli extract: the whole archive into a folder, with its folders.

#include "archive/AbUnZPrc.h"
#include "archive/Abziptyp.h"
#include "cli/Verbs.h"

#include <cstdio>
#include <exception>
#include <string>

const TVerb ExtractVerbInfo = {
    "extract", "[-p PASSWORD] [-o | -n] ARCHIVE [FOLDER]",
    "      Extracts every entry with its folders into FOLDER (default: the current folder).\n"
    "      An existing file is overwritten with -o, kept with -n, and otherwise asked about.",
    ExtractVerb};

namespace {

enum TOverwrite { owAsk, owAll, owNone };

// Asks on the terminal; the answer may settle the question for every later file.
bool AskOverwrite(const std::string& Name, TOverwrite& Policy) {
    for (;;) {
        std::fprintf(stderr, "Replace %s? [y]es, [n]o, [A]ll, [N]one: ", Name.c_str());
        char Line[64];
        if (!std::fgets(Line, sizeof Line, stdin)) {
            std::fputc('\n', stderr);
            Policy = owNone;
            return false;
        }
        switch (Line[0]) {
        case 'y':
            return true;
        case 'n':
            return false;
        case 'A':
            Policy = owAll;
            return true;
        case 'N':
            Policy = owNone;
            return false;
        default:
            break;
        }
    }
}

} // namespace

int ExtractVerb(const std::vector<std::string>& Args) {
    TExtractArgs Options;
    if (!ParseExtractArgs(Args, "pon", Options) || Options.Operands.empty() || Options.Operands.size() > 2)
        return ReportUsage(ExtractVerbInfo);
    const std::string& Path = Options.Operands[0];
    const std::string Folder = Options.Operands.size() == 2 ? Options.Operands[1] : ".";
    try {
        TAbZipArchive Archive(Path, fmOpenRead | fmShareDenyNone);
        Archive.Load();
        CreateDirectoryPath(Folder);
        Archive.SetBaseDirectory(Folder);
        Archive.Password = Options.Password;
        Archive.ExtractOptions.Include(eoCreateDirs);
        Archive.ExtractOptions.Include(eoRestorePath);

        TOverwrite Policy = Options.OverwriteAll ? owAll : Options.OverwriteNone ? owNone : owAsk;
        Archive.OnConfirmOverwrite = [&Policy](std::string& Name, bool& Confirm) {
            Confirm = Policy == owAll || (Policy == owAsk && AskOverwrite(Name, Policy));
        };
        Archive.ExtractHandler = UnzipItemToFile;
        int Failed = 0;
        Archive.OnProcessItemFailure = [&](void*, TAbArchiveItem* Item, TAbProcessType, TAbErrorClass, int,
                                           const std::string& Message) {
            ReportError(Path, Item->GetFileName() + ": " + Message);
            ++Failed;
        };
        // Folder entries have no name part for the mask to match; they make their (maybe empty) folders.
        for (int I = 0; I < Archive.Count(); ++I) {
            const std::string Name = Archive.Items(I)->GetFileName();
            if (!Name.empty() && Name.back() == '/')
                Archive.ExtractAt(I, "");
        }
        Archive.ExtractFiles("*.*");
        return Failed ? ExitError : ExitOk;
    } catch (const std::exception& E) {
        return ReportError(Path, E.what());
    }
}
