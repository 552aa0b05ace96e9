// Zip records: exact stream positions after reading, the signature check after the whole record, and
// what is derived from the fields.

#include "archive/AbExcept.h"
#include "archive/Abziptyp.h"
#include "platform/Classes.h"

#include <gtest/gtest.h>

namespace {

// A memory stream holding Prefix + Bytes, positioned at Bytes.
class TBytesStream : public TMemoryStream {
public:
    explicit TBytesStream(const std::string& Bytes, const std::string& Prefix = "") {
        std::string All = Prefix + Bytes;
        WriteBuffer(All.data(), int64_t(All.size()));
        SetPosition(int64_t(Prefix.size()));
    }
};

std::string BytesOf(TMemoryStream& S) {
    return std::string(reinterpret_cast<const char*>(S.Memory()), size_t(S.Size()));
}

template <class TRecord> std::string Saved(const TRecord& R) {
    TMemoryStream S;
    R.SaveToStream(S);
    return BytesOf(S);
}

TAbZipDirectoryFileHeader SampleDirectoryRecord() {
    TAbZipDirectoryFileHeader H;
    H.VersionMadeBy = 0x0314;
    H.VersionNeededToExtract = 20;
    H.GeneralPurposeBitFlag = 0x0006;
    H.SetCompressionMethod(6);
    H.LastModFileTime = 0x7123;
    H.LastModFileDate = 0x4D26;
    H.CRC32 = 0xDEADBEEF;
    H.CompressedSize = 112;
    H.UncompressedSize = 200;
    H.DiskNumberStart = 3;
    H.InternalFileAttributes = 1;
    H.ExternalFileAttributes = 0x81A40020;
    H.RelativeOffset = 0x01020304;
    H.FileName = "dir/name.txt";
    H.ExtraField = std::string("\x55\x54\x05\x00\x03\x01\x02\x03\x04", 9);
    H.FileComment = "a comment";
    return H;
}

TEST(ZipRecords, DirectoryRecordRoundTripEndsExactlyAfterTheRecord) {
    TAbZipDirectoryFileHeader Out = SampleDirectoryRecord();
    std::string Bytes = Saved(Out);
    ASSERT_EQ(Bytes.size(), 46u + 12 + 9 + 9);
    EXPECT_EQ(Bytes.substr(0, 4), "PK\x01\x02");

    TBytesStream S(Bytes + "trailing bytes", "xyz");
    TAbZipDirectoryFileHeader In;
    In.LoadFromStream(S);
    EXPECT_EQ(S.Position(), int64_t(3 + Bytes.size()));
    EXPECT_TRUE(In.IsValid());
    EXPECT_EQ(In.VersionMadeBy, 0x0314);
    EXPECT_EQ(In.CompressionMethod(), 6);
    EXPECT_EQ(In.GeneralPurposeBitFlag, 6);
    EXPECT_EQ(In.LastModFileTime, 0x7123);
    EXPECT_EQ(In.LastModFileDate, 0x4D26);
    EXPECT_EQ(In.CRC32, 0xDEADBEEFu);
    EXPECT_EQ(In.CompressedSize, 112u);
    EXPECT_EQ(In.UncompressedSize, 200u);
    EXPECT_EQ(In.DiskNumberStart, 3);
    EXPECT_EQ(In.InternalFileAttributes, 1);
    EXPECT_EQ(In.ExternalFileAttributes, 0x81A40020u);
    EXPECT_EQ(In.RelativeOffset, 0x01020304u);
    EXPECT_EQ(In.FileName, Out.FileName);
    EXPECT_EQ(In.ExtraField, Out.ExtraField);
    EXPECT_EQ(In.FileComment, Out.FileComment);
    EXPECT_EQ(Saved(In), Bytes);
}

TEST(ZipRecords, LocalHeaderAndFooterRoundTrip) {
    TAbZipLocalFileHeader L;
    L.VersionNeededToExtract = 10;
    L.SetCompressionMethod(0);
    L.CRC32 = 0x12345678;
    L.CompressedSize = L.UncompressedSize = 5;
    L.FileName = "a.txt";
    std::string LBytes = Saved(L);
    ASSERT_EQ(LBytes.size(), 30u + 5);
    TBytesStream LS(LBytes + "hello");
    TAbZipLocalFileHeader L2;
    L2.LoadFromStream(LS);
    EXPECT_EQ(LS.Position(), 35);
    EXPECT_EQ(L2.FileName, "a.txt");
    EXPECT_TRUE(L2.ExtraField.empty());
    EXPECT_EQ(L2.CRC32, 0x12345678u);

    TAbZipDirectoryFileFooter F;
    F.DiskNumber = 2;
    F.StartDiskNumber = 1;
    F.EntriesOnDisk = 7;
    F.TotalEntries = 9;
    F.DirectorySize = 1000;
    F.DirectoryOffset = 4096;
    std::string FBytes = Saved(F);
    ASSERT_EQ(FBytes.size(), 22u);
    TBytesStream FS(FBytes);
    TAbZipDirectoryFileFooter F2;
    F2.LoadFromStream(FS);
    EXPECT_EQ(FS.Position(), 22);
    EXPECT_TRUE(F2.ZipfileComment.empty());
    EXPECT_EQ(Saved(F2), FBytes);

    TAbZipDataDescriptor D;
    D.CRC32 = 1;
    D.CompressedSize = 2;
    D.UncompressedSize = 3;
    EXPECT_EQ(Saved(D), std::string("\1\0\0\0\2\0\0\0\3\0\0\0", 12));
}

TEST(ZipRecords, WrongSignatureIsRefusedAfterTheWholeRecordWasRead) {
    // A local header's signature on a directory record of the same length layout.
    std::string Bytes = Saved(SampleDirectoryRecord());
    Bytes[2] = 3;
    Bytes[3] = 4;
    TBytesStream S(Bytes + "tail");
    TAbZipDirectoryFileHeader H;
    EXPECT_THROW(H.LoadFromStream(S), EAbZipInvalid);
    EXPECT_EQ(S.Position(), int64_t(Bytes.size()));

    TAbZipDirectoryFileFooter F;
    F.ZipfileComment = "hi";
    std::string FBytes = Saved(F);
    FBytes[3] = 0x07;
    TBytesStream FS(FBytes);
    EXPECT_THROW(F.LoadFromStream(FS), EAbZipInvalid);
    EXPECT_EQ(FS.Position(), 24);
}

TEST(ZipRecords, LengthsRunningPastTheEndAreReadErrors) {
    std::string Bytes = Saved(SampleDirectoryRecord());
    for (size_t Cut : {size_t(0), size_t(10), size_t(45), size_t(46), Bytes.size() - 1}) {
        TBytesStream S(Bytes.substr(0, Cut));
        TAbZipDirectoryFileHeader H;
        EXPECT_THROW(H.LoadFromStream(S), EReadError) << Cut;
    }
    TAbZipDirectoryFileFooter F;
    std::string FBytes = Saved(F);
    FBytes[20] = char(0xFF); // comment of 255 bytes that are not there
    TBytesStream FS(FBytes);
    EXPECT_THROW(F.LoadFromStream(FS), EReadError);
}

TEST(ZipRecords, OverlongVariablePartsCannotBeWritten) {
    TAbZipLocalFileHeader L;
    L.FileName.assign(70000, 'a');
    TMemoryStream S;
    EXPECT_THROW(L.SaveToStream(S), EWriteError);
    EXPECT_EQ(S.Size(), 0);
}

TEST(ZipRecords, DerivedValues) {
    TAbZipDirectoryFileHeader H;
    H.GeneralPurposeBitFlag = 1;
    H.CompressedSize = 112;
    H.UncompressedSize = 200;
    EXPECT_TRUE(H.IsEncrypted());
    EXPECT_DOUBLE_EQ(H.CompressionRatio(), 50.0);
    H.UncompressedSize = 0;
    EXPECT_DOUBLE_EQ(H.CompressionRatio(), 0.0);
    H.GeneralPurposeBitFlag = 0;
    H.UncompressedSize = 400;
    EXPECT_DOUBLE_EQ(H.CompressionRatio(), 72.0);

    H.SetCompressionMethod(0x86);
    EXPECT_EQ(H.CompressionMethod(), 6);
    EXPECT_EQ(H.DictionarySize(), 1);
    EXPECT_EQ(H.ShannonFanoTreeCount(), 2);
    H.GeneralPurposeBitFlag = 6;
    EXPECT_EQ(H.DictionarySize(), 2);
    EXPECT_EQ(H.ShannonFanoTreeCount(), 3);
    H.SetCompressionMethod(8);
    EXPECT_EQ(H.DictionarySize(), 0);
    EXPECT_EQ(H.ShannonFanoTreeCount(), 0);
}

TEST(ZipRecords, ItemNamesAndZip64Sizes) {
    TAbZipDirectoryFileHeader H = SampleDirectoryRecord();
    H.FileName = "caf\x82/\x9c.txt"; // CP437 e-acute and pound sign
    TBytesStream S(Saved(H));
    TAbZipItem Item;
    Item.LoadFromStream(S);
    EXPECT_EQ(Item.GetFileName(), "caf\xC3\xA9/\xC2\xA3.txt");
    EXPECT_EQ(Item.DiskFileName, Item.GetFileName());
    EXPECT_EQ(Item.Action, aaNone);

    // Unflagged names: CP437 from DOS-family hosts, taken as UTF-8 from others when they are UTF-8.
    H.FileName = "caf\xC3\xA9.txt";
    TBytesStream Unix(Saved(H));
    Item.LoadFromStream(Unix);
    EXPECT_EQ(Item.GetFileName(), "caf\xC3\xA9.txt");
    H.VersionMadeBy = 0x0014;
    TBytesStream Dos(Saved(H));
    Item.LoadFromStream(Dos);
    EXPECT_EQ(Item.GetFileName(), "caf\xE2\x94\x9C\xE2\x8C\x90.txt");

    H.GeneralPurposeBitFlag |= Ab_ZipUtf8NameFlag;
    H.FileName = "\xCE\xB1\xCE\xB2/" + std::string(300, 'n');
    TBytesStream U(Saved(H));
    Item.LoadFromStream(U);
    EXPECT_EQ(Item.GetFileName(), H.FileName);

    // Saturated fields come from the zip64 extra field, in its order.
    H.UncompressedSize = H.CompressedSize = H.RelativeOffset = 0xFFFFFFFFu;
    std::string Extra("\x01\x00\x18\x00", 4);
    for (uint64_t V : {uint64_t(0x123456789), uint64_t(0x23456789A), uint64_t(0x3456789AB)})
        for (int B = 0; B < 8; ++B)
            Extra += char(V >> (8 * B));
    H.ExtraField = std::string("\x0A\x00\x02\x00zz", 6) + Extra;
    TBytesStream Z(Saved(H));
    Item.LoadFromStream(Z);
    EXPECT_EQ(Item.GetUncompressedSize(), 0x123456789u);
    EXPECT_EQ(Item.GetCompressedSize(), 0x23456789Au);
    EXPECT_EQ(Item.RelativeOffset(), 0x3456789ABu);

    // Writing a name keeps CP437 where it fits and flags UTF-8 otherwise.
    Item.SetFileName("na\xC3\xAFve.txt");
    EXPECT_EQ(Item.RawFileName(), "na\x8bve.txt");
    EXPECT_EQ(Item.GeneralPurposeBitFlag() & Ab_ZipUtf8NameFlag, 0);
    Item.SetFileName("\xE2\x82\xAC.txt");
    EXPECT_EQ(Item.RawFileName(), "\xE2\x82\xAC.txt");
    EXPECT_NE(Item.GeneralPurposeBitFlag() & Ab_ZipUtf8NameFlag, 0);
    EXPECT_EQ(Item.GetFileName(), "\xE2\x82\xAC.txt");
}

} // namespace
