// tarnlet-cli test: every entry decoded and checked without being written anywhere.

#include "archive/AbUnZPrc.h"
#include "archive/Abziptyp.h"
#include "cli/Verbs.h"

#include <cstdio>
#include <exception>

const TVerb TestVerbInfo = {"test", "[-p PASSWORD] ARCHIVE",
                            "      Decodes every entry and checks its size and CRC-32: one line per entry,\n"
                            "      OK or the reason it failed. Exit status 0 only when all pass.",
                            TestVerb};

namespace {

// The checks are the extraction's own; the bytes themselves are not needed.
class TDiscard : public TAbDecodeOutput {
public:
    void Write(const uint8_t*, size_t) override {}
};

} // namespace

int TestVerb(const std::vector<std::string>& Args) {
    TExtractArgs Options;
    if (!ParseExtractArgs(Args, "p", Options) || Options.Operands.size() != 1)
        return ReportUsage(TestVerbInfo);
    const std::string& Path = Options.Operands[0];
    try {
        TAbZipArchive Archive(Path, fmOpenRead | fmShareDenyNone);
        Archive.Load();
        Archive.Password = Options.Password;
        TDiscard Sink;
        int Failed = 0;
        for (int I = 0; I < Archive.Count(); ++I) {
            TAbZipItem& Item = *Archive.Items(I);
            std::string Verdict = "OK";
            try {
                UnzipItemToSink(Archive, Item, Sink);
            } catch (const std::exception& E) {
                Verdict = E.what();
                ++Failed;
            }
            std::printf("%s: %s\n", Item.GetFileName().c_str(), Verdict.c_str());
        }
        if (std::fflush(stdout) != 0)
            return ReportError(Path, "cannot write the report");
        return Failed ? ExitError : ExitOk;
    } catch (const std::exception& E) {
        return ReportError(Path, E.what());
    }
}
