#pragma once
// Zip records (local header, directory record, end record, data descriptor), the zip entry and the zip
// archive: finding and reading the directory of plain archives, self-extracting programs and spanned sets.

#include "archive/AbArcTyp.h"
#include "archive/AbZipCry.h"
#include "platform/Classes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

constexpr uint32_t Ab_ZipLocalFileHeaderSignature = 0x04034B50;
constexpr uint32_t Ab_ZipCentralDirectorySignature = 0x02014B50;
constexpr uint32_t Ab_ZipEndCentralDirectorySignature = 0x06054B50;
constexpr uint32_t Ab_ZipSpannedSetSignature = 0x08074B50;
constexpr uint32_t Ab_ZipPossiblySpannedSignature = 0x30304B50;
constexpr uint32_t Ab_Zip64EndCentralDirectorySignature = 0x06064B50;
constexpr uint32_t Ab_Zip64EndCentralDirectoryLocatorSignature = 0x07064B50;

// Compression methods, as stored in the records.
enum TAbZipMethod : uint16_t {
    cmStored = 0,
    cmShrunk = 1,
    cmReduced1 = 2, // to cmReduced4 = 5: reduced with factors 1 to 4
    cmReduced4 = 5,
    cmImploded = 6,
    cmTokenized = 7,
    cmDeflated = 8,
    cmEnhancedDeflated = 9,
    cmDCLImploded = 10,
    cmBestMethod = 11, // a request when writing: the smaller of stored and deflated
};

// General-purpose flag bit 11: the name and comment are UTF-8.
constexpr uint16_t Ab_ZipUtf8NameFlag = 0x0800;

// The part local headers and directory records share.
class TAbZipFileHeader {
public:
    virtual ~TAbZipFileHeader() = default;

    uint32_t Signature() const { return FSignature; }
    uint32_t ValidSignature() const { return FValidSignature; }
    bool IsValid() const { return FSignature == FValidSignature; }

    uint16_t CompressionMethod() const { return FCompressionMethod; }
    void SetCompressionMethod(uint16_t Value) { FCompressionMethod = Value & 0x7F; }
    bool IsEncrypted() const { return (GeneralPurposeBitFlag & 1) != 0; }
    // Percent saved, the encryption header not counted.
    double CompressionRatio() const;
    // Imploded entries: 1 for a 4 KB dictionary, 2 for 8 KB; 0 for other methods.
    uint8_t DictionarySize() const;
    // Imploded entries: 2 or 3 trees; 0 for other methods.
    uint8_t ShannonFanoTreeCount() const;

    uint16_t VersionNeededToExtract = 0;
    uint16_t GeneralPurposeBitFlag = 0;
    uint16_t LastModFileTime = 0;
    uint16_t LastModFileDate = 0;
    uint32_t CRC32 = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    std::string FileName;   // bytes as stored
    std::string ExtraField; // raw bytes; empty when absent

protected:
    explicit TAbZipFileHeader(uint32_t AValidSignature) : FValidSignature(AValidSignature) {}
    TAbZipFileHeader(const TAbZipFileHeader&) = default;
    TAbZipFileHeader& operator=(const TAbZipFileHeader&) = default;

    uint32_t FSignature = 0;

private:
    uint32_t FValidSignature;
    uint16_t FCompressionMethod = 0;
};

class TAbZipLocalFileHeader : public TAbZipFileHeader {
public:
    TAbZipLocalFileHeader() : TAbZipFileHeader(Ab_ZipLocalFileHeaderSignature) {}
    // Reads the record at the stream's position and leaves the stream directly after it. A wrong
    // signature raises EAbZipInvalid once the whole record is read.
    void LoadFromStream(TStream& Stream);
    void SaveToStream(TStream& Stream) const;
};

class TAbZipDirectoryFileHeader : public TAbZipFileHeader {
public:
    TAbZipDirectoryFileHeader() : TAbZipFileHeader(Ab_ZipCentralDirectorySignature) {}
    void LoadFromStream(TStream& Stream);
    void SaveToStream(TStream& Stream) const;

    uint16_t VersionMadeBy = 0;
    uint16_t DiskNumberStart = 0;
    uint16_t InternalFileAttributes = 0;
    uint32_t ExternalFileAttributes = 0;
    uint32_t RelativeOffset = 0;
    std::string FileComment; // raw bytes; empty when absent
};

// End of central directory.
class TAbZipDirectoryFileFooter {
public:
    void LoadFromStream(TStream& Stream);
    void SaveToStream(TStream& Stream) const;
    uint32_t Signature() const { return FSignature; }
    uint32_t ValidSignature() const { return Ab_ZipEndCentralDirectorySignature; }
    bool IsValid() const { return FSignature == Ab_ZipEndCentralDirectorySignature; }

    uint16_t DiskNumber = 0;
    uint16_t StartDiskNumber = 0;
    uint16_t EntriesOnDisk = 0;
    uint16_t TotalEntries = 0;
    uint32_t DirectorySize = 0;
    uint32_t DirectoryOffset = 0;
    std::string ZipfileComment;

private:
    uint32_t FSignature = 0;
};

// Written after the data of an entry whose sizes were not known in advance.
class TAbZipDataDescriptor {
public:
    void LoadFromStream(TStream& Stream);
    void SaveToStream(TStream& Stream) const;

    uint32_t CRC32 = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
};

class TAbZipItem : public TAbArchiveItem {
public:
    TAbZipItem();

    // GetFileName gives the name in UTF-8: names flagged UTF-8, and UTF-8 names from systems other than
    // DOS and Windows, pass unchanged; the others are converted from CP437.
    void SetCompressedSize(uint64_t Value) override;
    // Stores CP437 when every character fits, else UTF-8 with flag bit 11 set.
    void SetFileName(const std::string& Value) override;
    void SetUncompressedSize(uint64_t Value) override;
    void SetLastModFileTime(uint16_t Value) override;
    void SetLastModFileDate(uint16_t Value) override;

    // Reads the directory record at the stream's position.
    void LoadFromStream(TStream& Stream);
    // Writes the local header built from the entry.
    void SaveLFHToStream(TStream& Stream) const;
    // Writes the directory record of the entry with its local header at AtOffset of disk AtDisk.
    void SaveCDHToStream(TStream& Stream, uint64_t AtOffset, uint16_t AtDisk) const;

    uint16_t CompressionMethod() const { return FItemInfo.CompressionMethod(); }
    double CompressionRatio() const { return FItemInfo.CompressionRatio(); }
    uint32_t CRC32() const { return FItemInfo.CRC32; }
    uint8_t DictionarySize() const { return FItemInfo.DictionarySize(); }
    uint8_t ShannonFanoTreeCount() const { return FItemInfo.ShannonFanoTreeCount(); }
    uint16_t GeneralPurposeBitFlag() const { return FItemInfo.GeneralPurposeBitFlag; }
    bool IsEncrypted() const { return FItemInfo.IsEncrypted(); }
    uint32_t DiskNumberStart() const { return FDiskNumberStart; }
    uint32_t ExternalFileAttributes() const { return FItemInfo.ExternalFileAttributes; }
    uint16_t InternalFileAttributes() const { return FItemInfo.InternalFileAttributes; }
    const std::string& ExtraField() const { return FItemInfo.ExtraField; }
    const std::string& FileComment() const { return FItemInfo.FileComment; }
    // Offset of the local header within the file of disk DiskNumberStart.
    uint64_t RelativeOffset() const { return FRelativeOffset; }
    uint16_t VersionMadeBy() const { return FItemInfo.VersionMadeBy; }
    uint16_t VersionNeededToExtract() const { return FItemInfo.VersionNeededToExtract; }
    // The stored name bytes.
    const std::string& RawFileName() const { return FItemInfo.FileName; }

    void SetCompressionMethod(uint16_t Value) { FItemInfo.SetCompressionMethod(Value); }
    void SetCRC32(uint32_t Value) { FItemInfo.CRC32 = Value; }
    void SetGeneralPurposeBitFlag(uint16_t Value);
    void SetDiskNumberStart(uint16_t Value);
    void SetExternalFileAttributes(uint32_t Value) { FItemInfo.ExternalFileAttributes = Value; }
    void SetInternalFileAttributes(uint16_t Value) { FItemInfo.InternalFileAttributes = Value; }
    void SetExtraField(const std::string& Value) { FItemInfo.ExtraField = Value; }
    void SetFileComment(const std::string& Value) { FItemInfo.FileComment = Value; }
    void SetRelativeOffset(uint64_t Value);
    void SetVersionMadeBy(uint16_t Value);
    void SetVersionNeededToExtract(uint16_t Value) { FItemInfo.VersionNeededToExtract = Value; }

    // Decryption state of an encrypted entry, made when it is extracted.
    std::unique_ptr<TAbZDecoder> Decoder;

private:
    // The name in UTF-8 from the stored bytes, the flags and the host that made the entry.
    void UpdateFileName();
    // Takes the 64-bit sizes, offset and disk from a zip64 extra field where the record is saturated.
    void ApplyZip64Extra();

    TAbZipDirectoryFileHeader FItemInfo;
    uint64_t FRelativeOffset = 0;
    uint32_t FDiskNumberStart = 0;
};

class TAbZipArchive;

enum TAbZipSupportedMethod { smStored, smDeflated, smBestMethod };
enum TAbZipDeflationOption { doNormal, doMaximum, doFast, doSuperFast };

using TAbItemExtractHandler =
    std::function<void(TAbZipArchive& Sender, TAbZipItem& Item, const std::string& NewName)>;
using TAbItemInsertHandler = std::function<void(TAbZipArchive& Sender, TAbZipItem& Item, TStream& OutStream)>;
using TAbRequestDiskEvent = std::function<void(void* Sender, bool& Abort)>;
using TAbRequestNthDiskEvent = std::function<void(void* Sender, uint16_t DiskNumber, bool& Abort)>;

class TAbZipArchive : public TAbArchive {
public:
    // Opens FileName with Mode (fmOpenRead, fmShareDenyNone, fmOpenReadWrite | fmShareDenyWrite, fmCreate).
    TAbZipArchive(const std::string& FileName, uint16_t AMode);
    // Reads an archive from a stream the caller keeps (a spanned set then cannot change disks).
    TAbZipArchive(TStream& AStream, const std::string& FileName);
    ~TAbZipArchive() override;

    TAbZipItem* Items(int Index) const { return static_cast<TAbZipItem*>(FItemList.Items(Index)); }
    const TAbZipDirectoryFileFooter& Footer() const { return FFooter; }

    void FixName(const std::string& FileName, std::string& NewName) override;

    // Marks for adding the file or folder FileMask names, or the files its name part matches ("src/*.c"
    // without regard to case); soRecurse takes what lies below folders too, with their folder entries.
    // An entry of the same name is replaced. The archive's own file, links to folders and special files
    // are left out. A missing file, a file of 4 GiB or more and more than 65,535 entries raise before
    // anything is marked. The entries are written by Save (InsertHandler compresses them).
    void AddFiles(const std::string& FileMask);

    // The offset of the end record's signature, the one nearest the end of the last 65,557 bytes whose
    // record fits in the file; the stream is left there. None raises EAbZipInvalid.
    static int64_t FindCentralDirectoryTail(TStream& Stream);

    virtual void RequestLastDisk(bool& Abort);
    // DiskNumber counts from 1.
    virtual void RequestNthDisk(uint16_t DiskNumber, bool& Abort);
    virtual void RequestBlankDisk(bool& Abort);
    // Makes disk Disk (from 0) of a spanned set the open one. When the set's disks lie beside the last one
    // as NAME.z01, NAME.z02, ... its own file is opened; otherwise the disk is asked for (RequestNthDisk)
    // and ArchiveName opened again. Abort makes the archive invalid and raises EAbUserAbort.
    void ChangeDisk(uint16_t Disk);
    // Folder was made for Item; it gets the entry's time and permissions when ExtractFiles has finished
    // (or the archive is freed), since writing into it changes its time.
    void AddFolderStamp(const std::string& Folder, const TAbZipItem& Item);

    uint64_t StubSize = 0;
    TAbZipSupportedMethod CompressionMethodToUse = smBestMethod;
    TAbZipDeflationOption DeflationOption = doNormal;
    TAbItemExtractHandler ExtractHandler;
    TAbItemInsertHandler InsertHandler;
    bool IsExecutable = false;
    TAbNeedPasswordEvent OnNeedPassword;
    std::string Password;
    uint8_t PasswordRetries = 3;
    bool Spanned = false;
    uint16_t CurrentDisk = 0;
    TAbRequestDiskEvent OnRequestLastDisk;
    TAbRequestNthDiskEvent OnRequestNthDisk;
    TAbRequestDiskEvent OnRequestBlankDisk;

protected:
    std::unique_ptr<TAbArchiveItem> CreateItem(const std::string& FileName) override;
    void ExtractItemAt(int Index, const std::string& NewName) override;
    void LoadArchive() override;
    void SaveArchive() override;
    void FinishExtraction() override;

private:
    class TDirectoryReader;
    // Where the central directory lies, as the end records tell.
    struct TDirectoryPlace {
        int64_t End;
        uint64_t TotalEntries;
        uint64_t Offset;
        // Added to every stated offset: the length of a program put in front of the archive without
        // adjusting it.
        int64_t Shift;
    };

    // The steps of LoadArchive. Sets IsExecutable, and Spanned for a file that begins like a disk of a
    // set.
    void DetectArchiveKind();
    // Reads the end record (and the zip64 one when present); a disk number there marks a set too.
    TDirectoryPlace ReadEndRecords();
    int64_t OffsetShift(const TDirectoryPlace& Place, uint64_t DirectorySize);
    // Reads every directory record from the stream's position, reporting progress; sets StubSize.
    void ReadDirectory(const TDirectoryPlace& Place);

    // Brings the last disk of a spanned set in after the first one was opened.
    void OpenLastDisk();
    // The file of disk Disk when the set's disks are files of their own (NAME.z01 ... NAME.zip); empty
    // otherwise.
    std::string DiskFile(uint16_t Disk) const;
    std::string LastDiskFile() const;
    // The part of ArchiveName before ".zip" or ".zNN"; empty when it has neither.
    std::string SetBaseName() const;
    void AbortOperation();

    TAbZipDirectoryFileFooter FFooter;
    struct TFolderStamp {
        std::string Folder;
        uint32_t Mode;
        int64_t Time;
    };
    std::vector<TFolderStamp> FFolderStamps;
};
