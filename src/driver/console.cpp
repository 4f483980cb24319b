#include "driver/console.h"

#include <cstring>

namespace zv {

namespace {
constexpr char kEndOfLine[] = "\r\n";
}

void EchoLine(Os& os, const char* text) {
  os.WriteStandardOutput(text, std::strlen(text));
  os.WriteStandardOutput(kEndOfLine, sizeof kEndOfLine - 1);
}

void AnnounceLine(Os& os, const char* text) {
  os.WriteStandardOutput(kEndOfLine, sizeof kEndOfLine - 1);
  EchoLine(os, text);
}

}  // namespace zv
