// tarnlet-cli test: every entry extracted to a scratch file and checked.

#include "archive/AbUnZPrc.h"
#include "archive/Abziptyp.h"
#include "cli/Verbs.h"
#include "platform/Files.h"
#include "platform/ScopeGuard.h"

#include <cstdio>
#include <exception>

const TVerb TestVerbInfo = {
    "test", "[-p PASSWORD] ARCHIVE",
    "      Extracts every entry to a scratch file and checks it: one line per entry,\n"
    "      OK or the reason it failed. Exit status 0 only when all pass.",
    TestVerb};

int TestVerb(const std::vector<std::string>& Args) {
    TExtractArgs Options;
    if (!ParseExtractArgs(Args, "p", Options) || Options.Operands.size() != 1)
        return ReportUsage(TestVerbInfo);
    const std::string& Path = Options.Operands[0];
    std::string Scratch;
    try {
        Scratch = CreateUniqueTempFolder(TempFolder(), "tarnlet-test-");
    } catch (const std::exception& E) {
        return ReportError(TempFolder(), E.what());
    }
    const std::string ScratchFile = Scratch + "/entry";
    // The scratch file goes first, then its folder, on every way out.
    TScopeGuard RemoveScratch([&] {
        DeleteFile(ScratchFile);
        RemoveDir(Scratch);
    });
    try {
        TAbZipArchive Archive(Path, fmOpenRead | fmShareDenyNone);
        Archive.Load();
        Archive.SetBaseDirectory(Scratch);
        Archive.Password = Options.Password;
        int Failed = 0;
        for (int I = 0; I < Archive.Count(); ++I) {
            TAbZipItem& Item = *Archive.Items(I);
            std::string Verdict = "OK";
            try {
                UnzipItemToFile(Archive, Item, "entry");
            } catch (const std::exception& E) {
                Verdict = E.what();
                ++Failed;
            }
            DeleteFile(ScratchFile);
            std::printf("%s: %s\n", Item.GetFileName().c_str(), Verdict.c_str());
        }
        if (std::fflush(stdout) != 0)
            return ReportError(Path, "cannot write the report");
        return Failed ? ExitError : ExitOk;
    } catch (const std::exception& E) {
        return ReportError(Path, E.what());
    }
}
