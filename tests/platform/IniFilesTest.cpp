// Settings files: what people and other runs wrote, size limits, the round trip, failed writes, and where
// the program's files live.

#include "platform/IniFiles.h"
#include "common/TestUtil.h"
#include "platform/DataFiles.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <sys/stat.h>

using namespace testutil;
using TPairs = std::vector<std::pair<std::string, std::string>>;

// What people and other runs wrote, damaged lines, and the limits: a value is cut at 2,047 bytes (never
// inside a character) and a key list at 16,384.
TEST(IniFiles, ReadsHandWrittenAndDamagedFilesWithinTheLimits) {
    TScratchDir D;
    std::string Text = "stray=before any section\n[searchstr]\r\na = first\r\nno equals sign\n"
                       "b=second=with equals\n  =no key\n" +
                       RandomBytes(3000, 7) + "\n[Options]\nHex=0X1f\nNeg=-3\nWord=yes\nTail=12abc\n" +
                       "Spaced=\"  kept  \"\nv=" + std::string(2046, 'a') +
                       "\xC3\xA9\nw=" + std::string(3000, 'b') + "\n" + std::string(10 << 20, 'x') +
                       "\n[MaskTypes]\n[x] Files (*.x)=0x1\n[Keys]\n";
    // Keys of 19 bytes take 20 in the list: 819 fit in 16,384 with the final terminator.
    for (int I = 0; I < 1000; ++I)
        Text += Format("key%016d=%d\n", {I, I});
    WriteFile(D / "t.INI", Text);
    const TIniFile Ini(D / "t.INI");
    const TPairs Search = Ini.ReadSectionValues("SEARCHSTR");
    EXPECT_EQ(TPairs(Search.begin(), Search.begin() + std::min<size_t>(2, Search.size())),
              (TPairs{{"a", "first"}, {"b", "second=with equals"}}));
    for (const auto& [Key, Value] :
         std::map<std::string, int64_t>{{"Hex", 31}, {"neg", -3}, {"Word", 5}, {"Tail", 5}})
        EXPECT_EQ(Ini.ReadInteger("options", Key, 5), Value) << Key;
    EXPECT_EQ(Ini.ReadString("Options", "Spaced", ""), "  kept  ");
    EXPECT_EQ(Ini.ReadString("Options", "v", ""), std::string(2046, 'a'));
    EXPECT_EQ(Ini.ReadString("Options", "w", ""), std::string(2047, 'b'));
    EXPECT_EQ(Ini.ReadSectionValues("MaskTypes"), (TPairs{{"[x] Files (*.x)", "0x1"}}));
    EXPECT_TRUE(Ini.ReadBool("MaskTypes", "[X] FILES (*.X)", false));
    const TPairs Keys = Ini.ReadSectionValues("Keys");
    EXPECT_TRUE(Keys.size() == 819 &&
                Keys.back() == std::pair(Format("key%016d", {818}), std::string("818")));
}

// Random sections, keys and values written, erased and rewritten, and read back by a fresh reader.
TEST(IniFiles, WhatIsWrittenReadsBack) {
    TScratchDir D;
    std::mt19937 Rng(11);
    const std::vector<std::string> Pieces = {"a", "B",        " ",  "  ", "\"", "=", "[",
                                             "]", "\xC3\xA9", "0x", "\t", "\n", ";", "\r\n"};
    auto Text = [&](bool Key) {
        std::string S = Key ? "k" : "";
        for (int N = Rng() % 6; N > 0; --N)
            S += Pieces[Rng() % Pieces.size()];
        if (Key) // a key ends at its first "="
            std::erase(S, '=');
        for (char& C : S) // a line break would start a new line of the file
            C = C == '\n' || C == '\r' ? ' ' : C;
        return S;
    };
    std::map<std::string, TPairs> Model;
    const std::vector<std::string> Names = {"SearchStr", "SearchPath", "MaskTypes", "Options"};
    for (int Round = 0; Round < 40; ++Round) {
        TIniFile Ini(D / "r.INI");
        const std::string& Section = Names[Rng() % Names.size()];
        Ini.EraseSection(Section);
        Model[Section].clear();
        for (int N = Rng() % 8; N > 0; --N) {
            const std::string Key = Text(true) + std::to_string(N), Value = Text(false);
            Ini.WriteString(Section, Key, Value);
            Model[Section].emplace_back(Key, Value);
        }
        Ini.UpdateFile();
        const TIniFile Back(D / "r.INI");
        for (const auto& [Name, Pairs] : Model)
            ASSERT_EQ(Back.ReadSectionValues(Name), Pairs) << ReadFile(D / "r.INI");
    }
}

TEST(IniFiles, FailedWriteLeavesNothingAndNewFoldersAreMade) {
    TScratchDir D;
    ASSERT_EQ(mkdir((D / "blocked.INI").c_str(), 0700), 0); // a folder stands where the file goes
    TIniFile Blocked(D / "blocked.INI"), Nested(D / "a/b/t.INI");
    Blocked.WriteString("S", "k", "v");
    try {
        Blocked.UpdateFile();
        ADD_FAILURE();
    } catch (const EIniWriteError& E) {
        EXPECT_EQ(E.what() + std::to_string(E.ErrorCode),
                  "Unable to write to " + (D / "blocked.INI") + std::to_string(EISDIR));
    }
    Nested.WriteString("S", "k", "v");
    Nested.UpdateFile();
    std::string Left;
    testutil::Run("cd " + Quote(D.Path()) + " && find . -type f", &Left);
    EXPECT_EQ(Left + ReadFile(D / "a/b/t.INI"), "./a/b/t.INI\n[S]\nk=v\n");
}

// The settings file, the help file and whether the program writes beside itself, for a built copy and an
// installed one (its data folder exists).
TEST(IniFiles, WhereTheProgramsFilesLive) {
    TScratchDir D;
    const std::string Bin = D / "usr/bin", Data = InstalledDataFolder(Bin);
    EXPECT_EQ(SettingsFileName(D / "tarnlet"), D / "tarnlet.INI");
    std::filesystem::create_directories(Bin);
    EXPECT_TRUE(WritesBesideProgram(Bin));
    // Neither help file: the path beside the program, so a message names where it was looked for first.
    EXPECT_EQ(DataFilePath(Bin, "tarnlet.hlp"), Bin + "/tarnlet.hlp");
    WriteFile(Data + "/tarnlet.hlp", "installed");
    EXPECT_TRUE(std::filesystem::equivalent(DataFilePath(Bin, "tarnlet.hlp"), Data + "/tarnlet.hlp"));
    WriteFile(Bin + "/tarnlet.hlp", "beside");
    EXPECT_EQ(DataFilePath(Bin, "tarnlet.hlp"), Bin + "/tarnlet.hlp");
    // An installed copy, or a program folder that cannot take the file, keeps its settings with the user.
    EXPECT_FALSE(WritesBesideProgram(Bin));
    TEnvSetting Config("XDG_CONFIG_HOME", D / "cfg");
    EXPECT_EQ(SettingsFileName(Bin + "/tarnlet"), D / "cfg/tarnlet/tarnlet.INI");
    EXPECT_EQ(SettingsFileName(D / "gone/tarnlet"), D / "cfg/tarnlet/tarnlet.INI");
}
