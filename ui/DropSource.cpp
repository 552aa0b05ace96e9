#include "ui/DropSource.h"

#include <QDrag>
#include <QUrl>
#include <cstring>
#include <new>

namespace {

constexpr size_t FileDropHeader = 20; // list offset, drop point x and y, non-client flag, wide flag

const TFormatEtc FileDropFormat{cfFileDrop, nullptr, aspContent, -1, medMemory};

// The paths of a file-drop block: zero-terminated strings from the list offset up to an empty one.
QStringList PathsOfFileDrop(const std::vector<uint8_t>& Block) {
    QStringList Paths;
    uint32_t Offset = 0;
    if (Block.size() >= sizeof Offset)
        std::memcpy(&Offset, Block.data(), sizeof Offset);
    for (size_t At = Offset; At < Block.size() && Block[At] != 0;) {
        const auto* Start = reinterpret_cast<const char*>(Block.data() + At);
        const size_t Length = strnlen(Start, Block.size() - At);
        Paths << QString::fromUtf8(Start, qsizetype(Length));
        At += Length + 1;
    }
    return Paths;
}

} // namespace

TDropSource::TDropSource(QObject* Owner) : QObject(Owner) {}

void TDropSource::AddFormat(uint16_t Format, void* Device, uint32_t Aspect, int32_t Index, uint32_t Medium) {
    if (FFormatCount >= MaxFormats)
        return;
    FFormats[size_t(FFormatCount++)] = {Format, Device, Aspect, Index, Medium};
}

uint32_t TDropSource::QueryContinueDrag(bool EscapePressed, uint32_t KeyState) {
    if (EscapePressed)
        return drCancel;
    if (KeyState & (ksLeftButton | ksRightButton))
        return drOk;
    // The button was released: the effect the target last reported decides.
    bool ContinueDrop = true;
    TDragType Type = dtCopy;
    if (FFeedbackEffect & deCopy)
        Type = dtCopy;
    else if (FFeedbackEffect & deMove)
        Type = dtMove;
    else if (FFeedbackEffect & deLink)
        Type = dtLink;
    else
        ContinueDrop = false;
    if (ContinueDrop && Dragtypes.Contains(Type) && OnDrop)
        OnDrop(*this, Type, ContinueDrop);
    return ContinueDrop ? drDrop : drCancel;
}

uint32_t TDropSource::GiveFeedback(uint32_t Effect) {
    FFeedbackEffect = Effect;
    bool UseDefaultCursors = true;
    if (OnFeedback)
        OnFeedback(*this, int32_t(Effect), UseDefaultCursors);
    return UseDefaultCursors ? drUseDefaultCursors : drOk;
}

uint32_t TDropSource::QueryGetData(const TFormatEtc& Format) const {
    for (int I = 0; I < FFormatCount; ++I) {
        const TFormatEtc& F = FFormats[size_t(I)];
        if (F.Format == Format.Format && F.Aspect == Format.Aspect && (F.Medium & Format.Medium))
            return drOk;
    }
    return drFail;
}

TDragResult TDropSource::DragResultOf(uint32_t Code, uint32_t Effect, uint32_t Allowed) {
    switch (Code) {
    case drOutOfMemory:
        return DragOutOfMemory;
    case drDrop:
        if (!(Effect & Allowed))
            return DragCancelled;
        if (Effect & deCopy)
            return DragCopied;
        return Effect & deMove ? DragMoved : DragLinked;
    case drCancel:
        return DragCancelled;
    default:
        return DragFailed;
    }
}

// The desktop's drop actions have the bits of the drop effects.
TDragResult TDropSource::RunDrag() {
    const uint32_t Allowed = Dragtypes.Bits() & (deCopy | deMove | deLink);
    auto* Drag = new QDrag(this);
    Drag->setMimeData(CreateMimeData());
    connect(Drag, &QDrag::actionChanged, this, [this](Qt::DropAction A) { GiveFeedback(uint32_t(A) & 7); });
    FFeedbackEffect = deNone;
    const Qt::DropAction Done = Drag->exec(Qt::DropActions(int(Allowed)));
    return DragResultOf(Done == Qt::IgnoreAction ? drCancel : drDrop, uint32_t(Done) & 7, Allowed);
}

TDropFileSource::TDropFileSource(QObject* Owner) : TDropSource(Owner) {
    AddFormat(FileDropFormat.Format, nullptr, FileDropFormat.Aspect, FileDropFormat.Index,
              FileDropFormat.Medium);
}

uint32_t TDropFileSource::RenderData(const TFormatEtc& Format, TStgMedium& Medium) {
    Medium = {};
    if (Files.isEmpty())
        return drUnexpected;
    if (Format.Format != cfFileDrop || Format.Aspect != aspContent || !(Format.Medium & medMemory))
        return drBadFormat;
    try {
        std::vector<QByteArray> Paths;
        size_t Size = FileDropHeader + 1;
        for (const QString& F : Files) {
            Paths.push_back(F.toUtf8());
            Size += size_t(Paths.back().size()) + 1;
        }
        std::vector<uint8_t> Block(Size, 0);
        const uint32_t Offset = FileDropHeader;
        std::memcpy(Block.data(), &Offset, sizeof Offset);
        size_t At = FileDropHeader;
        for (const QByteArray& P : Paths) {
            std::memcpy(Block.data() + At, P.constData(), size_t(P.size()));
            At += size_t(P.size()) + 1;
        }
        Medium.Data = std::move(Block);
    } catch (const std::bad_alloc&) {
        return drOutOfMemory;
    }
    Medium.Medium = medMemory;
    return drOk;
}

QMimeData* TDropFileSource::CreateMimeData() {
    return new TDropMimeData(this);
}

TDropMimeData::TDropMimeData(TDropFileSource* Source) : FSource(Source) {}

QStringList TDropMimeData::formats() const {
    if (!FSource || FSource->QueryGetData(FileDropFormat) != drOk)
        return {};
    return {"text/uri-list", "text/plain"};
}

QVariant TDropMimeData::retrieveData(const QString& MimeType, QMetaType) const {
    if (!formats().contains(MimeType))
        return {};
    if (!FAsked) {
        FAsked = true;
        TStgMedium Medium;
        if (FSource->QueryContinueDrag(false, 0) == drDrop &&
            FSource->RenderData(FileDropFormat, Medium) == drOk)
            FPaths = PathsOfFileDrop(Medium.Data);
    }
    if (FPaths.isEmpty())
        return {};
    if (MimeType == "text/plain")
        return FPaths.join('\n').toUtf8();
    QByteArray List;
    for (const QString& P : FPaths)
        List += QUrl::fromLocalFile(P).toEncoded() + "\r\n";
    return List;
}
