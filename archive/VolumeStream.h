#pragma once
// Archives cut into numbered pieces (NAME.zip.001, NAME.zip.002, ...) by programs that split the bytes of
// a finished archive: the pieces read as the one file they were cut from.

#include "platform/Classes.h"

#include <memory>
#include <string>
#include <vector>

// The pieces FileName belongs to, from .001 on while they follow without a gap; empty when FileName is no
// such piece or .001 is missing.
std::vector<std::string> NumberedVolumes(const std::string& FileName);

// Reads the files one after the other as one stream. Writing is refused.
class TAbVolumeStream : public TStream {
public:
    explicit TAbVolumeStream(const std::vector<std::string>& FileNames);
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, int Origin) override;
    void SetSize(int64_t NewSize) override;
    int64_t Size() override { return FSize; }

private:
    struct TPiece {
        std::unique_ptr<TFileStream> File;
        int64_t Start;
        int64_t Size;
    };
    std::vector<TPiece> FPieces;
    int64_t FSize = 0;
    int64_t FPosition = 0;
};
