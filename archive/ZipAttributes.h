#pragma once
// The attribute lines shown for a zip entry (sizes, method, ratio, CRC-32, attributes, encryption, time
// stamp, versions, comment), formatted from the message table so every front end words them alike.

#include "archive/Abziptyp.h"
#include "platform/Sets.h"

#include <cstdint>
#include <functional>
#include <string>

// In the order the lines are shown.
enum TAbZipAttribute {
    zaCompressedSize,
    zaUncompressedSize,
    zaCompressionMethod,
    zaCompressionRatio,
    zaCRC,
    zaExternalFileAttributes,
    zaInternalFileAttributes,
    zaEncryption,
    zaTimeStamp,
    zaVersionMade,
    zaVersionNeeded,
    zaComment,
};
constexpr int AbZipAttributeCount = zaComment + 1;
using TAbZipAttributes = TSet<TAbZipAttribute>;

// Every line but the file type, the two versions and the comment.
constexpr TAbZipAttributes AbDefaultZipAttributes{
    zaCompressedSize,         zaUncompressedSize, zaCompressionMethod, zaCompressionRatio, zaCRC,
    zaExternalFileAttributes, zaEncryption,       zaTimeStamp};
constexpr TAbZipAttributes AbAllZipAttributes = TAbZipAttributes::FromBits((1u << AbZipAttributeCount) - 1);

// The name of compression method Method; codes the table does not know are "Unknown".
std::string AbZipMethodName(uint16_t Method);

// Turns a stored DOS date and time (date in the high 16 bits) into display text.
using TAbTimeText = std::function<std::string(uint32_t DosDateTime)>;

// One attribute line of Item. TimeText is asked only for a stamp that is not zero.
std::string AbZipAttributeLine(const TAbZipItem& Item, TAbZipAttribute Attribute,
                               const TAbTimeText& TimeText);
