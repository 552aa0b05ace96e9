#pragma once
// Extraction of one zip entry to a file: the decompressor (input reader, output writer, method dispatch)
// and the extraction hook every user of the archive installs.

#include "archive/AbDecodeIO.h"
#include "archive/AbZipCry.h"
#include "archive/Abziptyp.h"
#include "platform/Classes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TAbStreamOutput;

// Extracts Item to a file named after UseName below Archive's BaseDirectory: the whole name with
// eoRestorePath, else its last part. Names never lead outside BaseDirectory: empty, "." and ".." parts
// are dropped. A folder entry (a name ending in "/") makes its folder. Every failure raises, and no
// partial file is left behind; a refused overwrite is no failure.
void UnzipItemToFile(TAbZipArchive& Archive, TAbZipItem& Item, const std::string& UseName);

// Decodes Item into Sink with the same checks as UnzipItemToFile (version, password, the size cap, the
// CRC-32) and the same failures, for readers that look at the bytes without keeping them. Sink sees the
// bytes before the CRC has been checked: what it gathered counts only once this returns.
void UnzipItemToSink(TAbZipArchive& Archive, TAbZipItem& Item, TAbDecodeOutput& Sink);

// Decodes one entry from the archive's stream into an output stream or a sink: reads the compressed bytes
// in chunks of up to 4,096 bytes (decrypting them, moving on to the next disk of a spanned set), hands the
// output on in pieces of at most 32,768 bytes with the CRC-32 and progress, and stops at output beyond
// UncompressedSize.
class TAbUnzipHelper : private TAbDecodeInput, private TAbDecodeOutput {
public:
    // InStream is the archive's stream field, read at each use: a disk change replaces the stream in it.
    // CompressedSize starts as the size of that stream.
    TAbUnzipHelper(TStream*& InStream, TAbZDecoder* Decoder, TStream& OutStream);
    // Into a sink; CompressedSize must be set (it starts at 0: asking the stream's size costs a call).
    TAbUnzipHelper(TStream*& InStream, TAbZDecoder* Decoder, TAbDecodeOutput& Sink);
    ~TAbUnzipHelper() override;
    TAbUnzipHelper(const TAbUnzipHelper&) = delete;
    TAbUnzipHelper& operator=(const TAbUnzipHelper&) = delete;

    // Decodes the whole entry, the stream standing at its data, and returns the CRC-32 of the output.
    uint32_t Decompress();
    // The first Count bytes of the data, which start at DataOffset in the stream, were read already:
    // they are used first, and the stream needs no particular position. Data must outlive Decompress.
    void ReadAhead(const uint8_t* Data, size_t Count, int64_t DataOffset);

    uint64_t UncompressedSize = 0;
    uint64_t CompressedSize = 0;
    uint16_t Method = cmDeflated;
    uint8_t DictionarySize = 0;       // imploded: 1 = 4 KB, 2 = 8 KB
    uint8_t ShannonFanoTreeCount = 0; // imploded: 2 or 3
    // The archive's progress of the current entry.
    std::function<void(uint8_t Progress, bool& Abort)> OnProgressHook;
    // A spanned set: makes disk Disk (from 0) the open one, in InStream. Raises to abort.
    std::function<void(uint16_t Disk)> OnChangeDisk;
    bool Spanned = false;
    uint16_t CurrentDisk = 0;

protected:
    virtual void DoProgress(uint8_t Progress, bool& Abort);

private:
    bool NextChunk(const uint8_t*& Data, size_t& Count) override;
    void Write(const uint8_t* Data, size_t Count) override;
    // Hands Count bytes to the sink, the CRC and the progress.
    void Deliver(const uint8_t* Data, size_t Count);
    void Dispatch();

    TStream*& FInStream;
    TAbZDecoder* FDecoder;
    std::unique_ptr<TAbStreamOutput> FStreamOutput; // when the output is a stream
    TAbDecodeOutput& FSink;
    uint32_t FCrc = 0xFFFFFFFF;
    uint8_t FLastProgress = 0;
    uint64_t FOutFlushed = 0;
    uint64_t FInRemaining = 0;
    const uint8_t* FAhead = nullptr;
    size_t FAheadCount = 0;
    int64_t FAheadOffset = 0;
    uint8_t FInBuffer[4096];
};
