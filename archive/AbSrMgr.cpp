#include "archive/AbSrMgr.h"

#include "platform/CodePage.h"
#include "platform/LittleEndian.h"

#include <cstring>
#include <mutex>

void AbRegisterStringTables(); // generated from the message lists

namespace {

void EnsureTablesRegistered() {
    static std::once_flag Once;
    std::call_once(Once, AbRegisterStringTables);
}

// UTF-16LE to UTF-8; a lone surrogate becomes U+FFFD.
std::string FromUtf16(const uint8_t* P, size_t Units) {
    std::string Out;
    for (size_t I = 0; I < Units; ++I) {
        uint32_t U = GetLe16(P + 2 * I);
        if (U >= 0xD800 && U < 0xDC00 && I + 1 < Units) {
            uint32_t L = GetLe16(P + 2 * I + 2);
            if (L >= 0xDC00 && L < 0xE000) {
                AppendUtf8(Out, 0x10000 + ((U - 0xD800) << 10) + (L - 0xDC00));
                ++I;
                continue;
            }
        }
        AppendUtf8(Out, U >= 0xD800 && U < 0xE000 ? 0xFFFD : U);
    }
    return Out;
}

std::string OwnMessage(int Id) {
    return AbSrMgrStrings().GetString(Id);
}

} // namespace

TAbStringResource::TAbStringResource(const std::string& ResourceName) {
    Open(ResourceName);
}

void TAbStringResource::Open(const std::string& ResourceName) {
    FTable = TRawResource();
    if (ResourceName.empty())
        return;
    EnsureTablesRegistered();
    std::string Name = ResourceName.substr(0, 255);
    bool OwnTable = Name == "ABSRMGR_STRINGS";
    TRawResource Res;
    if (!FindRawResource(Name, Res))
        throw ETpsStringResourceError(OwnTable ? "String resource not found: " + Name
                                               : Format(OwnMessage(3), {Name}));
    // A table whose index does not fit its own bytes is as bad as a wrong magic.
    bool Valid = Res.Size >= 8 && std::memcmp(Res.Data, "STR0", 4) == 0 &&
                 (Res.Size - 8) / 12 >= GetLe32(Res.Data + 4);
    if (!Valid)
        throw ETpsStringResourceError(OwnTable ? "Invalid string resource" : OwnMessage(5));
    FTable = Res;
}

bool TAbStringResource::Find(int Id, const uint8_t*& Text, size_t& Units) const {
    if (!FTable.Data)
        return false;
    int64_t Lo = 0, Hi = int64_t(GetLe32(FTable.Data + 4)) - 1;
    while (Lo <= Hi) {
        int64_t Mid = (Lo + Hi) / 2;
        const uint8_t* Entry = FTable.Data + 8 + 12 * Mid;
        int64_t EntryId = int64_t(GetLe32(Entry));
        if (EntryId == Id) {
            uint64_t Offset = GetLe32(Entry + 4), Length = GetLe32(Entry + 8);
            if (Offset + 2 * Length > FTable.Size)
                return false;
            Text = FTable.Data + Offset;
            Units = size_t(Length);
            return true;
        }
        if (EntryId < Id)
            Lo = Mid + 1;
        else
            Hi = Mid - 1;
    }
    return false;
}

std::string TAbStringResource::GetString(int Id) const {
    const uint8_t* Text;
    size_t Units;
    if (Find(Id, Text, Units))
        return FromUtf16(Text, Units);
    if (RaiseOnMissing)
        throw ETpsStringResourceError(Format(OwnMessage(1), {Id}));
    return std::string();
}

char* TAbStringResource::GetStringToBuffer(int Id, char* Buffer, size_t MaxLen) const {
    if (MaxLen == 0)
        return Buffer;
    const uint8_t* Text = nullptr;
    size_t Units = 0;
    Find(Id, Text, Units);
    std::string S = FromUtf16(Text, Units);
    while (S.size() >= MaxLen && Units > 0)
        S = FromUtf16(Text, --Units);
    std::memcpy(Buffer, S.data(), S.size());
    Buffer[S.size()] = '\0';
    return Buffer;
}

TAbStringResource& AbSrMgrStrings() {
    static TAbStringResource Own("ABSRMGR_STRINGS");
    return Own;
}

TAbStringResource& AbStrings() {
    AbSrMgrStrings();
    static TAbStringResource Messages("AB_STRINGS_ENGLISH");
    return Messages;
}
