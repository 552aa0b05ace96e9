// Settings files: reading what people and other runs wrote, the size limits, the round trip of what the
// program writes, and a failed write that keeps the old file.

#include "platform/IniFiles.h"
#include "common/TestUtil.h"
#include "platform/DataFiles.h"
#include "platform/SysUtils.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <sys/stat.h>

using testutil::ReadFile;
using testutil::TScratchDir;
using testutil::WriteFile;
using TPairs = std::vector<std::pair<std::string, std::string>>;

namespace {

std::vector<std::string> FolderNames(const std::string& Folder) {
    std::vector<std::string> Names;
    if (DIR* D = opendir(Folder.c_str())) {
        while (dirent* E = readdir(D))
            if (E->d_name[0] != '.')
                Names.push_back(E->d_name);
        closedir(D);
    }
    return Names;
}

} // namespace

TEST(IniFiles, ReadsHandWrittenAndDamagedFiles) {
    TScratchDir D;
    const std::string Garbage = testutil::RandomBytes(3000, 7);
    WriteFile(D / "t.INI", "stray=before any section\n"
                           "[searchstr]\r\n"
                           "a = first\r\n"
                           "no equals sign here\n"
                           "b=second=with equals\n"
                           "  =no key\n" +
                               Garbage +
                               "\n"
                               "[Options]\n"
                               "CaseChk=0x1\n"
                               "Hex=0X1f\n"
                               "Neg=-3\n"
                               "Word=yes\n"
                               "Tail=12abc\n"
                               "Spaced=\"  kept  \"\n" +
                               std::string(10 << 20, 'x') +
                               "\n"
                               "[MaskTypes]\n"
                               "[x] Files (*.x)=1\n"
                               "Pascal Files (*.pas)=0\n");
    const TIniFile Ini(D / "t.INI");
    const TPairs Search = Ini.ReadSectionValues("SEARCHSTR");
    ASSERT_GE(Search.size(), 2u);
    EXPECT_EQ(Search[0], (std::pair<std::string, std::string>("a", "first")));
    EXPECT_EQ(Search[1], (std::pair<std::string, std::string>("b", "second=with equals")));
    EXPECT_EQ(Ini.ReadString("options", "casechk", ""), "0x1");
    EXPECT_TRUE(Ini.ReadBool("Options", "CaseChk", false));
    EXPECT_EQ(Ini.ReadInteger("Options", "Hex", 0), 31);
    EXPECT_EQ(Ini.ReadInteger("Options", "Neg", 0), -3);
    EXPECT_EQ(Ini.ReadInteger("Options", "Word", 5), 5);
    EXPECT_EQ(Ini.ReadInteger("Options", "Tail", 5), 5);
    EXPECT_FALSE(Ini.ReadBool("Options", "Missing", false));
    EXPECT_EQ(Ini.ReadString("Options", "Spaced", ""), "  kept  ");
    EXPECT_EQ(Ini.ReadString("Nowhere", "x", "dflt"), "dflt");
    EXPECT_EQ(Ini.ReadSection("MaskTypes"),
              (std::vector<std::string>{"[x] Files (*.x)", "Pascal Files (*.pas)"}));
}

TEST(IniFiles, LimitsOnValuesAndKeyLists) {
    TScratchDir D;
    // 2,046 bytes and then a two-byte character: cutting at 2,047 would split it.
    const std::string Long = std::string(2046, 'a') + "\xC3\xA9" + "tail";
    std::string Text = "[S]\nv=" + Long + "\nw=" + std::string(3000, 'b') + "\n[Keys]\n";
    // 1,000 keys of 19 bytes take 20 bytes each in the list: 819 fit in 16,384 with the final terminator.
    for (int I = 0; I < 1000; ++I)
        Text += Format("key%016d=%d\n", {I, I});
    WriteFile(D / "t.INI", Text);
    const TIniFile Ini(D / "t.INI");
    EXPECT_EQ(Ini.ReadString("S", "v", ""), std::string(2046, 'a'));
    EXPECT_EQ(Ini.ReadString("S", "w", ""), std::string(2047, 'b'));
    const TPairs Keys = Ini.ReadSectionValues("Keys");
    ASSERT_EQ(Keys.size(), 819u);
    EXPECT_EQ(Keys.back().first, Format("key%016d", {818}));
    EXPECT_EQ(Keys.back().second, "818");
}

// Random sections, keys and values written, erased and rewritten, and read back by a fresh reader.
TEST(IniFiles, WhatIsWrittenReadsBack) {
    TScratchDir D;
    std::mt19937 Rng(11);
    const std::vector<std::string> Pieces = {"a", "B",   " ",        "  ",   "\"",     "=",  "[",
                                             "]", "x y", "\xC3\xA9", "0x",   "\t",     "\n", ";",
                                             "#", "ss",  "1",        "\r\n", "(*.pas)"};
    auto Text = [&](bool Key) {
        std::string S = Key ? "k" : "";
        for (int N = Rng() % 6; N > 0; --N)
            S += Pieces[Rng() % Pieces.size()];
        // A key cannot hold "=": it would end there.
        if (Key)
            std::erase(S, '=');
        return S;
    };
    auto OneLine = [](std::string S) {
        for (char& C : S)
            if (C == '\n' || C == '\r')
                C = ' ';
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
            Model[Section].emplace_back(OneLine(Key), OneLine(Value));
        }
        Ini.UpdateFile();
        const TIniFile Back(D / "r.INI");
        for (const auto& [Name, Pairs] : Model)
            ASSERT_EQ(Back.ReadSectionValues(Name), Pairs) << "round " << Round << "\n"
                                                           << ReadFile(D / "r.INI");
    }
    // A section erased and rewritten keeps its place.
    WriteFile(D / "o.INI", "[A]\nk=1\n[B]\nk=2\n");
    TIniFile Ini(D / "o.INI");
    Ini.EraseSection("a");
    Ini.WriteString("A", "k", "3");
    Ini.UpdateFile();
    EXPECT_EQ(ReadFile(D / "o.INI"), "[A]\nk=3\n\n[B]\nk=2\n");
}

TEST(IniFiles, FailedWriteKeepsTheOldFileAndNewFoldersAreMade) {
    TScratchDir D;
    // Something that is not a file stands where the settings go: the write fails and nothing else changes.
    ASSERT_EQ(mkdir((D / "blocked.INI").c_str(), 0700), 0);
    TIniFile Blocked(D / "blocked.INI");
    Blocked.WriteString("S", "k", "v");
    try {
        Blocked.UpdateFile();
        FAIL() << "the write succeeded";
    } catch (const EIniWriteError& E) {
        EXPECT_EQ(std::string(E.what()), "Unable to write to " + (D / "blocked.INI"));
        EXPECT_EQ(E.ErrorCode, EISDIR);
    }
    EXPECT_EQ(FolderNames(D.Path()), std::vector<std::string>{"blocked.INI"});

    TIniFile Nested(D / "a/b/t.INI");
    Nested.WriteString("S", "k", "v");
    Nested.UpdateFile();
    EXPECT_EQ(ReadFile(D / "a/b/t.INI"), "[S]\nk=v\n");
    EXPECT_EQ(FolderNames(D / "a/b"), std::vector<std::string>{"t.INI"});
}

TEST(IniFiles, SettingsFileLocation) {
    TScratchDir D;
    EXPECT_EQ(SettingsFileName(D / "tarnlet"), D / "tarnlet.INI");
    EXPECT_EQ(SettingsFileName(D / "Tarnlet.v2.exe"), D / "Tarnlet.v2.INI");
    // A program folder that cannot take the file sends it to the user's configuration folder.
    const char* OldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string Saved = OldConfig ? OldConfig : "";
    setenv("XDG_CONFIG_HOME", (D / "cfg").c_str(), 1);
    EXPECT_EQ(SettingsFileName(D / "gone/tarnlet"), D / "cfg/tarnlet/tarnlet.INI");
    // An installed copy keeps its settings with the user even where it could write.
    ASSERT_EQ(testutil::Run("mkdir -p " + testutil::Quote(D / "usr/bin") + " " +
                            testutil::Quote(InstalledDataFolder(D / "usr/bin"))),
              0);
    EXPECT_EQ(SettingsFileName(D / "usr/bin/tarnlet"), D / "cfg/tarnlet/tarnlet.INI");
    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(SettingsFileName(D / "gone/tarnlet"),
              std::string(std::getenv("HOME")) + "/.config/tarnlet/tarnlet.INI");
    if (OldConfig)
        setenv("XDG_CONFIG_HOME", Saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}
