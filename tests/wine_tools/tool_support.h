// What the Windows-side test tools share: walking a command line the way
// the C runtime splits it, and handing a child the tool's own standard
// handles.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdio>

namespace zvtools {

// The tools' own failures end them with these codes, whose low 8 bits (all
// a Unix parent sees) tell them apart from each other and from a program's.
constexpr UINT kExitUsage = 0xE7A70079;         // low byte 121
constexpr UINT kExitStartFailed = 0xE7A7007A;   // low byte 122
constexpr UINT kExitWaitFailed = 0xE7A7007B;    // low byte 123
constexpr UINT kExitResultFailed = 0xE7A7007C;  // low byte 124

// Tells a tool's own failure on standard error and ends the tool.
[[noreturn]] inline void Fail(const char* tool, UINT code, const char* what, DWORD error) {
  std::fprintf(stderr, "%s: %s (error %lu)\n", tool, what, static_cast<unsigned long>(error));
  std::fflush(stderr);
  ExitProcess(code);
}

inline const wchar_t* SkipBlanks(const wchar_t* p) {
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

// Past the program name at the start of a command line: quotes only
// switch quoting on and off there, backslashes are plain characters.
inline const wchar_t* SkipProgramName(const wchar_t* p) {
  bool quoted = false;
  for (; *p != L'\0'; ++p) {
    if (*p == L'"') {
      quoted = !quoted;
    } else if (!quoted && (*p == L' ' || *p == L'\t')) {
      break;
    }
  }
  return p;
}

// Past one argument, by the rules the C runtime splits arguments with:
// 2n backslashes before a quote stand for n and the quote toggles quoting,
// 2n+1 backslashes stand for n and a literal quote.
inline const wchar_t* SkipArgument(const wchar_t* p) {
  bool quoted = false;
  while (*p != L'\0') {
    if (!quoted && (*p == L' ' || *p == L'\t')) break;
    if (*p == L'\\') {
      size_t backslashes = 0;
      while (*p == L'\\') {
        ++backslashes;
        ++p;
      }
      if (*p == L'"') {
        if (backslashes % 2 == 0) quoted = !quoted;
        ++p;
      }
      continue;
    }
    if (*p == L'"') {
      // A doubled quote inside quotes is a literal quote.
      if (quoted && p[1] == L'"') {
        p += 2;
        continue;
      }
      quoted = !quoted;
    }
    ++p;
  }
  return p;
}

// A startup record that gives the child this tool's standard handles, made
// inheritable for it.
inline void InheritStandardHandles(STARTUPINFOW& startup) {
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  const HANDLE standard[] = {startup.hStdInput, startup.hStdOutput, startup.hStdError};
  for (HANDLE h : standard) {
    if (h != nullptr && h != INVALID_HANDLE_VALUE)
      SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
}

}  // namespace zvtools
