#include "engine/SeekU.h"

#include "platform/SysUtils.h"

#include <gtest/gtest.h>

namespace {

using Strings = std::vector<std::string>;

bool Matches(const TContext& C, const std::string& S) {
    return C.MatchAt(reinterpret_cast<const uint8_t*>(S.data()), int(S.size()));
}

} // namespace

TEST(Context, NewContext) {
    TContext C;
    EXPECT_TRUE(C.IsEmpty());
    EXPECT_EQ(C.PatternData(), nullptr);
    EXPECT_EQ(C.ContextAsString(), "<Empty>");
    EXPECT_EQ(C.FileFilter(), "*.*");
    EXPECT_TRUE(C.FileFilterList().empty()) << "only written filters are split";
    EXPECT_EQ(C.ReplaceChar(), ' ');
    EXPECT_EQ(C.BufferSizeKb(), 64);
    EXPECT_FALSE(C.CaseSensitive() || C.NamesOnly() || C.FirstEntryOnly() || C.InUse());
}

TEST(Context, PatternReadBackAndNameMasks) {
    TContext C;
    C.SetContextAsString("");
    EXPECT_TRUE(C.IsEmpty());
    EXPECT_EQ(C.ContextAsString(), "<Empty>");
    EXPECT_TRUE(C.NameMaskList().empty());

    C.SetReplaceChar('#');
    C.SetContextAsString("my file\tx");
    EXPECT_EQ(C.PatternLength(), 9);
    EXPECT_EQ(C.ContextAsString(), "my#file#x");
    ASSERT_NE(C.PatternData(), nullptr);
    EXPECT_EQ(C.PatternData()[2], ' ') << "the pattern keeps its bytes";

    C.SetContextAsString("*.pas;*.txt");
    EXPECT_EQ(C.NameMaskList(), (Strings{"*.pas", "*.txt"}));
    C.SetContextAsString("readme");
    EXPECT_TRUE(C.NameMaskList().empty());
    C.SetContextAsString("notes.*");
    EXPECT_EQ(C.NameMaskList(), (Strings{"notes.*"}));
    // The space is replaced before splitting.
    C.SetContextAsString("*.pas; *.txt");
    EXPECT_EQ(C.NameMaskList(), (Strings{"*.pas", "#*.txt"}));
    C.SetContextAsString("*.pas;;*.txt;");
    EXPECT_EQ(C.NameMaskList(), (Strings{"*.pas", "", "*.txt"}));

    // A shorter pattern after a longer one: the bytes past the new length are leftovers.
    C.SetContextAsString("abcdef");
    C.SetContextAsString("xy");
    EXPECT_EQ(C.ContextAsString(), "xy");
    EXPECT_EQ(C.UpperPattern()[0], 'X');
    EXPECT_EQ(C.UpperPattern()[2], 'C');
}

TEST(Context, SearchStringsLongerThanThePatternAreRefused) {
    TContext C;
    C.SetContextAsString(std::string(255, 'a'));
    EXPECT_EQ(C.PatternLength(), 255);
    C.SetContextAsString("keep");
    try {
        C.SetContextAsString(std::string(256, 'a'));
        FAIL() << "a 256-byte search string was taken";
    } catch (const Exception& E) {
        EXPECT_NE(std::string(E.what()).find("255"), std::string::npos) << E.what();
    }
    EXPECT_EQ(C.ContextAsString(), "keep");
}

TEST(Context, ReplaceCharRefusesSpaceAndControls) {
    TContext C;
    C.SetReplaceChar('\t');
    EXPECT_EQ(C.ReplaceChar(), ' ');
    C.SetReplaceChar('!');
    C.SetReplaceChar(' ');
    EXPECT_EQ(C.ReplaceChar(), '!');
    C.SetReplaceChar(char(0xB0));
    EXPECT_EQ(C.ReplaceChar(), char(0xB0)) << "bytes above 127 are characters, not controls";
    C.SetContextAsString("a\xB0z");
    EXPECT_EQ(C.ContextAsString(), "a\xB0z");
}

TEST(Context, FileFilterSplitting) {
    TContext C;
    C.SetFileFilter("");
    EXPECT_EQ(C.FileFilterList(), (Strings{""}));
    C.SetFileFilter("*.pas;");
    EXPECT_EQ(C.FileFilterList(), (Strings{"*.pas"}));
    C.SetFileFilter("*.pas;*.dfm");
    EXPECT_EQ(C.FileFilterList(), (Strings{"*.pas", "*.dfm"}));
    C.SetFileFilter(" *.c ; *.h");
    EXPECT_EQ(C.FileFilterList(), (Strings{" *.c ", " *.h"}));
    EXPECT_EQ(C.FileFilter(), " *.c ; *.h");
}

TEST(Context, BufferSizeBounds) {
    TContext C;
    C.SetBufferSizeKb(1);
    EXPECT_EQ(C.BufferSizeKb(), 1);
    C.SetBufferSizeKb(8192);
    EXPECT_EQ(C.BufferSizeKb(), 8192);
    for (int Bad : {0, -1, 8193}) {
        try {
            C.SetBufferSizeKb(Bad);
            FAIL() << Bad << " was taken";
        } catch (const Exception& E) {
            EXPECT_STREQ(E.what(), "Buffer size must be integer between 1 and 8192");
        }
    }
    EXPECT_EQ(C.BufferSizeKb(), 8192);
}

TEST(Context, MatchAtFoldsOnlyAsciiLetters) {
    TContext C;
    C.SetContextAsString("readme");
    EXPECT_TRUE(Matches(C, "README"));
    EXPECT_TRUE(Matches(C, "ReadMe"));
    EXPECT_FALSE(Matches(C, "readm"));
    EXPECT_FALSE(Matches(C, "readmex")) << "the length must be the pattern's";
    C.SetCaseSensitive(true);
    EXPECT_FALSE(Matches(C, "README"));
    EXPECT_TRUE(Matches(C, "readme"));

    // Bytes 128-255 compare exactly in both modes; "{" is not a folded "[".
    for (bool Sensitive : {false, true}) {
        C.SetCaseSensitive(Sensitive);
        C.SetContextAsString("\xE9t\xC9");
        EXPECT_TRUE(Matches(C, "\xE9t\xC9"));
        EXPECT_FALSE(Matches(C, "\xC9t\xC9"));
        EXPECT_FALSE(Matches(C, "\xE9t\xE9"));
        C.SetContextAsString("[");
        EXPECT_FALSE(Matches(C, "{"));
    }
    C.SetCaseSensitive(false);
    C.SetContextAsString("\xE9t\xC9");
    EXPECT_TRUE(Matches(C, "\xE9T\xC9"));
}

TEST(Context, NothingChangesWhileInUse) {
    TContext C;
    C.SetContextAsString("abc");
    C.SetFileFilter("*.c");
    C.SetInUse(true);
    C.SetContextAsString("xyz");
    C.SetCaseSensitive(true);
    C.SetNamesOnly(true);
    C.SetFirstEntryOnly(true);
    C.SetReplaceChar('#');
    C.SetFileFilter("*.h");
    EXPECT_NO_THROW(C.SetBufferSizeKb(128));
    EXPECT_THROW(C.SetBufferSizeKb(0), Exception) << "a bad size is still an error";
    TContext Other;
    Other.SetContextAsString("other");
    C.AssignContext(Other);
    EXPECT_EQ(C.ContextAsString(), "abc");
    EXPECT_FALSE(C.CaseSensitive() || C.NamesOnly() || C.FirstEntryOnly());
    EXPECT_EQ(C.ReplaceChar(), ' ');
    EXPECT_EQ(C.FileFilter(), "*.c");
    EXPECT_EQ(C.FileFilterList(), (Strings{"*.c"}));
    EXPECT_EQ(C.BufferSizeKb(), 64);
    C.SetInUse(false);
    C.SetContextAsString("xyz");
    EXPECT_EQ(C.ContextAsString(), "xyz");
}

TEST(Context, AssignCopiesThePatternAndItsSwitchesOnly) {
    TContext Source, Target;
    Source.SetContextAsString("*.pas x");
    Source.SetCaseSensitive(true);
    Source.SetNamesOnly(true);
    Source.SetReplaceChar('_');
    Source.SetFileFilter("*.c");
    Source.SetBufferSizeKb(2048);
    Source.SetFirstEntryOnly(true);
    Target.AssignContext(Source);
    EXPECT_EQ(Target.ContextAsString(), "*.pas_x");
    EXPECT_EQ(Target.NameMaskList(), (Strings{"*.pas_x"}));
    EXPECT_TRUE(Target.CaseSensitive());
    EXPECT_TRUE(Target.NamesOnly());
    EXPECT_FALSE(Target.FirstEntryOnly());
    EXPECT_EQ(Target.FileFilter(), "*.*");
    EXPECT_TRUE(Target.FileFilterList().empty());
    EXPECT_EQ(Target.BufferSizeKb(), 64);
    std::string Upper(reinterpret_cast<const char*>(Target.UpperPattern()), 7);
    EXPECT_EQ(Upper, "*.PAS X");

    TContext Empty;
    Target.AssignContext(Empty);
    EXPECT_TRUE(Target.IsEmpty());
    EXPECT_TRUE(Target.NameMaskList().empty());
    EXPECT_EQ(Target.UpperPattern()[0], 0) << "an empty source clears every byte";
}
