#include "platform/Classes.h"

#include "platform/SysUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int64_t TStream::Size() {
    int64_t Pos = Seek(0, soFromCurrent);
    int64_t End = Seek(0, soFromEnd);
    Seek(Pos, soFromBeginning);
    return End;
}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
    auto* P = static_cast<uint8_t*>(Buffer);
    while (Count > 0) {
        int64_t N = Read(P, Count);
        if (N <= 0)
            throw EReadError("Stream read error");
        P += N;
        Count -= N;
    }
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
    auto* P = static_cast<const uint8_t*>(Buffer);
    while (Count > 0) {
        int64_t N = Write(P, Count);
        if (N <= 0)
            throw EWriteError("Stream write error");
        P += N;
        Count -= N;
    }
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.Size();
    }
    std::vector<uint8_t> Buf(size_t(std::min<int64_t>(Count, 1 << 16)) + 1);
    int64_t Done = 0;
    while (Done < Count) {
        int64_t N = std::min<int64_t>(Count - Done, int64_t(Buf.size()));
        Source.ReadBuffer(Buf.data(), N);
        WriteBuffer(Buf.data(), N);
        Done += N;
    }
    return Done;
}

int64_t THandleStream::Read(void* Buffer, int64_t Count) {
    if (Count <= 0)
        return 0;
    ssize_t N;
    do
        N = ::read(FHandle, Buffer, size_t(Count));
    while (N < 0 && errno == EINTR);
    return N < 0 ? 0 : N;
}

int64_t THandleStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0)
        return 0;
    ssize_t N;
    do
        N = ::write(FHandle, Buffer, size_t(Count));
    while (N < 0 && errno == EINTR);
    return N < 0 ? 0 : N;
}

int64_t THandleStream::Seek(int64_t Offset, int Origin) {
    int Whence = Origin == soFromCurrent ? SEEK_CUR : Origin == soFromEnd ? SEEK_END : SEEK_SET;
    off_t R = ::lseek(FHandle, off_t(Offset), Whence);
    return R < 0 ? -1 : int64_t(R);
}

void THandleStream::SetSize(int64_t NewSize) {
    if (::ftruncate(FHandle, off_t(NewSize)) != 0)
        throw EInOutError("resize", FileName(), errno);
    if (Position() > NewSize)
        Seek(NewSize, soFromBeginning);
}

int64_t THandleStream::Size() {
    // One call instead of three seeks for a file; a pipe or a device keeps the answer seeking gives.
    struct stat St;
    if (::fstat(FHandle, &St) == 0 && S_ISREG(St.st_mode))
        return int64_t(St.st_size);
    return TStream::Size();
}

int64_t THandleStream::ReadAt(void* Buffer, int64_t Count, int64_t Offset) {
    auto* P = static_cast<uint8_t*>(Buffer);
    int64_t Done = 0;
    while (Done < Count) {
        ssize_t N = ::pread(FHandle, P + Done, size_t(Count - Done), off_t(Offset + Done));
        if (N < 0 && errno == EINTR)
            continue;
        if (N <= 0)
            break;
        Done += N;
    }
    return Done;
}

namespace {

int OpenFile(const std::string& Name, uint16_t Mode) {
    if (Mode == fmCreate)
        return ::open(Name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    int Access = (Mode & 3) == fmOpenWrite ? O_WRONLY : (Mode & 3) == fmOpenReadWrite ? O_RDWR : O_RDONLY;
    // A pipe without a writer would block the open for good; regular files read the same either way.
    return ::open(Name.c_str(), Access | O_CLOEXEC | O_NONBLOCK);
}

} // namespace

TFileStream::TFileStream(const std::string& AFileName, uint16_t Mode)
    : THandleStream(OpenFile(AFileName, Mode), AFileName) {
    if (FHandle < 0) {
        std::string Why = SysErrorMessage(errno);
        if (Mode == fmCreate)
            throw EFCreateError(Format("Cannot create file \"%s\". %s", {AFileName, Why}));
        throw EFOpenError(Format("Cannot open file \"%s\". %s", {AFileName, Why}));
    }
}

TFileStream::~TFileStream() {
    if (FHandle >= 0)
        ::close(FHandle);
}

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
    if (FPosition < 0)
        return 0;
    int64_t N = std::min<int64_t>(Count, int64_t(FData.size()) - FPosition);
    if (N <= 0)
        return 0;
    std::memcpy(Buffer, FData.data() + FPosition, size_t(N));
    FPosition += N;
    return N;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0 || FPosition < 0)
        return 0;
    if (FPosition + Count > int64_t(FData.size()))
        FData.resize(size_t(FPosition + Count));
    std::memcpy(FData.data() + FPosition, Buffer, size_t(Count));
    FPosition += Count;
    return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, int Origin) {
    if (Origin == soFromCurrent)
        Offset += FPosition;
    else if (Origin == soFromEnd)
        Offset += int64_t(FData.size());
    FPosition = Offset;
    return FPosition;
}

void TMemoryStream::SetSize(int64_t NewSize) {
    FData.resize(size_t(std::max<int64_t>(NewSize, 0)));
    FPosition = std::min(FPosition, int64_t(FData.size()));
}

void TMemoryStream::Clear() {
    FData.clear();
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& Source) {
    Source.SetPosition(0);
    int64_t N = Source.Size();
    FData.resize(size_t(N));
    Source.ReadBuffer(FData.data(), N);
    FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
    TFileStream F(FileName, fmOpenRead);
    LoadFromStream(F);
}

void TMemoryStream::SaveToStream(TStream& Dest) {
    Dest.WriteBuffer(FData.data(), int64_t(FData.size()));
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
    TFileStream F(FileName, fmCreate);
    SaveToStream(F);
}
