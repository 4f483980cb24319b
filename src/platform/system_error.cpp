#include "platform/system_error.h"

#include "common/text.h"

namespace zv {

void DescribeSystemError(Os& os, uint32_t error, char* text, size_t capacity) {
  if (capacity == 0) return;
  if (!os.ErrorText(error, text, capacity)) text[0] = '\0';
  size_t length = BoundedLength(text, capacity);
  if (length == capacity) length = capacity - 1;
  text[length] = '\0';
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == ' ')) {
    text[--length] = '\0';
  }
  if (length == 0) FormatText(text, capacity, "Error %u.", static_cast<unsigned>(error));
}

}  // namespace zv
