// tarnlet-cli show: an entry as the window's content pane shows it.

#include "cli/Verbs.h"
#include "platform/Classes.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"
#include "text/Conversion.h"
#include "text/Rtf.h"

#include <cstdio>
#include <exception>

const TVerb ShowVerbInfo = {
    "show", "[-p PASSWORD] ARCHIVE ENTRY",
    "      Writes ENTRY (its full stored name) as the window shows it: form files (.dfm) in\n"
    "      their text form, .txt and .pas as stored, .rtf as the document's text (a line per\n"
    "      paragraph, UTF-8), anything else with every byte outside 32..126 shown as \".\".",
    ShowVerb};

int ShowVerb(const std::vector<std::string>& Args) {
    TExtractArgs Options;
    if (!ParseExtractArgs(Args, "p", Options) || Options.Operands.size() != 2)
        return ReportUsage(ShowVerbInfo);
    const std::string& Path = Options.Operands[0];
    const std::string& Name = Options.Operands[1];
    try {
        TEntryScratch Scratch(Path, Options.Password);
        std::string Text;
        try {
            TFileStream In(Scratch.Extract(Name), fmOpenRead);
            RegisterDisplayConversions();
            Text = ReadAllConverted(In, Name, ConversionClass<THexConversion>());
            // The pane reads .rtf entries as rich text, and shows one that is not as text.
            if (UpperCaseAscii(ExtractFileExt(Name)) == ".RTF" && IsRtf(Text))
                Text = RtfToPlainText(Text);
        } catch (const std::exception& E) {
            return ReportError(Path, Name + ": " + E.what());
        }
        if (std::fwrite(Text.data(), 1, Text.size(), stdout) != Text.size() || std::fflush(stdout) != 0)
            return ReportError(Path, "cannot write to standard output");
        return ExitOk;
    } catch (const std::exception& E) {
        return ReportError(Path, E.what());
    }
}
