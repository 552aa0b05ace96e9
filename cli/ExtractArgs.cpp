// The options shared by the verbs that extract.

#include "cli/Verbs.h"

bool ParseExtractArgs(const std::vector<std::string>& Args, const std::string& Allowed, TExtractArgs& Out) {
    size_t I = 0;
    for (; I < Args.size() && Args[I].size() == 2 && Args[I][0] == '-'; ++I) {
        const char Option = Args[I][1];
        if (Allowed.find(Option) == std::string::npos)
            return false;
        if (Option == 'p') {
            if (++I == Args.size())
                return false;
            Out.Password = Args[I];
        } else if (Option == 'o')
            Out.OverwriteAll = true;
        else
            Out.OverwriteNone = true;
    }
    Out.Operands.assign(Args.begin() + std::ptrdiff_t(I), Args.end());
    return !(Out.OverwriteAll && Out.OverwriteNone);
}
