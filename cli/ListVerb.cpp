// tarnlet-cli list: the entries of an archive, in archive order.

#include "archive/AbConst.h"
#include "archive/Abziptyp.h"
#include "cli/Verbs.h"
#include "platform/DosDate.h"
#include "platform/SysUtils.h"

#include <cstdio>
#include <exception>

const TVerb ListVerbInfo = {
    "list", "[--names] ARCHIVE",
    "      One line per entry: name, uncompressed size, compressed size, method, CRC-32,\n"
    "      date and time. With --names, the names alone.",
    ListVerb};

namespace {

std::string MethodName(uint16_t Method) {
    return Method <= cmBestMethod ? AbStrRes(AbMethodName(Method)) : AbStrRes(AbUnknown);
}

} // namespace

int ListVerb(const std::vector<std::string>& Args) {
    bool NamesOnly = Args.size() == 2 && Args[0] == "--names";
    if (Args.size() != 1 + (NamesOnly ? 1 : 0))
        return ReportUsage(ListVerbInfo);
    const std::string& Path = Args.back();
    try {
        TAbZipArchive Archive(Path, fmOpenRead | fmShareDenyNone);
        Archive.Load();
        std::string Out;
        for (int I = 0; I < Archive.Count(); ++I) {
            const TAbZipItem& Item = *Archive.Items(I);
            Out += Item.GetFileName();
            if (!NamesOnly) {
                uint32_t Stamp = uint32_t(Item.LastModFileDate()) << 16 | Item.LastModFileTime();
                Out += Format("  %d  %d  %s  %.8x  %s",
                              {Item.GetUncompressedSize(), Item.GetCompressedSize(),
                               MethodName(Item.CompressionMethod()), Item.CRC32(), DosDateTimeToText(Stamp)});
            }
            Out += '\n';
            if (Out.size() >= 65536) {
                std::fwrite(Out.data(), 1, Out.size(), stdout);
                Out.clear();
            }
        }
        std::fwrite(Out.data(), 1, Out.size(), stdout);
        return std::fflush(stdout) == 0 ? ExitOk : ReportError(Path, "cannot write the listing");
    } catch (const std::exception& E) {
        return ReportError(Path, E.what());
    }
}
