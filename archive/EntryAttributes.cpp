#include "archive/EntryAttributes.h"

#include "archive/AbExcept.h"
#include "platform/DosDate.h"
#include "platform/Files.h"
#include "platform/LittleEndian.h"
#include "platform/SysUtils.h"

namespace {

constexpr int kUnixHost = 3;
constexpr uint32_t kFileTypeMask = 0170000;
constexpr uint32_t kSymbolicLink = 0120000;

// Names of the methods other writers use that we do not decode.
std::string MethodName(uint16_t Method) {
    switch (Method) {
    case 9:
        return "Deflate64";
    case 12:
        return "BZip2";
    case 14:
        return "LZMA";
    case 93:
        return "Zstandard";
    case 95:
        return "XZ";
    case 98:
        return "PPMd";
    case 99:
        return "AES encryption";
    default:
        return Method <= cmDCLImploded ? AbStrRes(AbMethodName(Method)) : "unknown";
    }
}

bool FromUnixHost(const TAbZipItem& Item) {
    return Item.VersionMadeBy() >> 8 == kUnixHost;
}

// The modification time of an extended-timestamp field (0x5455) in the directory record, if any.
bool ExtendedTime(const std::string& Extra, int64_t& Time) {
    size_t I = 0;
    while (I + 4 <= Extra.size()) {
        const auto* P = reinterpret_cast<const uint8_t*>(Extra.data()) + I;
        const size_t Len = GetLe16(P + 2);
        if (I + 4 + Len > Extra.size())
            return false;
        if (GetLe16(P) == 0x5455)
            // Flag bit 0: the modification time comes first, a signed 32-bit count of seconds.
            if (Len >= 5 && (P[4] & 1)) {
                Time = int32_t(GetLe32(P + 5));
                return true;
            }
        I += 4 + Len;
    }
    return false;
}

} // namespace

void CheckMethodDecoded(const TAbZipItem& Item) {
    const uint16_t M = Item.CompressionMethod();
    if (M <= cmImploded || M == cmDeflated)
        return;
    throw EAbZipException(
        Format("%s (%s, method %d)", {AbStrRes(AbZipInvalidMethod), MethodName(M), unsigned(M)}),
        AbZipInvalidMethod);
}

int64_t EntryUnixTime(const TAbZipItem& Item) {
    int64_t Time;
    if (ExtendedTime(Item.ExtraField(), Time))
        return Time;
    return int64_t(DosDateTimeToUnix(uint32_t(Item.LastModFileDate()) << 16 | Item.LastModFileTime()));
}

uint32_t EntryUnixMode(const TAbZipItem& Item) {
    return FromUnixHost(Item) ? (Item.ExternalFileAttributes() >> 16) & 0777 : 0;
}

bool IsSymbolicLinkEntry(const TAbZipItem& Item) {
    return FromUnixHost(Item) && ((Item.ExternalFileAttributes() >> 16) & kFileTypeMask) == kSymbolicLink;
}

void StampPath(const std::string& Path, uint32_t Mode, int64_t Time) {
    if (Mode)
        FileSetMode(Path, Mode & ~CurrentUmask());
    FileSetTime(Path, Time);
}

void CheckLinkInside(const std::string& Base, const std::string& LinkPath, const std::string& Target) {
    auto Refuse = [&] {
        throw EAbException(Format("%s (\"%s\")", {AbStrRes(AbLinkOutside), Target}), AbLinkOutside);
    };
    const std::string Root = RealPath(Base.empty() ? "." : Base);
    const std::string Folder = ExcludeTrailingSlash(ExtractFilePath(LinkPath));
    std::string Place = RealPath(Folder.empty() ? "." : Folder);
    if (Root.empty() || Place.empty() || Target.empty() || Target[0] == '/' ||
        Target.find('\0') != std::string::npos)
        Refuse();
    const std::string RootSlash = IncludeTrailingSlash(Root);
    auto Inside = [&](const std::string& P) {
        return P == Root || P.compare(0, RootSlash.size(), RootSlash) == 0;
    };
    if (!Inside(Place))
        Refuse();
    // ".." is followed only before the first name: after a name it would leave from wherever that name
    // leads (another link, possibly), which the text alone does not tell.
    bool Descended = false;
    for (size_t Start = 0; Start <= Target.size();) {
        size_t End = Target.find('/', Start);
        if (End == std::string::npos)
            End = Target.size();
        const std::string Part = Target.substr(Start, End - Start);
        Start = End + 1;
        if (Part.empty() || Part == ".")
            continue;
        if (Part != "..") {
            Descended = true;
            continue;
        }
        if (Descended)
            Refuse();
        Place = ExcludeTrailingSlash(ExtractFilePath(Place));
        if (!Inside(Place))
            Refuse();
    }
}
