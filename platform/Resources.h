#pragma once
// Raw-data resources compiled into the program, found by name.

#include <cstddef>
#include <cstdint>
#include <string>

struct TRawResource {
    const uint8_t* Data = nullptr;
    size_t Size = 0;
};

// Makes Data (which must outlive the program) findable under Name; a later registration replaces it.
void RegisterRawResource(const std::string& Name, const uint8_t* Data, size_t Size);
// False when no resource has that name (names compare without regard to case).
bool FindRawResource(const std::string& Name, TRawResource& Res);
