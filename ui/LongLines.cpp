#include "ui/LongLines.h"

#include <QFontMetricsF>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Qt does not break inside a number with its signs, separators and brackets ("$(1,234.5)%"), and follows
// such sequences with a small state machine over these classes.
enum TNumClass : uint8_t { nOther, nPrefix, nOpen, nDigit, nSeparator, nClose };
enum TNumAction : uint8_t { aNone, aStart, aContinue, aBreak };
constexpr TNumAction NumActions[6][6] = {
    {aNone, aStart, aStart, aStart, aNone, aNone},
    {aNone, aStart, aContinue, aContinue, aNone, aNone},
    {aNone, aStart, aStart, aContinue, aNone, aNone},
    {aBreak, aBreak, aBreak, aContinue, aContinue, aContinue},
    {aBreak, aBreak, aBreak, aContinue, aContinue, aContinue},
    {aBreak, aContinue, aBreak, aBreak, aBreak, aBreak},
};

uint8_t NumClass(char C) {
    if (C >= '0' && C <= '9')
        return nDigit;
    const std::pair<const char*, TNumClass> Classes[] = {
        {"$+\\%", nPrefix}, {"([{-", nOpen}, {",.:;/<=>~", nSeparator}, {")]}", nClose}};
    for (const auto& [Chars, Class] : Classes)
        if (std::strchr(Chars, C))
            return Class;
    return nOther;
}

uint8_t NumAfter(uint8_t State, char C) {
    const TNumAction A = NumActions[State][NumClass(C)];
    return A == aNone || A == aBreak ? uint8_t(nOther) : NumClass(C);
}

struct TTables {
    uint8_t Num[128] = {};
    // Whether a line may break between two adjacent non-space characters outside number sequences.
    bool Break[128][128] = {};
};

// The pairs are asked of Qt's own line-break rules, each in a context that ends any number sequence
// without changing the pair's answer.
const TTables& Tables() {
    static const TTables T = [] {
        TTables R;
        for (int C = 0; C < 128; ++C)
            R.Num[C] = NumClass(char(C));
        QString Probe;
        std::vector<qsizetype> At;
        for (char A = '!'; A <= '~'; ++A)
            for (char B = '!'; B <= '~'; ++B) {
                const uint8_t State = NumAfter(NumAfter(nOther, A), B);
                Probe += QLatin1Char('x');
                Probe += QLatin1Char(A);
                At.push_back(Probe.size());
                Probe += QLatin1Char(B);
                Probe += QLatin1String(State == nDigit || State == nSeparator ? ")$x "
                                       : State == nClose                      ? "$x "
                                                                              : "x ");
            }
        QTextBoundaryFinder Finder(QTextBoundaryFinder::Line, Probe);
        auto Pos = At.begin();
        for (char A = '!'; A <= '~'; ++A)
            for (char B = '!'; B <= '~'; ++B) {
                Finder.setPosition(*Pos++);
                R.Break[int(A)][int(B)] = Finder.isAtBoundary();
            }
        return R;
    }();
    return T;
}

// Where a line may break before a character inside a run of non-space characters.
std::vector<uint8_t> BreakOpportunities(QStringView Text) {
    const TTables& T = Tables();
    std::vector<uint8_t> Lb(size_t(Text.size()) + 1, 0);
    uint8_t State = nOther;
    qsizetype NumStart = 0;
    char16_t Prev = 0;
    for (qsizetype I = 0; I < Text.size(); ++I) {
        const char16_t C = Text[I].unicode();
        // A line always breaks at spaces; they leave a number sequence open.
        if (C == u' ') {
            Prev = 0;
            continue;
        }
        const uint8_t Class = T.Num[C];
        switch (NumActions[State][Class]) {
        case aBreak:
            std::fill(Lb.begin() + NumStart + 1, Lb.begin() + I, 0);
            State = nOther;
            break;
        case aNone:
            State = nOther;
            break;
        case aStart:
            NumStart = I;
            State = Class;
            break;
        case aContinue:
            State = Class;
            break;
        }
        if (Prev && T.Break[Prev][C])
            Lb[size_t(I)] = 1;
        Prev = C;
    }
    if (NumActions[State][nOther] == aBreak)
        std::fill(Lb.begin() + NumStart + 1, Lb.end() - 1, 0);
    return Lb;
}

} // namespace

TLongLineBreaker::TLongLineBreaker(const QFont& Font) {
    const QFontMetricsF Metrics(Font);
    for (char16_t C = u' '; C <= u'~'; ++C) {
        FAdvance[C] = int(std::lround(Metrics.horizontalAdvance(QChar(C)) * 64));
        FOverhang[C] = std::max(0, -int(std::lround(Metrics.rightBearing(QChar(C)) * 64)));
    }
}

int TLongLineBreaker::CharsWiderThan(qreal Width) const {
    const int Narrowest = std::max(1, *std::min_element(FAdvance + ' ', FAdvance + '~' + 1));
    return int(Width * 64) / Narrowest + 2;
}

int64_t TLongLineBreaker::Advance(QStringView Text) const {
    int64_t Sum = 0;
    for (QChar C : Text)
        Sum += FAdvance[C.unicode() & 127];
    return Sum;
}

bool TLongLineBreaker::Handles(QStringView Text, const QFont& Font) {
    return Font.letterSpacing() == 0 && Font.wordSpacing() == 0 &&
           Font.capitalization() == QFont::MixedCase &&
           std::all_of(Text.begin(), Text.end(), [](QChar C) { return C >= u' ' && C <= u'~'; });
}

// Qt's greedy filling: whole segments (runs up to a break opportunity) while the line, its pending
// spaces, the segment and the overhang of the segment's last glyph fit; the first segment always goes
// in. When that leaves the line wider than the width, the line is filled again glyph by glyph. Spaces
// never count against the width unless they alone are wider.
std::vector<int> TLongLineBreaker::LineStarts(QStringView Text, qreal Width) const {
    const std::vector<uint8_t> Lb = BreakOpportunities(Text);
    const char16_t* T = Text.utf16();
    const qsizetype N = Text.size();
    const int64_t W = int64_t(Width * 64);
    std::vector<int> Starts;
    qsizetype Start = 0;
    do {
        Starts.push_back(int(Start));
        qsizetype Next = N;
        for (const bool Anywhere : {false, true}) {
            int64_t LineW = 0, SpaceW = 0;
            qsizetype LineLen = 0, SpaceLen = 0, P = Start;
            bool Full = false, TooWide = false;
            while (P < N && !Full) {
                if (T[P] == u' ') {
                    // Spaces are taken item by item (the layout's items hold 4096 characters at most).
                    do {
                        SpaceW += FAdvance[u' '];
                        ++SpaceLen;
                        ++P;
                    } while (P < N && T[P] == u' ' && P % 4096);
                    Full = SpaceW > W;
                    TooWide = LineW > W;
                    continue;
                }
                qsizetype E = P;
                int64_t SegW = 0;
                do
                    SegW += FAdvance[T[E++]];
                while (!Anywhere && E < N && T[E] != u' ' && !Lb[size_t(E)]);
                Full = LineLen > 0 && LineW + SpaceW + SegW + FOverhang[T[E - 1]] > W;
                if (Full) {
                    TooWide = LineW + FOverhang[T[P - 1]] > W;
                } else {
                    LineW += SpaceW + SegW;
                    LineLen += SpaceLen + E - P;
                    SpaceW = SpaceLen = 0;
                    P = E;
                    TooWide = LineW > W;
                }
            }
            Next = Full ? Start + LineLen + SpaceLen : N;
            if (!TooWide)
                break;
        }
        Start = Next;
    } while (Start < N);
    return Starts;
}
