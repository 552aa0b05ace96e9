#include "archive/AbExcept.h"

EAbVMSInvalidOrigin::EAbVMSInvalidOrigin(int Origin)
    : EAbZipException(Format(AbStrRes(AbVMSInvalidOrigin), {Origin}), AbVMSInvalidOrigin) {}

EAbVMSErrorOpenSwap::EAbVMSErrorOpenSwap(const std::string& FileName)
    : EAbZipException(Format(AbStrRes(AbVMSErrorOpenSwap), {FileName}), AbVMSErrorOpenSwap) {}

EAbVMSSeekFail::EAbVMSSeekFail(const std::string& FileName)
    : EAbZipException(Format(AbStrRes(AbVMSSeekFail), {FileName}), AbVMSSeekFail) {}

EAbVMSReadFail::EAbVMSReadFail(int Count, const std::string& FileName)
    : EAbZipException(Format(AbStrRes(AbVMSReadFail), {Count, FileName}), AbVMSReadFail) {}

EAbVMSWriteFail::EAbVMSWriteFail(int Count, const std::string& FileName)
    : EAbZipException(Format(AbStrRes(AbVMSWriteFail), {Count, FileName}), AbVMSWriteFail) {}
