#pragma once
// The verbs of tarnlet-cli. Each verb lives in its own file and is listed in the table of tarnlet-cli.cpp.

#include <string>
#include <vector>

struct TVerb {
    const char* Name;
    const char* Usage; // arguments after the verb
    const char* Help;  // what it does, one or more lines
    // Returns the exit status; Args are the arguments after the verb.
    int (*Run)(const std::vector<std::string>& Args);
};

// Exit statuses.
constexpr int ExitOk = 0;
constexpr int ExitNoMatch = 1;
constexpr int ExitError = 2;

// Prints "tarnlet-cli: What: Message" on standard error and returns ExitError.
int ReportError(const std::string& What, const std::string& Message);
// Prints the usage of one verb on standard error and returns ExitError.
int ReportUsage(const TVerb& Verb);

int ListVerb(const std::vector<std::string>& Args);
extern const TVerb ListVerbInfo;

// Options of the verbs that extract, ahead of their operands: -p PASSWORD, -o (overwrite all), -n
// (overwrite none).
struct TExtractArgs {
    std::string Password;
    bool OverwriteAll = false;
    bool OverwriteNone = false;
    std::vector<std::string> Operands;
};
// False on an option not in Allowed (letters), a -p without its password, or -o with -n.
bool ParseExtractArgs(const std::vector<std::string>& Args, const std::string& Allowed, TExtractArgs& Out);

int TestVerb(const std::vector<std::string>& Args);
extern const TVerb TestVerbInfo;
int ExtractVerb(const std::vector<std::string>& Args);
extern const TVerb ExtractVerbInfo;
int SearchVerb(const std::vector<std::string>& Args);
extern const TVerb SearchVerbInfo;
int AddVerb(const std::vector<std::string>& Args);
extern const TVerb AddVerbInfo;
