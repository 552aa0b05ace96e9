// The shrink, reduce and implode decoders on the entries the DOS zip programs made, and on damaged copies.

#include "archive/AbExcept.h"
#include "archive/Explode.h"
#include "archive/Unreduce.h"
#include "archive/Unshrink.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <regex>
#include <zlib.h>

using namespace testutil;

namespace {

std::string DosArchive(const std::string& Name) {
    return FixturesDir() + "/pkzip/" + Name;
}

// Decodes Data as the method and flags of a legacy entry say.
void Decode(unsigned Method, unsigned Flags, const std::string& Data, uint64_t UncompressedSize,
            std::vector<size_t> ChunkSizes, TAbDecodeOutput& Out) {
    TDecodeSource In(Data, std::move(ChunkSizes));
    if (Method == 1)
        Unshrink(In, Out);
    else if (Method >= 2 && Method <= 5)
        Unreduce(In, Out, UncompressedSize, int(Method) - 1);
    else if (Method == 6)
        Explode(In, Out, UncompressedSize, Flags & 2 ? 2 : 1, Flags & 4 ? 3 : 2);
    else
        ADD_FAILURE() << "not a legacy method: " << Method;
}

std::string Decode(unsigned Method, unsigned Flags, const std::string& Data, uint64_t UncompressedSize,
                   std::vector<size_t> ChunkSizes = {4096}) {
    TDecodeSink Out;
    Decode(Method, Flags, Data, UncompressedSize, std::move(ChunkSizes), Out);
    return Out.Bytes;
}

// Counts what a decoder produces from damaged data without keeping it.
class TCountingOutput : public TAbDecodeOutput {
public:
    void Write(const uint8_t*, size_t Count) override { Total += Count; }
    uint64_t Total = 0;
};

// zlib's table-driven CRC-32: the bit-by-bit reference is slow for megabytes under the sanitizers.
uint32_t FastCrc32(const std::string& S) {
    return uint32_t(crc32(0, reinterpret_cast<const Bytef*>(S.data()), uInt(S.size())));
}

// Entry name to CRC-32 from a verbose listing.
std::map<std::string, uint32_t> ListingCrcs(const std::string& TxtPath) {
    const std::string Text = ReadFile(TxtPath);
    const std::regex Entry(R"(Filename: (\S+)[\s\S]*?32 bit CRC value: ([0-9a-f]+))");
    std::map<std::string, uint32_t> Crcs;
    for (auto It = std::sregex_iterator(Text.begin(), Text.end(), Entry); It != std::sregex_iterator(); ++It)
        Crcs[(*It)[1]] = uint32_t(std::stoul((*It)[2], nullptr, 16));
    return Crcs;
}

const std::map<std::string, std::string>& StoredCopies() {
    static const std::map<std::string, std::string> Copies = [] {
        std::map<std::string, std::string> M;
        for (auto& E : ReadLocalEntries(DosArchive("PKZ204E0.ZIP")))
            M[E.Name] = E.Data;
        return M;
    }();
    return Copies;
}

bool IsLegacy(const TLocalEntry& E) {
    return E.Method >= 1 && E.Method <= 6;
}

class FixtureArchive : public testing::TestWithParam<std::string> {};

TEST_P(FixtureArchive, EveryLegacyEntryDecodesToItsStoredCopy) {
    const auto Crcs = ListingCrcs(DosArchive(GetParam() + ".TXT"));
    const auto Entries = ReadLocalEntries(DosArchive(GetParam() + ".ZIP"));
    ASSERT_EQ(Entries.size(), 15u);
    int Decoded = 0;
    for (const TLocalEntry& E : Entries) {
        if (!IsLegacy(E))
            continue;
        SCOPED_TRACE(E.Name);
        const std::string Out = Decode(E.Method, E.Flags, E.Data, E.UncompressedSize);
        ASSERT_EQ(Out.size(), E.UncompressedSize);
        EXPECT_TRUE(Out == StoredCopies().at(E.Name));
        const uint32_t Crc = FastCrc32(Out);
        EXPECT_EQ(Crc, E.Crc);
        EXPECT_EQ(Crc, Crcs.at(E.Name));
        ++Decoded;
    }
    EXPECT_GE(Decoded, 7);
}

INSTANTIATE_TEST_SUITE_P(DosArchives, FixtureArchive,
                         testing::Values("PKZ80A1", "PKZ110ES", "PKZ80B1", "PKZ80B2", "PKZ80B3", "PKZ80B4",
                                         "PKZ110EI", "PKZ110"));

TEST(LegacyDecoders, ChunkBoundariesDoNotMatter) {
    // Tiny, empty and odd-sized chunks split codes at every bit position.
    for (const char* Archive : {"PKZ110ES.ZIP", "PKZ80B2.ZIP", "PKZ110EI.ZIP"})
        for (const TLocalEntry& E : ReadLocalEntries(DosArchive(Archive)))
            if (IsLegacy(E) && E.Name == "TEST.GIF") {
                SCOPED_TRACE(std::string(Archive));
                EXPECT_TRUE(Decode(E.Method, E.Flags, E.Data, E.UncompressedSize, {1, 0, 7, 3, 4096, 9}) ==
                            StoredCopies().at(E.Name));
            }
}

TEST(LegacyDecoders, ReducedAndImplodedStopAtTheStatedSize) {
    for (const char* Archive : {"PKZ80B4.ZIP", "PKZ110EI.ZIP"})
        for (const TLocalEntry& E : ReadLocalEntries(DosArchive(Archive)))
            if (IsLegacy(E) && E.Name == "TEST.PCX") {
                SCOPED_TRACE(std::string(Archive));
                const std::string& Whole = StoredCopies().at(E.Name);
                const std::string Out = Decode(E.Method, E.Flags, E.Data, 1000);
                // A copy under way is completed, so the output may run a little past the stated size.
                ASSERT_GE(Out.size(), 1000u);
                EXPECT_LE(Out.size(), 1000u + 321);
                EXPECT_TRUE(Out == Whole.substr(0, Out.size()));
                EXPECT_EQ(Decode(E.Method, E.Flags, E.Data, 0), "");
            }
}

TEST(LegacyDecoders, BadReduceFactorRaises) {
    for (int Factor : {0, 5, -1}) {
        TDecodeSource In(std::string(100, '\0'));
        TDecodeSink Out;
        try {
            Unreduce(In, Out, 10, Factor);
            ADD_FAILURE() << "no exception for factor " << Factor;
        } catch (const EAbZipInvalidFactor& E) {
            EXPECT_STREQ(E.what(), "Invalid Reduce Factor");
            EXPECT_EQ(E.ErrorCode, 6);
        }
    }
}

// Damaged streams: every decoder must end (the sanitizer build checks that it stays inside its tables), and
// its output must stay within what the input can describe.
TEST(LegacyDecoders, DamagedStreamsEndSafely) {
    std::vector<TLocalEntry> Seeds;
    for (const char* Archive :
         {"PKZ110ES.ZIP", "PKZ80B1.ZIP", "PKZ80B2.ZIP", "PKZ80B3.ZIP", "PKZ80B4.ZIP", "PKZ110EI.ZIP"})
        for (TLocalEntry& E : ReadLocalEntries(DosArchive(Archive)))
            if (IsLegacy(E) && E.UncompressedSize < 20000)
                Seeds.push_back(std::move(E));
    ASSERT_GE(Seeds.size(), 20u);

    std::mt19937 Gen(8);
    for (int Round = 0; Round < 2500; ++Round) {
        TLocalEntry E = Seeds[Gen() % Seeds.size()];
        if (Round % 2)
            E.Flags = Gen() & 6; // imploded streams read with the other dictionary and tree settings
        std::string Data = E.Data;
        switch (Round % 4) {
        case 0: // bit flips
            for (int I = 0, N = 1 + int(Gen() % 8); I < N; ++I)
                Data[Gen() % Data.size()] ^= char(1 << (Gen() % 8));
            break;
        case 1: // truncation
            Data.resize(Gen() % Data.size());
            break;
        case 2: // random bytes in place of the real ones
            Data = RandomBytes(Gen() % 4000, unsigned(Gen()));
            break;
        default: // a damaged run
            for (size_t I = Gen() % Data.size(), N = Gen() % 64; N > 0 && I < Data.size(); --N, ++I)
                Data[I] = char(Gen());
            break;
        }
        // A huge stated size leaves the end of the input as the only stop.
        const uint64_t Size = Round % 10 == 0 ? (uint64_t(1) << 40) : E.UncompressedSize;
        TCountingOutput Out;
        Decode(E.Method, E.Flags, Data, Size, {1 + Gen() % 4096}, Out);
        if (Size == E.UncompressedSize && E.Method != 1) {
            EXPECT_LE(Out.Total, Size + 385);
        }
        EXPECT_LE(Out.Total, Data.size() * 8 * 8192 + 8192) << "round " << Round;
    }
}

} // namespace
