// `tarnlet-cli test` and `extract` on the archives the DOS zip programs made with every legacy method.

#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testutil;

namespace {

std::string Pkzip(const std::string& Name) {
    return FixturesDir() + "/pkzip/" + Name;
}

std::string Cli() {
    return Quote(BinDir() + "/tarnlet-cli");
}

TEST(LegacyArchives, TestPassesOnEveryFixtureArchive) {
    int Archives = 0;
    for (const auto& File : std::filesystem::directory_iterator(FixturesDir() + "/pkzip")) {
        if (File.path().extension() != ".ZIP")
            continue;
        SCOPED_TRACE(File.path().filename().string());
        std::string Output;
        EXPECT_EQ(testutil::Run(Cli() + " test " + Quote(File.path().string()) + " 2>&1", &Output), 0)
            << Output;
        ++Archives;
    }
    EXPECT_EQ(Archives, 13);
}

class LegacyExtract : public testing::TestWithParam<std::string> {};

TEST_P(LegacyExtract, EveryEntryMatchesItsStoredCopy) {
    TScratchDir Dir;
    std::string Output;
    ASSERT_EQ(
        testutil::Run(Cli() + " extract -o " + Quote(Pkzip(GetParam())) + " " + Quote(Dir.Path()) + " 2>&1",
                      &Output),
        0)
        << Output;
    const auto Stored = ReadLocalEntries(Pkzip("PKZ204E0.ZIP"));
    ASSERT_EQ(Stored.size(), 15u);
    for (const TLocalEntry& E : Stored) {
        SCOPED_TRACE(E.Name);
        EXPECT_TRUE(ReadFile(Dir / E.Name) == E.Data);
    }
}

INSTANTIATE_TEST_SUITE_P(Pkzip, LegacyExtract,
                         testing::Values("PKZ110.ZIP", "PKZ110EI.ZIP", "PKZ110ES.ZIP", "PKZ80B1.ZIP",
                                         "PKZ80B2.ZIP", "PKZ80B3.ZIP", "PKZ80B4.ZIP"),
                         [](const testing::TestParamInfo<std::string>& Info) {
                             return Info.param.substr(0, Info.param.find('.'));
                         });

} // namespace
