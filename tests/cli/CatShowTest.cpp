// tarnlet-cli cat and show: entries in the order asked, each rendering, missing entries and damaged data.

#include "TestUtil.h"
#include "TextFixtures.h"

#include <gtest/gtest.h>

using namespace testutil;

TEST(CliCatShow, EntriesRenderingsAndFailures) {
    TScratchDir Dir;
    const std::string Text = "line one\r\n\tline two\n", Dotted = "line one...line two.",
                      Big = RandomBytes(70000, 1) + SampleText(90000, 2);
    for (const char* Name : {"notes.txt", "unit1.pas", "main.c", "page.htm", "noext"})
        WriteFile(Dir / ("t/" + std::string(Name)), Text);
    WriteFile(Dir / "t/sub dir/big.bin", Big);
    WriteFile(Dir / "t/form1.dfm", TextFixture("all.dfm"));
    WriteFile(Dir / "t/bad.dfm", "no form");
    WriteFile(Dir / "t/Readme.RTF", "{\\rtf1 {\\b Bold} first\\par second\\line third\\par}");
    WriteFile(Dir / "t/plain.rtf", "not rich");
    const std::string Zip = Quote(Dir / "z.zip");
    ASSERT_EQ(testutil::Run("cd " + Quote(Dir / "t") + " && zip -q -r " + Zip + " ."), 0);
    // A folder prints nothing; a missing entry is named and the others still come out.
    std::string Out, Err;
    EXPECT_EQ(Cli("cat " + Zip + " 'sub dir/big.bin' 'sub dir/' nope.txt plain.rtf", &Out, &Err), 2);
    EXPECT_TRUE(Out == Big + "not rich");
    EXPECT_NE(Err.find("nope.txt: no such entry"), std::string::npos) << Err;
    const std::pair<const char*, std::string> Shown[] = {
        {"notes.txt", Text},       {"unit1.pas", Text},
        {"main.c", Dotted},        {"page.htm", Dotted},
        {"noext", Dotted},         {"form1.dfm", TextFixture("all.expected.txt")},
        {"plain.rtf", "not rich"}, {"Readme.RTF", "Bold first\nsecond\nthird\n"}};
    for (const auto& [Entry, Want] : Shown) {
        EXPECT_EQ(Cli("show " + Zip + " " + Entry, &Out), 0) << Entry;
        EXPECT_EQ(Out, Want) << Entry;
    }
    EXPECT_EQ(Cli("show " + Zip + " bad.dfm", &Out, &Err), 2);
    EXPECT_NE(Err.find("bad.dfm: Invalid stream format"), std::string::npos) << Err;
    for (const std::string& Args :
         {"cat " + Zip + " NOTES.TXT", "cat " + Quote(Dir / "missing.zip") + " noext", "cat " + Zip,
          "show " + Zip + " nope.txt", "show " + Zip + " noext main.c"})
        EXPECT_EQ(Cli(Args + " 2>/dev/null"), 2) << Args;
    // Damaged data is an error, not text.
    std::string Bytes = ReadFile(MakeZip(Dir / "d.zip", {{"a.txt", "some text to find"}}, "-0"));
    Bytes[Bytes.find("some text")] = 'S';
    WriteFile(Dir / "d.zip", Bytes);
    EXPECT_EQ(Cli("cat " + Quote(Dir / "d.zip") + " a.txt", &Out, &Err), 2);
    EXPECT_NE(Err.find("a.txt: "), std::string::npos) << Err;
}
