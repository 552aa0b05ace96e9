#include "platform/CodePage.h"
#include "text/Rtf.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <iconv.h>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

constexpr uint32_t Replacement = 0xFFFD;
constexpr uint32_t LineSeparator = 0x2028;
constexpr int DefaultHalfPoints = 24;

enum TDestination { dText, dSkip, dFontTable, dColorTable };

// What a group carries: the character and paragraph format and where its text goes.
struct TGroup {
    TDestination Dest = dText;
    int Font = -1; // -1: the document's default font
    int Color = 0;
    int HalfPoints = DefaultHalfPoints;
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
    TRtfParaFormat Para;
    bool InTable = false;
    int Uc = 1; // characters after \uN that stand in for it
};

struct TFont {
    std::string Name;
    int CodePage = 0; // 0: the document's
};

// Byte strings of one code page to UTF-8 through iconv; one converter per code page, kept for the
// document.
class TDecoder {
public:
    TDecoder() = default;
    TDecoder(const TDecoder&) = delete;
    TDecoder& operator=(const TDecoder&) = delete;
    ~TDecoder() {
        for (auto& [Cp, Cd] : FConverters)
            if (Cd != iconv_t(-1))
                iconv_close(Cd);
    }

    void Append(std::string& Out, const std::string& Bytes, int CodePage) {
        bool Ascii = true;
        for (char C : Bytes)
            Ascii = Ascii && static_cast<unsigned char>(C) < 0x80;
        iconv_t Cd = Ascii ? iconv_t(-1) : Converter(CodePage);
        if (Cd == iconv_t(-1)) {
            // ASCII, or a code page the system does not know: bytes above 127 cannot be named.
            for (char C : Bytes)
                AppendUtf8(Out, static_cast<unsigned char>(C) < 0x80 ? uint32_t(C) : Replacement);
            return;
        }
        iconv(Cd, nullptr, nullptr, nullptr, nullptr);
        std::vector<char> In(Bytes.begin(), Bytes.end());
        char* InP = In.data();
        size_t InLeft = In.size();
        char Buf[1024];
        while (InLeft > 0) {
            char* OutP = Buf;
            size_t OutLeft = sizeof Buf;
            const size_t R = iconv(Cd, &InP, &InLeft, &OutP, &OutLeft);
            Out.append(Buf, size_t(OutP - Buf));
            if (R == size_t(-1) && errno != E2BIG) {
                // A byte that is no character, or a character cut off at the end.
                AppendUtf8(Out, Replacement);
                ++InP;
                --InLeft;
                iconv(Cd, nullptr, nullptr, nullptr, nullptr);
            }
        }
    }

private:
    iconv_t Converter(int CodePage) {
        auto It = FConverters.find(CodePage);
        if (It != FConverters.end())
            return It->second;
        const std::string Name = CodePage == 65001   ? "UTF-8"
                                 : CodePage == 10000 ? "MACINTOSH"
                                                     : "CP" + std::to_string(CodePage);
        iconv_t Cd = iconv_open("UTF-8", Name.c_str());
        if (Cd == iconv_t(-1) && CodePage != 1252)
            Cd = iconv_open("UTF-8", "CP1252");
        FConverters.emplace(CodePage, Cd);
        return Cd;
    }

    std::unordered_map<int, iconv_t> FConverters;
};

int CharsetCodePage(int Charset) {
    static const std::map<int, int> Pages = {
        {77, 10000}, {128, 932},  {129, 949},  {130, 1361}, {134, 936},  {136, 950},
        {161, 1253}, {162, 1254}, {163, 1258}, {177, 1255}, {178, 1256}, {186, 1257},
        {204, 1251}, {222, 874},  {238, 1250}, {254, 437},  {255, 437},
    };
    auto It = Pages.find(Charset);
    return It == Pages.end() ? 0 : It->second;
}

// Control words that open a destination whose content is never shown.
bool SkippedDestination(std::string_view W) {
    static const char* const Names[] = {
        "author",
        "buptim",
        "colorschememapping",
        "comment",
        "company",
        "creatim",
        "datastore",
        "doccomm",
        "fldinst",
        "footer",
        "footerf",
        "footerl",
        "footerr",
        "footnote",
        "ftncn",
        "ftnsep",
        "ftnsepc",
        "generator",
        "header",
        "headerf",
        "headerl",
        "headerr",
        "info",
        "keywords",
        "latentstyles",
        "listoverridetable",
        "listtable",
        "manager",
        "nonshppict",
        "object",
        "objdata",
        "operator",
        "pict",
        "pn",
        "printim",
        "revtbl",
        "revtim",
        "rsidtbl",
        "rxe",
        "stylesheet",
        "subject",
        "tc",
        "template",
        "themedata",
        "title",
        "txe",
        "xe",
        "xmlnstbl",
        "filetbl",
        "pgdsctbl",
        "shp",
        "shppict",
        "userprops",
        "docvar",
    };
    for (const char* N : Names)
        if (W == N)
            return true;
    return false;
}

class TReader {
public:
    TReader(const std::string& Data, TRtfSink& Sink)
        : P(Data.data()), End(Data.data() + Data.size()), FSink(Sink) {}

    void Run();

private:
    // Input
    void ControlWord();
    void ControlSymbol(char C);
    void OpenGroup();
    // True when the root group has closed.
    bool CloseGroup();

    // Text
    void Byte(char C);
    void FlushBytes();
    void Char(uint32_t Cp);
    void Emit(const std::string& Utf8);
    void FlushRun();
    // \par: inside a table the mark may only close a cell's text, which the next \cell turns into a tab.
    void EndParagraph();
    void FlushPendingParagraph();
    void Mark(const TRtfParaFormat& Para);
    int CodePage() const;
    TRtfCharFormat Format() const;
    bool Skipping() {
        if (FSkip == 0)
            return false;
        --FSkip;
        return true;
    }

    const char* P;
    const char* End;
    TRtfSink& FSink;
    std::vector<TGroup> FGroups;
    TDecoder FDecoder;

    int FAnsiCodePage = 1252;
    int FDefaultFont = 0;
    std::map<int, TFont> FFonts;
    int FFontEntry = -1;
    std::string FFontName;
    std::vector<TRtfCharFormat> FColors{TRtfCharFormat()};
    int FRed = -1, FGreen = -1, FBlue = -1;

    std::string FBytes; // text bytes waiting for their code page
    int FBytesCodePage = 0;
    int FSkip = 0; // stand-in characters still to drop after \uN
    uint32_t FHighSurrogate = 0;
    bool FIgnorable = false; // \* seen: the next control word opens a skipped destination
    int FPendingTabs = 0;    // cells ended; their tabs go out before the next text
    std::optional<TRtfParaFormat> FPendingParagraph;

    std::string FRun;
    TRtfCharFormat FRunFormat;
};

void TReader::Run() {
    static const char Start[] = "{\\rtf";
    if (size_t(End - P) < sizeof Start - 1 || std::memcmp(P, Start, sizeof Start - 1) != 0)
        throw ERtfError("Not a rich text document");
    while (P < End) {
        const char C = *P++;
        switch (C) {
        case '{':
            FlushBytes();
            OpenGroup();
            break;
        case '}':
            FlushBytes();
            if (CloseGroup())
                return;
            break;
        case '\\':
            if (P == End)
                throw ERtfError("Rich text ends inside a control word");
            if (std::isalpha(static_cast<unsigned char>(*P)))
                ControlWord();
            else
                ControlSymbol(*P++);
            break;
        case '\r':
        case '\n':
            break;
        case '\t':
            FlushBytes();
            if (!Skipping())
                Emit("\t");
            break;
        default:
            if (static_cast<unsigned char>(C) >= 0x20)
                Byte(C);
        }
    }
    throw ERtfError("Rich text groups are not closed");
}

void TReader::OpenGroup() {
    if (int(FGroups.size()) >= RtfMaxDepth)
        throw ERtfError("Rich text groups nested too deeply");
    FSkip = 0;
    FGroups.push_back(FGroups.empty() ? TGroup() : FGroups.back());
    FIgnorable = false;
}

bool TReader::CloseGroup() {
    if (FGroups.empty())
        throw ERtfError("Rich text group closed that was not open");
    FSkip = 0;
    if (FGroups.size() == 1) {
        FlushPendingParagraph();
        FlushRun();
        FSink.EndDocument(FGroups.back().Para);
        FGroups.pop_back();
        return true;
    }
    const TDestination Dest = FGroups.back().Dest;
    FGroups.pop_back();
    // A font group that ended without its ";".
    if (Dest == dFontTable && FGroups.back().Dest == dFontTable && FFontEntry >= 0) {
        Byte(';');
        FlushBytes();
    }
    return false;
}

void TReader::ControlSymbol(char C) {
    if (C != '\'')
        FlushBytes();
    if (FGroups.empty())
        return;
    switch (C) {
    case '*':
        FIgnorable = true;
        return;
    case '\'': {
        auto Hex = [](char H) {
            return H >= '0' && H <= '9'   ? H - '0'
                   : H >= 'a' && H <= 'f' ? H - 'a' + 10
                   : H >= 'A' && H <= 'F' ? H - 'A' + 10
                                          : -1;
        };
        const int Hi = P < End ? Hex(P[0]) : -1;
        const int Lo = P + 1 < End ? Hex(P[1]) : -1;
        if (Hi < 0 || Lo < 0)
            return;
        P += 2;
        Byte(char(Hi * 16 + Lo));
        return;
    }
    default:
        break;
    }
    if (Skipping())
        return;
    switch (C) {
    case '\\':
    case '{':
    case '}':
        Char(uint8_t(C));
        break;
    case '~':
        Char(0xA0);
        break;
    case '_':
        Char(0x2011);
        break;
    case '\r':
    case '\n':
        EndParagraph();
        break;
    default: // "\-" optional hyphen, "\|", "\:" and unknown symbols show nothing
        break;
    }
}

void TReader::ControlWord() {
    FlushBytes();
    const char* WordStart = P;
    while (P < End && std::isalpha(static_cast<unsigned char>(*P)) && P - WordStart < 32)
        ++P;
    const std::string_view Word(WordStart, size_t(P - WordStart));
    bool HasParam = false;
    bool Negative = false;
    int64_t Param = 0;
    if (P < End && *P == '-' && P + 1 < End && std::isdigit(static_cast<unsigned char>(P[1])))
        Negative = true, ++P;
    for (int Digits = 0; P < End && std::isdigit(static_cast<unsigned char>(*P)); ++P, ++Digits)
        if (Digits < 10)
            Param = Param * 10 + (*P - '0'), HasParam = true;
    if (P < End && *P == ' ')
        ++P;
    const int N = int(std::clamp<int64_t>(Negative ? -Param : Param, INT32_MIN, INT32_MAX));
    if (FGroups.empty())
        return;
    TGroup& G = FGroups.back();

    if (Word == "bin") {
        // Raw bytes that are never text, wherever they stand.
        P += std::min<int64_t>(std::max(N, 0), End - P);
        if (FSkip > 0)
            --FSkip;
        return;
    }
    const bool Ignorable = FIgnorable;
    FIgnorable = false;
    if (G.Dest == dSkip)
        return;
    if (Ignorable || SkippedDestination(Word)) {
        G.Dest = dSkip;
        return;
    }
    if (Skipping())
        return;
    const bool On = !HasParam || N != 0;

    if (G.Dest == dFontTable) {
        if (Word == "f") {
            FFontEntry = N;
            FFontName.clear();
            FFonts[N] = TFont();
        } else if (Word == "fcharset" && FFontEntry >= 0) {
            FFonts[FFontEntry].CodePage = CharsetCodePage(N);
        } else if (Word == "cpg" && FFontEntry >= 0) {
            FFonts[FFontEntry].CodePage = N;
        } else if (Word == "u") {
            Char(uint32_t(N < 0 ? N + 65536 : N));
            FSkip = G.Uc;
        } else if (Word == "uc") {
            G.Uc = std::max(N, 0);
        }
        return;
    }
    if (G.Dest == dColorTable) {
        if (Word == "red")
            FRed = N & 255;
        else if (Word == "green")
            FGreen = N & 255;
        else if (Word == "blue")
            FBlue = N & 255;
        return;
    }

    if (Word == "par") {
        EndParagraph();
    } else if (Word == "u") {
        Char(uint32_t(N < 0 ? N + 65536 : N));
        FSkip = G.Uc;
    } else if (Word == "uc") {
        G.Uc = std::max(N, 0);
    } else if (Word == "tab") {
        Emit("\t");
    } else if (Word == "line") {
        Char(LineSeparator);
    } else if (Word == "cell" || Word == "nestcell") {
        FPendingParagraph.reset();
        ++FPendingTabs;
    } else if (Word == "row" || Word == "nestrow") {
        FPendingParagraph.reset();
        Mark(G.Para);
    } else if (Word == "intbl") {
        G.InTable = true;
    } else if (Word == "plain") {
        const TRtfParaFormat Para = G.Para;
        const int Uc = G.Uc;
        G = TGroup();
        G.Para = Para;
        G.Uc = Uc;
    } else if (Word == "pard") {
        G.Para = TRtfParaFormat();
        G.InTable = false;
    } else if (Word == "ql") {
        G.Para.Alignment = raLeft;
    } else if (Word == "qc") {
        G.Para.Alignment = raCenter;
    } else if (Word == "qr") {
        G.Para.Alignment = raRight;
    } else if (Word == "qj" || Word == "qd") {
        G.Para.Alignment = raJustify;
    } else if (Word == "b") {
        G.Bold = On;
    } else if (Word == "i") {
        G.Italic = On;
    } else if (Word == "ul" || Word == "uld" || Word == "uldb" || Word == "ulw" || Word == "uldash" ||
               Word == "ulwave" || Word == "ulth" || Word == "uldashd" || Word == "uldashdd" ||
               Word == "ulhwave" || Word == "ululdbwave" || Word == "ulldash" || Word == "ulthd" ||
               Word == "ulthdash") {
        G.Underline = On;
    } else if (Word == "ulnone") {
        G.Underline = false;
    } else if (Word == "strike" || Word == "striked") {
        G.StrikeOut = On;
    } else if (Word == "f") {
        G.Font = N;
    } else if (Word == "fs") {
        G.HalfPoints = N > 0 ? N : DefaultHalfPoints;
    } else if (Word == "cf") {
        G.Color = N;
    } else if (Word == "fonttbl") {
        G.Dest = dFontTable;
        FFontEntry = -1;
    } else if (Word == "colortbl") {
        G.Dest = dColorTable;
        FColors.clear();
        FRed = FGreen = FBlue = -1;
    } else if (Word == "ansicpg") {
        FAnsiCodePage = N;
    } else if (Word == "mac") {
        FAnsiCodePage = 10000;
    } else if (Word == "pc") {
        FAnsiCodePage = 437;
    } else if (Word == "pca") {
        FAnsiCodePage = 850;
    } else if (Word == "deff") {
        FDefaultFont = N;
    } else if (Word == "emdash") {
        Char(0x2014);
    } else if (Word == "endash") {
        Char(0x2013);
    } else if (Word == "bullet") {
        Char(0x2022);
    } else if (Word == "lquote") {
        Char(0x2018);
    } else if (Word == "rquote") {
        Char(0x2019);
    } else if (Word == "ldblquote") {
        Char(0x201C);
    } else if (Word == "rdblquote") {
        Char(0x201D);
    } else if (Word == "emspace") {
        Char(0x2003);
    } else if (Word == "enspace") {
        Char(0x2002);
    } else if (Word == "qmspace") {
        Char(0x2005);
    } else if (Word == "zwj") {
        Char(0x200D);
    } else if (Word == "zwnj") {
        Char(0x200C);
    }
}

int TReader::CodePage() const {
    const TGroup& G = FGroups.back();
    auto It = FFonts.find(G.Font < 0 ? FDefaultFont : G.Font);
    return It != FFonts.end() && It->second.CodePage != 0 ? It->second.CodePage : FAnsiCodePage;
}

void TReader::Byte(char C) {
    if (FGroups.empty() || Skipping())
        return;
    const TDestination Dest = FGroups.back().Dest;
    if (Dest == dSkip)
        return;
    if (C == ';' && Dest != dText) {
        FlushBytes();
        if (Dest == dFontTable && FFontEntry >= 0) {
            FFonts[FFontEntry].Name = FFontName;
            FFontEntry = -1;
        } else if (Dest == dColorTable) {
            TRtfCharFormat Entry;
            Entry.HasColor = FRed >= 0 || FGreen >= 0 || FBlue >= 0;
            Entry.Color =
                Entry.HasColor
                    ? uint32_t(std::max(FRed, 0) << 16 | std::max(FGreen, 0) << 8 | std::max(FBlue, 0))
                    : 0;
            FColors.push_back(Entry);
            FRed = FGreen = FBlue = -1;
        }
        return;
    }
    const int Cp = Dest == dFontTable && FFontEntry >= 0 && FFonts[FFontEntry].CodePage
                       ? FFonts[FFontEntry].CodePage
                       : CodePage();
    if (!FBytes.empty() && Cp != FBytesCodePage)
        FlushBytes();
    FBytes += C;
    FBytesCodePage = Cp;
}

void TReader::FlushBytes() {
    if (FBytes.empty())
        return;
    std::string Utf8;
    FDecoder.Append(Utf8, FBytes, FBytesCodePage);
    FBytes.clear();
    Emit(Utf8);
}

// One character from \uN or a symbol; surrogate halves are paired here.
void TReader::Char(uint32_t Cp) {
    if (Cp >= 0xD800 && Cp <= 0xDBFF) {
        if (FHighSurrogate)
            Emit("\xEF\xBF\xBD");
        FHighSurrogate = Cp;
        return;
    }
    std::string Utf8;
    if (Cp >= 0xDC00 && Cp <= 0xDFFF && FHighSurrogate) {
        AppendUtf8(Utf8, 0x10000 + ((FHighSurrogate - 0xD800) << 10) + (Cp - 0xDC00));
        FHighSurrogate = 0;
    } else {
        AppendUtf8(Utf8, Cp > 0x10FFFF || (Cp >= 0xD800 && Cp <= 0xDFFF) ? Replacement : Cp);
    }
    Emit(Utf8);
}

void TReader::Emit(const std::string& Utf8) {
    if (FHighSurrogate) {
        FHighSurrogate = 0;
        Emit("\xEF\xBF\xBD");
    }
    if (FGroups.empty())
        return;
    switch (FGroups.back().Dest) {
    case dFontTable:
        if (FFontEntry >= 0)
            FFontName += Utf8;
        return;
    case dText:
        break;
    default:
        return;
    }
    FlushPendingParagraph();
    const TRtfCharFormat F = Format();
    if (F != FRunFormat)
        FlushRun();
    FRunFormat = F;
    if (FPendingTabs > 0) {
        FRun.append(size_t(FPendingTabs), '\t');
        FPendingTabs = 0;
    }
    FRun += Utf8;
}

TRtfCharFormat TReader::Format() const {
    const TGroup& G = FGroups.back();
    TRtfCharFormat F;
    auto Font = FFonts.find(G.Font < 0 ? FDefaultFont : G.Font);
    if (Font != FFonts.end())
        F.FontName = Font->second.Name;
    F.HalfPoints = G.HalfPoints;
    F.Bold = G.Bold;
    F.Italic = G.Italic;
    F.Underline = G.Underline;
    F.StrikeOut = G.StrikeOut;
    if (G.Color >= 0 && size_t(G.Color) < FColors.size()) {
        F.HasColor = FColors[size_t(G.Color)].HasColor;
        F.Color = FColors[size_t(G.Color)].Color;
    }
    return F;
}

void TReader::FlushRun() {
    if (!FRun.empty())
        FSink.Text(FRun, FRunFormat);
    FRun.clear();
}

void TReader::EndParagraph() {
    const TGroup& G = FGroups.back();
    if (G.Dest != dText)
        return;
    FlushPendingParagraph();
    if (G.InTable) {
        FlushRun();
        FPendingParagraph = G.Para;
    } else {
        Mark(G.Para);
    }
}

void TReader::FlushPendingParagraph() {
    if (!FPendingParagraph)
        return;
    const TRtfParaFormat Para = *FPendingParagraph;
    FPendingParagraph.reset();
    Mark(Para);
}

void TReader::Mark(const TRtfParaFormat& Para) {
    FPendingTabs = 0;
    FlushRun();
    FSink.EndParagraph(Para);
}

class TPlainText : public TRtfSink {
public:
    void Text(const std::string& Utf8, const TRtfCharFormat&) override {
        static const std::string Separator = "\xE2\x80\xA8";
        for (size_t I = 0;;) {
            const size_t J = Utf8.find(Separator, I);
            Out.append(Utf8, I, J == std::string::npos ? std::string::npos : J - I);
            if (J == std::string::npos)
                break;
            Out += '\n';
            I = J + Separator.size();
        }
    }
    void EndParagraph(const TRtfParaFormat&) override { Out += '\n'; }
    void EndDocument(const TRtfParaFormat&) override {}
    std::string Out;
};

} // namespace

bool IsRtf(const std::string& Data) {
    return Data.compare(0, 5, "{\\rtf") == 0;
}

void ReadRtf(const std::string& Data, TRtfSink& Sink) {
    TReader(Data, Sink).Run();
}

std::string RtfToPlainText(const std::string& Data) {
    TPlainText Sink;
    ReadRtf(Data, Sink);
    return Sink.Out;
}
