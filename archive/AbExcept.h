#pragma once
// The archive library's exceptions. Each carries the id of its message in ErrorCode.

#include "archive/AbConst.h"
#include "platform/SysUtils.h"

#include <string>

class EAbException : public Exception {
public:
    explicit EAbException(const std::string& Msg, int Code = 0) : Exception(Msg), ErrorCode(Code) {}
    int ErrorCode;
};

class EAbZipException : public EAbException {
public:
    using EAbException::EAbException;
};

// An exception whose text is message Id of the table.
template <int Id, class Base> class TAbMessageException : public Base {
public:
    TAbMessageException() : Base(AbStrRes(Id), Id) {}
};

using EAbZipVersion = TAbMessageException<AbZipVersion, EAbZipException>;
using EAbZipInvalidMethod = TAbMessageException<AbZipInvalidMethod, EAbZipException>;
using EAbZipNoExtraction = TAbMessageException<AbZipNoExtraction, EAbZipException>;
using EAbZipInvalidPassword = TAbMessageException<AbZipInvalidPassword, EAbZipException>;
using EAbZipNoInsertion = TAbMessageException<AbZipNoInsertion, EAbZipException>;
using EAbZipInvalidFactor = TAbMessageException<AbZipInvalidFactor, EAbZipException>;
using EAbZipUnsupported = TAbMessageException<AbZipUnsupported, EAbZipException>;
using EAbUserAbort = TAbMessageException<AbUserAbort, EAbException>;
using EAbArchiveBusy = TAbMessageException<AbArchiveBusy, EAbException>;
using EAbZipBadSpanStream = TAbMessageException<AbZipBadSpanStream, EAbZipException>;
using EAbZipSpanOverwrite = TAbMessageException<AbZipSpanOverwrite, EAbZipException>;
using EAbZipStreamFull = TAbMessageException<AbZipStreamFull, EAbZipException>;
using EAbNoSuchDirectory = TAbMessageException<AbNoSuchDirectory, EAbException>;
using EAbZipInflateBlock = TAbMessageException<AbZipInflateBlock, EAbZipException>;
using EAbBadStream = TAbMessageException<AbBadStreamType, EAbException>;
using EAbZipBadCRC = TAbMessageException<AbZipBadCRC, EAbZipException>;
using EAbFileNotFound = TAbMessageException<AbFileNotFound, EAbException>;
using EAbNoArchive = TAbMessageException<AbNoArchive, EAbException>;
using EAbZipInvalid = TAbMessageException<AbZipInvalid, EAbZipException>;
using EAbReadError = TAbMessageException<AbReadError, EAbZipException>;
using EAbZipSizeExceeded = TAbMessageException<AbZipSizeExceeded, EAbZipException>;

// Swap-file failures of the paged memory stream.
class EAbVMSInvalidOrigin : public EAbZipException {
public:
    explicit EAbVMSInvalidOrigin(int Origin);
};
class EAbVMSErrorOpenSwap : public EAbZipException {
public:
    explicit EAbVMSErrorOpenSwap(const std::string& FileName);
};
class EAbVMSSeekFail : public EAbZipException {
public:
    explicit EAbVMSSeekFail(const std::string& FileName);
};
class EAbVMSReadFail : public EAbZipException {
public:
    EAbVMSReadFail(int Count, const std::string& FileName);
};
class EAbVMSWriteFail : public EAbZipException {
public:
    EAbVMSWriteFail(int Count, const std::string& FileName);
};
