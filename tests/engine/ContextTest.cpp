// The search context: its text and the name masks read from it, the entry filter, limits, the lock while a
// search runs, and copying. The pattern finder, and the context's matching with and without case, against
// a plain search of the whole data: random data of a small alphabet (so that near misses abound), patterns
// taken from it, fed in pieces of random sizes.

#include "engine/MatchFinder.h"

#include "platform/SysUtils.h"

#include <gtest/gtest.h>

#include <random>

using Strings = std::vector<std::string>;

TEST(Context, TextNameMasksFilterAndLimits) {
    TContext C;
    EXPECT_EQ(C.ContextAsString(), "<Empty>");
    C.SetReplaceChar('#');
    C.SetReplaceChar(' '); // spaces and controls are refused, bytes above 127 taken
    C.SetContextAsString("my file\tx\xB0");
    EXPECT_EQ(C.ContextAsString(), "my#file#x\xB0");
    EXPECT_EQ(C.PatternData()[2], ' ') << "the pattern keeps its bytes";
    // Masks where the text holds "*." or ".*", split at ";" after the replacement; filters at ";".
    for (const auto& [Text, List] : {std::pair<const char*, Strings>{"*.pas;*.txt", {"*.pas", "*.txt"}},
                                     {"readme", {}},
                                     {"notes.*", {"notes.*"}},
                                     {"*.pas; *.txt", {"*.pas", "#*.txt"}},
                                     {"*.pas;;*.txt;", {"*.pas", "", "*.txt"}}}) {
        C.SetContextAsString(Text);
        EXPECT_EQ(C.NameMaskList(), List) << Text;
    }
    for (const auto& [Text, List] : {std::pair<const char*, Strings>{"", {""}},
                                     {"*.pas;", {"*.pas"}},
                                     {" *.c ; *.h", {" *.c ", " *.h"}}}) {
        C.SetFileFilter(Text);
        EXPECT_EQ(C.FileFilterList(), List) << Text;
    }
    // The text is refused as a whole; the buffer size with its message.
    C.SetContextAsString(std::string(255, 'a'));
    C.SetContextAsString("keep");
    EXPECT_THROW(C.SetContextAsString(std::string(256, 'a')), Exception);
    EXPECT_EQ(C.ContextAsString(), "keep");
    C.SetBufferSizeKb(8192);
    EXPECT_THROW(C.SetBufferSizeKb(8193), Exception);
    EXPECT_THROW(C.SetBufferSizeKb(0), Exception);
    EXPECT_EQ(C.BufferSizeKb(), 8192);
}

TEST(Context, NothingChangesWhileInUseAndCopiesTakeThePatternAndItsSwitches) {
    TContext C;
    C.SetContextAsString("*.pas x");
    C.SetReplaceChar('_');
    C.SetInUse(true);
    C.SetContextAsString("xyz");
    C.SetNamesOnly(true);
    C.SetBufferSizeKb(128);
    EXPECT_EQ(C.ContextAsString() + std::to_string(C.NamesOnly()) + std::to_string(C.BufferSizeKb()),
              "*.pas_x064");
    C.SetInUse(false);
    C.SetNamesOnly(true);
    TContext Target;
    Target.AssignContext(C);
    EXPECT_EQ(Target.NameMaskList(), (Strings{"*.pas_x"}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Target.UpperPattern()), 7), "*.PAS X");
    EXPECT_TRUE(Target.NamesOnly());
    Target.AssignContext(TContext());
    EXPECT_TRUE(Target.IsEmpty() && Target.UpperPattern()[0] == 0) << "an empty source clears every byte";
}

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
    // Letters of both cases (the first and the last), their neighbours in the table and a few high bytes.
    const std::string Alphabet = "aAzZ@[`{ \xC1\xE1\xFF";
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
