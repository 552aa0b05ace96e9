// tarnlet-cli list: names against unzip, the verbose form against Python's zipfile, on archives
// many programs made; the long form, errors and exit statuses.

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace testutil;

namespace {

// The verbose listing as Python's zipfile reads the same archive, worded like the attribute lines.
const char* const ZipInfoVerbose = R"(import sys, zipfile
names = ['Stored', 'Shrunk', 'Reduced', 'Reduced', 'Reduced', 'Reduced', 'Imploded', 'Tokenized',
         'Deflated', 'Enhanced Deflation', 'DCL Imploded', 'Best Method']
out = []
for i in zipfile.ZipFile(sys.argv[1]).infolist():
    ratio = 0.0
    if i.file_size:
        ratio = (1 - (i.compress_size - (12 if i.flag_bits & 1 else 0)) / i.file_size) * 100
    letters = ''.join(c for b, c in ((1, 'r'), (2, 'h'), (4, 's'), (32, 'a')) if i.external_attr & b)
    stamp = 'Unknown' if i.date_time == (1980, 0, 0, 0, 0, 0) else '%04d-%02d-%02d %02d:%02d:%02d' % i.date_time
    out += [i.filename,
            '  Compressed Size: %d' % i.compress_size,
            '  Uncompressed Size: %d' % i.file_size,
            '  Compression Method: ' + (names[i.compress_type] if i.compress_type < 12 else 'Unknown'),
            '  Compression Ratio: %2.0f%%' % ratio,
            '  CRC: %X' % i.CRC,
            '  External File Attributes: ' + letters,
            '  File Type: ' + ('Text' if i.internal_attr == 1 else 'Binary'),
            '  Encryption: ' + ('Encrypted' if i.flag_bits & 1 else 'Not Encrypted'),
            '  Time Stamp: ' + stamp,
            '  Made by Version: %.2f' % ((i.create_version & 0xFF) / 10),
            '  Version Needed to Extract: %.2f' % ((i.extract_version & 0xFF) / 10),
            '  Comment: ' + i.comment.decode('utf-8' if i.flag_bits & 0x800 else 'cp437')]
sys.stdout.write('\n'.join(out) + '\n')
)";

} // namespace

TEST(CliList, NamesAndVerboseMatchUnzipAndPython) {
    TScratchDir Dir;
    WriteFile(Dir / "tree/readme.txt", "read me\n");
    WriteFile(Dir / "tree/docs/deep/x.bin", RandomBytes(5000, 3));
    WriteFile(Dir / "tree/src/main.c", "int main(void) { return 0; }\n");
    WriteFile(Dir / "tree/readonly.txt", SampleText(3000, 5));
    std::filesystem::create_directories(Dir / "tree/empty folder");
    std::filesystem::permissions(Dir / "tree/readonly.txt", std::filesystem::perms::owner_read);
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
        {"7zcrypt.zip", "7zz a -tzip -bd -psecret 7zcrypt.zip tree >/dev/null", true},
        {"7zaes.zip", "7zz a -tzip -bd -psecret -mem=AES256 7zaes.zip tree >/dev/null", true},
        {"7zlzma.zip", "7zz a -tzip -bd -mm=LZMA 7zlzma.zip tree >/dev/null", true},
        {"7zstore.zip", "7zz a -tzip -bd -mx=0 7zstore.zip tree >/dev/null", true},
        // Names zip stores as they are on Linux, UTF-8 without the flag (Python reads them as CP437).
        {"u.zip", "mkdir -p u && echo x > u/$(printf 'gr\\303\\274n') && zip -q u.zip u/*", false},
        // A self-extracting program: a stub in front, offsets adjusted by zip -A.
        {"sfx.exe", "(printf MZ; head -c 3000 /dev/zero; cat zip.zip) > sfx.exe && zip -q -A sfx.exe", true},
    };
    std::vector<std::pair<std::string, bool>> Archives = {{Dir / "py.zip", true}};
    const std::string Cd = "cd " + Quote(Dir.Path()) + " && ";
    for (const auto& [Name, Make, Python] : Makers) {
        ASSERT_EQ(testutil::Run(Cd + Make), 0) << Make;
        Archives.emplace_back(Dir / Name, Python);
    }
    for (const auto& E : std::filesystem::directory_iterator(FixturesDir() + "/pkzip"))
        if (E.path().extension() == ".ZIP")
            Archives.emplace_back(E.path(), true);

    for (const auto& [Archive, Python] : Archives) {
        std::string Names, Ours, Expected;
        testutil::Run("LC_ALL=C.UTF-8 unzip -Z1 " + Quote(Archive) + " 2>/dev/null", &Names);
        EXPECT_EQ(Cli("list --names " + Quote(Archive), &Ours), 0) << Archive;
        EXPECT_TRUE(!Names.empty() && Ours == Names) << Archive;
        EXPECT_EQ(Cli("list --verbose " + Quote(Archive), &Ours), 0) << Archive;
        if (Python) {
            ASSERT_EQ(testutil::Run("python3 " + Quote(Dir / "info.py") + " " + Quote(Archive), &Expected),
                      0);
            EXPECT_EQ(Ours, Expected) << Archive;
        }
    }
}

TEST(CliList, LongFormAndErrors) {
    std::string Out;
    ASSERT_EQ(Cli("list " + Quote(Pkzip("PKZ204EN.ZIP")), &Out), 0);
    EXPECT_EQ(Out.substr(0, Out.find('\n')), "TEST.ANS  68  62  Deflated  5CE2F707  2012-09-19 14:21:52");
    EXPECT_NE(Out.find("\nTEST.ASC  13  13  Stored  7EF91C5D  2012-09-19 14:17:52\n"), std::string::npos);
    EXPECT_EQ(std::count(Out.begin(), Out.end(), '\n'), 15);

    TScratchDir Dir;
    WriteFile(Dir / "noise.zip", RandomBytes(5000, 9));
    // Arguments, exit status, what standard error must say.
    for (auto [Args, Says] : {std::pair{"list " + Quote(Dir / "missing.zip"), std::string("missing.zip")},
                              {"list --names " + Quote(Dir / "noise.zip"), "Invalid file - not a PKZip file"},
                              {"list", "usage"},
                              {"list --verbose", ""},
                              {"frobnicate x", ""}}) {
        std::string Err;
        EXPECT_EQ(Cli(Args + " 2>&1 >/dev/null", &Err), 2) << Args;
        EXPECT_NE(Err.find(Says), std::string::npos) << Args << ": " << Err;
    }
}
