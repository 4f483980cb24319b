// The program's one window onto the operating system.
//
// Everything Zelvantorix asks of Windows goes through Os: the real
// implementation (windows_os.cpp) is the only file that includes
// <windows.h>, and the host tests drive the same code against a simulated
// Windows. The interface holds only the calls the program really makes,
// in the program's own words; no method is named after a Win32 function
// that has ANSI and wide forms, so <windows.h> macros can never rename one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zv {

// Win32 error codes the program tells apart.
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorMoreData = 234;

// Registry value types.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegQword = 11;

// Registry access masks.
constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeyRead = 0x20019;

// The answer of the version query, field for field as OSVERSIONINFOEXA
// carries it. The extended part (service-pack numbers, suite mask, product
// type) is only filled by the extended query.
struct VersionInfo {
  uint32_t majorVersion = 0;
  uint32_t minorVersion = 0;
  uint32_t buildNumber = 0;
  uint32_t platformId = 0;
  char csdVersion[128] = {};
  uint16_t servicePackMajor = 0;
  uint16_t servicePackMinor = 0;
  uint16_t suiteMask = 0;
  uint8_t productType = 0;
};

struct LocalTime {
  uint16_t year = 0;
  uint16_t month = 0;
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
};

// Outcome of switching the calling thread's WOW64 file-system redirection.
enum class RedirectionResult {
  kDone,     // the function was found and returned TRUE
  kMissing,  // kernel32.dll does not export it
  kRefused,  // the function returned FALSE
};

// Opaque handle values. The real implementation stores Win32 handles in
// them, the simulation its own numbers; 0 is never a live handle.
using OsHandle = uintptr_t;

class Os {
 public:
  virtual ~Os() = default;

  // --- Version and system facts -------------------------------------------
  // GetVersionEx with the extended structure; false when Windows refuses it.
  virtual bool QueryVersionExtended(VersionInfo& info) = 0;
  // GetVersionEx with the basic structure: fills only the basic part.
  virtual bool QueryVersionBasic(VersionInfo& info) = 0;
  // GetNativeSystemInfo's processor architecture; false when kernel32 does
  // not export the function (Windows older than XP).
  virtual bool QueryNativeArchitecture(uint16_t& architecture) = 0;
  // GetSystemInfo's processor architecture.
  virtual uint16_t QuerySystemArchitecture() = 0;
  // GetProductInfo, looked up by name; false when kernel32 lacks it. The
  // product type keeps its value when the call writes nothing.
  virtual bool LookUpProductType(uint32_t major, uint32_t minor, uint32_t spMajor,
                                 uint32_t spMinor, uint32_t& productType) = 0;
  virtual int QuerySystemMetric(int index) = 0;
  // True when this process is itself 64-bit, so there is no WOW64 layer.
  virtual bool IsNativeProcess64() = 0;

  // --- Registry, always under HKEY_LOCAL_MACHINE --------------------------
  virtual uint32_t OpenMachineKey(const char* subkey, uint32_t access, OsHandle& key) = 0;
  // RegQueryValueEx: on entry size holds the buffer's size, on return the
  // value's size (also when the buffer was too small).
  virtual uint32_t ReadKeyValue(OsHandle key, const char* name, uint32_t& type, void* data,
                                uint32_t& size) = 0;
  virtual void CloseKey(OsHandle key) = 0;

  // --- Files and folders --------------------------------------------------
  // Creates one folder; false when it could not (already there included).
  virtual bool MakeDirectory(const char* path) = 0;
  // Opens (creating when missing) a file for appending, shared with other
  // readers and appenders.
  virtual uint32_t OpenForAppend(const char* path, OsHandle& file) = 0;
  // Writes the bytes at the end of the file as one piece, kept apart from
  // what other processes append at the same moment.
  virtual bool AppendBytes(OsHandle file, const char* data, size_t size) = 0;
  virtual void CloseFile(OsHandle file) = 0;

  // --- This process -------------------------------------------------------
  // The full path of this program's own file; false when it does not fit.
  virtual bool ProgramPath(char* buffer, size_t capacity) = 0;
  // The whole command line this process was started with.
  virtual const char* CommandLineText() = 0;

  // --- Console and windows ------------------------------------------------
  // Write bytes to standard output or error unchanged; failures are not
  // reported.
  virtual void WriteStandardOutput(const char* data, size_t size) = 0;
  virtual void WriteStandardError(const char* data, size_t size) = 0;
  // Reads the console title into buffer (capacity counts the terminator);
  // returns false when there is no title to read. The buffer's content is
  // unspecified on failure.
  virtual bool ReadConsoleTitle(char* buffer, size_t capacity) = 0;
  virtual void ChangeConsoleTitle(const char* title) = 0;
  // The top-level window whose title is exactly title, or 0.
  virtual OsHandle FindTopLevelWindow(const char* title) = 0;
  virtual void ShowWindowMinimized(OsHandle window) = 0;

  // --- Time ---------------------------------------------------------------
  virtual void Pause(uint32_t milliseconds) = 0;
  virtual LocalTime ReadLocalTime() = 0;

  // --- Processes ----------------------------------------------------------
  // CSIDL_SYSTEM through the shell; false when the shell could not say.
  virtual bool SystemFolder(char* buffer, size_t capacity) = 0;
  // Appends a file name to a folder path with a backslash as the shell's
  // PathAppend does; the buffer must hold at least 260 characters.
  virtual void JoinPath(char* buffer, const char* name) = 0;
  virtual RedirectionResult DisableFsRedirection(OsHandle& saved) = 0;
  virtual RedirectionResult RevertFsRedirection(OsHandle saved) = 0;
  // Starts a child: application name, command line (handed over as the
  // whole command line), no inheritance, the program's own environment and
  // current folder. false on failure; LastError() then says why.
  virtual bool StartProcess(const char* application, char* commandLine, OsHandle& process,
                            OsHandle& thread) = 0;
  virtual void WaitForProcess(OsHandle process) = 0;
  virtual bool ReadExitCode(OsHandle process, uint32_t& code) = 0;
  virtual void CloseHandle(OsHandle handle) = 0;
  virtual uint32_t LastError() = 0;
  // The system's text for an error code; false when it has none. The text
  // is copied as the system gives it, cut to the buffer.
  virtual bool ErrorText(uint32_t error, char* buffer, size_t capacity) = 0;
};

// The real Windows; only defined in the Windows builds.
Os& DefaultOs();

}  // namespace zv
