// tarnlet-cli cat against unzip -p on archives of every kind of entry, and tarnlet-cli show with each
// rendering; missing entries and damaged data are errors.

#include "TestUtil.h"
#include "TextFixtures.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testutil;

namespace {

// Standard output and exit status of tarnlet-cli; standard error into Err when given.
int CliOut(const std::string& Args, std::string& Out, std::string* Err = nullptr) {
    TScratchDir Dir;
    const int Status = Cli(Args + " 2>" + Quote(Dir / "err"), &Out);
    if (Err)
        *Err = ReadFile(Dir / "err");
    return Status;
}

} // namespace

TEST(CliCat, EntriesAsUnzipPrintsThem) {
    TScratchDir Dir;
    const std::string Cd = "cd " + Quote(Dir.Path()) + " && ";
    std::vector<std::string> Names;
    for (int I = 0; I < 12; ++I) {
        const std::string Name =
            "t/" + std::string(I % 3 ? "sub dir/" : "") + "e" + std::to_string(I) + (I % 2 ? ".txt" : ".bin");
        std::filesystem::create_directories(std::filesystem::path(Dir / Name).parent_path());
        WriteFile(Dir / Name, I % 2 ? SampleText(size_t(I) * 9000, I) : RandomBytes(size_t(I) * 5000, I));
        Names.push_back(Name);
    }
    Names.push_back("t/sub dir/");
    for (const char* Level : {"-0", "-1", "-6", "-9"}) {
        SCOPED_TRACE(Level);
        const std::string Zip = Dir / (std::string("a") + Level + ".zip");
        ASSERT_EQ(testutil::Run(Cd + "zip -q -r " + Level + " " + Quote(Zip) + " t"), 0);
        std::string All, Want;
        for (const std::string& Name : Names) {
            std::string Got, Ref;
            EXPECT_EQ(CliOut("cat " + Quote(Zip) + " " + Quote(Name), Got), 0) << Name;
            testutil::Run("unzip -p " + Quote(Zip) + " " + Quote(Name), &Ref);
            EXPECT_TRUE(Got == Ref) << Name;
            Want = Ref + Want;
            All = " " + Quote(Name) + All;
        }
        // Several at once come in the order asked for.
        std::string Got;
        EXPECT_EQ(CliOut("cat " + Quote(Zip) + All, Got), 0);
        EXPECT_TRUE(Got == Want);
    }
}

TEST(CliCat, MissingAndDamaged) {
    TScratchDir Dir;
    WriteFile(Dir / "a.txt", "some text to find");
    WriteFile(Dir / "b.txt", "other text");
    ASSERT_EQ(testutil::Run("cd " + Quote(Dir.Path()) + " && zip -q -0 z.zip a.txt b.txt"), 0);
    std::string Out, Err;
    // The entry that is there still comes out; the missing one is named on standard error.
    EXPECT_EQ(CliOut("cat " + Quote(Dir / "z.zip") + " nope.txt b.txt", Out, &Err), 2);
    EXPECT_EQ(Out, "other text");
    EXPECT_NE(Err.find("nope.txt: no such entry"), std::string::npos) << Err;
    EXPECT_EQ(CliOut("cat " + Quote(Dir / "z.zip") + " A.TXT", Out), 2);

    std::string Bytes = ReadFile(Dir / "z.zip");
    Bytes[Bytes.find("some text")] = 'S';
    WriteFile(Dir / "z.zip", Bytes);
    EXPECT_EQ(CliOut("cat " + Quote(Dir / "z.zip") + " a.txt", Out, &Err), 2);
    EXPECT_NE(Err.find("a.txt: "), std::string::npos) << Err;
    EXPECT_EQ(CliOut("cat " + Quote(Dir / "missing.zip") + " a.txt", Out, &Err), 2);
    EXPECT_EQ(CliOut("cat " + Quote(Dir / "z.zip"), Out, &Err), 2);
}

TEST(CliShow, EachRendering) {
    TScratchDir Dir;
    const std::string Cd = "cd " + Quote(Dir.Path()) + " && ";
    const std::string Text = "line one\r\n\tline two\n";
    for (const char* Name : {"notes.txt", "unit1.pas", "main.c", "page.htm", "noext"})
        WriteFile(Dir / Name, Text);
    WriteFile(Dir / "form1.dfm", TextFixture("all.dfm"));
    WriteFile(Dir / "bad.dfm", "no form");
    WriteFile(Dir / "Readme.RTF", "{\\rtf1 {\\b Bold} first\\par second\\line third\\par}");
    WriteFile(Dir / "plain.rtf", "not rich");
    ASSERT_EQ(testutil::Run(Cd + "zip -q z.zip *"), 0);
    const std::string Zip = Quote(Dir / "z.zip");
    const struct {
        const char* Entry;
        std::string Want;
    } Cases[] = {
        {"notes.txt", Text},
        {"unit1.pas", Text},
        {"main.c", "line one...line two."},
        {"page.htm", "line one...line two."},
        {"noext", "line one...line two."},
        {"form1.dfm", TextFixture("all.expected.txt")},
        {"Readme.RTF", "Bold first\nsecond\nthird\n"},
        {"plain.rtf", "not rich"},
    };
    for (const auto& C : Cases) {
        std::string Out;
        EXPECT_EQ(CliOut("show " + Zip + " " + C.Entry, Out), 0) << C.Entry;
        EXPECT_EQ(Out, C.Want) << C.Entry;
    }
    std::string Out, Err;
    EXPECT_EQ(CliOut("show " + Zip + " bad.dfm", Out, &Err), 2);
    EXPECT_NE(Err.find("bad.dfm: Invalid stream format"), std::string::npos) << Err;
    EXPECT_EQ(CliOut("show " + Zip + " nope.txt", Out, &Err), 2);
    EXPECT_EQ(CliOut("show " + Zip + " notes.txt unit1.pas", Out, &Err), 2);
}
