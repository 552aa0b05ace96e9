#pragma once
// Binary form files (component streams, "TPF0") turned into their text form.

#include "platform/Classes.h"

// Input holds a form file in resource form: the header 0xFF 0x0A 0x00, a zero-terminated name and six
// more bytes, then the object stream. Writes the text form to Output, lines ending in CR LF. Damaged
// input raises EReadError or EFilerError ("Invalid stream format"); nothing is read past its end.
void ObjectResourceToText(TStream& Input, TStream& Output);
// The same for a bare object stream starting with "TPF0".
void ObjectBinaryToText(TStream& Input, TStream& Output);
