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
// the exit codes below; they are chosen so that their low 8 bits, all a
// Unix parent sees, still tell them apart.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

namespace {

constexpr UINT kExitUsage = 0xE7A70079;         // low byte 121
constexpr UINT kExitStartFailed = 0xE7A7007A;   // low byte 122
constexpr UINT kExitWaitFailed = 0xE7A7007B;    // low byte 123
constexpr UINT kExitResultFailed = 0xE7A7007C;  // low byte 124

void Fail(UINT code, const char* what, DWORD error) {
  std::fprintf(stderr, "zvrun: %s (error %lu)\n", what, static_cast<unsigned long>(error));
  std::fflush(stderr);
  ExitProcess(code);
}

const wchar_t* SkipBlanks(const wchar_t* p) {
  while (*p == L' ' || *p == L'\t') ++p;
  return p;
}

// Past the program name at the start of a command line: quotes only
// switch quoting on and off there, backslashes are plain characters.
const wchar_t* SkipProgramName(const wchar_t* p) {
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
const wchar_t* SkipArgument(const wchar_t* p) {
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
  const wchar_t* tail = SkipBlanks(SkipProgramName(GetCommandLineW()));
  tail = SkipBlanks(SkipArgument(tail));
  const size_t length = std::wcslen(tail);
  wchar_t* commandLine =
      static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t)));
  if (commandLine == nullptr) Fail(kExitStartFailed, "out of memory", GetLastError());
  std::wmemcpy(commandLine, tail, length + 1);

  // The child writes straight into the handles zvrun was given.
  STARTUPINFOW startup;
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
