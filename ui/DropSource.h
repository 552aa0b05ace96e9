#pragma once
// Dragging files out of the program onto folders and other programs. TDropSource keeps what does not
// depend on the data: the allowed operations, the offered formats, the answers to the drag loop and the
// owner's say when the button is released. TDropFileSource offers a list of files: as a file-drop block
// and, to the desktop, as "text/uri-list" and "text/plain". The data is made when the drop target first
// asks for it, which is when the owner may still prepare the files (OnDrop).

#include "platform/Sets.h"

#include <QMimeData>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum TDragType { dtCopy, dtMove, dtLink };
using TDragTypes = TSet<TDragType>; // bits 1, 2 and 4, as the drop effects

enum TDragResult { DragCopied, DragMoved, DragLinked, DragCancelled, DragOutOfMemory, DragFailed };

// Answers exchanged with the drag loop and drop targets.
enum : uint32_t {
    drOk = 0,
    drDrop = 0x00040100,
    drCancel = 0x00040101,
    drUseDefaultCursors = 0x00040102,
    drBadFormat = 0x80040064,
    drFail = 0x80004005,
    drUnexpected = 0x8000FFFF,
    drOutOfMemory = 0x8007000E,
};

// Drop effects.
enum : uint32_t { deNone = 0, deCopy = 1, deMove = 2, deLink = 4 };

constexpr uint16_t cfFileDrop = 15;  // the file-drop block
constexpr uint32_t aspContent = 1;   // the data itself
constexpr uint32_t medMemory = 1;    // a memory block
constexpr uint32_t medStream = 4;    // a stream
constexpr uint32_t ksLeftButton = 1; // key-state bits of the drag loop
constexpr uint32_t ksRightButton = 2;

// One offered format.
struct TFormatEtc {
    uint16_t Format = 0;
    void* Device = nullptr;
    uint32_t Aspect = aspContent;
    int32_t Index = -1;
    uint32_t Medium = medMemory;
};

// Rendered data: a memory block.
struct TStgMedium {
    uint32_t Medium = 0;
    std::vector<uint8_t> Data;
};

class TDropSource : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxFormats = 20;

    explicit TDropSource(QObject* Owner);

    TDragTypes Dragtypes{dtCopy};
    // Asked when the button is released over a target that accepts; false cancels the drop.
    std::function<void(TDropSource& Sender, TDragType DragType, bool& ContinueDrop)> OnDrop;
    // Told of every change of the target's effect; false takes the cursors into the owner's hands.
    std::function<void(TDropSource& Sender, int32_t Effect, bool& UseDefaultCursors)> OnFeedback;

    // Appends a format; beyond MaxFormats the call is ignored.
    void AddFormat(uint16_t Format, void* Device, uint32_t Aspect, int32_t Index, uint32_t Medium);
    int FormatCount() const { return FFormatCount; }
    const TFormatEtc& Formats(int I) const { return FFormats[size_t(I)]; }
    uint32_t FeedbackEffect() const { return FFeedbackEffect; }

    // The drag loop's questions.
    uint32_t QueryContinueDrag(bool EscapePressed, uint32_t KeyState);
    uint32_t GiveFeedback(uint32_t Effect);
    // A drop target's questions.
    uint32_t QueryGetData(const TFormatEtc& Format) const;
    virtual uint32_t RenderData(const TFormatEtc& Format, TStgMedium& Medium) = 0;

    // Runs the desktop's drag loop with this source's data until the drop or the cancel.
    TDragResult RunDrag();
    // What the drag loop's outcome means for the caller.
    static TDragResult DragResultOf(uint32_t Code, uint32_t Effect, uint32_t Allowed);
    // The drag data for the desktop; the drag owns it.
    virtual QMimeData* CreateMimeData() = 0;

private:
    std::array<TFormatEtc, MaxFormats> FFormats;
    int FFormatCount = 0;
    uint32_t FFeedbackEffect = deNone;
};

class TDropFileSource : public TDropSource {
    Q_OBJECT
public:
    explicit TDropFileSource(QObject* Owner);

    // Full paths of the files offered.
    QStringList Files;

    uint32_t RenderData(const TFormatEtc& Format, TStgMedium& Medium) override;
    QMimeData* CreateMimeData() override;
};

// The drag data of a TDropFileSource. On the first request it asks the source whether the drop goes on (as
// the release of the button would) and renders the file-drop block; the answer holds for the whole drop.
class TDropMimeData : public QMimeData {
    Q_OBJECT
public:
    explicit TDropMimeData(TDropFileSource* Source);
    QStringList formats() const override;

protected:
    QVariant retrieveData(const QString& MimeType, QMetaType Type) const override;

private:
    QPointer<TDropFileSource> FSource;
    mutable bool FAsked = false;
    mutable QStringList FPaths; // empty when the drop was refused
};
