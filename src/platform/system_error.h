#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os.h"

namespace zv {

// The system's text for an error, as one line: without the line break the
// system ends it with, and "Error <n>." where the system has no text.
void DescribeSystemError(Os& os, uint32_t error, char* text, size_t capacity);

}  // namespace zv
