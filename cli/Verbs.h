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
constexpr int ExitError = 2;

// Prints "tarnlet-cli: What: Message" on standard error and returns ExitError.
int ReportError(const std::string& What, const std::string& Message);
// Prints the usage of one verb on standard error and returns ExitError.
int ReportUsage(const TVerb& Verb);

int ListVerb(const std::vector<std::string>& Args);
extern const TVerb ListVerbInfo;
