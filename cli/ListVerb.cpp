// tarnlet-cli list: the entries of an archive, in archive order.

#include "archive/Abziptyp.h"
#include "archive/ZipAttributes.h"
#include "cli/Verbs.h"
#include "platform/DosDate.h"
#include "platform/SysUtils.h"

#include <cstdio>
#include <exception>

const TVerb ListVerbInfo = {
    "list", "[--names | --verbose] ARCHIVE",
    "      One line per entry: name, uncompressed size, compressed size, method, CRC-32,\n"
    "      date and time. With --names, the names alone. With --verbose, each name followed\n"
    "      by all twelve attribute lines of the extract window, indented by two spaces\n"
    "      (time stamps as YYYY-MM-DD hh:mm:ss).",
    ListVerb};

namespace {

enum TListForm { lfLong, lfNames, lfVerbose };

void AppendVerbose(std::string& Out, const TAbZipItem& Item) {
    for (int A = 0; A < AbZipAttributeCount; ++A)
        Out += "\n  " + AbZipAttributeLine(Item, TAbZipAttribute(A), DosDateTimeToText);
}

} // namespace

int ListVerb(const std::vector<std::string>& Args) {
    TListForm Form = lfLong;
    if (Args.size() == 2 && Args[0] == "--names")
        Form = lfNames;
    else if (Args.size() == 2 && Args[0] == "--verbose")
        Form = lfVerbose;
    if (Args.size() != (Form == lfLong ? 1u : 2u))
        return ReportUsage(ListVerbInfo);
    const std::string& Path = Args.back();
    try {
        TAbZipArchive Archive(Path, fmOpenRead | fmShareDenyNone);
        Archive.Load();
        std::string Out;
        for (int I = 0; I < Archive.Count(); ++I) {
            const TAbZipItem& Item = *Archive.Items(I);
            Out += Item.GetFileName();
            if (Form == lfVerbose) {
                AppendVerbose(Out, Item);
            } else if (Form == lfLong) {
                uint32_t Stamp = uint32_t(Item.LastModFileDate()) << 16 | Item.LastModFileTime();
                Out += Format("  %d  %d  %s  %.8x  %s", {Item.GetUncompressedSize(), Item.GetCompressedSize(),
                                                         AbZipMethodName(Item.CompressionMethod()),
                                                         Item.CRC32(), DosDateTimeToText(Stamp)});
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
