#pragma once
// Byte streams: the abstract stream, file and handle streams, and the memory stream.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Seek origins.
enum : int { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

// File open modes. Linux has no sharing modes: the share bits are accepted and ignored.
enum : uint16_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFFFF,
};

class TStream {
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    // Reads up to Count bytes; returns how many arrived (0 at the end).
    virtual int64_t Read(void* Buffer, int64_t Count) = 0;
    // Writes up to Count bytes; returns how many were written.
    virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
    // Moves the position (origin 0 from the start, 1 from the position, 2 from the end); returns it.
    virtual int64_t Seek(int64_t Offset, int Origin) = 0;
    virtual void SetSize(int64_t NewSize) = 0;
    virtual int64_t Size();

    int64_t Position() { return Seek(0, soFromCurrent); }
    void SetPosition(int64_t Pos) { Seek(Pos, soFromBeginning); }

    // Exactly Count bytes or EReadError / EWriteError.
    void ReadBuffer(void* Buffer, int64_t Count);
    void WriteBuffer(const void* Buffer, int64_t Count);
    // Copies Count bytes from Source at its position (Count 0: all of Source from its start).
    int64_t CopyFrom(TStream& Source, int64_t Count);
};

// A stream over an open file descriptor, which it does not close. AFileName only names the file in errors.
class THandleStream : public TStream {
public:
    explicit THandleStream(int AHandle, std::string AFileName = {})
        : FHandle(AHandle), FFileName(std::move(AFileName)) {}
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, int Origin) override;
    // Raises EInOutError when the file cannot be resized.
    void SetSize(int64_t NewSize) override;
    int64_t Size() override;
    // Reads up to Count bytes at Offset without moving the position; short only at the end of the file.
    int64_t ReadAt(void* Buffer, int64_t Count, int64_t Offset);
    int Handle() const { return FHandle; }
    const std::string& FileName() const { return FFileName; }

protected:
    int FHandle;

private:
    std::string FFileName;
};

// A stream over a named file that it opens and closes. Mode fmCreate creates or truncates the file;
// otherwise the low bits choose read, write or read-write. Failures raise EFCreateError / EFOpenError.
class TFileStream : public THandleStream {
public:
    TFileStream(const std::string& AFileName, uint16_t Mode);
    ~TFileStream() override;
};

// A growable stream in memory.
class TMemoryStream : public TStream {
public:
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, int Origin) override;
    void SetSize(int64_t NewSize) override;
    int64_t Size() override { return int64_t(FData.size()); }

    uint8_t* Memory() { return FData.data(); }
    void Clear();
    void LoadFromStream(TStream& Source);
    void LoadFromFile(const std::string& FileName);
    void SaveToStream(TStream& Dest);
    void SaveToFile(const std::string& FileName);

private:
    std::vector<uint8_t> FData;
    int64_t FPosition = 0;
};
