// The form-file reader over arbitrary bytes (a file in resource form); the text form or the reader's
// error, nothing else.

#include "platform/Classes.h"
#include "platform/SysUtils.h"
#include "text/FormFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream In, Out;
    In.Write(Data, int64_t(Size));
    In.SetPosition(0);
    try {
        ObjectResourceToText(In, Out);
    } catch (const EFilerError&) {
    }
    return 0;
}
