#include "platform/Resources.h"

#include "platform/SysUtils.h"

#include <map>
#include <mutex>

namespace {

std::mutex& Guard() {
    static std::mutex M;
    return M;
}

std::map<std::string, TRawResource>& Table() {
    static std::map<std::string, TRawResource> T;
    return T;
}

} // namespace

void RegisterRawResource(const std::string& Name, const uint8_t* Data, size_t Size) {
    std::lock_guard<std::mutex> Lock(Guard());
    Table()[UpperCaseAscii(Name)] = TRawResource{Data, Size};
}

bool FindRawResource(const std::string& Name, TRawResource& Res) {
    std::lock_guard<std::mutex> Lock(Guard());
    auto It = Table().find(UpperCaseAscii(Name));
    if (It == Table().end())
        return false;
    Res = It->second;
    return true;
}
