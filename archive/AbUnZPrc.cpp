#include "archive/AbUnZPrc.h"

#include "archive/AbBufStm.h"
#include "archive/AbExcept.h"
#include "archive/AbUtils.h"
#include "archive/Abziptyp.h"
#include "archive/EntryAttributes.h"
#include "archive/Explode.h"
#include "archive/Inflate.h"
#include "archive/Unreduce.h"
#include "archive/Unshrink.h"
#include "platform/Files.h"
#include "platform/LittleEndian.h"
#include "platform/ScopeGuard.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kOutPiece = 32768;

} // namespace

// The decoded bytes into a stream, through a buffer so that small pieces cost no call each.
class TAbStreamOutput : public TAbDecodeOutput {
public:
    explicit TAbStreamOutput(TStream& Stream) : FWriter(Stream, uint32_t(kOutPiece)) {}
    void Write(const uint8_t* Data, size_t Count) override { FWriter.WriteBuffer(Data, int64_t(Count)); }
    // Writes what is pending; raises when the stream takes less.
    void Flush() { FWriter.Flush(); }

private:
    TAbBufferedStream FWriter;
};

namespace {

// Name with its empty, "." and ".." parts dropped: a relative path that stays below where it is joined.
std::string SafeRelativePath(const std::string& Name) {
    std::string Path;
    size_t Start = 0;
    while (Start <= Name.size()) {
        size_t End = Name.find('/', Start);
        if (End == std::string::npos)
            End = Name.size();
        const std::string Part = Name.substr(Start, End - Start);
        if (!Part.empty() && Part != "." && Part != "..")
            Path += (Path.empty() ? "" : "/") + Part;
        Start = End + 1;
    }
    return Path;
}

// The folder Path lies in must be there, or be made with eoCreateDirs.
void PrepareFolder(const TAbZipArchive& Archive, const std::string& Path) {
    const std::string Folder = ExcludeTrailingSlash(ExtractFilePath(Path));
    if (Folder.empty() || DirectoryExists(Folder))
        return;
    if (!Archive.ExtractOptions.Contains(eoCreateDirs))
        throw EAbNoSuchDirectory();
    CreateDirectoryPath(Folder);
}

// Refuses a method we do not decode, and makes the entry's disk of a spanned set the open one. The version
// an entry states says nothing we need: its method decides.
void CheckDisk(TAbZipArchive& Archive, TAbZipItem& Item) {
    CheckMethodDecoded(Item);
    if (Archive.Spanned && Archive.CurrentDisk != Item.DiskNumberStart())
        Archive.ChangeDisk(uint16_t(Item.DiskNumberStart()));
}

// Moves the archive's stream to the entry's data.
void SeekToData(TAbZipArchive& Archive, TAbZipItem& Item) {
    Archive.Stream->Seek(int64_t(Item.RelativeOffset()), soFromBeginning);
    TAbZipLocalFileHeader().LoadFromStream(*Archive.Stream);
}

// The local header and the first bytes of the entry's data read together, so that a small entry costs
// one read. Only for a plain entry in a file (not encrypted, not spanned); otherwise, or when the header
// does not come whole, nothing is read and Load is false.
struct TReadAhead {
    std::vector<uint8_t> Bytes;
    size_t DataAt = 0;      // where the data starts in Bytes
    int64_t DataOffset = 0; // and in the file

    bool Load(TAbZipArchive& Archive, TAbZipItem& Item) {
        auto* File = dynamic_cast<THandleStream*>(Archive.Stream);
        if (!File || Archive.Spanned || Item.IsEncrypted())
            return false;
        // The local name and extra field are usually those of the directory; a margin for the rest.
        const size_t Header = 30 + Item.RawFileName().size() + Item.ExtraField().size() + 64;
        Bytes.resize(Header + size_t(std::min<uint64_t>(Item.GetCompressedSize(), 4096)));
        const int64_t Got = File->ReadAt(Bytes.data(), int64_t(Bytes.size()), int64_t(Item.RelativeOffset()));
        // A bad or cut header is read again the usual way, which reports it. Only its lengths matter here.
        if (Got < 30 || GetLe32(Bytes.data()) != Ab_ZipLocalFileHeaderSignature)
            return false;
        DataAt = 30 + size_t(GetLe16(Bytes.data() + 26)) + GetLe16(Bytes.data() + 28);
        if (DataAt > size_t(Got))
            return false;
        Bytes.resize(size_t(Got));
        DataOffset = int64_t(Item.RelativeOffset()) + int64_t(DataAt);
        return true;
    }
};

// Decodes the entry, the stream standing at its data, into Sink and checks its CRC-32.
void DecodeChecked(TAbZipArchive& Archive, TAbZipItem& Item, TAbDecodeOutput& Sink,
                   const TReadAhead* Ahead = nullptr) {
    if (Item.IsEncrypted()) {
        Item.Decoder = std::make_unique<TAbZDecoder>(Archive.Password, true, Item.CRC32(), Archive.Stream);
        // Writers that put a data descriptor after the data check the password against the time instead.
        if (Item.GeneralPurposeBitFlag() & 8)
            Item.Decoder->SetDescriptorCheck(Item.LastModFileTime());
        Item.Decoder->OnNeedPassword = Archive.OnNeedPassword;
        Item.Decoder->SetPasswordRetries(Archive.PasswordRetries);
    }
    TAbUnzipHelper Helper(Archive.Stream, Item.Decoder.get(), Sink);
    Helper.DictionarySize = Item.DictionarySize();
    Helper.ShannonFanoTreeCount = Item.ShannonFanoTreeCount();
    Helper.CompressedSize = Item.GetCompressedSize();
    Helper.UncompressedSize = Item.GetUncompressedSize();
    Helper.Method = Item.CompressionMethod();
    if (Ahead)
        Helper.ReadAhead(Ahead->Bytes.data() + Ahead->DataAt, Ahead->Bytes.size() - Ahead->DataAt,
                         Ahead->DataOffset);
    Helper.OnProgressHook = [&Archive](uint8_t Progress, bool& Abort) {
        Archive.DoCurrentItemProgress(Progress, Abort);
    };
    if (Archive.Spanned) {
        Helper.Spanned = true;
        Helper.CurrentDisk = Archive.CurrentDisk;
        Helper.OnChangeDisk = [&Archive](uint16_t Disk) { Archive.ChangeDisk(Disk); };
    }
    try {
        if (Helper.Decompress() != Item.CRC32())
            throw EAbZipBadCRC();
    } catch (const EAbUserAbort&) {
        Archive.SetStatus(asInvalid);
        throw;
    }
}

// Decodes the entry into the file OutName and checks it.
void ExtractToFile(TAbZipArchive& Archive, TAbZipItem& Item, const std::string& OutName) {
    // A file being replaced stays as it was until the entry has come through whole: the entry is written
    // beside it and then takes its place, which also replaces a link there rather than writing through it.
    const bool Replacing = PathExists(OutName);
    const std::string WriteName = Replacing ? CreateTempFileBeside(OutName) : OutName;
    auto Out = std::make_unique<TFileStream>(WriteName, Replacing ? fmOpenWrite : fmCreate);
    // A file that did not get through is closed and deleted.
    TScopeGuard RemovePartial([&] {
        Out.reset();
        DeleteFile(WriteName);
    });
    {
        TAbStreamOutput Output(*Out);
        DecodeChecked(Archive, Item, Output);
        Output.Flush();
    }
    Out.reset();
    if (Replacing)
        ReplaceFile(WriteName, OutName);
    RemovePartial.Release();
    StampPath(OutName, EntryUnixMode(Item), EntryUnixTime(Item));
}

// Longer targets are no link a file system would hold.
constexpr uint64_t kMaxLinkTarget = 4096;

// Makes the symbolic link OutName that the entry describes, when it leads to a place inside the base
// folder; otherwise nothing is written.
void ExtractLink(TAbZipArchive& Archive, TAbZipItem& Item, const std::string& OutName) {
    if (Item.GetUncompressedSize() > kMaxLinkTarget)
        throw EAbZipSizeExceeded();
    struct TGather : TAbDecodeOutput {
        void Write(const uint8_t* Data, size_t Count) override {
            Bytes.append(reinterpret_cast<const char*>(Data), Count);
        }
        std::string Bytes;
    } Target;
    DecodeChecked(Archive, Item, Target);
    const std::string& Text = Target.Bytes;
    CheckLinkInside(Archive.BaseDirectory(), OutName, Text);
    DeleteFile(OutName);
    CreateSymbolicLink(Text, OutName);
    FileSetTime(OutName, EntryUnixTime(Item), true);
}

} // namespace

void UnzipItemToFile(TAbZipArchive& Archive, TAbZipItem& Item, const std::string& UseName) {
    CheckDisk(Archive, Item);
    SeekToData(Archive, Item);

    std::string Name = UseName;
    ForwardToBackslash(Name);
    const std::string Stored = Item.GetFileName();
    const bool IsFolder = !Stored.empty() && (Stored.back() == '/' || Stored.back() == '\\');
    const bool RestorePath = Archive.ExtractOptions.Contains(eoRestorePath);
    const std::string Relative = SafeRelativePath(RestorePath ? Name : ExtractFileName(Name));
    const std::string& Base = Archive.BaseDirectory();
    if (IsFolder) {
        // Without eoRestorePath a folder has nowhere to go.
        if (RestorePath && !Relative.empty()) {
            const std::string Folder = JoinPath(Base, Relative);
            PrepareFolder(Archive, Folder);
            CreateDirectoryPath(Folder);
            // Stamped once what goes into it has been written.
            Archive.AddFolderStamp(Folder, Item);
        }
        return;
    }
    if (Relative.empty())
        throw EAbZipInvalid();
    std::string OutName = JoinPath(Base, Relative);
    PrepareFolder(Archive, OutName);

    bool Confirm = true;
    if (PathExists(OutName) && Archive.OnConfirmOverwrite)
        Archive.OnConfirmOverwrite(OutName, Confirm);
    if (!Confirm)
        return;
    // Without its path a link's target would mean something else: it is written as the file it is stored as.
    if (RestorePath && IsSymbolicLinkEntry(Item))
        ExtractLink(Archive, Item, OutName);
    else
        ExtractToFile(Archive, Item, OutName);
}

void UnzipItemToSink(TAbZipArchive& Archive, TAbZipItem& Item, TAbDecodeOutput& Sink) {
    CheckDisk(Archive, Item);
    TReadAhead Ahead;
    if (Ahead.Load(Archive, Item)) {
        DecodeChecked(Archive, Item, Sink, &Ahead);
        return;
    }
    SeekToData(Archive, Item);
    DecodeChecked(Archive, Item, Sink);
}

TAbUnzipHelper::TAbUnzipHelper(TStream*& InStream, TAbZDecoder* Decoder, TStream& OutStream)
    : CompressedSize(uint64_t(InStream->Size())), FInStream(InStream), FDecoder(Decoder),
      FStreamOutput(std::make_unique<TAbStreamOutput>(OutStream)), FSink(*FStreamOutput) {}

TAbUnzipHelper::TAbUnzipHelper(TStream*& InStream, TAbZDecoder* Decoder, TAbDecodeOutput& Sink)
    : FInStream(InStream), FDecoder(Decoder), FSink(Sink) {}

TAbUnzipHelper::~TAbUnzipHelper() = default;

uint32_t TAbUnzipHelper::Decompress() {
    FOutFlushed = 0;
    FInRemaining = CompressedSize;
    if (FDecoder) {
        FDecoder->DecryptHeader();
        FInRemaining = FInRemaining > 12 ? FInRemaining - 12 : 0;
    }
    Dispatch();
    if (FStreamOutput)
        FStreamOutput->Flush();
    return ~FCrc;
}

void TAbUnzipHelper::Dispatch() {
    const uint8_t* Data;
    size_t Count;
    switch (Method) {
    case cmStored:
        // Stored data goes to the output as it is read.
        while (NextChunk(Data, Count))
            Deliver(Data, Count);
        break;
    case cmShrunk:
        Unshrink(*this, *this);
        break;
    case cmReduced1:
    case cmReduced1 + 1:
    case cmReduced1 + 2:
    case cmReduced4:
        Unreduce(*this, *this, UncompressedSize, Method - cmReduced1 + 1);
        break;
    case cmImploded:
        Explode(*this, *this, UncompressedSize, DictionarySize, ShannonFanoTreeCount);
        break;
    case cmDeflated:
        Inflate(*this, *this);
        break;
    default:
        throw EAbZipInvalidMethod();
    }
}

void TAbUnzipHelper::ReadAhead(const uint8_t* Data, size_t Count, int64_t DataOffset) {
    FAhead = Data;
    FAheadCount = Count;
    FAheadOffset = DataOffset;
}

bool TAbUnzipHelper::NextChunk(const uint8_t*& Data, size_t& Count) {
    if (FInRemaining == 0)
        return false;
    if (FAhead) {
        Data = FAhead;
        Count = size_t(std::min<uint64_t>(FAheadCount, FInRemaining));
        FAhead = nullptr;
        FInRemaining -= Count;
        // The rest follows in the stream.
        if (FInRemaining > 0)
            FInStream->Seek(FAheadOffset + int64_t(Count), soFromBeginning);
        if (Count > 0)
            return true;
    }
    int64_t Want = int64_t(std::min<uint64_t>(FInRemaining, sizeof FInBuffer));
    if (Spanned) {
        // The entry goes on at the start of the next disk.
        if (FInStream->Position() >= FInStream->Size()) {
            ++CurrentDisk;
            OnChangeDisk(CurrentDisk);
        }
        Want = std::min(Want, FInStream->Size() - FInStream->Position());
    }
    const int64_t Got = Want > 0 ? FInStream->Read(FInBuffer, Want) : 0;
    if (Got <= 0)
        throw EAbReadError();
    if (FDecoder)
        FDecoder->DecryptBuffer(FInBuffer, size_t(Got));
    FInRemaining -= uint64_t(Got);
    Data = FInBuffer;
    Count = size_t(Got);
    return true;
}

// Output past the stated size is refused, so a damaged or hostile entry cannot fill the disk.
void TAbUnzipHelper::Write(const uint8_t* Data, size_t Count) {
    if (Count > UncompressedSize - FOutFlushed)
        throw EAbZipSizeExceeded();
    // In pieces, so that progress (and an abort from it) keeps coming during long runs of output.
    while (Count) {
        const size_t N = std::min(Count, kOutPiece);
        Deliver(Data, N);
        Data += N;
        Count -= N;
    }
}

void TAbUnzipHelper::Deliver(const uint8_t* Data, size_t Count) {
    if (Count > UncompressedSize - FOutFlushed)
        throw EAbZipSizeExceeded();
    FSink.Write(Data, Count);
    FOutFlushed += Count;
    UpdateCrc32(FCrc, Data, Count);
    bool Abort = false;
    DoProgress(PercentOf(int64_t(FOutFlushed), int64_t(UncompressedSize)), Abort);
    if (Abort)
        throw EAbUserAbort();
}

void TAbUnzipHelper::DoProgress(uint8_t Progress, bool& Abort) {
    if (OnProgressHook && Progress != FLastProgress) {
        FLastProgress = Progress;
        OnProgressHook(Progress, Abort);
    }
}
