#pragma once
// A sink that records what the rich-text reader hands out, for comparing documents.

#include "text/Rtf.h"

#include <string>
#include <vector>

namespace testutil {

struct TRun {
    std::string Text;
    TRtfCharFormat Format;
    bool operator==(const TRun&) const = default;
};
// A run of text or a paragraph's end.
struct TEvent {
    TEvent(TRun R) : Run(std::move(R)) {}
    TEvent(TRtfParaFormat P) : IsParagraph(true), Para(P) {}
    TRun Run;
    bool IsParagraph = false;
    TRtfParaFormat Para;
    bool operator==(const TEvent&) const = default;
};

// Everything the reader hands out, runs of one format joined as the reader promises.
class TRecorder : public TRtfSink {
public:
    void Text(const std::string& Utf8, const TRtfCharFormat& Format) override {
        if (!Events.empty() && !Events.back().IsParagraph && Events.back().Run.Format == Format)
            Events.back().Run.Text += Utf8;
        else
            Events.push_back(TRun{Utf8, Format});
    }
    void EndParagraph(const TRtfParaFormat& Format) override { Events.push_back(Format); }
    void EndDocument(const TRtfParaFormat& Format) override {
        Last = Format;
        ++Ends;
    }
    std::vector<TEvent> Events;
    TRtfParaFormat Last;
    int Ends = 0;
};

inline TRecorder ReadRecorded(const std::string& Rtf) {
    TRecorder R;
    ReadRtf(Rtf, R);
    return R;
}

} // namespace testutil
