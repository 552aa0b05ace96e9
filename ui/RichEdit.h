#pragma once
// The rich edit control: a text edit that loads files through the conversion registry, streams them in
// as plain or rich text (RTF), streams its content out as RTF, finds text, and freezes its redrawing
// while it is filled.

#include "text/Conversion.h"

#include <QTextCharFormat>
#include <QTextEdit>
#include <string>

class TPlainTextLayout;

class TRichEdit : public QTextEdit {
    Q_OBJECT
public:
    explicit TRichEdit(QWidget* Parent = nullptr);

    // Plain text: loads show the bytes as text and saves write plain text. Otherwise a loaded document
    // that starts like RTF is read as rich text and saves write RTF.
    bool PlainText() const { return FPlainText; }
    void SetPlainText(bool Value) { FPlainText = Value; }
    // The conversion for files whose extension has none registered (default: copied unchanged).
    void SetDefaultConversion(TConversionClass Class) { FDefaultConversion = std::move(Class); }

    // Replaces the content with the file, read through the conversion for its extension. A failure
    // raises (std::exception) and leaves the content as it was. The result is unmodified with nothing to
    // undo.
    void LoadFromFile(const QString& FileName);
    // Replaces the content with Data, streamed in as the plain-text flag says.
    void StreamIn(const std::string& Data);
    // Writes the content: plain text (UTF-8) or RTF as the plain-text flag says. Raises on failure and
    // then leaves the file as it was.
    void SaveToFile(const QString& FileName) const;
    void SaveToFile(const QString& FileName, bool AsPlainText) const;
    // The content as RTF.
    std::string RtfText() const;

    // Where Text first occurs starting in [Start, Start + Length) and ending by Start + Length; -1 when
    // it does not.
    int FindText(const QString& Text, int Start, int Length, bool MatchCase) const;
    int TextLength() const;
    int SelStart() const;
    void SetSelStart(int Pos);
    int SelLength() const;
    void SetSelLength(int Length);

    // The format of text that carries none of its own: font and colour of the whole document.
    QTextCharFormat DefAttributes() const { return FDefAttributes; }
    void SetDefAttributes(const QTextCharFormat& Format);

    // Freezes redrawing until the matching EndUpdate (calls nest).
    void BeginUpdate();
    void EndUpdate();

    bool Modified() const;
    void SetModified(bool Value);
    bool CanUndo() const;

protected:
    void keyPressEvent(QKeyEvent* Event) override;

private slots:
    // Qt's cursor geometry finds no lines in the long blocks the plain-text layout breaks itself
    // (PlainTextLayout.h): its requests to show the cursor and to repaint what changed pass through here.
    void EnsureVisible(const QRectF& Rect);
    void RepaintContents(const QRectF& Rect);

private:
    TPlainTextLayout* LongLayout() const;
    // The content as a string for finding, made when first needed after a change.
    const QString& Text() const;

    bool FPlainText = false;
    mutable QString FText;
    mutable bool FTextValid = false;
    TConversionClass FDefaultConversion;
    QTextCharFormat FDefAttributes;
    int FUpdateCount = 0;
};

// Holds a rich edit's redrawing frozen while it lives.
class TUpdateLock {
public:
    explicit TUpdateLock(TRichEdit* Edit) : FEdit(Edit) { FEdit->BeginUpdate(); }
    ~TUpdateLock() { FEdit->EndUpdate(); }
    TUpdateLock(const TUpdateLock&) = delete;
    TUpdateLock& operator=(const TUpdateLock&) = delete;

private:
    TRichEdit* FEdit;
};
