// Bounded text helpers. Every text the program composes goes into a buffer
// of fixed capacity (the capacity counts the terminating zero); nothing
// here writes past it, and every result is terminated.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace zv {

// printf-style formatting into buffer, cut to capacity - 1 characters.
// Returns the length written.
size_t FormatText(char* buffer, size_t capacity, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
size_t FormatTextV(char* buffer, size_t capacity, const char* format, va_list args);

// Copies text, cut to capacity - 1 characters. Returns the length written.
size_t CopyText(char* buffer, size_t capacity, const char* text);

// Length of text, looking at no more than capacity characters.
size_t BoundedLength(const char* text, size_t capacity);

// Compares two texts ignoring the case of ASCII letters, as lstrcmpi does
// for the plain words the program compares.
bool EqualIgnoringCase(const char* a, const char* b);

}  // namespace zv
