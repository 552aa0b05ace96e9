#include "archive/VolumeStream.h"

#include "platform/Files.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <cstdio>

std::vector<std::string> NumberedVolumes(const std::string& FileName) {
    const std::string Ext = ExtractFileExt(FileName);
    if (Ext.size() != 4 ||
        !std::all_of(Ext.begin() + 1, Ext.end(), [](char C) { return C >= '0' && C <= '9'; }))
        return {};
    const std::string Base = FileName.substr(0, FileName.size() - Ext.size());
    std::vector<std::string> Pieces;
    for (int N = 1; N <= 999; ++N) {
        char Number[8];
        std::snprintf(Number, sizeof Number, ".%03d", N);
        if (!FileExists(Base + Number))
            break;
        Pieces.push_back(Base + Number);
    }
    return Pieces;
}

TAbVolumeStream::TAbVolumeStream(const std::vector<std::string>& FileNames) {
    for (const std::string& Name : FileNames) {
        auto File = std::make_unique<TFileStream>(Name, fmOpenRead);
        const int64_t Size = File->Size();
        FPieces.push_back({std::move(File), FSize, Size});
        FSize += Size;
    }
}

int64_t TAbVolumeStream::Read(void* Buffer, int64_t Count) {
    auto* Out = static_cast<uint8_t*>(Buffer);
    int64_t Done = 0;
    // The piece holding the position: the last whose start is not past it.
    auto It = std::upper_bound(FPieces.begin(), FPieces.end(), FPosition,
                               [](int64_t Pos, const TPiece& P) { return Pos < P.Start; });
    for (It = It == FPieces.begin() ? It : It - 1; It != FPieces.end() && Done < Count; ++It) {
        const int64_t Offset = FPosition - It->Start;
        if (Offset >= It->Size)
            continue;
        const int64_t Want = std::min(Count - Done, It->Size - Offset);
        const int64_t Got = It->File->ReadAt(Out + Done, Want, Offset);
        if (Got <= 0)
            break;
        Done += Got;
        FPosition += Got;
        if (Got < Want)
            break;
    }
    return Done;
}

int64_t TAbVolumeStream::Write(const void*, int64_t) {
    return 0;
}

int64_t TAbVolumeStream::Seek(int64_t Offset, int Origin) {
    const int64_t From = Origin == soFromBeginning ? 0 : Origin == soFromCurrent ? FPosition : FSize;
    FPosition = std::max<int64_t>(0, From + Offset);
    return FPosition;
}

void TAbVolumeStream::SetSize(int64_t) {
    throw EWriteError("An archive in numbered pieces cannot be written");
}
