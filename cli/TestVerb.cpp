// tarnlet-cli test: every entry extracted to a scratch file and checked.

#include "archive/AbUnZPrc.h"
#include "archive/Abziptyp.h"
#include "cli/Verbs.h"
#include "platform/Files.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <unistd.h>
#include <vector>

const TVerb TestVerbInfo = {
    "test", "[-p PASSWORD] ARCHIVE",
    "      Extracts every entry to a scratch file and checks it: one line per entry,\n"
    "      OK or the reason it failed. Exit status 0 only when all pass.",
    TestVerb};

namespace {

// A fresh folder in the temporary folder, removed with the scratch file when done.
class TScratchFolder {
public:
    TScratchFolder() {
        std::string Template = TempFolder() + "/tarnlet-test-XXXXXX";
        std::vector<char> Buf(Template.begin(), Template.end());
        Buf.push_back('\0');
        if (mkdtemp(Buf.data()))
            FPath = Buf.data();
    }
    ~TScratchFolder() {
        if (!FPath.empty())
            rmdir(FPath.c_str());
    }
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

} // namespace

int TestVerb(const std::vector<std::string>& Args) {
    TExtractArgs Options;
    if (!ParseExtractArgs(Args, "p", Options) || Options.Operands.size() != 1)
        return ReportUsage(TestVerbInfo);
    const std::string& Path = Options.Operands[0];
    TScratchFolder Scratch;
    if (Scratch.Path().empty())
        return ReportError(TempFolder(), "cannot make a scratch folder");
    const std::string ScratchFile = Scratch.Path() + "/entry";
    try {
        TAbZipArchive Archive(Path, fmOpenRead | fmShareDenyNone);
        Archive.Load();
        Archive.SetBaseDirectory(Scratch.Path());
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
        DeleteFile(ScratchFile);
        return ReportError(Path, E.what());
    }
}
