// Damaged archives: whatever the bytes, loading ends with the entries or with the library's exception (or
// a stream read error), never a crash, a hang or an allocation sized by a damaged field. Run under the
// sanitizers in CI.

#include "TestUtil.h"
#include "archive/AbExcept.h"
#include "archive/Abziptyp.h"
#include "platform/Classes.h"

#include <gtest/gtest.h>

#include <random>

using namespace testutil;

namespace {

// Loads Bytes from memory; false when the load failed the accepted way.
bool LoadsFromMemory(const std::string& Bytes) {
    TMemoryStream S;
    S.WriteBuffer(Bytes.data(), int64_t(Bytes.size()));
    TAbZipArchive A(S, "damaged.zip");
    try {
        A.Load();
    } catch (const EAbException&) {
        return false;
    } catch (const EReadError&) {
        return false;
    }
    for (int I = 0; I < A.Count(); ++I)
        EXPECT_LE(A.Items(I)->RawFileName().size(), 0xFFFFu);
    return true;
}

// Overwrites Count bytes at random places, biased towards the directory and end record.
std::string Damage(std::string Bytes, std::mt19937& Gen) {
    size_t Dir = Bytes.rfind(std::string("PK\x01\x02", 4));
    Dir = Dir == std::string::npos ? 0 : Dir / 2;
    int Count = 1 + int(Gen() % 6);
    for (int K = 0; K < Count; ++K) {
        size_t Span = Bytes.size() - Dir;
        size_t At = Dir + Gen() % Span;
        switch (Gen() % 4) {
        case 0:
            Bytes[At] = char(Gen());
            break;
        case 1:
            Bytes[At] = char(uint8_t(Bytes[At]) ^ (1u << (Gen() % 8)));
            break;
        case 2: // a length or count field at its largest
            Bytes[At] = char(0xFF);
            if (At + 1 < Bytes.size())
                Bytes[At + 1] = char(0xFF);
            break;
        default:
            Bytes[At] = 0;
            break;
        }
    }
    return Bytes;
}

// The directory and end record of a fixture alone: it loads the same, and keeps each
// damaged copy small.
std::string DirectoryOf(const std::string& Fixture) {
    std::string Zip = ReadFile(FixturesDir() + "/pkzip/" + Fixture);
    size_t End = Zip.rfind(std::string("PK\x05\x06", 4));
    size_t Dir = size_t(uint8_t(Zip[End + 16])) | size_t(uint8_t(Zip[End + 17])) << 8 |
                 size_t(uint8_t(Zip[End + 18])) << 16 | size_t(uint8_t(Zip[End + 19])) << 24;
    // Behind a 4-byte program stub, so it is not taken for a disk of a set.
    std::string Small = std::string("MZ\0\0", 4) + Zip.substr(Dir);
    Small.replace(End - Dir + 4 + 16, 4, std::string("\x04\0\0\0", 4));
    return Small;
}

std::vector<std::string> Bases() {
    std::vector<std::string> B = {DirectoryOf("PKZ204EN.ZIP"), DirectoryOf("PKZ110.ZIP")};
    TScratchDir Dir;
    EXPECT_EQ(
        testutil::Run("cd " + Quote(Dir.Path()) +
                      " && mkdir d && echo x > d/a && : > d/empty && zip -q -r -z made.zip d < /dev/null"),
        0);
    B.push_back(ReadFile(Dir / "made.zip"));
    return B;
}

TEST(ZipFuzz, DamagedDirectories) {
    std::mt19937 Gen(20261206);
    int Loaded = 0, Refused = 0;
    for (const std::string& Base : Bases()) {
        ASSERT_TRUE(LoadsFromMemory(Base));
        for (int I = 0; I < 1500; ++I)
            (LoadsFromMemory(Damage(Base, Gen)) ? Loaded : Refused)++;
    }
    EXPECT_GT(Refused, 100);
    EXPECT_GT(Loaded, 100);
}

TEST(ZipFuzz, TruncatedAndRandom) {
    std::string Base = DirectoryOf("PKZ204EX.ZIP");
    for (size_t Cut = 1; Cut < Base.size(); Cut += 3)
        EXPECT_FALSE(LoadsFromMemory(Base.substr(0, Cut))) << Cut;
    for (unsigned Seed = 0; Seed < 500; ++Seed) {
        std::string Noise = RandomBytes(Seed * 7 % 3000, Seed);
        // Random bytes with an end record planted in reach, pointing anywhere.
        if (Seed % 2 && Noise.size() > 40)
            Noise.replace(Noise.size() - 22 - Seed % 17, 4, std::string("PK\x05\x06", 4));
        LoadsFromMemory(Noise);
    }
}

TEST(ZipFuzz, ImpossibleCountsAndOffsets) {
    std::string Base = DirectoryOf("PKZ204E0.ZIP");
    size_t End = Base.rfind(std::string("PK\x05\x06", 4));
    auto Patched = [&](size_t At, std::initializer_list<uint8_t> Bytes) {
        std::string B = Base;
        for (uint8_t V : Bytes)
            B[At++] = char(V);
        return B;
    };
    // Counts far above what follows, a directory size and offset beyond the file, a directory that
    // starts inside the end record, a disk number that is not there.
    EXPECT_TRUE(LoadsFromMemory(Patched(End + 10, {0xFF, 0xFF})));
    EXPECT_TRUE(LoadsFromMemory(Patched(End + 12, {0xFF, 0xFF, 0xFF, 0xFF})));
    EXPECT_FALSE(LoadsFromMemory(Patched(End + 16, {0xFF, 0xFF, 0xFF, 0x7F})));
    EXPECT_FALSE(LoadsFromMemory(Patched(End + 16, {0xFF, 0xFF, 0xFF, 0xFF})));
    uint32_t Inside = uint32_t(End + 4);
    EXPECT_FALSE(LoadsFromMemory(Patched(
        End + 16, {uint8_t(Inside), uint8_t(Inside >> 8), uint8_t(Inside >> 16), uint8_t(Inside >> 24)})));
    EXPECT_FALSE(LoadsFromMemory(Patched(End + 4, {0x09, 0x00})));
    // A zip64 locator pointing anywhere.
    std::string Locator = std::string("PK\x06\x07", 4) + std::string(4, '\0') + std::string(8, '\xFF') +
                          std::string("\x01\0\0\0", 4);
    std::string WithLocator = Base.substr(0, End) + Locator + Base.substr(End);
    EXPECT_FALSE(LoadsFromMemory(WithLocator));
}

} // namespace
