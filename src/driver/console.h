// Console output of the run: every line is written, ended and flushed at
// once; a failing standard output is not reported.
#pragma once

#include "platform/os.h"

namespace zv {

// The text, then an end of line.
void EchoLine(Os& os, const char* text);
// An empty line, then the text as EchoLine writes it.
void AnnounceLine(Os& os, const char* text);

}  // namespace zv
