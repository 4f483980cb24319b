// zvfault: makes the conditions of the fault and load cases on the Windows
// side, where they are real for the program under test.
//
//   zvfault.exe hold <report-file> <file> <none|read|readwrite> <program> [arguments...]
//       Opens <file> for reading with the given sharing (created when
//       missing) and keeps it open while it runs the program, as another
//       program that holds the file would. Before the start it tries the
//       log writer's own open (append data, read and write shared) and
//       writes its Win32 error to the report file ("trial_open_error=32"),
//       so a case can see that the hold really refuses (or admits) it.
//   zvfault.exe many <count> <console-prefix> <program> [arguments...]
//       Creates <count> copies of the program suspended, then lets them all
//       go at once and waits for every one. Copy i writes its standard
//       output to <console-prefix><i>.bin; the tool prints one line
//       "<i> <exit code, signed>" per copy.
//   zvfault.exe start-error <application> <command line>
//       Starts a program as the program under test starts its installer
//       (CreateProcessA, no handles inherited) and prints "error=<n>" and
//       "text=<the system's text>", the text as FormatMessageA gives it with
//       inserts left as they stand and line ends trimmed; "started" when
//       the start succeeded (the child is ended right away).
//   zvfault.exe try-create <path>
//       Prints "created" when a new file can be made at <path> (and deletes
//       it again), else "error=<n>".
//
// In "hold" the program gets the standard handles, the current folder and
// the rest of the command line unchanged, and the tool exits with its exit
// code. The tool's own failures are told on standard error and end it with
// the codes below (low bytes 111 to 114, apart from zvrun's).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string_view>

#include "tool_support.h"

namespace {

constexpr UINT kExitUsage = 0xE7A7006F;
constexpr UINT kExitStartFailed = 0xE7A70070;
constexpr UINT kExitWaitFailed = 0xE7A70071;
constexpr UINT kExitFileFailed = 0xE7A70072;
constexpr int kMaxCopies = MAXIMUM_WAIT_OBJECTS;
constexpr int kStartAttempts = 3;

[[noreturn]] void Fail(UINT code, const char* what, DWORD error) {
  zvtools::Fail("zvfault", code, what, error);
}

void Usage() {
  std::fprintf(stderr,
               "usage: zvfault.exe hold <report> <file> <none|read|readwrite> <program> [args]\n"
               "       zvfault.exe many <count> <console-prefix> <program> [args]\n"
               "       zvfault.exe start-error <application> <command line>\n"
               "       zvfault.exe try-create <path>\n");
  std::fflush(stderr);
  ExitProcess(kExitUsage);
}

// A writable copy of the command line from argument `first` on (0 is the
// tool itself), which is where the program to start begins.
wchar_t* CommandLineFrom(int first) {
  const wchar_t* tail = zvtools::SkipBlanks(zvtools::SkipProgramName(GetCommandLineW()));
  for (int i = 1; i < first; ++i) tail = zvtools::SkipBlanks(zvtools::SkipArgument(tail));
  const size_t length = std::wcslen(tail);
  auto* copy =
      static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t)));
  if (copy == nullptr) Fail(kExitStartFailed, "out of memory", GetLastError());
  std::wmemcpy(copy, tail, length + 1);
  return copy;
}

void WriteWholeFile(const wchar_t* path, const char* text) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail(kExitFileFailed, "cannot create a file", GetLastError());
  const DWORD size = static_cast<DWORD>(std::strlen(text));
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text, size, &written, nullptr);
  const DWORD error = GetLastError();
  if (!CloseHandle(file) || !ok || written != size)
    Fail(kExitFileFailed, "cannot write a file", error);
}

DWORD WaitAndReadExitCode(HANDLE process) {
  if (WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0)
    Fail(kExitWaitFailed, "waiting for a program failed", GetLastError());
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code))
    Fail(kExitWaitFailed, "GetExitCodeProcess failed", GetLastError());
  return code;
}

int Hold(int count, wchar_t** arguments) {
  if (count < 6) Usage();
  DWORD share = 0;
  if (std::wcscmp(arguments[4], L"read") == 0) {
    share = FILE_SHARE_READ;
  } else if (std::wcscmp(arguments[4], L"readwrite") == 0) {
    share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  } else if (std::wcscmp(arguments[4], L"none") != 0) {
    Usage();
  }
  // Not inheritable: only this tool holds the file, never the program.
  HANDLE held = CreateFileW(arguments[3], GENERIC_READ, share, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) Fail(kExitFileFailed, "cannot open the file to hold",
                                         GetLastError());

  HANDLE trial = CreateFileW(arguments[3], FILE_APPEND_DATA | SYNCHRONIZE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD trialError = trial == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (trial != INVALID_HANDLE_VALUE) CloseHandle(trial);
  char report[64];
  std::snprintf(report, sizeof report, "trial_open_error=%lu\r\n",
                static_cast<unsigned long>(trialError));
  WriteWholeFile(arguments[2], report);

  STARTUPINFOW startup;
  zvtools::InheritStandardHandles(startup);
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  if (!CreateProcessW(nullptr, CommandLineFrom(5), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    Fail(kExitStartFailed, "CreateProcess failed", GetLastError());
  }
  CloseHandle(process.hThread);
  const DWORD code = WaitAndReadExitCode(process.hProcess);
  CloseHandle(process.hProcess);
  CloseHandle(held);
  return static_cast<int>(code);
}

int Many(int count, wchar_t** arguments) {
  if (count < 5) Usage();
  const int copies = _wtoi(arguments[2]);
  if (copies < 1 || copies > kMaxCopies) Usage();
  wchar_t* commandLine = CommandLineFrom(4);
  HANDLE processes[kMaxCopies];
  HANDLE threads[kMaxCopies];
  for (int i = 0; i < copies; ++i) {
    wchar_t path[MAX_PATH];
    std::swprintf(path, MAX_PATH, L"%ls%d.bin", arguments[3], i);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) Fail(kExitFileFailed, "cannot create a console file",
                                             GetLastError());
    STARTUPINFOW startup;
    zvtools::InheritStandardHandles(startup);
    startup.hStdOutput = output;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    // Every copy gets a command line of its own: CreateProcessW may write
    // into the one it is given.
    const size_t length = std::wcslen(commandLine);
    auto* own =
        static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t)));
    if (own == nullptr) Fail(kExitStartFailed, "out of memory", GetLastError());
    for (int attempt = 1;; ++attempt) {
      std::wmemcpy(own, commandLine, length + 1);
      if (CreateProcessW(nullptr, own, nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                         nullptr, &startup, &process)) {
        break;
      }
      // Wine now and then loses a new process while it sets it up, before
      // any of the program's own code ran (ERROR_INTERNAL_ERROR): that copy
      // never existed for the test, so it is simply started again.
      const DWORD error = GetLastError();
      if (error != ERROR_INTERNAL_ERROR || attempt >= kStartAttempts)
        Fail(kExitStartFailed, "CreateProcess failed", error);
      std::fprintf(stderr, "zvfault: copy %d was lost while starting, starting it again\n", i);
      std::fflush(stderr);
      Sleep(100);
    }
    // The copy has its own handle now; later copies must not inherit this one.
    CloseHandle(output);
    processes[i] = process.hProcess;
    threads[i] = process.hThread;
  }
  for (int i = 0; i < copies; ++i) {
    if (ResumeThread(threads[i]) == static_cast<DWORD>(-1))
      Fail(kExitStartFailed, "ResumeThread failed", GetLastError());
  }
  for (int i = 0; i < copies; ++i) {
    const DWORD code = WaitAndReadExitCode(processes[i]);
    std::printf("%d %ld\n", i, static_cast<long>(static_cast<LONG>(code)));
    CloseHandle(threads[i]);
    CloseHandle(processes[i]);
  }
  std::fflush(stdout);
  return 0;
}

int StartError(int count, char** arguments) {
  if (count != 4) Usage();
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof process);
  if (CreateProcessA(arguments[2], arguments[3], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process)) {
    TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::printf("started\n");
    return 0;
  }
  const DWORD error = GetLastError();
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string_view shown = length != 0 && text != nullptr ? std::string_view(text, length)
                                                          : std::string_view();
  while (!shown.empty() && std::strchr("\r\n ", shown.back()) != nullptr) shown.remove_suffix(1);
  std::printf("error=%lu\ntext=%.*s\n", static_cast<unsigned long>(error),
              static_cast<int>(shown.size()), shown.data());
  if (text != nullptr) LocalFree(text);
  return 0;
}

int TryCreate(int count, wchar_t** arguments) {
  if (count != 3) Usage();
  HANDLE file = CreateFileW(arguments[2], GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::printf("error=%lu\n", static_cast<unsigned long>(GetLastError()));
    return 0;
  }
  CloseHandle(file);
  DeleteFileW(arguments[2]);
  std::printf("created\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count < 2) Usage();
  int code = 0;
  if (std::wcscmp(arguments[1], L"hold") == 0) {
    code = Hold(count, arguments);
  } else if (std::wcscmp(arguments[1], L"many") == 0) {
    code = Many(count, arguments);
  } else if (std::wcscmp(arguments[1], L"start-error") == 0) {
    code = StartError(argc, argv);
  } else if (std::wcscmp(arguments[1], L"try-create") == 0) {
    code = TryCreate(count, arguments);
  } else {
    Usage();
  }
  std::fflush(stdout);
  ExitProcess(static_cast<UINT>(code));
}
