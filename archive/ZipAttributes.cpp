#include "archive/ZipAttributes.h"

#include "archive/AbConst.h"
#include "platform/CodePage.h"
#include "platform/SysUtils.h"

#include <array>

namespace {

constexpr int MethodNameCount = cmBestMethod + 1;

const std::array<std::string, MethodNameCount>& MethodNames() {
    static const std::array<std::string, MethodNameCount> Names = [] {
        std::array<std::string, MethodNameCount> N;
        for (int I = 0; I < MethodNameCount; ++I)
            N[size_t(I)] = AbStrRes(AbMethodName(I));
        return N;
    }();
    return Names;
}

std::string AttributeLetters(uint32_t Attributes) {
    std::string Letters;
    for (auto [Bit, Id] : {std::pair{1u, AbReadOnly}, {2u, AbHidden}, {4u, AbSystem}, {32u, AbArchived}})
        if (Attributes & Bit)
            Letters += AbStrRes(Id);
    return Letters;
}

double VersionNumber(uint16_t Version) {
    return (Version & 0xFF) / 10.0;
}

} // namespace

std::string AbZipMethodName(uint16_t Method) {
    return Method < MethodNameCount ? MethodNames()[Method] : AbStrRes(AbUnknown);
}

std::string AbZipAttributeLine(const TAbZipItem& Item, TAbZipAttribute Attribute,
                               const TAbTimeText& TimeText) {
    switch (Attribute) {
    case zaCompressedSize:
        return Format(AbStrRes(AbCompressedSizeFormat), {Item.GetCompressedSize()});
    case zaUncompressedSize:
        return Format(AbStrRes(AbUncompressedSizeFormat), {Item.GetUncompressedSize()});
    case zaCompressionMethod:
        return Format(AbStrRes(AbCompressionMethodFormat), {AbZipMethodName(Item.CompressionMethod())});
    case zaCompressionRatio:
        return Format(AbStrRes(AbCompressionRatioFormat), {Item.CompressionRatio()});
    case zaCRC:
        return Format(AbStrRes(AbCRCFormat), {Item.CRC32()});
    case zaExternalFileAttributes:
        return Format(AbStrRes(AbEFAFormat), {AttributeLetters(Item.ExternalFileAttributes())});
    case zaInternalFileAttributes:
        return Format(AbStrRes(AbTextOrBinaryFormat),
                      {AbStrRes(Item.InternalFileAttributes() == 1 ? AbText : AbBinary)});
    case zaEncryption:
        return Format(AbStrRes(AbEncryptionFormat),
                      {AbStrRes(Item.IsEncrypted() ? AbEncrypted : AbNotEncrypted)});
    case zaTimeStamp: {
        const uint32_t Stamp = uint32_t(Item.LastModFileDate()) << 16 | Item.LastModFileTime();
        return Format(AbStrRes(AbTimeStampFormat), {Stamp == 0 ? AbStrRes(AbUnknown) : TimeText(Stamp)});
    }
    case zaVersionMade:
        return Format(AbStrRes(AbMadeByFormat), {VersionNumber(Item.VersionMadeBy())});
    case zaVersionNeeded:
        return Format(AbStrRes(AbNeededFormat), {VersionNumber(Item.VersionNeededToExtract())});
    case zaComment: {
        // Comments follow the name's code page: UTF-8 when flagged, else CP437.
        const std::string& Raw = Item.FileComment();
        return Format(AbStrRes(AbCommentFormat),
                      {(Item.GeneralPurposeBitFlag() & Ab_ZipUtf8NameFlag) ? Raw : OemToAnsi(Raw)});
    }
    }
    return {};
}
