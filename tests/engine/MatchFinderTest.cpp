// The pattern finder against a plain search of the whole data: random data of a small alphabet (so that
// near misses abound), patterns taken from it, fed in pieces of random sizes, with and without case.
#include "engine/MatchFinder.h"

#include <gtest/gtest.h>

#include <random>

namespace {

uint8_t Fold(uint8_t C) {
    return C >= 'a' && C <= 'z' ? uint8_t(C - 32) : C;
}

std::vector<int64_t> Naive(const std::string& Data, const std::string& Pattern, bool Case) {
    std::vector<int64_t> Found;
    for (size_t I = 0; I + Pattern.size() <= Data.size(); ++I) {
        size_t K = 0;
        while (K < Pattern.size() &&
               (Case ? Data[I + K] == Pattern[K] : Fold(uint8_t(Data[I + K])) == Fold(uint8_t(Pattern[K]))))
            ++K;
        if (K == Pattern.size())
            Found.push_back(int64_t(I));
    }
    return Found;
}

} // namespace

TEST(MatchFinder, FindsWhatAPlainSearchFindsInAnyPieces) {
    std::mt19937 Rng(11);
    // Letters of both cases, their neighbours in the table ('@', '[', '`', '{') and a few high bytes.
    const std::string Alphabet = "aAbB@[`{ \xC1\xE1\xFF\x00";
    for (int Round = 0; Round < 600; ++Round) {
        const size_t Size = Rng() % 3 == 0 ? Rng() % 64 : Rng() % 5000;
        std::string Data(Size, ' ');
        for (char& C : Data)
            C = Alphabet[Rng() % (Round % 2 ? 4 : Alphabet.size())];
        const size_t Length = 1 + Rng() % (Round % 7 == 0 ? 255 : 12);
        std::string Pattern(Length, ' ');
        for (char& C : Pattern)
            C = Alphabet[Rng() % 4];
        if (Size >= Length && Rng() % 4)
            Pattern = Data.substr(Rng() % (Size - Length + 1), Length);
        const bool Case = Rng() % 2, FirstOnly = Rng() % 3 == 0;
        TContext Context;
        Context.SetContextAsString(Pattern);
        Context.SetCaseSensitive(Case);
        Context.SetFirstEntryOnly(FirstOnly);
        TMatchFinder Finder(Context);
        std::vector<int64_t> Expected = Naive(Data, Pattern, Case);
        // erase, not resize: GCC 12 at -O3 warns falsely about resize's growth path here.
        if (FirstOnly && Expected.size() > 1)
            Expected.erase(Expected.begin() + 1, Expected.end());
        // Twice with the same finder: a reset forgets the first run.
        for (int Pass = 0; Pass < 2; ++Pass) {
            Finder.Reset();
            for (size_t At = 0; At < Size;) {
                const size_t Piece = std::min(Size - At, size_t(Rng() % 4 == 0 ? Rng() % 4 : Rng() % 700));
                Finder.Feed(reinterpret_cast<const uint8_t*>(Data.data() + At), Piece);
                At += Piece;
            }
            ASSERT_EQ(Finder.Offsets(), Expected)
                << "round " << Round << " pattern of " << Pattern.size() << (Case ? " with" : " without")
                << " case in " << Size << " bytes";
        }
    }
}
