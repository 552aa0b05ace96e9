#pragma once
// The search context: the pattern and the options of one search.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// What a search looks for and how. Every write is ignored while a content search uses the context
// (InUse), so the worker may read it without a lock.
class TContext {
public:
    static constexpr int MaxPatternLength = 255;
    static constexpr int MinBufferSizeKb = 1;
    static constexpr int MaxBufferSizeKb = 8192;

    TContext();
    TContext(const TContext&) = delete;
    TContext& operator=(const TContext&) = delete;

    // "<Empty>" for an empty pattern; otherwise the pattern with every byte up to 32 shown as
    // ReplaceChar.
    std::string ContextAsString() const;
    // Raises when S is longer than MaxPatternLength: the pattern is never cut.
    void SetContextAsString(const std::string& S);

    char ReplaceChar() const { return FReplaceChar; }
    void SetReplaceChar(char C); // ignored for space and control characters
    bool CaseSensitive() const { return FCaseSensitive; }
    void SetCaseSensitive(bool Value);
    bool NamesOnly() const { return FNamesOnly; }
    void SetNamesOnly(bool Value);
    const std::string& FileFilter() const { return FFileFilter; }
    void SetFileFilter(const std::string& S);
    int BufferSizeKb() const { return FBufferSizeKb; }
    void SetBufferSizeKb(int N); // raises outside 1..8192, also while InUse
    bool FirstEntryOnly() const { return FFirstEntryOnly; }
    void SetFirstEntryOnly(bool Value);

    // Set and cleared by the content-search thread only.
    bool InUse() const { return FInUse; }
    void SetInUse(bool Value) { FInUse = Value; }

    // FileFilter split at ";": the masks for archive entries.
    const std::vector<std::string>& FileFilterList() const { return FFileFilterList; }
    // Masks taken from the search string itself (names-only mode).
    const std::vector<std::string>& NameMaskList() const { return FNameMaskList; }

    int PatternLength() const { return FPatternLength; }
    bool IsEmpty() const { return FPatternLength == 0; }
    // The pattern bytes and their folded copy; PatternData is null for an empty context.
    const uint8_t* PatternData() const { return IsEmpty() ? nullptr : FPattern.data(); }
    const uint8_t* UpperPattern() const { return FUpperPattern.data(); }

    // Whether the Len bytes at P are the pattern (folded on both sides unless CaseSensitive).
    bool MatchAt(const uint8_t* P, int Len) const;

    // Copies the pattern, CaseSensitive, NamesOnly and ReplaceChar (not the entry masks, the buffer
    // size or FirstEntryOnly).
    void AssignContext(const TContext& Source);

private:
    void RebuildFromPattern();

    std::array<uint8_t, MaxPatternLength> FPattern{};
    std::array<uint8_t, MaxPatternLength> FUpperPattern{};
    bool FCaseSensitive = false;
    bool FNamesOnly = false;
    std::string FFileFilter = "*.*";
    char FReplaceChar = ' ';
    int FPatternLength = 0;
    int FBufferSizeKb = 64;
    bool FFirstEntryOnly = false;
    std::atomic<bool> FInUse{false};
    std::vector<std::string> FFileFilterList;
    std::vector<std::string> FNameMaskList;
};
