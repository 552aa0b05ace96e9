// Zip records: refusals (signature, lengths past the end, fields too long to write), what is derived from
// the fields, and entry names and zip64 sizes.

#include "archive/AbExcept.h"
#include "archive/Abziptyp.h"
#include "platform/Classes.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

std::string Saved(const auto& Record) {
    TMemoryStream S;
    Record.SaveToStream(S);
    return std::string(reinterpret_cast<const char*>(S.Memory()), size_t(S.Size()));
}

class TBytesStream : public TMemoryStream {
public:
    explicit TBytesStream(const std::string& Bytes) {
        WriteBuffer(Bytes.data(), int64_t(Bytes.size())), SetPosition(0);
    }
};

std::unique_ptr<TAbZipItem> Loaded(const TAbZipDirectoryFileHeader& H) {
    TBytesStream S(Saved(H));
    auto Item = std::make_unique<TAbZipItem>();
    Item->LoadFromStream(S);
    return Item;
}

} // namespace

TEST(ZipRecords, Refusals) {
    TAbZipDirectoryFileHeader H;
    H.FileName = "dir/name.txt";
    H.FileComment = "a comment";
    // A wrong signature is refused after the whole record was read.
    std::string Bytes = Saved(H);
    Bytes[2] = 3;
    TBytesStream S(Bytes + "tail");
    EXPECT_THROW(H.LoadFromStream(S), EAbZipInvalid);
    EXPECT_EQ(S.Position(), int64_t(Bytes.size()));
    for (size_t Cut : {size_t(0), size_t(45), size_t(46), Bytes.size() - 1}) {
        TBytesStream Short(Bytes.substr(0, Cut));
        EXPECT_THROW(H.LoadFromStream(Short), EReadError) << Cut;
    }
    TAbZipDirectoryFileFooter F;
    std::string FBytes = Saved(F);
    FBytes[20] = char(0xFF); // a comment of 255 bytes that are not there
    TBytesStream FS(FBytes);
    EXPECT_THROW(F.LoadFromStream(FS), EReadError);
    // What does not fit a 16-bit length is never written.
    TAbZipLocalFileHeader L;
    L.FileName.assign(70000, 'a');
    TMemoryStream Out;
    EXPECT_THROW(L.SaveToStream(Out), EWriteError);
    EXPECT_EQ(Out.Size(), 0);
}

TEST(ZipRecords, DerivedValues) {
    TAbZipDirectoryFileHeader H;
    struct {
        uint16_t Flags, Method;
        uint32_t Compressed, Uncompressed;
        double Ratio;
        int Dictionary, Trees;
    } const Cases[] = {
        {1, 6, 112, 200, 50.0, 1, 2}, // encrypted: the 12-byte header is no data
        {0, 6, 112, 400, 72.0, 1, 2}, {2, 6, 0, 0, 0.0, 2, 2},
        {4, 0x86, 0, 0, 0.0, 1, 3},   {6, 8, 10, 10, 0.0, 0, 0},
    };
    for (const auto& C : Cases) {
        H.GeneralPurposeBitFlag = C.Flags;
        H.SetCompressionMethod(C.Method);
        H.CompressedSize = C.Compressed;
        H.UncompressedSize = C.Uncompressed;
        EXPECT_DOUBLE_EQ(H.CompressionRatio(), C.Ratio) << C.Flags << " " << C.Method;
        EXPECT_EQ(H.DictionarySize(), C.Dictionary) << C.Flags << " " << C.Method;
        EXPECT_EQ(H.ShannonFanoTreeCount(), C.Trees) << C.Flags << " " << C.Method;
    }
}

// Flagged or UTF-8 names from other hosts pass; DOS-family hosts' names are CP437. Saturated sizes come from
// the zip64 extra field, in its order. Writing a name keeps CP437 where it fits and flags UTF-8 otherwise.
TEST(ZipRecords, NamesAndZip64Sizes) {
    TAbZipDirectoryFileHeader H;
    struct {
        uint16_t MadeBy, Flags;
        std::string Raw, Name;
    } const Names[] = {
        {0x0014, 0, "caf\x82/\x9c.txt", "caf\xC3\xA9/\xC2\xA3.txt"},
        {0x0314, 0, "caf\x82.txt", "caf\xC3\xA9.txt"},
        {0x0314, 0, "caf\xC3\xA9.txt", "caf\xC3\xA9.txt"},
        {0x0014, 0, "caf\xC3\xA9.txt", "caf\xE2\x94\x9C\xE2\x8C\x90.txt"},
        {0x0B14, Ab_ZipUtf8NameFlag, "\xCE\xB1\xCE\xB2/" + std::string(300, 'n'),
         "\xCE\xB1\xCE\xB2/" + std::string(300, 'n')},
    };
    for (const auto& N : Names) {
        H.VersionMadeBy = N.MadeBy;
        H.GeneralPurposeBitFlag = N.Flags;
        H.FileName = N.Raw;
        EXPECT_EQ(Loaded(H)->GetFileName(), N.Name) << N.Raw;
    }
    H.UncompressedSize = H.CompressedSize = H.RelativeOffset = 0xFFFFFFFFu;
    H.ExtraField = std::string("\x0A\x00\x02\x00zz\x01\x00\x18\x00", 10);
    for (uint64_t V : {uint64_t(0x123456789), uint64_t(0x23456789A), uint64_t(0x3456789AB)})
        for (int B = 0; B < 8; ++B)
            H.ExtraField += char(V >> (8 * B));
    const auto Item = Loaded(H);
    EXPECT_EQ(Item->GetUncompressedSize(), 0x123456789u);
    EXPECT_EQ(Item->GetCompressedSize(), 0x23456789Au);
    EXPECT_EQ(Item->RelativeOffset(), 0x3456789ABu);
    Item->SetFileName("na\xC3\xAFve.txt");
    EXPECT_EQ(Item->RawFileName(), "na\x8bve.txt");
    EXPECT_EQ(Item->GeneralPurposeBitFlag() & Ab_ZipUtf8NameFlag, 0);
    Item->SetFileName("\xE2\x82\xAC.txt");
    EXPECT_EQ(Item->RawFileName(), "\xE2\x82\xAC.txt");
    EXPECT_NE(Item->GeneralPurposeBitFlag() & Ab_ZipUtf8NameFlag, 0);
}
