// zvrun: starts a program, waits for it and writes its whole 32-bit exit
// code to a file, which a Unix shell under Wine cannot see (it gets only the
// low 8 bits).
//
//   zvrun.exe <result-file> <program> [arguments...]
//
// The program gets the rest of zvrun's own command line unchanged (its
// quoting included), the same standard handles and the current folder.
// The result file receives one line: the exit code as an unsigned and as a
// signed decimal, e.g. "4294967295 -1".
//
// zvrun's own failures are told on standard error and end it with one of
// the exit codes of tool_support.h; they are chosen so that their low 8 bits, all a
// Unix parent sees, still tell them apart.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

#include "tool_support.h"

namespace {

using zvtools::kExitResultFailed;
using zvtools::kExitStartFailed;
using zvtools::kExitUsage;
using zvtools::kExitWaitFailed;

[[noreturn]] void Fail(UINT code, const char* what, DWORD error) {
  zvtools::Fail("zvrun", code, what, error);
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count < 3) {
    std::fprintf(stderr, "usage: zvrun.exe <result-file> <program> [arguments...]\n");
    std::fflush(stderr);
    ExitProcess(kExitUsage);
  }
  const wchar_t* resultPath = arguments[1];

  // The child's command line: everything from the program's name on.
  const wchar_t* tail = zvtools::SkipBlanks(zvtools::SkipProgramName(GetCommandLineW()));
  tail = zvtools::SkipBlanks(zvtools::SkipArgument(tail));
  const size_t length = std::wcslen(tail);
  wchar_t* commandLine =
      static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t)));
  if (commandLine == nullptr) Fail(kExitStartFailed, "out of memory", GetLastError());
  std::wmemcpy(commandLine, tail, length + 1);

  // The child writes straight into the handles zvrun was given.
  STARTUPINFOW startup;
  zvtools::InheritStandardHandles(startup);

  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    Fail(kExitStartFailed, "CreateProcess failed", GetLastError());
  }
  CloseHandle(process.hThread);
  if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0)
    Fail(kExitWaitFailed, "waiting for the program failed", GetLastError());
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.hProcess, &exitCode))
    Fail(kExitWaitFailed, "GetExitCodeProcess failed", GetLastError());
  CloseHandle(process.hProcess);

  char line[64];
  const int lineLength =
      std::snprintf(line, sizeof line, "%lu %ld\r\n", static_cast<unsigned long>(exitCode),
                    static_cast<long>(static_cast<LONG>(exitCode)));
  HANDLE file = CreateFileW(resultPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail(kExitResultFailed, "cannot create the result file",
                                         GetLastError());
  DWORD written = 0;
  const BOOL ok = WriteFile(file, line, static_cast<DWORD>(lineLength), &written, nullptr);
  const DWORD error = GetLastError();
  if (!CloseHandle(file) || !ok || written != static_cast<DWORD>(lineLength))
    Fail(kExitResultFailed, "cannot write the result file", error);
  LocalFree(arguments);
  // The child's own code, so that a plain shell sees at least its low bits.
  ExitProcess(exitCode);
}
