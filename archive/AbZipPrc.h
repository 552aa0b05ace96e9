#pragma once
// Compression of one disk file into a new zip entry: stored or deflated, optionally encrypted, and the
// insertion hook that writers install.

#include "archive/Abziptyp.h"
#include "archive/Deflate.h"
#include "platform/Classes.h"

#include <cstdint>
#include <functional>
#include <string>

// Writes the data of one entry: the source's bytes stored or deflated, encrypted in place when there is
// an encoder, with the CRC-32 of the source and progress.
class TAbZipHelper {
public:
    // OutStreamRef is the variable holding the output; the encoder (when given) writes its header there.
    TAbZipHelper(TStream& AInStream, TAbZDecoder* AEncoder, TStream*& AOutStreamRef);
    virtual ~TAbZipHelper() = default;
    TAbZipHelper(const TAbZipHelper&) = delete;
    TAbZipHelper& operator=(const TAbZipHelper&) = delete;

    // Writes the entry's data at the output's position and sets Crc, CompressedSize, Method and FileType.
    // cmBestMethod deflates and falls back to storing (over what was written) when that is not smaller. A
    // source that ends before SourceSize or goes on past it raises EAbException: it changed meanwhile.
    void Compress();
    bool IsText() const { return FileType == ftText; }

    uint32_t Crc = 0;
    TAbZipDeflationOption DeflationOption = doNormal;
    int64_t SourceSize;
    int64_t CompressedSize = 0;
    std::function<void(uint8_t Progress, bool& Abort)> OnProgressHook;
    TAbZipMethod Method = cmDeflated; // cmStored, cmDeflated or cmBestMethod
    uint8_t FileType = ftUnknown;
    // Names the source in messages.
    std::string SourceName;

protected:
    // Passes a changed percentage on to the hook; an abort raises EAbUserAbort.
    virtual void DoProgress(uint8_t Progress, bool& Abort);

private:
    class TSource;
    class TSink;

    void Store();
    void DeflateSource();

    TStream& FInStream;
    TAbZDecoder* FEncoder;
    TStream*& FOutStreamRef;
    uint8_t FLastProgress = 0;
};

// The insertion hook: compresses Item's disk file into OutStream by the archive's method, deflation
// option and password, and fills in the entry's fields. Folders give an empty stored entry.
void ZipItemFromFile(TAbZipArchive& Sender, TAbZipItem& Item, TStream& OutStream);
