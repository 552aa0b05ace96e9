// The search context (text, name masks, entry filter, limits, copies), and the pattern finder against a
// plain search: random data of a small alphabet, so near misses abound, fed in pieces of random sizes.

#include "engine/MatchFinder.h"

#include "platform/SysUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>

using Strings = std::vector<std::string>;

TEST(Context, TextNameMasksFilterLimitsAndCopies) {
    TContext C;
    C.SetReplaceChar('#');
    C.SetReplaceChar(' '); // spaces and controls are refused, bytes above 127 taken
    C.SetContextAsString("my file\tx\xB0");
    EXPECT_EQ(C.ContextAsString(), "my#file#x\xB0");
    EXPECT_EQ(C.PatternData()[2], ' ') << "the pattern keeps its bytes";
    // Masks where the text holds "*." or ".*", split at ";" after the replacement; filters at ";".
    using L = std::pair<const char*, Strings>;
    for (const auto& [Text, List] :
         {L{"*.pas;*.txt", {"*.pas", "*.txt"}}, L{"readme", {}}, L{"notes.*", {"notes.*"}},
          L{"*.pas; *.txt", {"*.pas", "#*.txt"}}, L{"*.pas;;*.txt;", {"*.pas", "", "*.txt"}}})
        EXPECT_EQ((C.SetContextAsString(Text), C.NameMaskList()), List) << Text;
    for (const auto& [Text, List] : {L{"", {""}}, L{"*.pas;", {"*.pas"}}, L{" *.c ; *.h", {" *.c ", " *.h"}}})
        EXPECT_EQ((C.SetFileFilter(Text), C.FileFilterList()), List) << Text;
    // The text is refused as a whole; an empty buffer too.
    C.SetContextAsString(std::string(255, 'a'));
    C.SetContextAsString("keep");
    EXPECT_THROW(C.SetContextAsString(std::string(256, 'a')), Exception);
    EXPECT_EQ(C.ContextAsString(), "keep");
    EXPECT_THROW(C.SetBufferSizeKb(0), Exception);
    // Copies take the pattern and its switches (the lock while in use: the content search's test).
    C.SetContextAsString("*.pas x");
    C.SetReplaceChar('_');
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

// The offsets where Pattern starts in Data, letters compared without case unless Case is set.
std::vector<int64_t> Naive(const std::string& Data, const std::string& Pattern, bool Case) {
    const auto Same = [Case](char A, char B) {
        return Case ? A == B : toupper(uint8_t(A)) == toupper(uint8_t(B));
    };
    std::vector<int64_t> Found;
    for (auto I = Data.begin();
         (I = std::search(I, Data.end(), Pattern.begin(), Pattern.end(), Same)) != Data.end(); ++I)
        Found.push_back(I - Data.begin());
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
            ASSERT_EQ(Finder.Offsets(), Expected) << "round " << Round;
        }
    }
}
