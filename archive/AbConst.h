#pragma once
// Ids of the archive library's messages in the "AB_STRINGS_ENGLISH" table.

#include <string>

enum : int {
    AbZipVersion = 1,
    AbZipInvalidMethod = 2,
    AbZipNoExtraction = 3,
    AbZipInvalidPassword = 4,
    AbZipNoInsertion = 5,
    AbZipInvalidFactor = 6,
    AbZipDuplicateName = 7,
    AbZipUnsupported = 8,
    AbUserAbort = 9,
    AbArchiveBusy = 10,
    AbDiskRequest = 11,
    AbLastDiskRequest = 12,
    AbZipBadSpanStream = 13,
    AbDiskNumRequest = 14,
    AbZipSpanOverwrite = 15,
    AbSpanSelfExtracting = 16,
    AbBlankDisk = 17,
    AbZipStreamFull = 18,
    AbNoSuchDirectory = 19,
    AbZipInflateBlock = 20,
    AbBadStreamType = 21,
    AbTruncateError = 22,
    AbZipBadCRC = 23,
    AbZipBadStub = 24,
    AbFileNotFound = 25,
    AbInvalidLFH = 26,
    AbNoArchive = 27,
    AbZipInvalid = 28,
    AbReadError = 29,
    AbZipSizeExceeded = 30,
    AbLinkOutside = 31,

    AbVersionFormat = 100,
    AbCompressedSizeFormat = 113,
    AbUncompressedSizeFormat = 114,
    AbCompressionMethodFormat = 115,
    AbCompressionRatioFormat = 116,
    AbCRCFormat = 117,
    AbReadOnly = 118,
    AbHidden = 119,
    AbSystem = 120,
    AbArchived = 121,
    AbEFAFormat = 122,
    AbTextOrBinaryFormat = 123,
    AbText = 124,
    AbBinary = 125,
    AbEncryptionFormat = 126,
    AbEncrypted = 127,
    AbNotEncrypted = 128,
    AbUnknown = 129,
    AbTimeStampFormat = 130,
    AbMadeByFormat = 131,
    AbNeededFormat = 132,
    AbCommentFormat = 133,
    AbDefaultExt = 134,
    AbFilter = 135,
    AbFileNameTitle = 136,
    AbOK = 137,
    AbCancel = 138,
    AbSelectDirectory = 139,
    AbEnterPassword = 140,
    AbPasswordLabel = 141,
    AbVerifyLabel = 142,

    AbVMSReadTooManyBytes = 200,
    AbVMSInvalidOrigin = 201,
    AbVMSErrorOpenSwap = 202,
    AbVMSSeekFail = 203,
    AbVMSReadFail = 204,
    AbVMSWriteFail = 205,
    AbVMSWriteTooManyBytes = 206,
};

// Message 101 + m names zip compression method m (0 to 11).
constexpr int AbMethodName(int Method) {
    return 101 + Method;
}

// The text of a message (UTF-8); empty for an unknown id.
std::string AbStrRes(int Id);
