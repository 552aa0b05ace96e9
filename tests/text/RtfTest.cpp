// Rich text: documents written by other programs read back to their known text and formats, hand-made
// groups for the corners of the format, the writer read back unchanged, and damaged documents refused
// without a crash.

#include "text/Rtf.h"
#include "common/RtfRecorder.h"
#include "common/TestUtil.h"
#include "common/TextFixtures.h"
#include "platform/CodePage.h"

#include <gtest/gtest.h>
#include <random>
#include <regex>

namespace {

using namespace testutil;

// Random text with the characters the writer must escape or name: braces, backslashes, tabs, line
// breaks, controls, accents, other scripts and characters beyond the basic plane.
std::string RandomText(std::mt19937& Random) {
    static const uint32_t Specials[] = {'\\',  '{',    '}',    '\t',    0x2028,  1,   10,  13,  127, 0xE9,
                                        0x416, 0x3042, 0xFFFD, 0x1F600, 0x1D11E, ';', ' ', '?', '0', 'z'};
    std::string S;
    const int N = 1 + int(Random() % 12);
    for (int I = 0; I < N; ++I)
        AppendUtf8(S,
                   Random() % 3 ? uint32_t('a' + Random() % 26) : Specials[Random() % std::size(Specials)]);
    return S;
}

TRtfCharFormat RandomFormat(std::mt19937& Random) {
    static const char* const Fonts[] = {"",           "Arial", "Courier New", "Caf\xC3\xA9 Sans",
                                        "Semi;colon", "{Odd}", "Tab\tName"};
    TRtfCharFormat F;
    F.FontName = Fonts[Random() % std::size(Fonts)];
    F.HalfPoints = 1 + int(Random() % 200);
    const unsigned Bits = Random();
    F.Bold = Bits & 1, F.Italic = Bits & 2, F.Underline = Bits & 4, F.StrikeOut = Bits & 8;
    F.HasColor = Bits & 16;
    F.Color = F.HasColor ? Bits >> 8 : 0;
    return F;
}

} // namespace

// Whatever goes into the writer comes back out of the reader.
TEST(Rtf, WriterReadBackUnchanged) {
    std::mt19937 Random(2026);
    for (int Round = 0; Round < 500; ++Round) {
        TRecorder Want;
        for (int P = int(Random() % 5); P >= 0; --P) {
            for (int R = int(Random() % 4); R > 0; --R)
                Want.Text(RandomText(Random), RandomFormat(Random));
            const TRtfParaFormat Para{TRtfAlignment(Random() % 4)};
            P ? Want.EndParagraph(Para) : Want.EndDocument(Para);
        }
        TRtfWriter Writer;
        for (const TEvent& E : Want.Events)
            E.IsParagraph ? Writer.EndParagraph(E.Para) : Writer.Text(E.Run.Text, E.Run.Format);
        Writer.EndDocument(Want.Last);
        const std::string Rtf = Writer.Result();
        const TRecorder Got = ReadRecorded(Rtf);
        ASSERT_TRUE(Got.Events == Want.Events && Got.Last == Want.Last && Got.Ends == 1) << Rtf;
        // Written text is ASCII, so any code page carries it.
        for (char C : Rtf)
            ASSERT_LT(static_cast<unsigned char>(C), 0x80);
    }
}

// Formats as compact text: font, half-points, then B, I, U, S for the flags and a colour.
std::string Describe(const TRecorder& R) {
    std::string Out;
    for (const TEvent& E : R.Events) {
        const TRtfCharFormat& F = E.Run.Format;
        Out += E.IsParagraph
                   ? "|" + std::to_string(E.Para.Alignment) + "|"
                   : E.Run.Text + "(" + F.FontName + " " + std::to_string(F.HalfPoints) +
                         (F.Bold ? " B" : "") + (F.Italic ? " I" : "") + (F.Underline ? " U" : "") +
                         (F.StrikeOut ? " S" : "") + (F.HasColor ? " " + std::to_string(F.Color) : "") + ")";
    }
    return Out + "|" + std::to_string(R.Last.Alignment);
}

// A text and an HTML page converted by an office suite (fixtures/), and Markdown converted by pandoc now.
TEST(Rtf, DocumentsFromOtherWriters) {
    EXPECT_EQ(Lines(RtfToPlainText(TextFixture("sample-txt.rtf"))), Lines(TextFixture("sample.txt")));
    const std::string Html = TextFixture("sample-html.rtf");
    EXPECT_EQ(Lines(RtfToPlainText(Html)),
              (std::vector<std::string>{"Normal bold italic under struck red end.", "Centred paragraph.",
                                        "a1\tb1", "a2\tb2", "Apr\xC3\xA8s the table."}));
    const std::string Formats = Describe(ReadRecorded(Html));
    for (const char* Run : {"bold(", "italic(", "under(", "struck(", "red("})
        EXPECT_NE(Formats.find(Run), std::string::npos) << Run;
    EXPECT_NE(Formats.find("|1|"), std::string::npos);
    for (const char* Flag : {" B)", " I)", " U)", " S)", " 16711680)"})
        EXPECT_EQ(Formats.find(Flag), Formats.rfind(Flag)) << Flag << Formats;

    testutil::TScratchDir Dir;
    const std::string Other = "caf\xC3\xA9, \xD0\xA1\xD1\x8A\xD0\xB5\xD1\x88\xD1\x8C, "
                              "\xE3\x81\x84\xE3\x82\x8D\xE3\x81\xAF, \xF0\x9F\x98\x80, {brace} \\";
    testutil::WriteFile(Dir / "in.md", "First with **bold**.\n\nSecond: " + Other +
                                           "\\ slash.\n\n| A | B |\n|---|---|\n| a1 | b1 |\n");
    std::string Rtf;
    ASSERT_EQ(testutil::Run("pandoc -s -f markdown -t rtf " + testutil::Quote(Dir / "in.md"), &Rtf), 0);
    std::vector<std::string> Got;
    for (const std::string& L : Lines(RtfToPlainText(Rtf)))
        if (!L.empty())
            Got.push_back(L);
    EXPECT_EQ(Got, (std::vector<std::string>{"First with bold.", "Second: " + Other + " slash.", "A\tB",
                                             "a1\tb1"}));
    EXPECT_TRUE(std::regex_search(Describe(ReadRecorded(Rtf)), std::regex("bold\\([^)]* B\\)")));
}

// The corners of the format, each as a small document and the text it holds.
TEST(Rtf, Corners) {
    const struct {
        const char* Rtf;
        const char* Text;
    } Cases[] = {
        {"{\\rtf1 \\u-10179?\\u-8704?\\u-3913?\\u233 ?x}", "\xF0\x9F\x98\x80\xEF\x82\xB7\xC3\xA9x"},
        {"{\\rtf1 \\u55357?b}", "\xEF\xBF\xBD"
                                "b"},
        {"{\\rtf1 a\\bin5 {\\}\\'b}", "ab"},
        {"{\\rtf1 a{\\*\\unknown{nested {deeper \\par}}more}b{\\*\\bkmkstart x}c}", "abc"},
        {"{\\rtf1 a{\\pict\\pngblip 89504e47}{\\object{\\*\\objdata 01}}b}", "ab"},
        {"{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}}", "link"},
        {"{\\rtf1\\uc2 \\u233\\'e9\\'e9x}", "\xC3\xA9x"},
        {"{\\rtf1\\uc0 \\u233 x}", "\xC3\xA9x"},
        {"{\\rtf1 {\\uc3\\u233 ab}c\\u233\\'e9d}", "\xC3\xA9"
                                                   "c\xC3\xA9"
                                                   "d"},
        {"{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}",
         "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        {"{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset128 \\'82\\'6c\\'82\\'72;}{\\f1 Arial;}}\\f0 "
         "\\'82\\'a0\\'83\\'5c\\f1 \\'e9}",
         "\xE3\x81\x82\xE3\x82\xBD\xC3\xA9"},
        {"{\\rtf1 \\'e9\\'zz\\'4}", "\xC3\xA9zz4"},
        {"{\\rtf1 a\\tab b\\line c\\par d\\cell e\\cell\\row f}", "a\tb\nc\nd\te\nf"},
        {"{\\rtf1 \\\\\\{\\}\\~\\emdash\\-\\_\\lquote\\rdblquote}",
         "\\{}\xC2\xA0\xE2\x80\x94\xE2\x80\x91\xE2\x80\x98\xE2\x80\x9D"},
        {"{\\rtf1 {\\header h}{\\footer f}{\\info{\\title t}}{\\stylesheet{\\s0 Normal;}}body}", "body"},
        {"{\\rtf1 a\r\nb\\\r\nc}trailing", "ab\nc"},
    };
    for (const auto& C : Cases)
        EXPECT_EQ(RtfToPlainText(C.Rtf), C.Text) << C.Rtf;
}

TEST(Rtf, Formats) {
    EXPECT_EQ(
        Describe(ReadRecorded(
            "{\\rtf1\\deff1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset0 Courier New;}}"
            "{\\colortbl;\\red255\\green0\\blue0;}"
            "a\\f0\\fs20 b\\b c\\b0\\i d\\i0\\ul e\\ulnone\\strike f\\strike0\\cf1 g{\\b h}i\\plain j"
            "\\par\\pard\\qc k\\par\\qr l\\par\\qj m}")),
        "a(Courier New 24)b(Arial 20)c(Arial 20 B)d(Arial 20 I)e(Arial 20 U)f(Arial 20 S)g(Arial 20 16711680)"
        "h(Arial 20 B 16711680)i(Arial 20 16711680)j(Courier New 24)|0|k(Courier New 24)|1|l(Courier New "
        "24)|2|"
        "m(Courier New 24)|3");
}

// Bad nesting and other damage is an error with a message (the fuzz harness tries random damage).
TEST(Rtf, DamagedDocuments) {
    for (const std::string& Bad :
         {std::string("plain text"), std::string("{\\rtf1 {a}"), std::string("{\\rtf1 a\\"),
          "{\\rtf1 " + std::string(RtfMaxDepth + 1, '{') + std::string(RtfMaxDepth + 2, '}')}) {
        EXPECT_THROW(RtfToPlainText(Bad), ERtfError) << Bad.substr(0, 40);
    }
    EXPECT_EQ(
        RtfToPlainText("{\\rtf1 " + std::string(RtfMaxDepth - 1, '{') + "x" + std::string(RtfMaxDepth, '}')),
        "x");
}
