// The search context: its text and the name masks read from it, the entry filter, limits, matching with
// and without case, the lock while a search runs, and copying.

#include "engine/Context.h"

#include "platform/SysUtils.h"

#include <gtest/gtest.h>

using Strings = std::vector<std::string>;

namespace {

bool Matches(const TContext& C, const std::string& S) {
    return C.MatchAt(reinterpret_cast<const uint8_t*>(S.data()), int(S.size()));
}

} // namespace

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
    for (int Bad : {0, 8193})
        try {
            C.SetBufferSizeKb(Bad);
            FAIL() << Bad << " was taken";
        } catch (const Exception& E) {
            EXPECT_STREQ(E.what(), "Buffer size must be integer between 1 and 8192");
        }
}

TEST(Context, MatchingFoldsOnlyAsciiLetters) {
    TContext C;
    C.SetContextAsString("readme");
    EXPECT_TRUE(Matches(C, "ReadMe"));
    EXPECT_FALSE(Matches(C, "readmex")) << "the length must be the pattern's";
    for (bool Sensitive : {false, true}) {
        C.SetCaseSensitive(Sensitive);
        C.SetContextAsString("\xE9t\xC9[z");
        EXPECT_TRUE(Matches(C, "\xE9t\xC9[z"));
        EXPECT_FALSE(Matches(C, "\xC9t\xC9[z"));
        EXPECT_FALSE(Matches(C, "\xE9t\xC9{z"));
        EXPECT_EQ(Matches(C, "\xE9T\xC9[Z"), !Sensitive);
    }
}

TEST(Context, NothingChangesWhileInUseAndCopiesTakeThePatternAndItsSwitches) {
    TContext C;
    C.SetContextAsString("*.pas x");
    C.SetReplaceChar('_');
    C.SetInUse(true);
    C.SetContextAsString("xyz");
    C.SetCaseSensitive(true);
    C.SetNamesOnly(true);
    C.SetFileFilter("*.h");
    C.SetBufferSizeKb(128);
    EXPECT_THROW(C.SetBufferSizeKb(0), Exception) << "a bad size is still an error";
    C.AssignContext(TContext());
    EXPECT_EQ(C.ContextAsString() + C.FileFilter() + std::to_string(C.BufferSizeKb()), "*.pas_x*.*64");
    EXPECT_FALSE(C.CaseSensitive() || C.NamesOnly());
    C.SetInUse(false);
    C.SetNamesOnly(true);
    C.SetFirstEntryOnly(true);
    TContext Target;
    Target.AssignContext(C);
    EXPECT_EQ(Target.NameMaskList(), (Strings{"*.pas_x"}));
    EXPECT_TRUE(Target.NamesOnly() && !Target.FirstEntryOnly());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Target.UpperPattern()), 7), "*.PAS X");
    Target.AssignContext(TContext());
    EXPECT_TRUE(Target.IsEmpty() && Target.NameMaskList().empty());
    EXPECT_EQ(Target.UpperPattern()[0], 0) << "an empty source clears every byte";
}
