#include "archive/Abziptyp.h"

#include "archive/AbConst.h"
#include "archive/AbExcept.h"
#include "archive/AbVMStrm.h"
#include "archive/EntryAttributes.h"
#include "archive/VolumeStream.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/Drives.h"
#include "platform/Files.h"
#include "platform/Find.h"
#include "platform/LittleEndian.h"
#include "platform/ScopeGuard.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <unordered_map>
#include <vector>

namespace {

// Gathers a record's bytes so it reaches the stream in one write.
class TRecordWriter {
public:
    void Put16(uint16_t V) {
        FBytes.push_back(uint8_t(V));
        FBytes.push_back(uint8_t(V >> 8));
    }
    void Put32(uint32_t V) {
        Put16(uint16_t(V));
        Put16(uint16_t(V >> 16));
    }
    // A variable part's length; what does not fit the 16-bit field cannot be written.
    void PutLength(const std::string& S) {
        if (S.size() > 0xFFFF)
            throw EWriteError("Zip record field longer than 65,535 bytes");
        Put16(uint16_t(S.size()));
    }
    void PutBytes(const std::string& S) { FBytes.insert(FBytes.end(), S.begin(), S.end()); }
    void WriteTo(TStream& Stream) const { Stream.WriteBuffer(FBytes.data(), int64_t(FBytes.size())); }

private:
    std::vector<uint8_t> FBytes;
};

// Reads Count bytes into S (the lengths are 16-bit, so the allocation is bounded).
void ReadBytes(TStream& Stream, std::string& S, size_t Count) {
    S.resize(Count);
    if (Count)
        Stream.ReadBuffer(S.data(), int64_t(Count));
}

// The fields both header kinds share, from the version needed onwards.
void ParseCommon(TAbZipFileHeader& H, const uint8_t* P) {
    H.VersionNeededToExtract = GetLe16(P);
    H.GeneralPurposeBitFlag = GetLe16(P + 2);
    H.SetCompressionMethod(GetLe16(P + 4));
    H.LastModFileTime = GetLe16(P + 6);
    H.LastModFileDate = GetLe16(P + 8);
    H.CRC32 = GetLe32(P + 10);
    H.CompressedSize = GetLe32(P + 14);
    H.UncompressedSize = GetLe32(P + 18);
}

void PutCommon(TRecordWriter& W, const TAbZipFileHeader& H) {
    W.Put16(H.VersionNeededToExtract);
    W.Put16(H.GeneralPurposeBitFlag);
    W.Put16(H.CompressionMethod());
    W.Put16(H.LastModFileTime);
    W.Put16(H.LastModFileDate);
    W.Put32(H.CRC32);
    W.Put32(H.CompressedSize);
    W.Put32(H.UncompressedSize);
}

} // namespace

double TAbZipFileHeader::CompressionRatio() const {
    if (UncompressedSize < 1)
        return 0;
    double C = double(CompressedSize) - (IsEncrypted() ? 12.0 : 0.0);
    return (1.0 - C / double(UncompressedSize)) * 100.0;
}

uint8_t TAbZipFileHeader::DictionarySize() const {
    if (FCompressionMethod != cmImploded)
        return 0;
    return (GeneralPurposeBitFlag & 2) ? 2 : 1;
}

uint8_t TAbZipFileHeader::ShannonFanoTreeCount() const {
    if (FCompressionMethod != cmImploded)
        return 0;
    return (GeneralPurposeBitFlag & 4) ? 3 : 2;
}

void TAbZipLocalFileHeader::LoadFromStream(TStream& Stream) {
    uint8_t B[30];
    Stream.ReadBuffer(B, sizeof B);
    FSignature = GetLe32(B);
    ParseCommon(*this, B + 4);
    uint16_t NameLength = GetLe16(B + 26);
    uint16_t ExtraLength = GetLe16(B + 28);
    ReadBytes(Stream, FileName, NameLength);
    ReadBytes(Stream, ExtraField, ExtraLength);
    if (!IsValid())
        throw EAbZipInvalid();
}

void TAbZipLocalFileHeader::SaveToStream(TStream& Stream) const {
    TRecordWriter W;
    W.Put32(ValidSignature());
    PutCommon(W, *this);
    W.PutLength(FileName);
    W.PutLength(ExtraField);
    W.PutBytes(FileName);
    W.PutBytes(ExtraField);
    W.WriteTo(Stream);
}

void TAbZipDirectoryFileHeader::LoadFromStream(TStream& Stream) {
    uint8_t B[46];
    Stream.ReadBuffer(B, sizeof B);
    FSignature = GetLe32(B);
    VersionMadeBy = GetLe16(B + 4);
    ParseCommon(*this, B + 6);
    uint16_t NameLength = GetLe16(B + 28);
    uint16_t ExtraLength = GetLe16(B + 30);
    uint16_t CommentLength = GetLe16(B + 32);
    DiskNumberStart = GetLe16(B + 34);
    InternalFileAttributes = GetLe16(B + 36);
    ExternalFileAttributes = GetLe32(B + 38);
    RelativeOffset = GetLe32(B + 42);
    ReadBytes(Stream, FileName, NameLength);
    ReadBytes(Stream, ExtraField, ExtraLength);
    ReadBytes(Stream, FileComment, CommentLength);
    if (!IsValid())
        throw EAbZipInvalid();
}

void TAbZipDirectoryFileHeader::SaveToStream(TStream& Stream) const {
    TRecordWriter W;
    W.Put32(ValidSignature());
    W.Put16(VersionMadeBy);
    PutCommon(W, *this);
    W.PutLength(FileName);
    W.PutLength(ExtraField);
    W.PutLength(FileComment);
    W.Put16(DiskNumberStart);
    W.Put16(InternalFileAttributes);
    W.Put32(ExternalFileAttributes);
    W.Put32(RelativeOffset);
    W.PutBytes(FileName);
    W.PutBytes(ExtraField);
    W.PutBytes(FileComment);
    W.WriteTo(Stream);
}

void TAbZipDirectoryFileFooter::LoadFromStream(TStream& Stream) {
    uint8_t B[22];
    Stream.ReadBuffer(B, sizeof B);
    FSignature = GetLe32(B);
    DiskNumber = GetLe16(B + 4);
    StartDiskNumber = GetLe16(B + 6);
    EntriesOnDisk = GetLe16(B + 8);
    TotalEntries = GetLe16(B + 10);
    DirectorySize = GetLe32(B + 12);
    DirectoryOffset = GetLe32(B + 16);
    ReadBytes(Stream, ZipfileComment, GetLe16(B + 20));
    if (!IsValid())
        throw EAbZipInvalid();
}

void TAbZipDirectoryFileFooter::SaveToStream(TStream& Stream) const {
    TRecordWriter W;
    W.Put32(ValidSignature());
    W.Put16(DiskNumber);
    W.Put16(StartDiskNumber);
    W.Put16(EntriesOnDisk);
    W.Put16(TotalEntries);
    W.Put32(DirectorySize);
    W.Put32(DirectoryOffset);
    W.PutLength(ZipfileComment);
    W.PutBytes(ZipfileComment);
    W.WriteTo(Stream);
}

void TAbZipDataDescriptor::LoadFromStream(TStream& Stream) {
    uint8_t B[12];
    Stream.ReadBuffer(B, sizeof B);
    CRC32 = GetLe32(B);
    CompressedSize = GetLe32(B + 4);
    UncompressedSize = GetLe32(B + 8);
}

void TAbZipDataDescriptor::SaveToStream(TStream& Stream) const {
    TRecordWriter W;
    W.Put32(CRC32);
    W.Put32(CompressedSize);
    W.Put32(UncompressedSize);
    W.WriteTo(Stream);
}

// ---------------------------------------------------------------------------------------------------------

TAbZipItem::TAbZipItem() = default;

namespace {

// Hosts whose names are in the DOS code page: MS-DOS and FAT, HPFS, NTFS, VFAT.
bool OemHost(uint16_t VersionMadeBy) {
    int Host = VersionMadeBy >> 8;
    return Host == 0 || Host == 6 || Host == 11 || Host == 14;
}

} // namespace

void TAbZipItem::UpdateFileName() {
    const std::string& Raw = FItemInfo.FileName;
    // Other systems store their own names, in practice UTF-8; CP437 stays the fallback so the result is
    // always UTF-8.
    if ((FItemInfo.GeneralPurposeBitFlag & Ab_ZipUtf8NameFlag) ||
        (!OemHost(FItemInfo.VersionMadeBy) && IsUtf8(Raw)))
        FFileName = Raw;
    else
        FFileName = OemToAnsi(Raw);
}

void TAbZipItem::SetFileName(const std::string& Value) {
    std::string Oem;
    if (AnsiToOem(Value, Oem)) {
        FItemInfo.FileName = Oem;
        FItemInfo.GeneralPurposeBitFlag &= uint16_t(~Ab_ZipUtf8NameFlag);
    } else {
        FItemInfo.FileName = Value;
        FItemInfo.GeneralPurposeBitFlag |= Ab_ZipUtf8NameFlag;
    }
    UpdateFileName();
}

void TAbZipItem::SetGeneralPurposeBitFlag(uint16_t Value) {
    FItemInfo.GeneralPurposeBitFlag = Value;
    UpdateFileName();
}

void TAbZipItem::SetVersionMadeBy(uint16_t Value) {
    FItemInfo.VersionMadeBy = Value;
    UpdateFileName();
}

void TAbZipItem::SetCompressedSize(uint64_t Value) {
    FCompressedSize = Value;
    FItemInfo.CompressedSize = uint32_t(std::min<uint64_t>(Value, 0xFFFFFFFFu));
}

void TAbZipItem::SetUncompressedSize(uint64_t Value) {
    FUncompressedSize = Value;
    FItemInfo.UncompressedSize = uint32_t(std::min<uint64_t>(Value, 0xFFFFFFFFu));
}

void TAbZipItem::SetRelativeOffset(uint64_t Value) {
    FRelativeOffset = Value;
    FItemInfo.RelativeOffset = uint32_t(std::min<uint64_t>(Value, 0xFFFFFFFFu));
}

void TAbZipItem::SetDiskNumberStart(uint16_t Value) {
    FDiskNumberStart = Value;
    FItemInfo.DiskNumberStart = Value;
}

void TAbZipItem::SetLastModFileTime(uint16_t Value) {
    FLastModFileTime = Value;
    FItemInfo.LastModFileTime = Value;
}

void TAbZipItem::SetLastModFileDate(uint16_t Value) {
    FLastModFileDate = Value;
    FItemInfo.LastModFileDate = Value;
}

void TAbZipItem::LoadFromStream(TStream& Stream) {
    FItemInfo.LoadFromStream(Stream);
    UpdateFileName();
    FLastModFileTime = FItemInfo.LastModFileTime;
    FLastModFileDate = FItemInfo.LastModFileDate;
    FCompressedSize = FItemInfo.CompressedSize;
    FUncompressedSize = FItemInfo.UncompressedSize;
    FRelativeOffset = FItemInfo.RelativeOffset;
    FDiskNumberStart = FItemInfo.DiskNumberStart;
    ApplyZip64Extra();
    DiskFileName = GetFileName();
    if (DiskFileName.find('\\') != std::string::npos)
        ForwardToBackslash(DiskFileName);
    Action = aaNone;
    Tagged = false;
}

void TAbZipItem::ApplyZip64Extra() {
    const std::string& X = FItemInfo.ExtraField;
    size_t I = 0;
    while (I + 4 <= X.size()) {
        auto P = reinterpret_cast<const uint8_t*>(X.data()) + I;
        uint16_t Tag = GetLe16(P);
        size_t Len = GetLe16(P + 2);
        if (I + 4 + Len > X.size())
            return;
        if (Tag == 0x0001) {
            // Only the saturated fields are present, in this order.
            const uint8_t* Q = P + 4;
            const uint8_t* End = Q + Len;
            auto Take64 = [&](uint64_t& Field) {
                if (Q + 8 <= End) {
                    Field = GetLe64(Q);
                    Q += 8;
                }
            };
            if (FItemInfo.UncompressedSize == 0xFFFFFFFFu)
                Take64(FUncompressedSize);
            if (FItemInfo.CompressedSize == 0xFFFFFFFFu)
                Take64(FCompressedSize);
            if (FItemInfo.RelativeOffset == 0xFFFFFFFFu)
                Take64(FRelativeOffset);
            if (FItemInfo.DiskNumberStart == 0xFFFF && Q + 4 <= End)
                FDiskNumberStart = GetLe32(Q);
            return;
        }
        I += 4 + Len;
    }
}

void TAbZipItem::SaveLFHToStream(TStream& Stream) const {
    TAbZipLocalFileHeader H;
    H.VersionNeededToExtract = FItemInfo.VersionNeededToExtract;
    H.GeneralPurposeBitFlag = FItemInfo.GeneralPurposeBitFlag;
    H.SetCompressionMethod(FItemInfo.CompressionMethod());
    H.LastModFileTime = FItemInfo.LastModFileTime;
    H.LastModFileDate = FItemInfo.LastModFileDate;
    H.CRC32 = FItemInfo.CRC32;
    H.CompressedSize = FItemInfo.CompressedSize;
    H.UncompressedSize = FItemInfo.UncompressedSize;
    H.FileName = FItemInfo.FileName;
    H.ExtraField = FItemInfo.ExtraField;
    H.SaveToStream(Stream);
}

void TAbZipItem::SaveCDHToStream(TStream& Stream, uint64_t AtOffset, uint16_t AtDisk) const {
    TAbZipDirectoryFileHeader H = FItemInfo;
    H.RelativeOffset = uint32_t(AtOffset);
    H.DiskNumberStart = AtDisk;
    H.SaveToStream(Stream);
}

// ---------------------------------------------------------------------------------------------------------

// Reads the central directory through a read-ahead buffer and moves on to the next disk of a spanned set
// when a disk's file is used up, also in the middle of a record. The archive's stream is handed back at
// the exact position reached.
class TAbZipArchive::TDirectoryReader : public TStream {
public:
    TDirectoryReader(TAbZipArchive& AArchive, uint16_t ALastDisk)
        : FArchive(AArchive), FLastDisk(ALastDisk),
          FBuffer(size_t(std::clamp<int64_t>(AArchive.Stream->Size(), 4096, 65536))) {
        Restart();
    }
    ~TDirectoryReader() override {
        if (FArchive.Stream)
            FArchive.Stream->Seek(FBufStart + int64_t(FBufPos), soFromBeginning);
    }

    // Starts over at the position of the archive's (possibly new) stream.
    void Restart() {
        FBufStart = FArchive.Stream->Position();
        FDiskSize = FArchive.Stream->Size();
        FBufPos = FBufLen = 0;
    }
    bool AtDiskEnd() const { return FBufStart + int64_t(FBufPos) >= FDiskSize; }
    void NextDisk() {
        if (FArchive.CurrentDisk >= FLastDisk)
            throw EAbZipInvalid();
        FArchive.ChangeDisk(uint16_t(FArchive.CurrentDisk + 1));
        Restart();
    }

    int64_t Read(void* Buffer, int64_t Count) override {
        auto* Out = static_cast<uint8_t*>(Buffer);
        int64_t Done = 0;
        while (Done < Count) {
            if (FBufPos == FBufLen && !Fill()) {
                if (!FArchive.Spanned || !AtDiskEnd() || FArchive.CurrentDisk >= FLastDisk)
                    break;
                NextDisk();
                continue;
            }
            size_t N = size_t(std::min<int64_t>(Count - Done, int64_t(FBufLen - FBufPos)));
            std::memcpy(Out + Done, FBuffer.data() + FBufPos, N);
            FBufPos += N;
            Done += int64_t(N);
        }
        return Done;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t Offset, int Origin) override {
        if (Offset != 0 || Origin != soFromCurrent)
            throw EAbZipInvalid();
        return FBufStart + int64_t(FBufPos);
    }
    void SetSize(int64_t) override { throw EAbZipInvalid(); }

private:
    bool Fill() {
        FBufStart += int64_t(FBufLen);
        FBufPos = FBufLen = 0;
        if (FArchive.Stream->Seek(FBufStart, soFromBeginning) != FBufStart)
            return false;
        int64_t N = FArchive.Stream->Read(FBuffer.data(), int64_t(FBuffer.size()));
        FBufLen = size_t(std::max<int64_t>(N, 0));
        return FBufLen > 0;
    }

    TAbZipArchive& FArchive;
    uint16_t FLastDisk;
    std::vector<uint8_t> FBuffer;
    int64_t FBufStart = 0;
    int64_t FDiskSize = 0;
    size_t FBufPos = 0;
    size_t FBufLen = 0;
};

TAbZipArchive::TAbZipArchive(const std::string& FileName, uint16_t AMode) : TAbArchive(FileName, AMode) {
    StoreOptions.Include(soStripDrive);
    if ((AMode & 3) == fmOpenRead && AMode != fmCreate) {
        const std::vector<std::string> Pieces = NumberedVolumes(FileName);
        if (Pieces.size() > 1)
            AdoptStream(std::make_unique<TAbVolumeStream>(Pieces));
    }
}

TAbZipArchive::TAbZipArchive(TStream& AStream, const std::string& FileName) : TAbArchive(AStream, FileName) {
    StoreOptions.Include(soStripDrive);
}

TAbZipArchive::~TAbZipArchive() {
    FinishExtraction();
}

void TAbZipArchive::AddFolderStamp(const std::string& Folder, const TAbZipItem& Item) {
    FFolderStamps.push_back({Folder, EntryUnixMode(Item), EntryUnixTime(Item)});
}

void TAbZipArchive::FinishExtraction() {
    // Inner folders first, so that a folder whose permissions forbid writing is the last one touched.
    for (auto It = FFolderStamps.rbegin(); It != FFolderStamps.rend(); ++It)
        StampPath(It->Folder, It->Mode, It->Time);
    FFolderStamps.clear();
}

std::unique_ptr<TAbArchiveItem> TAbZipArchive::CreateItem(const std::string& FileName) {
    auto Item = std::make_unique<TAbZipItem>();
    Item->SetCompressionMethod(cmDeflated);
    Item->DiskFileName = std::filesystem::absolute(FileName).lexically_normal().string();
    std::string Name;
    FixName(FileName, Name);
    Item->SetFileName(Name);
    return Item;
}

void TAbZipArchive::FixName(const std::string& FileName, std::string& NewName) {
    TAbStoreOptions Options = StoreOptions;
    Options.Include(soStripDrive);
    NewName = ApplyStoreOptions(FileName, Options);
}

namespace {

// A file or folder found for adding, by the path it was found under.
struct TFound {
    std::string Path;
    bool Folder;
    int64_t Size;
};

void FindBelow(const std::string& Folder, const std::string& Mask, bool Recurse, std::vector<TFound>& Found) {
    TFileFinder Finder(Folder);
    while (Finder.Next()) {
        if (!Finder.Load())
            continue;
        const TSearchRec& Rec = Finder.Record();
        std::string Path = JoinPath(Folder, Rec.Name);
        if (Rec.Attr & attrDirectory) {
            if (!Recurse)
                continue;
            if (Mask == "*")
                Found.push_back({Path, true, 0});
            FindBelow(Path, Mask, true, Found);
        } else if (!(Rec.Attr & attrSystem) && NameMatchesMask(Rec.Name, Mask)) {
            Found.push_back({Path, false, Rec.Size});
        }
    }
}

} // namespace

void TAbZipArchive::AddFiles(const std::string& FileMask) {
    CheckValid();
    std::string Path = std::filesystem::path(FileMask).lexically_normal().string();
    if (Path.size() > 1 && Path.back() == '/')
        Path.pop_back();
    const bool Recurse = StoreOptions.Contains(soRecurse);
    std::vector<TFound> Found;
    const std::string Name = ExtractFileName(Path);
    if (Name.find_first_of("*?") != std::string::npos) {
        std::string Folder = ExcludeTrailingSlash(ExtractFilePath(Path));
        FindBelow(Folder.empty() ? "." : Folder, Name, Recurse, Found);
    } else {
        TSearchRec Rec;
        if (!FindRecord(Path, Rec))
            throw EAbException(Path + ": no such file or folder", AbFileNotFound);
        if (Rec.Attr & attrSystem)
            throw EAbException(Path + ": not a file or folder that can be added", AbFileNotFound);
        Found.push_back({Path, (Rec.Attr & attrDirectory) != 0, Rec.Size});
        if (Found.back().Folder && Recurse)
            FindBelow(Path, "*", true, Found);
    }

    // Entries by name, so a file added again replaces its entry; names are compared exactly, as the
    // files they came from were told apart.
    std::unordered_map<std::string, TAbArchiveItem*> Live;
    for (int I = 0; I < Count(); ++I)
        if (Items(I)->Action != aaFailed && Items(I)->Action != aaDelete)
            Live[Items(I)->GetFileName()] = Items(I);
    std::vector<std::pair<std::string, std::string>> Adding; // path handed to CreateItem, stored name
    for (const TFound& F : Found) {
        if (!F.Folder && SameFile(F.Path, ArchiveName()))
            continue;
        if (F.Size >= int64_t(0xFFFFFFFF))
            throw EAbZipException(F.Path + ": files of 4 GiB or more cannot be stored in a zip archive",
                                  AbZipStreamFull);
        // A folder's entry is its name with a final "/"; a name that strips to nothing has none.
        std::string Source = std::filesystem::path(F.Path).lexically_normal().string();
        if (F.Folder)
            Source = IncludeTrailingSlash(Source);
        std::string Stored;
        FixName(Source, Stored);
        if (Stored.empty() || Stored == "/" || Stored == "./" || Stored == "../" ||
            (F.Folder && StoreOptions.Contains(soStripPath)))
            continue;
        Live.emplace(Stored, nullptr);
        Adding.emplace_back(Source, Stored);
    }
    if (Live.size() > 0xFFFF)
        throw EAbZipException(
            Format("%d entries would pass the 65,535 a zip archive can hold", {unsigned(Live.size())}),
            AbZipStreamFull);

    for (const auto& [Source, Stored] : Adding) {
        auto Old = Live.find(Stored);
        if (Old != Live.end() && Old->second)
            Old->second->Action = aaDelete;
        std::unique_ptr<TAbArchiveItem> Item = CreateItem(Source);
        Item->Action = aaAdd;
        Live[Stored] = Item.get();
        FItemList.Add(std::move(Item));
        FIsDirty = true;
    }
    if (AutoSave)
        Save();
}

void TAbZipArchive::ExtractItemAt(int Index, const std::string& NewName) {
    if (!ExtractHandler)
        throw EAbZipNoExtraction();
    ExtractHandler(*this, *Items(Index), NewName);
}

namespace {

// The default disk request: a notice answered with OK.
void Prompt(const std::string& Text) {
    ShowMessageBox(Text, AbStrRes(AbDiskRequest), mbOK);
}

// The file of the set's Number-th disk (1 for the first) but the last: BASE.z01, BASE.z02, ...
std::string NumberedDiskFile(const std::string& Base, unsigned Number) {
    const std::string Digits = std::to_string(Number);
    return ResolvePathCase(Base + (Digits.size() < 2 ? ".z0" : ".z") + Digits);
}

} // namespace

void TAbZipArchive::RequestLastDisk(bool& Abort) {
    Abort = false;
    if (OnRequestLastDisk)
        OnRequestLastDisk(this, Abort);
    else
        Prompt(AbStrRes(AbLastDiskRequest));
}

void TAbZipArchive::RequestNthDisk(uint16_t DiskNumber, bool& Abort) {
    Abort = false;
    if (OnRequestNthDisk)
        OnRequestNthDisk(this, DiskNumber, Abort);
    else
        Prompt(Format(AbStrRes(AbDiskNumRequest), {unsigned(DiskNumber)}));
}

void TAbZipArchive::RequestBlankDisk(bool& Abort) {
    Spanned = true;
    Abort = false;
    if (OnRequestBlankDisk)
        OnRequestBlankDisk(this, Abort);
    else
        Prompt(AbStrRes(AbBlankDisk));
}

void TAbZipArchive::AbortOperation() {
    SetStatus(asInvalid);
    throw EAbUserAbort();
}

std::string TAbZipArchive::SetBaseName() const {
    const std::string& Name = ArchiveName();
    std::string Ext = UpperCaseAscii(ExtractFileExt(Name));
    bool Numbered = Ext.size() >= 4 && Ext[1] == 'Z' &&
                    std::all_of(Ext.begin() + 2, Ext.end(), [](char C) { return C >= '0' && C <= '9'; });
    if (Ext != ".ZIP" && !Numbered)
        return "";
    return Name.substr(0, Name.size() - Ext.size());
}

std::string TAbZipArchive::LastDiskFile() const {
    std::string Base = SetBaseName();
    if (Base.empty())
        return "";
    std::string Last = ResolvePathCase(Base + ".zip");
    if (!FileExists(Last))
        return "";
    // Any disk of the set beside it will do: one of them may be missing.
    for (unsigned N = 1; N < 100; ++N)
        if (FileExists(NumberedDiskFile(Base, N)))
            return Last;
    return "";
}

std::string TAbZipArchive::DiskFile(uint16_t Disk) const {
    std::string Last = LastDiskFile();
    if (Last.empty() || Disk == FFooter.DiskNumber)
        return Last;
    // A missing disk then fails to open under its own name.
    return NumberedDiskFile(SetBaseName(), unsigned(Disk) + 1);
}

void TAbZipArchive::ChangeDisk(uint16_t Disk) {
    if (!OwnsStream())
        throw EAbZipBadSpanStream();
    std::string Name = DiskFile(Disk);
    if (Name.empty()) {
        bool Abort = false;
        RequestNthDisk(uint16_t(Disk + 1), Abort);
        if (Abort)
            AbortOperation();
        Name = ArchiveName();
    }
    ReplaceStream(Name, Mode());
    CurrentDisk = Disk;
}

void TAbZipArchive::OpenLastDisk() {
    if (!OwnsStream())
        throw EAbZipBadSpanStream();
    std::string Last = LastDiskFile();
    if (Last.empty()) {
        bool Abort = false;
        RequestLastDisk(Abort);
        if (Abort)
            AbortOperation();
        Last = ArchiveName();
    }
    ReplaceStream(Last, Mode());
}

int64_t TAbZipArchive::FindCentralDirectoryTail(TStream& Stream) {
    // The end record (22 bytes) with a comment of up to 65,535 bytes; data appended after the archive
    // has to fit the same window.
    constexpr int64_t Reach = 22 + 0xFFFF;
    const int64_t Size = Stream.Size();
    const int64_t Start = std::max<int64_t>(0, Size - Reach);
    std::vector<uint8_t> Window(size_t(Size - Start));
    Stream.Seek(Start, soFromBeginning);
    if (!Window.empty())
        Stream.ReadBuffer(Window.data(), int64_t(Window.size()));
    // Nearest the end first; a signature whose record would not fit in the file is part of something else.
    for (int64_t I = int64_t(Window.size()) - 22; I >= 0; --I) {
        const uint8_t* P = Window.data() + I;
        if (GetLe32(P) == Ab_ZipEndCentralDirectorySignature &&
            I + 22 + int64_t(GetLe16(P + 20)) <= int64_t(Window.size())) {
            Stream.Seek(Start + I, soFromBeginning);
            return Start + I;
        }
    }
    throw EAbZipInvalid();
}

namespace {

// What a zip64 end record adds to the classic one: where the directory really ends, and the counts and
// offset the classic fields could not hold.
struct TZip64End {
    int64_t Position = -1;
    uint64_t TotalEntries = 0;
    uint64_t DirectorySize = 0;
    uint64_t DirectoryOffset = 0;
};

TZip64End ReadZip64End(TStream& Stream, int64_t Tail) {
    TZip64End R;
    if (Tail < 20)
        return R;
    uint8_t Loc[20];
    Stream.Seek(Tail - 20, soFromBeginning);
    Stream.ReadBuffer(Loc, sizeof Loc);
    if (GetLe32(Loc) != Ab_Zip64EndCentralDirectoryLocatorSignature)
        return R;
    uint8_t Rec[56];
    auto RecordAt = [&](uint64_t At) {
        if (At > uint64_t(Tail - 20) || uint64_t(Tail - 20) - At < sizeof Rec)
            return false;
        Stream.Seek(int64_t(At), soFromBeginning);
        Stream.ReadBuffer(Rec, sizeof Rec);
        return GetLe32(Rec) == Ab_Zip64EndCentralDirectorySignature;
    };
    // Where the locator says, else right before it: a program put in front of the archive shifts every
    // stated offset.
    uint64_t At = GetLe64(Loc + 8);
    if (!RecordAt(At) && !RecordAt(At = uint64_t(Tail - 20) - sizeof Rec))
        throw EAbZipInvalid();
    R.Position = int64_t(At);
    R.TotalEntries = GetLe64(Rec + 32);
    R.DirectorySize = GetLe64(Rec + 40);
    R.DirectoryOffset = GetLe64(Rec + 48);
    return R;
}

} // namespace

void TAbZipArchive::LoadArchive() {
    FItemList.Clear();
    Spanned = false;
    IsExecutable = false;
    if (Stream->Size() == 0)
        return;
    DetectArchiveKind();
    if (Spanned)
        OpenLastDisk();
    const TDirectoryPlace Place = ReadEndRecords();
    if (Spanned && FFooter.DiskNumber != FFooter.StartDiskNumber)
        ChangeDisk(FFooter.StartDiskNumber);
    Stream->Seek(int64_t(std::min<uint64_t>(Place.Offset + uint64_t(Place.Shift),
                                            uint64_t(std::numeric_limits<int64_t>::max()))),
                 soFromBeginning);
    ReadDirectory(Place);
    FIsDirty = false;
}

void TAbZipArchive::DetectArchiveKind() {
    uint8_t Start[4] = {};
    Stream->Seek(0, soFromBeginning);
    int64_t Got = Stream->Read(Start, 4);
    IsExecutable = Got >= 2 && Start[0] == 'M' && Start[1] == 'Z';
    bool LooksZip = Got >= 2 && Start[0] == 'P' && Start[1] == 'K';
    if (LooksZip && Got == 4) {
        uint32_t Sig = GetLe32(Start);
        if (Sig == Ab_ZipSpannedSetSignature || Sig == Ab_ZipCentralDirectorySignature)
            Spanned = true;
        // An end record at the start belongs to the last disk of a set, unless it says disk 0 of a set of
        // one with no entries: an empty archive.
        if (Sig == Ab_ZipEndCentralDirectorySignature) {
            uint8_t End[22] = {};
            Stream->Seek(0, soFromBeginning);
            Stream->Read(End, sizeof End);
            Spanned = GetLe16(End + 4) != 0 || GetLe16(End + 6) != 0 || GetLe16(End + 10) != 0;
        }
    }
}

TAbZipArchive::TDirectoryPlace TAbZipArchive::ReadEndRecords() {
    int64_t Tail = FindCentralDirectoryTail(*Stream);
    FFooter.LoadFromStream(*Stream);
    // A disk number in the end record marks a set, whatever the last disk begins with. A file that says
    // disk 0 is whole, also when something other than an archive or a program comes first.
    if (FFooter.DiskNumber != 0 || FFooter.StartDiskNumber != 0)
        Spanned = true;
    CurrentDisk = FFooter.DiskNumber;

    TDirectoryPlace Place{Tail, FFooter.TotalEntries, FFooter.DirectoryOffset, 0};
    uint64_t DirectorySize = FFooter.DirectorySize;
    TZip64End Zip64 = ReadZip64End(*Stream, Tail);
    if (Zip64.Position >= 0) {
        Place.End = Zip64.Position;
        if (FFooter.TotalEntries == 0xFFFF)
            Place.TotalEntries = Zip64.TotalEntries;
        if (FFooter.DirectoryOffset == 0xFFFFFFFFu)
            Place.Offset = Zip64.DirectoryOffset;
        if (FFooter.DirectorySize == 0xFFFFFFFFu)
            DirectorySize = Zip64.DirectorySize;
    }
    if (!Spanned)
        Place.Shift = OffsetShift(Place, DirectorySize);
    return Place;
}

int64_t TAbZipArchive::OffsetShift(const TDirectoryPlace& Place, uint64_t DirectorySize) {
    if (DirectorySize > uint64_t(Place.End))
        return 0;
    // No entries: nothing to read, wherever the stated offset points.
    if (Place.TotalEntries == 0)
        return DirectorySize == 0 ? int64_t(uint64_t(Place.End) - Place.Offset) : 0;
    const uint64_t Actual = uint64_t(Place.End) - DirectorySize;
    auto DirectoryAt = [this](uint64_t Offset) {
        uint8_t Sig[4] = {};
        if (Offset > uint64_t(std::numeric_limits<int64_t>::max()) - 4)
            return false;
        Stream->Seek(int64_t(Offset), soFromBeginning);
        return Stream->Read(Sig, 4) == 4 && GetLe32(Sig) == Ab_ZipCentralDirectorySignature;
    };
    // A program put in front of an archive that was not adjusted for it: the stated offsets are short by
    // the program's length. The directory really ends where the end records begin.
    if (Actual <= Place.Offset || DirectoryAt(Place.Offset) || !DirectoryAt(Actual))
        return 0;
    return int64_t(Actual - Place.Offset);
}

void TAbZipArchive::ReadDirectory(const TDirectoryPlace& Place) {
    uint64_t MinOffset = std::numeric_limits<int32_t>::max();
    uint64_t Count = 0;
    {
        TDirectoryReader In(*this, FFooter.DiskNumber);
        while (In.Position() != Place.End || CurrentDisk != FFooter.DiskNumber) {
            if (Spanned && In.AtDiskEnd()) {
                In.NextDisk();
                continue;
            }
            // Records where the end record counts none: the directory cannot be trusted.
            if (Place.TotalEntries == 0)
                throw EAbZipInvalid();
            auto Item = std::make_unique<TAbZipItem>();
            Item->LoadFromStream(In);
            if (Place.Shift != 0)
                Item->SetRelativeOffset(Item->RelativeOffset() + uint64_t(Place.Shift));
            if (IsExecutable)
                MinOffset = std::min(MinOffset, Item->RelativeOffset());
            FItemList.Add(std::move(Item));
            ++Count;
            bool Abort = false;
            DoArchiveProgress(uint8_t(std::min<uint64_t>(Count * 100 / Place.TotalEntries, 100)), Abort);
            if (Abort)
                AbortOperation();
        }
    }
    bool Ignored = false;
    DoArchiveProgress(100, Ignored);
    if (IsExecutable)
        StubSize = MinOffset;
}

namespace {

bool OnRemovableDrive(const std::string& FileName) {
    TMount Drive;
    std::string Folder = ExtractFilePath(FileName);
    return DriveOfFolder(MountTable(), Folder.empty() ? "." : Folder, Drive) && Drive.Type == dtRemovable;
}

// The classic records cannot hold more: such an archive is not written at all.
uint32_t Fits32(int64_t Value) {
    if (Value < 0 || Value > int64_t(0xFFFFFFFFu))
        throw EAbZipException("The archive would pass 4 GiB, more than a zip archive can hold",
                              AbZipStreamFull);
    return uint32_t(Value);
}

} // namespace

void TAbZipArchive::SaveArchive() {
    if (Count() == 0)
        return;
    if (Spanned)
        throw EAbZipSpanOverwrite();

    // A new archive on a removable disk is written in place, marked as a single disk; everything else
    // goes to a temporary file first.
    std::string TempName;
    TScopeGuard RemoveTemp([&TempName] {
        if (!TempName.empty())
            DeleteFile(TempName);
    });
    std::unique_ptr<TStream> TempStream;
    std::string Target;
    TStream* Out = Stream;
    if (Stream->Size() == 0 && OnRemovableDrive(ArchiveName())) {
        const uint8_t Marker[4] = {0x50, 0x4B, 0x30, 0x30};
        Out->WriteBuffer(Marker, 4);
    } else {
        // An archive file the object may write is replaced by renaming a new file over it, so that a
        // failure at any point (a full disk) leaves the old archive whole. The new file is made beside
        // the archive (links followed) for that; elsewhere it is copied over the archive at the end.
        std::string Folder = TempFolder();
        if (OwnsStream() && (Mode() & 3) != fmOpenRead) {
            std::error_code Error;
            Target = std::filesystem::canonical(ArchiveName(), Error).string();
            if (!Error && FolderWritable(ExtractFilePath(Target)))
                Folder = ExcludeTrailingSlash(ExtractFilePath(Target));
            else
                Target.clear();
        }
        TempName = CreateUniqueTempFile(Folder, Target.empty() ? "abr" : ".abr");
        if (TempName.empty())
            throw EFCreateError("Cannot create a temporary file in " + Folder);
        TempStream = std::make_unique<TFileStream>(TempName, fmOpenReadWrite);
        Out = TempStream.get();
    }
    if (IsExecutable && StubSize > 0) {
        Stream->Seek(0, soFromBeginning);
        Out->CopyFrom(*Stream, int64_t(StubSize));
    }

    // The entries learn their new places only once the archive was replaced: a failure on the way leaves
    // them describing the file as it still is.
    std::vector<int64_t> NewOffsets(size_t(Count()), -1);
    bool Abort = false;
    for (int I = 0; I < Count(); ++I) {
        TAbZipItem* Item = Items(I);
        CurrentItem = Item;
        if (Item->Action == aaFailed || Item->Action == aaDelete)
            continue;
        int64_t Offset = Out->Position();
        if (Item->Action == aaAdd || Item->Action == aaFreshen) {
            if (!InsertHandler)
                throw EAbZipNoInsertion();
            TAbVirtualMemoryStream Data;
            InsertHandler(*this, *Item, Data);
            Item->SaveLFHToStream(*Out);
            if (Data.Size() > 0)
                Out->CopyFrom(Data, 0);
        } else {
            Stream->Seek(int64_t(Item->RelativeOffset()), soFromBeginning);
            TAbZipLocalFileHeader Old;
            Old.LoadFromStream(*Stream);
            Item->SaveLFHToStream(*Out);
            if (Item->GetCompressedSize() > 0)
                Out->CopyFrom(*Stream, int64_t(Item->GetCompressedSize()));
        }
        if (Item->CompressionMethod() == cmDeflated && (Item->GeneralPurposeBitFlag() & 8)) {
            TAbZipDataDescriptor D;
            D.CRC32 = Item->CRC32();
            D.CompressedSize = Fits32(int64_t(Item->GetCompressedSize()));
            D.UncompressedSize = Fits32(int64_t(Item->GetUncompressedSize()));
            D.SaveToStream(*Out);
        }
        NewOffsets[size_t(I)] = Fits32(Offset);
        DoArchiveProgress(PercentOf(int64_t(I + 1) * 9, int64_t(Count()) * 10), Abort);
        if (Abort)
            AbortOperation();
    }

    int64_t DirectoryStart = Out->Position();
    int Written = 0;
    for (int I = 0; I < Count(); ++I) {
        TAbZipItem* Item = Items(I);
        if (NewOffsets[size_t(I)] < 0)
            continue;
        Item->SaveCDHToStream(*Out, uint64_t(NewOffsets[size_t(I)]), CurrentDisk);
        ++Written;
        DoArchiveProgress(uint8_t(90 + PercentOf(I + 1, Count()) / 20), Abort);
    }
    if (Written > 0xFFFF)
        throw EAbZipException(Format("%d entries would pass the 65,535 a zip archive can hold", {Written}),
                              AbZipStreamFull);
    FFooter.DiskNumber = FFooter.StartDiskNumber = CurrentDisk;
    FFooter.EntriesOnDisk = FFooter.TotalEntries = uint16_t(Written);
    FFooter.DirectorySize = Fits32(Out->Position() - DirectoryStart);
    FFooter.DirectoryOffset = Fits32(DirectoryStart);
    FFooter.SaveToStream(*Out);

    if (!Target.empty()) {
        TempStream.reset();
        ReplaceFile(TempName, Target);
        TempName.clear();
        ReplaceStream(ArchiveName(), Mode());
    } else if (TempStream) {
        if (auto* Memory = dynamic_cast<TMemoryStream*>(Stream)) {
            Memory->LoadFromStream(*TempStream);
        } else if (auto* File = dynamic_cast<THandleStream*>(Stream)) {
            File->Seek(0, soFromBeginning);
            File->CopyFrom(*TempStream, 0);
            TruncateFileStream(*File, TempStream->Size());
        } else {
            throw EAbBadStream();
        }
    }

    for (int I = Count() - 1; I >= 0; --I) {
        if (NewOffsets[size_t(I)] >= 0) {
            Items(I)->SetRelativeOffset(uint64_t(NewOffsets[size_t(I)]));
            Items(I)->SetDiskNumberStart(CurrentDisk);
        }
        if (Items(I)->Action == aaDelete)
            FItemList.Delete(I);
        else if (Items(I)->Action != aaFailed)
            Items(I)->Action = aaNone;
    }
    DoArchiveProgress(100, Abort);
}
