// A simulated Windows for the host tests: every answer is set by the test,
// every call is recorded, nothing sleeps, and each call can be made to fail
// the way the real system can.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/os.h"

namespace zv::test {

struct SimValue {
  uint32_t type = kRegDword;
  std::string bytes;
};

struct SimKey {
  std::map<std::string, SimValue> values;  // by lower-case name
  uint32_t openError = kErrorSuccess;      // what opening the key answers
  bool writable = true;  // false: an open that asks for write access is refused
};

struct SimProgram {
  uint32_t exitCode = 0;
  bool exitCodeReadable = true;
  uint32_t startError = kErrorSuccess;  // nonzero: the start fails with it
};

struct SimStart {
  std::string application;
  std::string commandLine;
  bool redirectionOff = false;
};

class SimulatedOs final : public Os {
 public:
  SimulatedOs();
  ~SimulatedOs() override;

  // --- What the system answers -------------------------------------------
  VersionInfo version;
  bool extendedQueryWorks = true;
  bool basicQueryWorks = true;
  std::optional<uint16_t> nativeArchitecture = uint16_t{0};  // nullopt: function absent
  uint16_t systemArchitecture = 0;
  std::optional<uint32_t> productInfo;  // nullopt: GetProductInfo absent
  bool productInfoWritesNothing = false;
  int serverR2Metric = 0;
  bool process64 = false;

  std::map<std::string, SimKey> keys;  // by lower-case path under HKLM

  std::set<std::string> directories;            // lower-case paths that exist
  std::set<std::string> uncreatableDirectories;  // lower-case paths that can't be made
  std::map<std::string, std::string> files;     // lower-case path to content
  uint32_t openError = kErrorSuccess;  // every log open fails with this...
  int openFailuresLeft = 0;            // ...this many times (negative: always)
  bool appendsFail = false;

  std::string programPath = "C:\\Deploy\\Zelvantorix.exe";
  std::string commandLine = "Zelvantorix.exe";

  std::string consoleTitle = "C:\\Windows\\system32\\cmd.exe";
  bool titleReadable = true;
  std::map<std::string, OsHandle> windows;  // title to window

  std::vector<LocalTime> clock;  // successive readings; the last one repeats

  std::optional<std::string> systemFolder = std::string("C:\\Windows\\system32");
  std::map<std::string, SimProgram> programs;  // by lower-case application path
  RedirectionResult disableAnswer = RedirectionResult::kDone;
  RedirectionResult revertAnswer = RedirectionResult::kDone;
  uint32_t redirectionError = 127;  // last error after a failed disable
  std::map<uint32_t, std::string> errorTexts;

  // --- What the program did ----------------------------------------------
  std::string standardOutput;
  std::string standardError;
  std::vector<std::string> trace;  // calls in order, one line each
  std::vector<uint32_t> pauses;
  std::vector<SimStart> starts;
  std::vector<uint32_t> keyAccess;  // access mask of every key open
  int metricCalls = 0;
  int productInfoCalls = 0;
  int openAttempts = 0;
  int appends = 0;
  std::vector<OsHandle> minimized;  // windows shown minimized, in order
  bool redirectionOff = false;

  // Handles handed out and not yet closed (keys, files, processes).
  size_t OpenHandleCount() const { return openHandles_.size(); }
  std::string File(const std::string& path) const;
  // Adds a key (and its folders) with one value.
  void SetValue(const std::string& key, const std::string& name, uint32_t type,
                const std::string& bytes);
  void SetDword(const std::string& key, const std::string& name, uint32_t value);
  static std::string Lower(std::string s);

  // --- Os ----------------------------------------------------------------
  bool QueryVersionExtended(VersionInfo& info) override;
  bool QueryVersionBasic(VersionInfo& info) override;
  bool QueryNativeArchitecture(uint16_t& architecture) override;
  uint16_t QuerySystemArchitecture() override;
  bool LookUpProductType(uint32_t major, uint32_t minor, uint32_t spMajor, uint32_t spMinor,
                         uint32_t& productType) override;
  int QuerySystemMetric(int index) override;
  bool IsNativeProcess64() override;
  uint32_t OpenMachineKey(const char* subkey, uint32_t access, OsHandle& key) override;
  uint32_t ReadKeyValue(OsHandle key, const char* name, uint32_t& type, void* data,
                        uint32_t& size) override;
  void CloseKey(OsHandle key) override;
  bool MakeDirectory(const char* path) override;
  uint32_t OpenForAppend(const char* path, OsHandle& file) override;
  bool AppendBytes(OsHandle file, const char* data, size_t size) override;
  void CloseFile(OsHandle file) override;
  bool ProgramPath(char* buffer, size_t capacity) override;
  const char* CommandLineText() override;
  void WriteStandardOutput(const char* data, size_t size) override;
  void WriteStandardError(const char* data, size_t size) override;
  bool ReadConsoleTitle(char* buffer, size_t capacity) override;
  void ChangeConsoleTitle(const char* title) override;
  OsHandle FindTopLevelWindow(const char* title) override;
  void ShowWindowMinimized(OsHandle window) override;
  void Pause(uint32_t milliseconds) override;
  LocalTime ReadLocalTime() override;
  bool SystemFolder(char* buffer, size_t capacity) override;
  void JoinPath(char* buffer, const char* name) override;
  RedirectionResult DisableFsRedirection(OsHandle& saved) override;
  RedirectionResult RevertFsRedirection(OsHandle saved) override;
  bool StartProcess(const char* application, char* commandLine, OsHandle& process,
                    OsHandle& thread) override;
  void WaitForProcess(OsHandle process) override;
  bool ReadExitCode(OsHandle process, uint32_t& code) override;
  void CloseHandle(OsHandle handle) override;
  uint32_t LastError() override;
  bool ErrorText(uint32_t error, char* buffer, size_t capacity) override;

 private:
  enum class Kind { kKey, kFile, kProcess, kThread };
  struct Open {
    Kind kind;
    std::string name;  // key path, file path or program
  };
  OsHandle Hand(Kind kind, const std::string& name);
  const Open& Held(OsHandle handle, Kind kind) const;
  void Release(OsHandle handle, Kind kind);
  static std::string ParentOf(const std::string& path);

  std::map<OsHandle, Open> openHandles_;
  OsHandle nextHandle_ = 0x100;
  size_t clockReadings_ = 0;
  uint32_t lastError_ = 0;
};

}  // namespace zv::test
