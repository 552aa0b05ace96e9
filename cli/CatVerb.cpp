// tarnlet-cli cat: entries' bytes to standard output.

#include "cli/Verbs.h"
#include "platform/Classes.h"

#include <cstdio>
#include <exception>

const TVerb CatVerbInfo = {"cat", "[-p PASSWORD] ARCHIVE ENTRY...",
                           "      Writes the bytes of each ENTRY (its full stored name) to standard output,\n"
                           "      one after the other.",
                           CatVerb};

int CatVerb(const std::vector<std::string>& Args) {
    TExtractArgs Options;
    if (!ParseExtractArgs(Args, "p", Options) || Options.Operands.size() < 2)
        return ReportUsage(CatVerbInfo);
    const std::string& Path = Options.Operands[0];
    try {
        TEntryScratch Scratch(Path, Options.Password);
        int Status = ExitOk;
        for (size_t I = 1; I < Options.Operands.size(); ++I) {
            const std::string& Name = Options.Operands[I];
            try {
                TFileStream In(Scratch.Extract(Name), fmOpenRead);
                char Buf[1 << 16];
                for (int64_t N; (N = In.Read(Buf, sizeof Buf)) > 0;)
                    if (std::fwrite(Buf, 1, size_t(N), stdout) != size_t(N))
                        return ReportError(Path, "cannot write to standard output");
            } catch (const std::exception& E) {
                Status = ReportError(Path, Name + ": " + E.what());
            }
        }
        if (std::fflush(stdout) != 0)
            return ReportError(Path, "cannot write to standard output");
        return Status;
    } catch (const std::exception& E) {
        return ReportError(Path, E.what());
    }
}
