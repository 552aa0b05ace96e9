#pragma once
// Line breaking of long runs of printable ASCII the way Qt's text layout breaks them (at word
// boundaries, else anywhere), from the characters' advances alone: a line deep in a block of millions of
// characters is placed without laying out, shaping or even classifying the text through Qt.

#include <QFont>
#include <QStringView>
#include <cstdint>
#include <vector>

class TLongLineBreaker {
public:
    // Font as the layout uses it, without shaping (NoShaping); no letter or word spacing (see Handles).
    explicit TLongLineBreaker(const QFont& Font);

    // Whether text in Font can be broken here: printable ASCII, no letter or word spacing.
    static bool Handles(QStringView Text, const QFont& Font);
    // Font without shaping, so that glyph advances simply add up.
    static QFont NoShaping(QFont Font) {
        Font.setStyleStrategy(QFont::StyleStrategy(Font.styleStrategy() | QFont::PreferNoShaping));
        return Font;
    }
    // The start of every line of Text in lines Width wide; the first is 0.
    std::vector<int> LineStarts(QStringView Text, qreal Width) const;
    // A number of characters certainly wider than Width.
    int CharsWiderThan(qreal Width) const;
    // The width of Text on one line, in 1/64 pixel.
    int64_t Advance(QStringView Text) const;

private:
    // In 1/64 pixel, as the layout adds them up: advances, and how far the ink reaches past them.
    int FAdvance[128] = {};
    int FOverhang[128] = {};
};
