// Form files in their text form: files written by another compiler's streaming code compared line by
// line with the expected rendering, each value type from hand-made bytes, the conversions that hand the
// text out in chunks, and damaged files answered with an error.

#include "text/FormFile.h"
#include "common/TestUtil.h"
#include "common/TextFixtures.h"
#include "platform/Classes.h"
#include "platform/SysUtils.h"
#include "text/Conversion.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

using namespace testutil;

std::string Render(const std::string& Resource) {
    TMemoryStream In, Out;
    In.Write(Resource.data(), int64_t(Resource.size()));
    In.SetPosition(0);
    ObjectResourceToText(In, Out);
    return std::string(reinterpret_cast<const char*>(Out.Memory()), size_t(Out.Size()));
}

std::string Short(const std::string& S) {
    return char(S.size()) + S;
}

// A form file of one object "X: TX" with the given property bytes and child objects.
std::string Form(const std::string& Properties, const std::string& Children = "") {
    return std::string("\xFF\x0A\x00", 3) + "TX" + '\0' + std::string(6, '\0') + "TPF0" + Short("TX") +
           Short("X") + Properties + '\0' + Children + '\0';
}

} // namespace

TEST(FormFile, FilesFromAnotherWriter) {
    for (const std::string Name : {"all", "inherited"})
        EXPECT_EQ(Lines(Render(TextFixture(Name + ".dfm"))), Lines(TextFixture(Name + ".expected.txt")));
}

// Each value type as stored, and the property line it gives.
TEST(FormFile, ValueTypes) {
    const std::string Hex40 =
        "{\r\n    " + std::string(64, '0').replace(0, 2, "FF") + "\r\n    " + std::string(16, '0') + "}";
    std::string Bytes40(40, '\0');
    Bytes40[0] = '\xFF';
    double Date = 36526.25;
    uint64_t DateBits;
    std::memcpy(&DateBits, &Date, 8);
    const std::string Wide70 = std::string(70, 'w');
    std::string Wide70Bytes;
    for (char C : Wide70)
        Wide70Bytes += std::string{C, '\0'};
    const struct {
        std::string Value;
        std::string Text;
    } Cases[] = {
        {std::string(1, '\0'), "Null"},
        {"\x02\x80", "-128"},
        {std::string("\x03\x00\x80", 3), "-32768"},
        {"\x04" + Le(0x80000000u, 4), "-2147483648"},
        {"\x05" + std::string("\x00\x00\x00\x00\x00\x00\x00\xC0\xFE\xBF", 10), "-0.75"},
        {"\x05" + std::string("\x00\x00\x00\x00\x00\x00\x00\x80\xFF\x7F", 10), "INF"},
        {"\x06" + Short("a'b\x01"), "'a'#39'b'#1"},
        {"\x07" + Short("clRed"), "clRed"},
        {"\x08", "False"},
        {"\x09", "True"},
        {"\x0A" + Le(0, 4), "{}"},
        {"\x0A" + Le(40, 4) + Bytes40, Hex40},
        {"\x0B" + Short("a") + '\0', "[a]"},
        {"\x0C" + Le(3, 4) + "xyz", "'xyz'"},
        {"\x0D", "nil"},
        {"\x0E\x02\x07\x01" + Short("N") + "\x02\x01" + '\0' + '\0',
         "<\r\n    item [7]\r\n      N = 1\r\n    end>"},
        {"\x0E" + std::string(1, '\0'), "<>"},
        {"\x0F" + Le(0x3FC00000u, 4), "1.5s"},
        {"\x10" + Le(uint64_t(-125000), 8), "-12.5c"},
        {"\x10" + Le(30000, 8), "3c"},
        {"\x11" + Le(DateBits, 8), "36526.25d"},
        {"\x12" + Le(3, 4) + std::string("A\0\xE9\0\x16\x04", 6), "'A\xC3\xA9'#1046"},
        {"\x12" + Le(70, 4) + Wide70Bytes,
         "\r\n    '" + Wide70.substr(0, 64) + "' +\r\n    '" + Wide70.substr(64) + "'"},
        {"\x01\x01\x02\x05" + std::string(1, '\0') + '\0', "(\r\n    (\r\n      5))"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Text);
        EXPECT_EQ(Render(Form(Short("P") + C.Value)), "object X: TX\r\n  P = " + C.Text + "\r\nend\r\n");
    }
}

// The whole text arrives whatever the chunk size; chunks too small for a line get nothing. Registered
// extensions win over the default, the newest registration first.
TEST(FormFile, Conversions) {
    const std::string Resource = TextFixture("all.dfm");
    RegisterDisplayConversions();
    for (int64_t Chunk : {83, 100, 4096}) {
        TMemoryStream In;
        In.Write(Resource.data(), int64_t(Resource.size()));
        In.SetPosition(0);
        EXPECT_EQ(ReadAllConverted(In, "/x/FORM1.DFM", {}, Chunk), Render(Resource));
    }
    TMemoryStream In;
    In.Write("ab\r\n\t\x7F~ ", 8);
    std::vector<char> Buf(100);
    EXPECT_EQ(THexConversion().ReadConverted(In, Buf.data(), 82), 0);
    EXPECT_EQ(TDFMConversion().ReadConverted(In, Buf.data(), 82), 0);
    const auto Read = [&In](const char* Name, TConversionClass Default) {
        In.SetPosition(0);
        return ReadAllConverted(In, Name, std::move(Default));
    };
    EXPECT_EQ(Read("a.bin", ConversionClass<THexConversion>()), "ab....~ ");
    EXPECT_EQ(Read("a.TXT", ConversionClass<THexConversion>()), "ab\r\n\t\x7F~ ");
    RegisterConversionFormat("TxT", ConversionClass<THexConversion>());
    EXPECT_EQ(Read("a.txt", {}), "ab....~ ");
    RegisterConversionFormat("txt", ConversionClass<TConversion>());
}

// Every cut of a real file and structural faults end in an error, never a crash or a read past the end
// (the sanitizers watch the latter; the fuzz harness flips bytes).
TEST(FormFile, DamagedFiles) {
    const std::string Good = TextFixture("inherited.dfm");
    for (size_t N = 0; N < Good.size(); ++N)
        EXPECT_THROW(Render(Good.substr(0, N)), EFilerError) << N;
    for (const std::string& Bad :
         {std::string("\xFE\x0A\x00X", 4), std::string("\xFE\x0A\x00X", 4) + std::string(10, '\0'),
          Form(Short("P") + "\x13" + Le(1, 8)), Form(Short("P") + "\x0A" + Le(0xFFFFFFF0u, 4)),
          Form(Short("P") + "\x0E\x05\x01"), Form("", "\xF2\x06" + Short("TY")),
          Form(Short("P") + std::string(5000, '\x01'))})
        EXPECT_THROW(Render(Bad), EFilerError);
}
