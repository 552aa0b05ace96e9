#include "platform/IniFiles.h"

#include "platform/DataFiles.h"
#include "platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Settings files are small; a larger file is garbage, read as far as this.
constexpr size_t MaxFileBytes = size_t(64) << 20;

std::string_view Trim(std::string_view S) {
    const size_t B = S.find_first_not_of(" \t\r");
    if (B == std::string_view::npos)
        return {};
    return S.substr(B, S.find_last_not_of(" \t\r") - B + 1);
}

// Values keep their outer blanks through a pair of quotes around them.
std::string Unquote(std::string_view V) {
    V = Trim(V);
    if (V.size() >= 2 && V.front() == '"' && V.back() == '"')
        V = V.substr(1, V.size() - 2);
    return std::string(V);
}

std::string Quote(const std::string& V) {
    const bool Blank = !V.empty() && (Trim(V).size() != V.size());
    const bool Quoted = V.size() >= 2 && V.front() == '"' && V.back() == '"';
    return Blank || Quoted ? '"' + V + '"' : V;
}

// A line break inside a key or value would start a new line of the file.
std::string OneLine(std::string S) {
    std::replace_if(
        S.begin(), S.end(), [](char C) { return C == '\n' || C == '\r'; }, ' ');
    return S;
}

std::string CutValue(std::string V) {
    if (V.size() <= TIniFile::MaxValueBytes)
        return V;
    size_t N = TIniFile::MaxValueBytes;
    while (N > 0 && (static_cast<unsigned char>(V[N]) & 0xC0) == 0x80)
        --N;
    V.resize(N);
    return V;
}

std::string ReadWhole(const std::string& FileName) {
    std::string Data;
    const int Fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0)
        return Data;
    char Buf[65536];
    ssize_t N;
    while (Data.size() < MaxFileBytes && (N = ::read(Fd, Buf, sizeof Buf)) > 0)
        Data.append(Buf, size_t(N));
    ::close(Fd);
    return Data;
}

bool WriteAll(int Fd, const std::string& Data) {
    size_t Done = 0;
    while (Done < Data.size()) {
        const ssize_t N = ::write(Fd, Data.data() + Done, Data.size() - Done);
        if (N < 0 && errno == EINTR)
            continue;
        if (N <= 0)
            return false;
        Done += size_t(N);
    }
    return true;
}

} // namespace

EIniWriteError::EIniWriteError(const std::string& FileName, int Code)
    : Exception(Format("Unable to write to %s", {FileName})), ErrorCode(Code) {}

TIniFile::TIniFile(std::string FileName) : FFileName(std::move(FileName)) {
    const std::string Data = ReadWhole(FFileName);
    std::vector<TLine>* Lines = &FHead;
    size_t Pos = 0;
    while (Pos < Data.size()) {
        size_t End = Data.find('\n', Pos);
        if (End == std::string::npos)
            End = Data.size();
        const std::string_view Raw(Data.data() + Pos, End - Pos);
        Pos = End + 1;
        const std::string_view T = Trim(Raw);
        if (T.empty())
            continue;
        const size_t Eq = T.find('=');
        const size_t Close = T.find(']');
        if (T.front() == '[' && Close != std::string_view::npos && Eq == std::string_view::npos) {
            FSections.push_back({std::string(Trim(T.substr(1, Close - 1))), {}});
            Lines = &FSections.back().Lines;
            continue;
        }
        TLine Line;
        Line.Text = std::string(Raw);
        if (Eq != std::string_view::npos && !Trim(T.substr(0, Eq)).empty()) {
            Line.HasKey = true;
            Line.Key = std::string(Trim(T.substr(0, Eq)));
            Line.Value = Unquote(T.substr(Eq + 1));
        }
        Lines->push_back(std::move(Line));
    }
}

const TIniFile::TSection* TIniFile::Find(const std::string& Section) const {
    for (const TSection& S : FSections)
        if (SameTextAscii(S.Name, Section))
            return &S;
    return nullptr;
}

const TIniFile::TLine* TIniFile::FindKey(const std::string& Section, const std::string& Key) const {
    if (const TSection* S = Find(Section))
        for (const TLine& L : S->Lines)
            if (L.HasKey && SameTextAscii(L.Key, Key))
                return &L;
    return nullptr;
}

std::vector<std::pair<std::string, std::string>>
TIniFile::ReadSectionValues(const std::string& Section) const {
    std::vector<std::pair<std::string, std::string>> Result;
    const TSection* S = Find(Section);
    if (!S)
        return Result;
    size_t Used = 1; // the list's final terminator
    for (const TLine& L : S->Lines) {
        if (!L.HasKey)
            continue;
        // A key that does not fit whole is left out rather than cut into a different key.
        if (Used + L.Key.size() + 1 > KeyListBytes)
            break;
        Used += L.Key.size() + 1;
        Result.emplace_back(L.Key, CutValue(L.Value));
    }
    return Result;
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Key,
                                 const std::string& Default) const {
    const TLine* L = FindKey(Section, Key);
    return L ? CutValue(L->Value) : Default;
}

int64_t TIniFile::ReadInteger(const std::string& Section, const std::string& Key, int64_t Default) const {
    const std::string V(Trim(ReadString(Section, Key, "")));
    std::string_view Digits = V;
    int Base = 10;
    if (Digits.size() > 2 && Digits[0] == '0' && (Digits[1] == 'x' || Digits[1] == 'X')) {
        Digits.remove_prefix(2);
        Base = 16;
    }
    int64_t N = 0;
    const auto [End, Err] = std::from_chars(Digits.data(), Digits.data() + Digits.size(), N, Base);
    return Digits.empty() || Err != std::errc() || End != Digits.data() + Digits.size() ? Default : N;
}

bool TIniFile::ReadBool(const std::string& Section, const std::string& Key, bool Default) const {
    return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& Section, const std::string& Key, const std::string& Value) {
    const std::string K = OneLine(Key);
    auto S = std::find_if(FSections.begin(), FSections.end(),
                          [&](const TSection& X) { return SameTextAscii(X.Name, Section); });
    if (S == FSections.end()) {
        FSections.push_back({OneLine(Section), {}});
        S = FSections.end() - 1;
    }
    auto& Lines = S->Lines;
    for (TLine& L : Lines) {
        if (L.HasKey && SameTextAscii(L.Key, K)) {
            L.Value = OneLine(Value);
            return;
        }
    }
    // New keys go after the section's last key, ahead of any lines without one.
    auto At = std::find_if(Lines.rbegin(), Lines.rend(), [](const TLine& L) { return L.HasKey; }).base();
    Lines.insert(At, TLine{"", K, OneLine(Value), true});
}

void TIniFile::WriteBool(const std::string& Section, const std::string& Key, bool Value) {
    WriteString(Section, Key, Value ? "1" : "0");
}

// The section keeps its place in the file, so rewriting it does not move it to the end.
void TIniFile::EraseSection(const std::string& Section) {
    for (TSection& S : FSections)
        if (SameTextAscii(S.Name, Section))
            S.Lines.clear();
}

void TIniFile::UpdateFile() const {
    std::string Data;
    auto Put = [&Data](const std::vector<TLine>& Lines) {
        for (const TLine& L : Lines)
            Data += (L.HasKey ? L.Key + '=' + Quote(L.Value) : L.Text) + '\n';
    };
    Put(FHead);
    for (const TSection& S : FSections) {
        if (S.Lines.empty())
            continue;
        if (!Data.empty())
            Data += '\n';
        Data += '[' + S.Name + "]\n";
        Put(S.Lines);
    }

    const auto Fail = [this](int Code) { throw EIniWriteError(FFileName, Code); };
    const std::string Folder = ExtractFilePath(FFileName);
    std::error_code Ec;
    if (!Folder.empty() && !DirExists(Folder) && !std::filesystem::create_directories(Folder, Ec))
        Fail(Ec.value());
    std::string Temp = FFileName + ".XXXXXX";
    const int Fd = ::mkostemp(Temp.data(), O_CLOEXEC);
    if (Fd < 0)
        Fail(errno);
    struct stat Old;
    const bool Ok = WriteAll(Fd, Data) && ::fsync(Fd) == 0 &&
                    (::stat(FFileName.c_str(), &Old) != 0 || ::fchmod(Fd, Old.st_mode & 07777) == 0);
    const int Code = errno;
    if (::close(Fd) != 0 || !Ok || ::rename(Temp.c_str(), FFileName.c_str()) != 0) {
        const int Err = Ok ? errno : Code;
        ::unlink(Temp.c_str());
        Fail(Err);
    }
}

std::string SettingsFileName(const std::string& ProgramPath) {
    std::string Name = ExtractFileName(ProgramPath);
    const size_t Dot = Name.rfind('.');
    Name = (Dot == std::string::npos ? Name : Name.substr(0, Dot)) + ".INI";
    const std::string Folder = ExtractFilePath(ProgramPath);
    if (WritesBesideProgram(Folder.empty() ? "." : Folder))
        return Folder + Name;
    const char* Config = std::getenv("XDG_CONFIG_HOME");
    const char* Home = std::getenv("HOME");
    // Relative config folders are to be ignored.
    const std::string Base = Config && *Config == '/' ? Config : std::string(Home ? Home : "") + "/.config";
    return JoinPath(JoinPath(Base, "tarnlet"), Name);
}
