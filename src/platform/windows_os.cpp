// The real Windows behind Os. This is the only file of the program that
// includes <windows.h>; it translates each call one to one and decides
// nothing.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>

#include "platform/os.h"

namespace zv {
namespace {

template <class T>
T* AsPointer(OsHandle h) {
  return reinterpret_cast<T*>(h);
}

template <class T>
OsHandle AsHandle(T* p) {
  return reinterpret_cast<OsHandle>(p);
}

// Functions that older Windows lacks are looked up in the loaded kernel32.
template <class Function>
Function KernelFunction(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return nullptr;
  FARPROC address = GetProcAddress(kernel, name);
  // FARPROC to the real signature; the detour through void* keeps the
  // compiler's function-cast check quiet about a cast that is intended.
  return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

void CopyVersion(const OSVERSIONINFOEXA& from, VersionInfo& to) {
  to.majorVersion = from.dwMajorVersion;
  to.minorVersion = from.dwMinorVersion;
  to.buildNumber = from.dwBuildNumber;
  to.platformId = from.dwPlatformId;
  std::memcpy(to.csdVersion, from.szCSDVersion, sizeof to.csdVersion);
  to.csdVersion[sizeof to.csdVersion - 1] = '\0';
  to.servicePackMajor = from.wServicePackMajor;
  to.servicePackMinor = from.wServicePackMinor;
  to.suiteMask = from.wSuiteMask;
  to.productType = from.wProductType;
}

class WindowsOs final : public Os {
  static void WriteTo(DWORD which, const char* data, size_t size) {
    HANDLE out = GetStdHandle(which);
    if (out == nullptr || out == INVALID_HANDLE_VALUE || size == 0) return;
    DWORD written = 0;
    WriteFile(out, data, static_cast<DWORD>(size), &written, nullptr);
  }

 public:
  bool QueryVersionExtended(VersionInfo& info) override {
    OSVERSIONINFOEXA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    BOOL ok = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version));
    CopyVersion(version, info);
    return ok != FALSE;
  }

  bool QueryVersionBasic(VersionInfo& info) override {
    OSVERSIONINFOEXA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    BOOL ok = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version));
    // Only the basic part is the system's; keep the caller's extended part.
    VersionInfo basic;
    CopyVersion(version, basic);
    info.majorVersion = basic.majorVersion;
    info.minorVersion = basic.minorVersion;
    info.buildNumber = basic.buildNumber;
    info.platformId = basic.platformId;
    std::memcpy(info.csdVersion, basic.csdVersion, sizeof info.csdVersion);
    return ok != FALSE;
  }

  bool QueryNativeArchitecture(uint16_t& architecture) override {
    using NativeInfoFunction = void(WINAPI*)(LPSYSTEM_INFO);
    auto native = KernelFunction<NativeInfoFunction>("GetNativeSystemInfo");
    if (native == nullptr) return false;
    SYSTEM_INFO info;
    std::memset(&info, 0, sizeof info);
    native(&info);
    architecture = info.wProcessorArchitecture;
    return true;
  }

  uint16_t QuerySystemArchitecture() override {
    SYSTEM_INFO info;
    std::memset(&info, 0, sizeof info);
    GetSystemInfo(&info);
    return info.wProcessorArchitecture;
  }

  bool LookUpProductType(uint32_t major, uint32_t minor, uint32_t spMajor, uint32_t spMinor,
                         uint32_t& productType) override {
    using ProductInfoFunction = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);
    auto productInfo = KernelFunction<ProductInfoFunction>("GetProductInfo");
    if (productInfo == nullptr) return false;
    DWORD type = productType;
    productInfo(major, minor, spMajor, spMinor, &type);
    productType = type;
    return true;
  }

  int QuerySystemMetric(int index) override { return GetSystemMetrics(index); }

  bool IsNativeProcess64() override { return sizeof(void*) == 8; }

  uint32_t OpenMachineKey(const char* subkey, uint32_t access, OsHandle& key) override {
    HKEY opened = nullptr;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, access, &opened);
    key = status == ERROR_SUCCESS ? AsHandle(opened) : 0;
    return static_cast<uint32_t>(status);
  }

  uint32_t ReadKeyValue(OsHandle key, const char* name, uint32_t& type, void* data,
                        uint32_t& size) override {
    DWORD valueType = 0;
    DWORD valueSize = size;
    LONG status = RegQueryValueExA(AsPointer<HKEY__>(key), name, nullptr, &valueType,
                                   static_cast<BYTE*>(data), &valueSize);
    type = valueType;
    size = valueSize;
    return static_cast<uint32_t>(status);
  }

  void CloseKey(OsHandle key) override { RegCloseKey(AsPointer<HKEY__>(key)); }

  bool MakeDirectory(const char* path) override {
    return CreateDirectoryA(path, nullptr) != FALSE;
  }

  uint32_t OpenForAppend(const char* path, OsHandle& file) override {
    // Append-only access makes every WriteFile land whole at the end of
    // the file, even while other processes append to it too. Reading is
    // asked for only because Windows locks a range (AppendBytes) for a
    // handle that may read or write data, and append access is neither.
    HANDLE opened = CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
      file = 0;
      return GetLastError();
    }
    file = AsHandle(opened);
    return kErrorSuccess;
  }

  bool AppendBytes(OsHandle file, const char* data, size_t size) override {
    // A local NTFS volume appends every write whole, but not every file
    // system does: some find the end of the file and write there in two
    // steps, so two runs writing at one moment could overwrite each other's
    // lines (Wine's does). An exclusive lock on one byte far beyond any end
    // of file keeps the runs' writes apart everywhere; it covers no data,
    // so nobody else is held up. Without the lock the write goes ahead.
    OVERLAPPED beyondEnd;
    std::memset(&beyondEnd, 0, sizeof beyondEnd);
    beyondEnd.Offset = 0xFFFFFFFEu;
    beyondEnd.OffsetHigh = 0x7FFFFFFFu;
    const BOOL locked =
        LockFileEx(AsPointer<void>(file), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &beyondEnd);
    DWORD written = 0;
    BOOL ok = WriteFile(AsPointer<void>(file), data, static_cast<DWORD>(size), &written, nullptr);
    if (locked) UnlockFileEx(AsPointer<void>(file), 0, 1, 0, &beyondEnd);
    return ok != FALSE && written == size;
  }

  void CloseFile(OsHandle file) override { ::CloseHandle(AsPointer<void>(file)); }

  bool ProgramPath(char* buffer, size_t capacity) override {
    if (capacity == 0) return false;
    const DWORD length = GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(capacity));
    // Windows XP does not terminate a path it had to cut.
    buffer[capacity - 1] = '\0';
    return length != 0 && length < capacity;
  }

  const char* CommandLineText() override { return GetCommandLineA(); }

  void WriteStandardOutput(const char* data, size_t size) override {
    WriteTo(STD_OUTPUT_HANDLE, data, size);
  }

  void WriteStandardError(const char* data, size_t size) override {
    WriteTo(STD_ERROR_HANDLE, data, size);
  }

  bool ReadConsoleTitle(char* buffer, size_t capacity) override {
    return GetConsoleTitleA(buffer, static_cast<DWORD>(capacity)) != 0;
  }

  void ChangeConsoleTitle(const char* title) override { SetConsoleTitleA(title); }

  OsHandle FindTopLevelWindow(const char* title) override {
    return AsHandle(FindWindowA(nullptr, title));
  }

  void ShowWindowMinimized(OsHandle window) override {
    ShowWindow(AsPointer<HWND__>(window), SW_SHOWMINIMIZED);
  }

  void Pause(uint32_t milliseconds) override { Sleep(milliseconds); }

  LocalTime ReadLocalTime() override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    LocalTime time;
    time.year = now.wYear;
    time.month = now.wMonth;
    time.day = now.wDay;
    time.hour = now.wHour;
    time.minute = now.wMinute;
    time.second = now.wSecond;
    return time;
  }

  bool SystemFolder(char* buffer, size_t capacity) override {
    if (capacity < MAX_PATH) return false;
    return SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_SYSTEM, nullptr, 0, buffer));
  }

  void JoinPath(char* buffer, const char* name) override { PathAppendA(buffer, name); }

  RedirectionResult DisableFsRedirection(OsHandle& saved) override {
    using DisableFunction = BOOL(WINAPI*)(PVOID*);
    auto disable = KernelFunction<DisableFunction>("Wow64DisableWow64FsRedirection");
    if (disable == nullptr) return RedirectionResult::kMissing;
    PVOID value = nullptr;
    BOOL ok = disable(&value);
    saved = AsHandle(value);
    return ok != FALSE ? RedirectionResult::kDone : RedirectionResult::kRefused;
  }

  RedirectionResult RevertFsRedirection(OsHandle saved) override {
    using RevertFunction = BOOL(WINAPI*)(PVOID);
    auto revert = KernelFunction<RevertFunction>("Wow64RevertWow64FsRedirection");
    if (revert == nullptr) return RedirectionResult::kMissing;
    return revert(AsPointer<void>(saved)) != FALSE ? RedirectionResult::kDone
                                                  : RedirectionResult::kRefused;
  }

  bool StartProcess(const char* application, char* commandLine, OsHandle& process,
                    OsHandle& thread) override {
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    BOOL ok = CreateProcessA(application, commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &info);
    process = AsHandle(info.hProcess);
    thread = AsHandle(info.hThread);
    return ok != FALSE;
  }

  void WaitForProcess(OsHandle process) override {
    WaitForSingleObject(AsPointer<void>(process), INFINITE);
  }

  bool ReadExitCode(OsHandle process, uint32_t& code) override {
    DWORD exitCode = 0;
    if (GetExitCodeProcess(AsPointer<void>(process), &exitCode) == FALSE) return false;
    code = exitCode;
    return true;
  }

  void CloseHandle(OsHandle handle) override { ::CloseHandle(AsPointer<void>(handle)); }

  uint32_t LastError() override { return GetLastError(); }

  bool ErrorText(uint32_t error, char* buffer, size_t capacity) override {
    if (capacity == 0) return false;
    char* text = nullptr;
    // Inserts are left as they stand ("%1 is not a valid Win32
    // application."): there are no arguments to put in them, and without
    // this flag the system would read arguments that were never passed.
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) return false;
    size_t copy = length < capacity ? length : capacity - 1;
    std::memcpy(buffer, text, copy);
    buffer[copy] = '\0';
    LocalFree(text);
    return true;
  }
};

}  // namespace

Os& DefaultOs() {
  static WindowsOs os;
  return os;
}

}  // namespace zv
