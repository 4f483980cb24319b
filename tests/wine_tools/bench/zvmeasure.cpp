// zvmeasure: starts a program, waits for its end and writes what the run
// cost, as seen from inside Windows, to a file.
//
//   zvmeasure.exe <result-file> <program>
//
// The program gets no arguments, zvmeasure's standard handles and current
// folder. The result file receives "key=value" lines:
//
//   exit_code         the program's whole exit code, unsigned
//   wall_us           microseconds from just before CreateProcess to the
//                     return of the wait that saw the program end
//   life_us           the same span by the process's own creation and exit
//                     times (GetProcessTimes)
//   user_us kernel_us CPU time the program used, as far as Windows tells
//   peak_working_set  PeakWorkingSetSize after the end, in bytes
//   peak_pagefile     PeakPagefileUsage after the end, in bytes
//
// The memory counters are read through the still open process handle once
// the program has ended. Windows keeps them with the process object; Wine
// reads them from the process's Unix side, which may be gone by then, and
// answers 0 when it is (so the benchmark reads the peak on the Unix side
// too). Nothing polls the program while it runs, so that its time is its
// own.
//
// zvmeasure ends with 0 once the result file is written, whatever the
// program's own exit code; its own failures are told on standard error with
// the exit codes of tool_support.h, whose low 8 bits tell them apart in a
// Unix shell.
#include <windows.h>
#include <psapi.h>
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
  zvtools::Fail("zvmeasure", code, what, error);
}

ULONGLONG FileTimeUs(const FILETIME& time) {
  ULARGE_INTEGER value;
  value.LowPart = time.dwLowDateTime;
  value.HighPart = time.dwHighDateTime;
  return value.QuadPart / 10;  // 100 ns units
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count != 3) {
    std::fprintf(stderr, "usage: zvmeasure.exe <result-file> <program>\n");
    std::fflush(stderr);
    ExitProcess(kExitUsage);
  }
  const wchar_t* resultPath = arguments[1];

  // The program's command line: its name in quotes, nothing else.
  const size_t nameLength = std::wcslen(arguments[2]);
  wchar_t* commandLine = static_cast<wchar_t*>(
      HeapAlloc(GetProcessHeap(), 0, (nameLength + 3) * sizeof(wchar_t)));
  if (commandLine == nullptr) Fail(kExitStartFailed, "out of memory", GetLastError());
  commandLine[0] = L'"';
  std::wmemcpy(commandLine + 1, arguments[2], nameLength);
  commandLine[nameLength + 1] = L'"';
  commandLine[nameLength + 2] = L'\0';

  STARTUPINFOW startup;
  zvtools::InheritStandardHandles(startup);

  LARGE_INTEGER frequency;
  LARGE_INTEGER begin;
  LARGE_INTEGER end;
  QueryPerformanceFrequency(&frequency);
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  QueryPerformanceCounter(&begin);
  if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    Fail(kExitStartFailed, "CreateProcess failed", GetLastError());
  }
  if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0)
    Fail(kExitWaitFailed, "waiting for the program failed", GetLastError());
  QueryPerformanceCounter(&end);
  const ULONGLONG wallUs = static_cast<ULONGLONG>(end.QuadPart - begin.QuadPart) * 1000000u /
                           static_cast<ULONGLONG>(frequency.QuadPart);
  CloseHandle(process.hThread);

  PROCESS_MEMORY_COUNTERS memory;
  ZeroMemory(&memory, sizeof memory);
  memory.cb = sizeof memory;
  if (!GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory)) {
    memory.PeakWorkingSetSize = 0;
    memory.PeakPagefileUsage = 0;
  }

  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.hProcess, &exitCode))
    Fail(kExitWaitFailed, "GetExitCodeProcess failed", GetLastError());
  FILETIME created;
  FILETIME exited;
  FILETIME kernel;
  FILETIME user;
  ULONGLONG lifeUs = 0;
  ULONGLONG kernelUs = 0;
  ULONGLONG userUs = 0;
  if (GetProcessTimes(process.hProcess, &created, &exited, &kernel, &user)) {
    lifeUs = FileTimeUs(exited) - FileTimeUs(created);
    kernelUs = FileTimeUs(kernel);
    userUs = FileTimeUs(user);
  }
  CloseHandle(process.hProcess);

  char text[512];
  const int length = std::snprintf(
      text, sizeof text,
      "exit_code=%lu\r\nwall_us=%llu\r\nlife_us=%llu\r\nuser_us=%llu\r\nkernel_us=%llu\r\n"
      "peak_working_set=%llu\r\npeak_pagefile=%llu\r\n",
      static_cast<unsigned long>(exitCode), wallUs, lifeUs, userUs, kernelUs,
      static_cast<unsigned long long>(memory.PeakWorkingSetSize),
      static_cast<unsigned long long>(memory.PeakPagefileUsage));
  if (length <= 0 || length >= static_cast<int>(sizeof text))
    Fail(kExitResultFailed, "the result does not fit", 0);
  HANDLE file = CreateFileW(resultPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    Fail(kExitResultFailed, "cannot create the result file", GetLastError());
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
  const DWORD error = GetLastError();
  if (!CloseHandle(file) || !ok || written != static_cast<DWORD>(length))
    Fail(kExitResultFailed, "cannot write the result file", error);
  LocalFree(arguments);
  return 0;
}
