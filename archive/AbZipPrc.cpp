#include "archive/AbZipPrc.h"

#include "archive/AbExcept.h"
#include "archive/AbUtils.h"
#include "archive/AbZipCry.h"
#include "platform/DosDate.h"
#include "platform/Files.h"
#include "platform/Find.h"

#include <algorithm>
#include <memory>

namespace {

constexpr size_t StoreChunk = 8192;

int LevelOf(TAbZipDeflationOption Option) {
    switch (Option) {
    case doSuperFast:
        return 1;
    case doFast:
        return 3;
    case doMaximum:
        return 9;
    default:
        return 5;
    }
}

} // namespace

// The source's bytes up to SourceSize, counted into the CRC-32 and the progress.
class TAbZipHelper::TSource : public TDeflateInput {
public:
    explicit TSource(TAbZipHelper& AHelper) : FHelper(AHelper) {
        FHelper.FInStream.Seek(0, soFromBeginning);
        FHelper.Crc = 0xFFFFFFFF;
    }

    size_t Read(uint8_t* Buffer, size_t Count) override {
        const int64_t Left = FHelper.SourceSize - FDone;
        if (Left == 0) {
            uint8_t Probe;
            if (FHelper.FInStream.Read(&Probe, 1) > 0)
                Changed();
            return 0;
        }
        const int64_t N = FHelper.FInStream.Read(Buffer, std::min<int64_t>(int64_t(Count), Left));
        if (N <= 0)
            Changed();
        UpdateCrc32(FHelper.Crc, Buffer, size_t(N));
        FDone += N;
        bool Abort = false;
        FHelper.DoProgress(PercentOf(FDone, FHelper.SourceSize), Abort);
        return size_t(N);
    }

private:
    [[noreturn]] void Changed() const {
        throw EReadError(FHelper.SourceName +
                         ": the file changed or could not be read while it was compressed");
    }

    TAbZipHelper& FHelper;
    int64_t FDone = 0;
};

// Encrypts the compressed bytes when there is an encoder and writes them out.
class TAbZipHelper::TSink : public TDeflateOutput {
public:
    explicit TSink(TAbZipHelper& AHelper) : FHelper(AHelper) {}
    void Write(uint8_t* Data, size_t Count) override {
        if (FHelper.FEncoder)
            FHelper.FEncoder->EncryptBuffer(Data, Count);
        FHelper.FOutStreamRef->WriteBuffer(Data, int64_t(Count));
        FHelper.CompressedSize += int64_t(Count);
    }

private:
    TAbZipHelper& FHelper;
};

TAbZipHelper::TAbZipHelper(TStream& AInStream, TAbZDecoder* AEncoder, TStream*& AOutStreamRef)
    : SourceSize(AInStream.Size()), FInStream(AInStream), FEncoder(AEncoder), FOutStreamRef(AOutStreamRef) {}

void TAbZipHelper::DoProgress(uint8_t Progress, bool& Abort) {
    Abort = false;
    if (!OnProgressHook || Progress == FLastProgress)
        return;
    FLastProgress = Progress;
    OnProgressHook(Progress, Abort);
    if (Abort)
        throw EAbUserAbort();
}

void TAbZipHelper::Compress() {
    const int64_t Start = FOutStreamRef->Position();
    switch (Method) {
    case cmStored:
        Store();
        break;
    case cmDeflated:
    case cmBestMethod:
        DeflateSource();
        if (Method == cmBestMethod && CompressedSize < SourceSize) {
            Method = cmDeflated;
        } else if (Method == cmBestMethod) {
            // Storing is no larger: write over the attempt, with a fresh encryption header.
            FOutStreamRef->Seek(FEncoder ? Start - 12 : Start, soFromBeginning);
            if (FEncoder)
                FEncoder->EncryptHeader();
            Method = cmStored;
            Store();
            // The attempt may have been longer than the source.
            FOutStreamRef->SetSize(FOutStreamRef->Position());
        }
        break;
    default:
        throw EAbZipUnsupported();
    }
    Crc = ~Crc;
}

void TAbZipHelper::Store() {
    TSource Source(*this);
    TSink Sink(*this);
    CompressedSize = 0;
    uint8_t Buffer[StoreChunk];
    while (size_t N = Source.Read(Buffer, sizeof Buffer))
        Sink.Write(Buffer, N);
}

void TAbZipHelper::DeflateSource() {
    TSource Source(*this);
    TSink Sink(*this);
    CompressedSize = 0;
    FileType = Deflate(Source, Sink, LevelOf(DeflationOption));
}

void ZipItemFromFile(TAbZipArchive& Sender, TAbZipItem& Item, TStream& OutStream) {
    Item.SetGeneralPurposeBitFlag(Item.GeneralPurposeBitFlag() & Ab_ZipUtf8NameFlag);
    std::string Path = Item.DiskFileName;
    if (!Path.empty() && Path[0] != '/' && !Sender.BaseDirectory().empty())
        Path = JoinPath(Sender.BaseDirectory(), Path);

    TFileStream In(Path, fmOpenRead | fmShareDenyWrite);
    TSearchRec Rec;
    if (!FindRecord(Path, Rec))
        throw EReadError(Path + ": the file vanished while it was added");
    if (Item.GeneralPurposeBitFlag() & Ab_ZipUtf8NameFlag) {
        // Readers take a flagged name as UTF-8 only from a Unix host (others convert it from the DOS code
        // page all the same), and a Unix host states the file's mode, or its files are made unreadable.
        Item.SetVersionMadeBy(0x0314);
        Item.SetExternalFileAttributes(Rec.Mode << 16 | Rec.Attr);
    } else {
        Item.SetVersionMadeBy(20);
        Item.SetExternalFileAttributes(Rec.Attr);
    }
    const uint32_t DosTime = NearestDosDateTime(Rec.Time);
    Item.SetLastModFileTime(uint16_t(DosTime));
    Item.SetLastModFileDate(uint16_t(DosTime >> 16));

    if (Rec.Attr & attrDirectory) {
        Item.SetCompressionMethod(cmStored);
        Item.SetVersionNeededToExtract(10);
        Item.SetCRC32(0);
        Item.SetCompressedSize(0);
        Item.SetUncompressedSize(0);
        Item.SetInternalFileAttributes(0);
        return;
    }
    if (In.Size() >= int64_t(0xFFFFFFFF))
        throw EAbZipException(Path + ": files of 4 GiB or more cannot be stored in a zip archive",
                              AbZipStreamFull);

    TStream* Out = &OutStream;
    std::unique_ptr<TAbZDecoder> Encoder;
    uint32_t Crc = 0;
    if (!Sender.Password.empty()) {
        // The header's check byte is the CRC's, so the source is read once before.
        Crc = 0xFFFFFFFF;
        auto Buffer = std::make_unique<uint8_t[]>(32768);
        int64_t Total = 0;
        while (int64_t N = In.Read(Buffer.get(), 32768)) {
            UpdateCrc32(Crc, Buffer.get(), size_t(N));
            Total += N;
        }
        if (Total != In.Size())
            throw EReadError(Path + ": the file changed or could not be read while it was compressed");
        Crc = ~Crc;
        Encoder = std::make_unique<TAbZDecoder>(Sender.Password, false, Crc, Out);
        Encoder->EncryptHeader();
    }

    TAbZipHelper Helper(In, Encoder.get(), Out);
    Helper.SourceName = Path;
    Helper.Method = Sender.CompressionMethodToUse == smStored     ? cmStored
                    : Sender.CompressionMethodToUse == smDeflated ? cmDeflated
                                                                  : cmBestMethod;
    Helper.DeflationOption = Sender.DeflationOption;
    Helper.OnProgressHook = [&Sender](uint8_t Progress, bool& Abort) {
        Sender.DoCurrentItemProgress(Progress, Abort);
    };
    Helper.Compress();
    if (Encoder && Helper.Crc != Crc)
        throw EReadError(Path + ": the file changed while it was compressed");

    Item.SetCRC32(Helper.Crc);
    Item.SetUncompressedSize(uint64_t(Helper.SourceSize));
    Item.SetInternalFileAttributes(Helper.IsText() ? 1 : 0);
    Item.SetCompressionMethod(Helper.Method);
    // Encryption needs version 2.0 as deflating does.
    Item.SetVersionNeededToExtract(Helper.Method == cmDeflated || Encoder ? 20 : 10);
    Item.SetCompressedSize(uint64_t(Helper.CompressedSize + (Encoder ? 12 : 0)));
    if (Encoder)
        Item.SetGeneralPurposeBitFlag(Item.GeneralPurposeBitFlag() | 1);
}
