#include "ui/RichEdit.h"

#include "platform/Classes.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"
#include "text/Rtf.h"
#include "ui/PlainTextLayout.h"

#include <QFile>
#include <QKeyEvent>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <cmath>
#include <variant>
#include <vector>

namespace {

// The reader's output kept until the whole document has been read, so a damaged one changes nothing.
class TRecordedRtf : public TRtfSink {
public:
    void Text(const std::string& Utf8, const TRtfCharFormat& Format) override {
        Events.emplace_back(std::pair(Utf8, Format));
    }
    void EndParagraph(const TRtfParaFormat& Format) override { Events.emplace_back(Format); }
    void EndDocument(const TRtfParaFormat& Format) override { Last = Format; }

    void Build(QTextDocument& Document) const {
        QTextCursor C(&Document);
        for (const auto& E : Events) {
            if (const auto* Run = std::get_if<std::pair<std::string, TRtfCharFormat>>(&E)) {
                C.insertText(QString::fromStdString(Run->first), CharFormat(Run->second));
            } else {
                Align(C, std::get<TRtfParaFormat>(E));
                C.insertBlock();
            }
        }
        Align(C, Last);
    }

private:
    static QTextCharFormat CharFormat(const TRtfCharFormat& R) {
        QTextCharFormat F;
        if (!R.FontName.empty())
            F.setFontFamilies(QStringList{QString::fromStdString(R.FontName)});
        F.setFontPointSize(R.HalfPoints / 2.0);
        F.setFontWeight(R.Bold ? QFont::Bold : QFont::Normal);
        F.setFontItalic(R.Italic);
        F.setFontUnderline(R.Underline);
        F.setFontStrikeOut(R.StrikeOut);
        if (R.HasColor)
            F.setForeground(QColor(QRgb(R.Color)));
        return F;
    }
    static void Align(QTextCursor& C, const TRtfParaFormat& P) {
        static const Qt::Alignment Flags[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight,
                                              Qt::AlignJustify};
        QTextBlockFormat B = C.blockFormat();
        B.setAlignment(Flags[P.Alignment]);
        C.setBlockFormat(B);
    }

    std::vector<std::variant<std::pair<std::string, TRtfCharFormat>, TRtfParaFormat>> Events;
    TRtfParaFormat Last;
};

TRtfCharFormat RtfFormat(const QTextCharFormat& F) {
    TRtfCharFormat R;
    const QStringList Families = F.fontFamilies().toStringList();
    if (!Families.isEmpty())
        R.FontName = Families.first().toStdString();
    if (F.fontPointSize() > 0)
        R.HalfPoints = int(std::lround(F.fontPointSize() * 2));
    R.Bold = F.fontWeight() >= QFont::DemiBold;
    R.Italic = F.fontItalic();
    R.Underline = F.fontUnderline();
    R.StrikeOut = F.fontStrikeOut();
    if (F.hasProperty(QTextFormat::ForegroundBrush)) {
        R.HasColor = true;
        R.Color = F.foreground().color().rgb() & 0xFFFFFF;
    }
    return R;
}

TRtfParaFormat RtfFormat(const QTextBlockFormat& F) {
    TRtfParaFormat R;
    const Qt::Alignment A = F.alignment() & Qt::AlignHorizontal_Mask;
    R.Alignment = A & Qt::AlignHCenter   ? raCenter
                  : A & Qt::AlignRight   ? raRight
                  : A & Qt::AlignJustify ? raJustify
                                         : raLeft;
    return R;
}

// Text as stored: UTF-8 when it is, otherwise one character per byte so nothing is lost. CR LF and a lone
// CR end a line as LF does.
QString DecodePlain(const std::string& Data) {
    QStringDecoder Utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString S = Utf8.decode(QByteArrayView(Data.data(), qsizetype(Data.size())));
    if (Utf8.hasError())
        S = QString::fromLatin1(Data.data(), qsizetype(Data.size()));
    if (S.contains(u'\r'))
        S.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    return S;
}

} // namespace

TRichEdit::TRichEdit(QWidget* Parent) : QTextEdit(Parent) {
    setAcceptRichText(false);
    FDefAttributes.setFont(document()->defaultFont());
    connect(document(), &QTextDocument::contentsChanged, this, [this] { FTextValid = false; });
    for (QObject* Control : children())
        if (Control->inherits("QWidgetTextControl")) {
            disconnect(Control, SIGNAL(visibilityRequest(QRectF)), this, nullptr);
            disconnect(Control, SIGNAL(updateRequest(QRectF)), this, nullptr);
            connect(Control, SIGNAL(visibilityRequest(QRectF)), this, SLOT(EnsureVisible(QRectF)));
            connect(Control, SIGNAL(updateRequest(QRectF)), this, SLOT(RepaintContents(QRectF)));
        }
}

TPlainTextLayout* TRichEdit::LongLayout() const {
    auto* Layout = qobject_cast<TPlainTextLayout*>(document()->documentLayout());
    return Layout && Layout->HasLongBlocks() ? Layout : nullptr;
}

void TRichEdit::EnsureVisible(const QRectF& Rect) {
    QRectF Wanted = Rect;
    // Finding no line at the cursor, Qt asks for a 10-pixel rectangle at the top of the block.
    if (const TPlainTextLayout* Layout = LongLayout()) {
        const QRectF Cursor = Layout->CursorRect(textCursor().position());
        if (Cursor.isValid() && Rect.height() == 10 &&
            Rect.top() == Layout->blockBoundingRect(textCursor().block()).top())
            Wanted = Cursor.adjusted(-5, 0, 5, 0);
    }
    QMetaObject::invokeMethod(this, "_q_ensureVisible", Q_ARG(QRectF, Wanted));
}

void TRichEdit::RepaintContents(const QRectF& Rect) {
    // Qt's rectangles of what changed are wrong in long blocks: all that shows is painted again.
    QMetaObject::invokeMethod(this, "_q_repaintContents", Q_ARG(QRectF, LongLayout() ? QRectF() : Rect));
}

void TRichEdit::keyPressEvent(QKeyEvent* Event) {
    // Moving and editing by keyboard go through Qt's lines of the cursor's block.
    if (TPlainTextLayout* Layout = LongLayout(); Layout && !isReadOnly())
        Layout->LayOutForEditing(textCursor().position());
    QTextEdit::keyPressEvent(Event);
}

const QString& TRichEdit::Text() const {
    if (!FTextValid) {
        FText = toPlainText();
        FTextValid = true;
    }
    return FText;
}

void TRichEdit::LoadFromFile(const QString& FileName) {
    const std::string Name = FileName.toStdString();
    TFileStream Source(Name, fmOpenRead | fmShareDenyWrite);
    StreamIn(ReadAllConverted(Source, Name, FDefaultConversion));
}

void TRichEdit::StreamIn(const std::string& Data) {
    TRecordedRtf Rich;
    const bool IsRich = !FPlainText && IsRtf(Data);
    if (IsRich)
        ReadRtf(Data, Rich);
    QTextDocument* Document = document();
    Document->setUndoRedoEnabled(false);
    setCurrentCharFormat(FDefAttributes);
    Document->clear();
    // Plain text is laid out only where it is shown; rich text keeps the document's own layout, which
    // knows paragraph formats.
    const bool Lazy = qobject_cast<TPlainTextLayout*>(Document->documentLayout()) != nullptr;
    if (Lazy == IsRich)
        Document->setDocumentLayout(IsRich ? nullptr : new TPlainTextLayout(Document));
    if (IsRich) {
        Rich.Build(*Document);
        moveCursor(QTextCursor::Start);
    } else {
        // Plain text needs no shaping (kerning, ligatures) except in scripts that cannot do without;
        // laying out a large file is much quicker without it.
        QFont Font = document()->defaultFont();
        Font.setStyleStrategy(QFont::PreferNoShaping);
        document()->setDefaultFont(Font);
        const QString Text = DecodePlain(Data);
        // One insertion, and the cursor rests at the start without laying out the line it is in.
        QTextCursor(Document).insertText(Text, FDefAttributes);
        moveCursor(QTextCursor::Start);
        FText = Text;
        FTextValid = true;
    }
    Document->setUndoRedoEnabled(true);
    Document->setModified(false);
}

std::string TRichEdit::RtfText() const {
    TRtfWriter Writer;
    const QTextDocument* Document = document();
    for (QTextBlock B = Document->begin(); B.isValid(); B = B.next()) {
        for (auto It = B.begin(); !It.atEnd(); ++It) {
            const QTextFragment Fragment = It.fragment();
            // Pictures and other objects stand in the text as U+FFFC; they are not kept.
            const QString Text = Fragment.text().remove(QChar::ObjectReplacementCharacter);
            if (!Text.isEmpty())
                Writer.Text(Text.toStdString(), RtfFormat(Fragment.charFormat()));
        }
        if (B.next().isValid())
            Writer.EndParagraph(RtfFormat(B.blockFormat()));
        else
            Writer.EndDocument(RtfFormat(B.blockFormat()));
    }
    return Writer.Result();
}

void TRichEdit::SaveToFile(const QString& FileName) const {
    SaveToFile(FileName, FPlainText);
}

void TRichEdit::SaveToFile(const QString& FileName, bool AsPlainText) const {
    WriteFileSafely(FileName.toStdString(), AsPlainText ? toPlainText().toStdString() : RtfText());
}

int TRichEdit::FindText(const QString& What, int Start, int Length, bool MatchCase) const {
    if (What.isEmpty() || Start < 0 || Length < What.length())
        return -1;
    const qsizetype Found = Text().indexOf(What, Start, MatchCase ? Qt::CaseSensitive : Qt::CaseInsensitive);
    if (Found < 0 || int64_t(Found) + What.length() > int64_t(Start) + Length)
        return -1;
    return int(Found);
}

int TRichEdit::TextLength() const {
    return document()->characterCount() - 1;
}

int TRichEdit::SelStart() const {
    return textCursor().selectionStart();
}

void TRichEdit::SetSelStart(int Pos) {
    QTextCursor C = textCursor();
    C.setPosition(std::clamp(Pos, 0, TextLength()));
    setTextCursor(C);
}

int TRichEdit::SelLength() const {
    const QTextCursor C = textCursor();
    return C.selectionEnd() - C.selectionStart();
}

void TRichEdit::SetSelLength(int Length) {
    QTextCursor C = textCursor();
    const int Start = C.selectionStart();
    C.setPosition(Start);
    C.setPosition(std::clamp(Start + Length, Start, TextLength()), QTextCursor::KeepAnchor);
    setTextCursor(C);
}

void TRichEdit::SetDefAttributes(const QTextCharFormat& Format) {
    FDefAttributes = Format;
    document()->setDefaultFont(Format.font());
    QPalette P = palette();
    P.setColor(QPalette::Text, Format.hasProperty(QTextFormat::ForegroundBrush)
                                   ? Format.foreground().color()
                                   : QPalette().color(QPalette::Text));
    setPalette(P);
}

void TRichEdit::BeginUpdate() {
    if (FUpdateCount++ == 0)
        setUpdatesEnabled(false);
}

void TRichEdit::EndUpdate() {
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        setUpdatesEnabled(true);
}

bool TRichEdit::Modified() const {
    return document()->isModified();
}

void TRichEdit::SetModified(bool Value) {
    document()->setModified(Value);
}

bool TRichEdit::CanUndo() const {
    return document()->isUndoAvailable();
}
