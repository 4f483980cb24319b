#include "common/text.h"

#include <cstdio>
#include <cstring>

namespace zv {

size_t FormatTextV(char* buffer, size_t capacity, const char* format, va_list args) {
  if (capacity == 0) return 0;
#if defined(_WIN32)
  // The system runtime's formatter: it does not terminate a text it had to
  // cut, so the last character is set here.
  int written = _vsnprintf(buffer, capacity, format, args);
#else
  int written = vsnprintf(buffer, capacity, format, args);
#endif
  buffer[capacity - 1] = '\0';
  if (written < 0 || static_cast<size_t>(written) >= capacity) return std::strlen(buffer);
  return static_cast<size_t>(written);
}

size_t FormatText(char* buffer, size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  size_t length = FormatTextV(buffer, capacity, format, args);
  va_end(args);
  return length;
}

size_t CopyText(char* buffer, size_t capacity, const char* text) {
  if (capacity == 0) return 0;
  size_t length = BoundedLength(text, capacity - 1);
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
  return length;
}

size_t BoundedLength(const char* text, size_t capacity) {
  size_t length = 0;
  while (length < capacity && text[length] != '\0') ++length;
  return length;
}

namespace {
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool EqualIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    if (Lower(*a) != Lower(*b)) return false;
    if (*a == '\0') return true;
  }
}

}  // namespace zv
