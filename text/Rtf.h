#pragma once
// Rich text (RTF): a reader that parses a document into a sink of formatted text runs and paragraphs,
// and a writer, itself a sink, that turns such a sequence back into RTF the reader reads back unchanged.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

// The character format of a run of text.
struct TRtfCharFormat {
    std::string FontName; // empty: the reader's document had no font table
    int HalfPoints = 24;  // size in half points
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    bool HasColor = false; // false: the automatic (default) colour
    uint32_t Color = 0;    // 0xRRGGBB when HasColor

    bool operator==(const TRtfCharFormat&) const = default;
};

enum TRtfAlignment { raLeft, raCenter, raRight, raJustify };

struct TRtfParaFormat {
    TRtfAlignment Alignment = raLeft;

    bool operator==(const TRtfParaFormat&) const = default;
};

// What a document is made of, in reading order. Text is UTF-8; tabs come as "\t", line breaks inside a
// paragraph as U+2028.
class TRtfSink {
public:
    virtual ~TRtfSink() = default;
    virtual void Text(const std::string& Utf8, const TRtfCharFormat& Format) = 0;
    // The end of a paragraph (its mark, "\par").
    virtual void EndParagraph(const TRtfParaFormat& Format) = 0;
    // The end of the document; Format is that of the last paragraph, which has no mark of its own.
    virtual void EndDocument(const TRtfParaFormat& Format) = 0;
};

// A document the reader cannot make sense of.
class ERtfError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether Data starts like a rich-text document ("{\rtf").
bool IsRtf(const std::string& Data);

// Parses Data into Sink. Consecutive text of one format reaches the sink as one run. Raises ERtfError for
// a document that does not start with "{\rtf", groups that do not nest, or nesting deeper than MaxDepth.
void ReadRtf(const std::string& Data, TRtfSink& Sink);
constexpr int RtfMaxDepth = 1000;

// Builds a document from sink calls. Text must be valid UTF-8.
class TRtfWriter : public TRtfSink {
public:
    TRtfWriter();
    ~TRtfWriter() override;
    TRtfWriter(const TRtfWriter&) = delete;
    TRtfWriter& operator=(const TRtfWriter&) = delete;

    void Text(const std::string& Utf8, const TRtfCharFormat& Format) override;
    void EndParagraph(const TRtfParaFormat& Format) override;
    void EndDocument(const TRtfParaFormat& Format) override;

    // The whole document; complete once EndDocument has been called.
    std::string Result() const;

private:
    struct TState;
    std::unique_ptr<TState> F;
};

// The document's text: one line per paragraph (and per line break), tabs kept, in UTF-8.
std::string RtfToPlainText(const std::string& Data);
