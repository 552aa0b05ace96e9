// tarnlet-cli add and list judged by other programs: added archives pass unzip, 7zz and Python's zipfile and
// extract identical, adding keeps other entries, failures leave the archive alone; listings as unzip and
// Python.

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

using namespace testutil;
namespace fs = std::filesystem;

namespace {

// A shell command (gtest's own Run hides testutil's inside tests).
int Sh(const std::string& Command, std::string* Output = nullptr) {
    return testutil::Run(Command, Output);
}

// tarnlet-cli add in Folder.
int AddIn(const std::string& Folder, const std::string& Args) {
    return Sh("cd " + Quote(Folder) + " && " + Quote(BinDir() + "/tarnlet-cli") + " add " + Args);
}

void MakeTree(const std::string& Root) {
    fs::create_directories(Root + "/empty folder");
    WriteFile(Root + "/docs/readme.txt", SampleText(30000, 1));
    WriteFile(Root + "/docs/deep/data.bin", RandomBytes(20000, 2) + std::string(40000, 'z'));
    WriteFile(Root + "/docs/empty.txt", "");
    WriteFile(Root + "/top.txt", SampleText(70000, 3));
    WriteFile(Root + "/noise.bin", RandomBytes(100000, 4));
    WriteFile(Root + "/caf\xC3\xA9.txt", "fits the DOS code page");
    WriteFile(Root + "/\xE6\x97\xA5\xE6\x9C\xAC.txt", "does not");
    WriteFile(Root + "/na\xC3\xAFve/\xC3\xBC.txt", SampleText(5000, 5));
}

// Python's view of each entry (method, compressed size, internal attributes, flags by name) after it tested
// every entry and extracted the archive into Out.
std::map<std::string, std::vector<long>> PythonInfo(const std::string& Zip, const std::string& Password,
                                                    const std::string& Out) {
    const std::string Script =
        "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\n"
        "z.setpassword(sys.argv[2].encode())\nassert z.testzip() is None\n"
        "z.extractall(sys.argv[3])\nfor i in z.infolist():\n"
        "    print(i.compress_type, i.compress_size, i.internal_attr, i.flag_bits, i.filename)\n";
    std::string Printed;
    EXPECT_EQ(Sh("python3 -c " + Quote(Script) + " " + Quote(Zip) + " " + Quote(Password) + " " + Quote(Out),
                 &Printed),
              0);
    std::map<std::string, std::vector<long>> Info;
    std::istringstream Lines(Printed);
    long Method, Size, Internal, Flags;
    std::string Name;
    while (Lines >> Method >> Size >> Internal >> Flags && std::getline(Lines >> std::ws, Name))
        Info[Name] = {Method, Size, Internal, Flags};
    return Info;
}

// The verbose listing as Python's zipfile reads the same archive, worded like the attribute lines.
const char* const ZipInfoVerbose = R"(import sys, zipfile
names = ['Stored', 'Shrunk', 'Reduced', 'Reduced', 'Reduced', 'Reduced', 'Imploded', 'Tokenized',
         'Deflated', 'Enhanced Deflation', 'DCL Imploded', 'Best Method']
out = []
for i in zipfile.ZipFile(sys.argv[1]).infolist():
    crypt = 12 if i.flag_bits & 1 else 0
    ratio = (1 - (i.compress_size - crypt) / i.file_size) * 100 if i.file_size else 0.0
    letters = ''.join(c for b, c in ((1, 'r'), (2, 'h'), (4, 's'), (32, 'a')) if i.external_attr & b)
    stamp = 'Unknown' if i.date_time == (1980, 0, 0, 0, 0, 0) else '%04d-%02d-%02d %02d:%02d:%02d' % i.date_time
    out += [i.filename, '  Compressed Size: %d' % i.compress_size, '  Uncompressed Size: %d' % i.file_size,
            '  Compression Method: ' + (names[i.compress_type] if i.compress_type < 12 else 'Unknown'),
            '  Compression Ratio: %2.0f%%' % ratio, '  CRC: %X' % i.CRC, '  External File Attributes: ' + letters,
            '  File Type: ' + ('Text' if i.internal_attr == 1 else 'Binary'),
            '  Encryption: ' + ('Encrypted' if crypt else 'Not Encrypted'), '  Time Stamp: ' + stamp,
            '  Made by Version: %.2f' % ((i.create_version & 0xFF) / 10),
            '  Version Needed to Extract: %.2f' % ((i.extract_version & 0xFF) / 10),
            '  Comment: ' + i.comment.decode('utf-8' if i.flag_bits & 0x800 else 'cp437')]
sys.stdout.write('\n'.join(out) + '\n')
)";

TEST(CliAdd, ArchivesAtEveryLevelPassOtherReadersAndExtractIdentical) {
    TScratchDir Dir;
    const std::string Tree = Dir / "tree", Zip = Dir / "a.zip", Out = Dir / "out";
    MakeTree(Tree);
    for (const auto& [Level, Pw] :
         {std::pair{0, std::string()}, {1, ""}, {3, "pw"}, {5, ""}, {9, "x y"}, {0, "pw"}}) {
        SCOPED_TRACE("level " + std::to_string(Level) + " password \"" + Pw + "\"");
        fs::remove_all(Out);
        fs::remove(Zip);
        const std::string P = Pw.empty() ? "" : " -p " + Quote(Pw);
        ASSERT_EQ(AddIn(Tree, "-" + std::to_string(Level) + P + " -r " + Quote(Zip) + " ."), 0);
        EXPECT_EQ(Sh("unzip -tq -P " + Quote(Pw) + " " + Quote(Zip) + " >/dev/null && 7zz t -p" + Quote(Pw) +
                     " " + Quote(Zip) + " >/dev/null"),
                  0);
        EXPECT_EQ(Cli("test" + P + " " + Quote(Zip) + " >/dev/null"), 0);
        auto Info = PythonInfo(Zip, Pw, Out);
        EXPECT_EQ(Sh("diff -r " + Quote(Tree) + " " + Quote(Out)), 0);
        // Incompressible and empty files are stored whatever the level; text is marked as text; names outside
        // the DOS code page are UTF-8 and flagged, the others are not.
        const long Header = Pw.empty() ? 0 : 12, Crypt = Pw.empty() ? 0 : 1;
        EXPECT_EQ(Info["noise.bin"], (std::vector<long>{0, 100000 + Header, 0, Crypt}));
        EXPECT_EQ(std::pair(Info["docs/empty.txt"][0], Info["docs/empty.txt"][1]), std::pair(0L, Header));
        EXPECT_EQ(std::pair(Info["docs/readme.txt"][0], Info["docs/readme.txt"][2]),
                  Level == 0 ? std::pair(0L, 0L) : std::pair(8L, 1L));
        for (const char* Name :
             {"\xE6\x97\xA5\xE6\x9C\xAC.txt", "caf\xC3\xA9.txt", "na\xC3\xAFve/\xC3\xBC.txt"})
            EXPECT_EQ(Info[Name].at(3) & 0x800, Name[0] == '\xE6' ? 0x800 : 0) << Name;
        EXPECT_EQ(Info.size(), 12u);
    }
}

TEST(CliAdd, AddingToAnArchiveKeepsTheOtherEntriesAndFailuresLeaveItAlone) {
    TScratchDir Dir;
    const std::string Tree = Dir / "tree", Zip = Tree + "/made by zip.zip";
    MakeTree(Tree);
    ASSERT_EQ(Sh("cd " + Quote(Tree) + " && zip -qr " + Quote(Zip) + " docs top.txt"), 0);
    const std::string Bytes = ReadFile(Zip);
    std::string Err;
    EXPECT_EQ(
        Cli("add " + Quote(Zip) + " " + Quote(Tree + "/noise.bin") + " " + Quote(Dir / "missing") + " 2>&1",
            &Err),
        2);
    EXPECT_NE(Err.find("missing: no such file or folder"), std::string::npos) << Err;
    EXPECT_EQ(ReadFile(Zip), Bytes);
    // A new archive that fails is not left behind; nor is a bad command line taken for one.
    for (const std::string& Args :
         {Quote(Dir / "new.zip") + " " + Quote(Dir / "missing"),
          "-7 " + Quote(Dir / "new.zip") + " " + Quote(Tree), Quote(Tree) + " " + Quote(Tree + "/top.txt")})
        EXPECT_EQ(Cli("add " + Args + " 2>/dev/null"), 2) << Args;
    EXPECT_FALSE(fs::exists(Dir / "new.zip"));

    // top.txt is replaced and noise.bin added (named without the leading "../"); the archive itself is not
    // taken in.
    const std::vector<TLocalEntry> Before = ReadLocalEntries(Zip);
    WriteFile(Tree + "/top.txt", "new contents");
    ASSERT_EQ(AddIn(Tree, "-9 " + Quote(Zip) + " top.txt ../tree/noise.bin " + Quote(Zip)), 0);
    std::string Top;
    EXPECT_EQ(Sh("unzip -tq " + Quote(Zip) + " >/dev/null && unzip -p " + Quote(Zip) + " top.txt", &Top), 0);
    EXPECT_EQ(Top, "new contents");
    EXPECT_EQ(Cli("cat " + Quote(Zip) + " tree/noise.bin >/dev/null"), 0) << "named without the '../'";
    std::vector<TLocalEntry> After = ReadLocalEntries(Zip);
    ASSERT_EQ(After.size(), Before.size() + 1);
    for (const TLocalEntry& Old : Before)
        EXPECT_EQ(std::any_of(After.begin(), After.end(),
                              [&](const TLocalEntry& E) {
                                  return E.Name == Old.Name && E.Data == Old.Data && E.Crc == Old.Crc;
                              }),
                  Old.Name != "top.txt")
            << Old.Name;
}

TEST(CliList, NamesAndVerboseMatchUnzipAndPython) {
    TScratchDir Dir;
    WriteFile(Dir / "tree/readme.txt", "read me\n");
    WriteFile(Dir / "tree/docs/deep/x.bin", RandomBytes(5000, 3));
    WriteFile(Dir / "tree/src/main.c", "int main(void) { return 0; }\n");
    WriteFile(Dir / "tree/readonly.txt", SampleText(3000, 5));
    fs::create_directories(Dir / "tree/empty folder");
    fs::permissions(Dir / "tree/readonly.txt", fs::perms::owner_read);
    for (int I = 0; I < 400; ++I)
        WriteFile(Dir / ("many/" + std::string(120, 'f') + std::to_string(I) + ".dat"), RandomBytes(700, I));
    WriteFile(Dir / "info.py", ZipInfoVerbose);
    // Entries with chosen attributes, comments, time stamps (one of zero), methods and UTF-8 names.
    PythonZip(
        Dir / "py.zip",
        "def add(name, data, method=zipfile.ZIP_DEFLATED, attr=0x20, internal=0,\n"
        "        stamp=(2021, 7, 4, 13, 5, 58), comment=b''):\n"
        "    i = zipfile.ZipInfo(name, stamp)\n"
        "    i.compress_type, i.external_attr, i.internal_attr, i.comment = method, attr, internal, comment\n"
        "    z.writestr(i, data)\n"
        "add('text.txt', 'line\\n' * 400, internal=1, comment=b'a comment \\x82')\n"
        "add('ro-hidden-sys', 'x' * 10, zipfile.ZIP_STORED, attr=0x27)\n"
        "add('no-attr.bin', bytes(range(256)) * 8, attr=0)\n"
        "add('zero-stamp', 'z', stamp=(1980, 0, 0, 0, 0, 0))\n"
        "add('empty', '', zipfile.ZIP_STORED)\n"
        "add('caf\\u00e9/\\u65e5\\u672c.txt', 'utf-8 name', comment='\\u00e9t\\u00e9'.encode())");
    // Made by: name, command, whether Python reads its names as we do.
    const std::tuple<const char*, std::string, bool> Makers[] = {
        {"zip.zip", "printf '%s' " + std::string(1900, 'k') + " | zip -q -r -z zip.zip tree many", true},
        {"stored.zip", "zip -q -r -0 stored.zip tree", true},
        {"crypt.zip", "zip -q -r -P secret crypt.zip tree", true},
        {"bzip2.zip", "zip -q -r -Z bzip2 bzip2.zip tree", true},
        {"text.zip", "zip -q -r -l text.zip tree/readme.txt tree/src", true},
        {"7z.zip", "7zz a -tzip -bd 7z.zip tree >/dev/null", true},
        {"7zaes.zip", "7zz a -tzip -bd -psecret -mem=AES256 7zaes.zip tree >/dev/null", true},
        {"7zlzma.zip", "7zz a -tzip -bd -mm=LZMA 7zlzma.zip tree >/dev/null", true},
        // Names zip stores as they are on Linux, UTF-8 without the flag (Python reads them as CP437).
        {"u.zip", "mkdir -p u && echo x > u/$(printf 'gr\\303\\274n') && zip -q u.zip u/*", false},
        // A self-extracting program: a stub in front, offsets adjusted by zip -A.
        {"sfx.exe", "(printf MZ; head -c 3000 /dev/zero; cat zip.zip) > sfx.exe && zip -q -A sfx.exe", true},
    };
    std::vector<std::pair<std::string, bool>> Archives = {{Dir / "py.zip", true}};
    for (const auto& [Name, Make, Python] : Makers) {
        ASSERT_EQ(Sh("cd " + Quote(Dir.Path()) + " && " + Make), 0) << Make;
        Archives.emplace_back(Dir / Name, Python);
    }
    for (const auto& E : fs::directory_iterator(FixturesDir() + "/pkzip"))
        if (E.path().extension() == ".ZIP")
            Archives.emplace_back(E.path(), true);
    for (const auto& [Archive, Python] : Archives) {
        std::string Names, Ours, Expected;
        Sh("LC_ALL=C.UTF-8 unzip -Z1 " + Quote(Archive) + " 2>/dev/null", &Names);
        EXPECT_EQ(Cli("list --names " + Quote(Archive), &Ours), 0) << Archive;
        EXPECT_TRUE(!Names.empty() && Ours == Names) << Archive;
        EXPECT_EQ(Cli("list --verbose " + Quote(Archive), &Ours), 0) << Archive;
        EXPECT_TRUE(!Python ||
                    (Sh("python3 " + Quote(Dir / "info.py") + " " + Quote(Archive), &Expected) == 0 &&
                     Ours == Expected))
            << Archive << "\n"
            << Ours;
    }
}

TEST(CliList, LongFormAndErrors) {
    std::string Out;
    ASSERT_EQ(Cli("list " + Quote(Pkzip("PKZ204EN.ZIP")), &Out), 0);
    EXPECT_EQ(Out.substr(0, Out.find('\n')), "TEST.ANS  68  62  Deflated  5CE2F707  2012-09-19 14:21:52");
    EXPECT_EQ(std::count(Out.begin(), Out.end(), '\n'), 15);
    TScratchDir Dir;
    WriteFile(Dir / "noise.zip", RandomBytes(5000, 9));
    // Arguments, exit status, what standard error must say.
    for (auto [Args, Says] : {std::pair{"list " + Quote(Dir / "missing.zip"), std::string("missing.zip")},
                              {"list --names " + Quote(Dir / "noise.zip"), "Invalid file - not a PKZip file"},
                              {"list", "usage"},
                              {"frobnicate x", ""}}) {
        std::string Err;
        EXPECT_EQ(Cli(Args + " 2>&1 >/dev/null", &Err), 2) << Args;
        EXPECT_NE(Err.find(Says), std::string::npos) << Args << ": " << Err;
    }
}

} // namespace
