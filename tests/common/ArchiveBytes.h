#pragma once
// An archive over bytes in memory, as the damaged-archive tests and the fuzz harnesses load it.

#include "archive/AbExcept.h"
#include "archive/Abziptyp.h"
#include "platform/Classes.h"
#include "platform/Dialogs.h"

#include <cstddef>
#include <cstdint>

// A disk request of a spanned set is answered with Cancel, without a prompt.
inline void RefuseDiskRequests() {
    SetMessageBoxHandler([](const std::string&, const std::string&, unsigned) { return int(idCancel); });
}

class TArchiveInMemory {
public:
    TArchiveInMemory(const void* Data, size_t Size) : Archive(Filled(FStream, Data, Size), "memory.zip") {}

    // Loads the directory; false when the library refuses the bytes (its own error or a short read).
    bool Load() {
        try {
            Archive.Load();
            return true;
        } catch (const EAbException&) {
            return false;
        } catch (const EReadError&) {
            return false;
        }
    }

private:
    static TMemoryStream& Filled(TMemoryStream& S, const void* Data, size_t Size) {
        S.WriteBuffer(Data, int64_t(Size));
        return S;
    }
    TMemoryStream FStream;

public:
    TAbZipArchive Archive;
};
