// tarnlet-cli cat against unzip -p, tarnlet-cli show with each rendering; missing entries and damaged data.

#include "TestUtil.h"
#include "TextFixtures.h"

#include <gtest/gtest.h>

using namespace testutil;

TEST(CliCat, EntriesAsUnzipPrintsThem) {
    TScratchDir Dir;
    std::vector<std::string> Names = {"t/sub dir/"};
    for (unsigned I = 0; I < 12; ++I) {
        Names.push_back("t/" + std::string(I % 3 ? "sub dir/" : "") + "e" + std::to_string(I) +
                        (I % 2 ? ".txt" : ".bin"));
        WriteFile(Dir / Names.back(), I % 2 ? SampleText(I * 9000, I) : RandomBytes(I * 5000, I));
    }
    for (const std::string Level : {"-0", "-1", "-6", "-9"}) {
        const std::string Zip = Quote(Dir / ("a" + Level + ".zip"));
        ASSERT_EQ(testutil::Run("cd " + Quote(Dir.Path()) + " && zip -q -r " + Level + " " + Zip + " t"), 0);
        // All at once, in the reverse of the archive's order: each as unzip -p prints it, in the order asked.
        std::string All, Want, Got;
        for (const std::string& Name : Names) {
            std::string Ref;
            testutil::Run("unzip -p " + Zip + " " + Quote(Name), &Ref);
            Want = Ref + Want;
            All = " " + Quote(Name) + All;
        }
        EXPECT_EQ(Cli("cat " + Zip + All + " 2>/dev/null", &Got), 0);
        EXPECT_TRUE(Got == Want) << Level;
    }
}

// Missing entries and archives, damaged data and bad arguments: a message and exit 2; the entries that
// are there still come out.
TEST(CliCatShow, Failures) {
    TScratchDir Dir;
    WriteFile(Dir / "a.txt", "some text to find");
    WriteFile(Dir / "b.txt", "other text");
    WriteFile(Dir / "bad.dfm", "no form");
    ASSERT_EQ(testutil::Run("cd " + Quote(Dir.Path()) + " && zip -q -0 z.zip a.txt b.txt bad.dfm"), 0);
    const std::string Zip = Quote(Dir / "z.zip");
    std::string Out, Err;
    EXPECT_EQ(Cli("cat " + Zip + " nope.txt b.txt", &Out, &Err), 2);
    EXPECT_EQ(Out, "other text");
    EXPECT_NE(Err.find("nope.txt: no such entry"), std::string::npos) << Err;
    EXPECT_EQ(Cli("show " + Zip + " bad.dfm", &Out, &Err), 2);
    EXPECT_NE(Err.find("bad.dfm: Invalid stream format"), std::string::npos) << Err;
    for (const std::string& Args :
         {"cat " + Zip + " A.TXT", "cat " + Quote(Dir / "missing.zip") + " a.txt", "cat " + Zip,
          "show " + Zip + " nope.txt", "show " + Zip + " a.txt b.txt"})
        EXPECT_EQ(Cli(Args + " 2>/dev/null"), 2) << Args;
    std::string Bytes = ReadFile(Dir / "z.zip");
    Bytes[Bytes.find("some text")] = 'S';
    WriteFile(Dir / "z.zip", Bytes);
    EXPECT_EQ(Cli("cat " + Zip + " a.txt", &Out, &Err), 2);
    EXPECT_NE(Err.find("a.txt: "), std::string::npos) << Err;
}

TEST(CliShow, EachRendering) {
    TScratchDir Dir;
    const std::string Text = "line one\r\n\tline two\n", Dotted = "line one...line two.";
    for (const char* Name : {"notes.txt", "unit1.pas", "main.c", "page.htm", "noext"})
        WriteFile(Dir / Name, Text);
    WriteFile(Dir / "form1.dfm", TextFixture("all.dfm"));
    WriteFile(Dir / "Readme.RTF", "{\\rtf1 {\\b Bold} first\\par second\\line third\\par}");
    WriteFile(Dir / "plain.rtf", "not rich");
    ASSERT_EQ(testutil::Run("cd " + Quote(Dir.Path()) + " && zip -q z.zip *"), 0);
    const std::pair<const char*, std::string> Cases[] = {
        {"notes.txt", Text},       {"unit1.pas", Text},
        {"main.c", Dotted},        {"page.htm", Dotted},
        {"noext", Dotted},         {"form1.dfm", TextFixture("all.expected.txt")},
        {"plain.rtf", "not rich"}, {"Readme.RTF", "Bold first\nsecond\nthird\n"}};
    for (const auto& [Entry, Want] : Cases) {
        std::string Out;
        EXPECT_EQ(Cli("show " + Quote(Dir / "z.zip") + " " + Entry, &Out), 0) << Entry;
        EXPECT_EQ(Out, Want) << Entry;
    }
}
