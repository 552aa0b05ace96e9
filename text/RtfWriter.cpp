#include "platform/SysUtils.h"
#include "text/Rtf.h"

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

namespace {

// Decodes one UTF-8 sequence at S[I]; a malformed byte comes back as U+FFFD.
uint32_t NextCodePoint(const std::string& S, size_t& I) {
    const auto B = static_cast<unsigned char>(S[I++]);
    const int More = B >= 0xF0 ? 3 : B >= 0xE0 ? 2 : B >= 0xC0 ? 1 : 0;
    if (B >= 0x80 && More == 0)
        return 0xFFFD;
    uint32_t Cp = More == 3 ? B & 0x07u : More == 2 ? B & 0x0Fu : More == 1 ? B & 0x1Fu : B;
    for (int K = 0; K < More; ++K) {
        if (I >= S.size() || (static_cast<unsigned char>(S[I]) & 0xC0) != 0x80)
            return 0xFFFD;
        Cp = (Cp << 6) | (static_cast<unsigned char>(S[I++]) & 0x3Fu);
    }
    return Cp;
}

void AppendUnicode(std::string& Out, uint32_t Cp) {
    // The space ends the control word; "?" is the one character a reader without Unicode shows instead,
    // and that other readers skip. Without the space some readers take "?" as the delimiter and skip the
    // next letter.
    auto One = [&Out](uint32_t Unit) { Out += "\\u" + std::to_string(int16_t(uint16_t(Unit))) + " ?"; };
    if (Cp >= 0x10000) {
        One(0xD800 + ((Cp - 0x10000) >> 10));
        One(0xDC00 + ((Cp - 0x10000) & 0x3FF));
    } else {
        One(Cp);
    }
}

// Text as the reader takes it back: printable ASCII as itself, the rest as control words or \uN. In a
// font name only \uN: a bare ";" would end the name, and tabs and line breaks are no control words there.
void AppendEscaped(std::string& Out, const std::string& Utf8, bool FontName = false) {
    for (size_t I = 0; I < Utf8.size();) {
        const uint32_t Cp = NextCodePoint(Utf8, I);
        if (Cp == '\\' || Cp == '{' || Cp == '}')
            Out += {'\\', char(Cp)};
        else if (Cp == '\t' && !FontName)
            Out += "\\tab ";
        else if (Cp == 0x2028 && !FontName)
            Out += "\\line ";
        else if (Cp >= 0x20 && Cp < 0x7F && !(Cp == ';' && FontName))
            Out += char(Cp);
        else
            AppendUnicode(Out, Cp);
    }
}

} // namespace

struct TRtfWriter::TState {
    std::vector<std::string> Fonts;
    std::vector<uint32_t> Colors;
    std::string Body;
    std::string Paragraph; // the text of the paragraph being written
    std::optional<TRtfCharFormat> Current;
    bool Ended = false;

    int Index(std::vector<std::string>& List, const std::string& Name) {
        auto It = std::find(List.begin(), List.end(), Name);
        if (It == List.end())
            It = List.insert(List.end(), Name);
        return int(It - List.begin());
    }
    int ColorIndex(uint32_t C) {
        auto It = std::find(Colors.begin(), Colors.end(), C);
        if (It == Colors.end())
            It = Colors.insert(Colors.end(), C);
        return int(It - Colors.begin()) + 1; // entry 0 is the automatic colour
    }
    // The paragraph's properties ahead of its text.
    std::string ParagraphText(const TRtfParaFormat& Format) const {
        static const char* const Align[] = {"", "\\qc", "\\qr", "\\qj"};
        std::string Out = "\\pard" + std::string(Align[Format.Alignment]);
        if (!Paragraph.empty() && Paragraph[0] != '\\')
            Out += ' ';
        return Out + Paragraph;
    }
};

TRtfWriter::TRtfWriter() : F(std::make_unique<TState>()) {}

TRtfWriter::~TRtfWriter() = default;

void TRtfWriter::Text(const std::string& Utf8, const TRtfCharFormat& Char) {
    if (F->Current != Char) {
        std::string& Out = F->Paragraph;
        Out += Format("\\plain\\f%d\\fs%d", {F->Index(F->Fonts, Char.FontName), Char.HalfPoints});
        Out += Char.Bold ? "\\b" : "";
        Out += Char.Italic ? "\\i" : "";
        Out += Char.Underline ? "\\ul" : "";
        Out += Char.StrikeOut ? "\\strike" : "";
        if (Char.HasColor)
            Out += "\\cf" + std::to_string(F->ColorIndex(Char.Color & 0xFFFFFF));
        Out += ' ';
        F->Current = Char;
    }
    AppendEscaped(F->Paragraph, Utf8);
}

void TRtfWriter::EndParagraph(const TRtfParaFormat& Para) {
    F->Body += F->ParagraphText(Para) + "\\par\r\n";
    F->Paragraph.clear();
}

void TRtfWriter::EndDocument(const TRtfParaFormat& Para) {
    F->Body += F->ParagraphText(Para);
    F->Paragraph.clear();
    F->Ended = true;
}

std::string TRtfWriter::Result() const {
    std::string Out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\r\n{\\fonttbl";
    for (size_t I = 0; I < F->Fonts.size(); ++I) {
        Out += "{\\f" + std::to_string(I) + "\\fnil ";
        AppendEscaped(Out, F->Fonts[I], true);
        Out += ";}";
    }
    Out += "}\r\n{\\colortbl;";
    for (uint32_t C : F->Colors)
        Out += Format("\\red%d\\green%d\\blue%d;", {C >> 16, (C >> 8) & 255, C & 255});
    Out += "}\r\n";
    Out += F->Body;
    if (!F->Ended)
        Out += F->ParagraphText(TRtfParaFormat());
    Out += "}";
    return Out;
}
