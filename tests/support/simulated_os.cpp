#include "support/simulated_os.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace zv::test {

SimulatedOs::SimulatedOs() {
  directories.insert("c:");
  LocalTime t;
  t.year = 2011;
  t.month = 3;
  t.day = 14;
  t.hour = 9;
  t.minute = 5;
  t.second = 7;
  clock.push_back(t);
}

SimulatedOs::~SimulatedOs() = default;

std::string SimulatedOs::Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string SimulatedOs::ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string SimulatedOs::File(const std::string& path) const {
  auto it = files.find(Lower(path));
  return it == files.end() ? std::string() : it->second;
}

void SimulatedOs::SetValue(const std::string& key, const std::string& name, uint32_t type,
                           const std::string& bytes) {
  SimValue value;
  value.type = type;
  value.bytes = bytes;
  keys[Lower(key)].values[Lower(name)] = value;
}

void SimulatedOs::SetDword(const std::string& key, const std::string& name, uint32_t value) {
  std::string bytes(4, '\0');
  std::memcpy(bytes.data(), &value, 4);
  SetValue(key, name, kRegDword, bytes);
}

OsHandle SimulatedOs::Hand(Kind kind, const std::string& name) {
  const OsHandle handle = nextHandle_;
  nextHandle_ += 4;
  openHandles_[handle] = Open{kind, name};
  return handle;
}

const SimulatedOs::Open& SimulatedOs::Held(OsHandle handle, Kind kind) const {
  static const Open kNone{Kind::kKey, ""};
  auto it = openHandles_.find(handle);
  if (it == openHandles_.end() || it->second.kind != kind) {
    ADD_FAILURE() << "handle " << handle << " used but not open";
    return kNone;
  }
  return it->second;
}

void SimulatedOs::Release(OsHandle handle, Kind kind) {
  Held(handle, kind);
  openHandles_.erase(handle);
}

bool SimulatedOs::QueryVersionExtended(VersionInfo& info) {
  trace.push_back("version extended");
  if (!extendedQueryWorks) return false;
  info = version;
  return true;
}

bool SimulatedOs::QueryVersionBasic(VersionInfo& info) {
  trace.push_back("version basic");
  if (!basicQueryWorks) return false;
  info.majorVersion = version.majorVersion;
  info.minorVersion = version.minorVersion;
  info.buildNumber = version.buildNumber;
  info.platformId = version.platformId;
  std::memcpy(info.csdVersion, version.csdVersion, sizeof info.csdVersion);
  return true;
}

bool SimulatedOs::QueryNativeArchitecture(uint16_t& architecture) {
  if (!nativeArchitecture) return false;
  architecture = *nativeArchitecture;
  return true;
}

uint16_t SimulatedOs::QuerySystemArchitecture() { return systemArchitecture; }

bool SimulatedOs::LookUpProductType(uint32_t, uint32_t, uint32_t, uint32_t,
                                    uint32_t& productType) {
  ++productInfoCalls;
  if (!productInfo) return false;
  if (!productInfoWritesNothing) productType = *productInfo;
  return true;
}

int SimulatedOs::QuerySystemMetric(int index) {
  ++metricCalls;
  return index == 89 ? serverR2Metric : 0;
}

bool SimulatedOs::IsNativeProcess64() { return process64; }

uint32_t SimulatedOs::OpenMachineKey(const char* subkey, uint32_t access, OsHandle& key) {
  keyAccess.push_back(access);
  key = 0;
  auto it = keys.find(Lower(subkey));
  if (it == keys.end()) return kErrorFileNotFound;
  if (it->second.openError != kErrorSuccess) return it->second.openError;
  constexpr uint32_t kWriteRights = 0x0006;  // KEY_SET_VALUE | KEY_CREATE_SUB_KEY
  if (!it->second.writable && (access & kWriteRights) != 0) return kErrorAccessDenied;
  key = Hand(Kind::kKey, Lower(subkey));
  trace.push_back("open key " + std::string(subkey));
  return kErrorSuccess;
}

uint32_t SimulatedOs::ReadKeyValue(OsHandle key, const char* name, uint32_t& type, void* data,
                                   uint32_t& size) {
  const SimKey& simKey = keys[Held(key, Kind::kKey).name];
  auto it = simKey.values.find(Lower(name));
  if (it == simKey.values.end()) return kErrorFileNotFound;
  const SimValue& value = it->second;
  type = value.type;
  const uint32_t room = size;
  size = static_cast<uint32_t>(value.bytes.size());
  if (value.bytes.size() > room) return kErrorMoreData;
  std::memcpy(data, value.bytes.data(), value.bytes.size());
  return kErrorSuccess;
}

void SimulatedOs::CloseKey(OsHandle key) {
  trace.push_back("close key " + Held(key, Kind::kKey).name);
  Release(key, Kind::kKey);
}

bool SimulatedOs::MakeDirectory(const char* path) {
  const std::string p = Lower(path);
  trace.push_back("mkdir " + std::string(path));
  if (directories.count(p) || uncreatableDirectories.count(p)) return false;
  if (!directories.count(ParentOf(p))) return false;
  directories.insert(p);
  return true;
}

uint32_t SimulatedOs::OpenForAppend(const char* path, OsHandle& file) {
  ++openAttempts;
  file = 0;
  if (openFailuresLeft != 0) {
    if (openFailuresLeft > 0) --openFailuresLeft;
    return openError;
  }
  const std::string p = Lower(path);
  if (!directories.count(ParentOf(p))) return kErrorPathNotFound;
  files[p];  // created when missing
  file = Hand(Kind::kFile, p);
  return kErrorSuccess;
}

bool SimulatedOs::AppendBytes(OsHandle file, const char* data, size_t size) {
  const std::string& path = Held(file, Kind::kFile).name;
  ++appends;
  if (appendsFail) return false;
  files[path].append(data, size);
  return true;
}

void SimulatedOs::CloseFile(OsHandle file) { Release(file, Kind::kFile); }

bool SimulatedOs::ProgramPath(char* buffer, size_t capacity) {
  if (programPath.size() >= capacity) return false;
  std::strcpy(buffer, programPath.c_str());
  return true;
}

const char* SimulatedOs::CommandLineText() { return commandLine.c_str(); }

void SimulatedOs::WriteStandardOutput(const char* data, size_t size) {
  standardOutput.append(data, size);
}

void SimulatedOs::WriteStandardError(const char* data, size_t size) {
  standardError.append(data, size);
}

bool SimulatedOs::ReadConsoleTitle(char* buffer, size_t capacity) {
  trace.push_back("read title");
  if (!titleReadable || consoleTitle.empty()) return false;
  const size_t n = std::min(consoleTitle.size(), capacity - 1);
  std::memcpy(buffer, consoleTitle.data(), n);
  buffer[n] = '\0';
  return true;
}

void SimulatedOs::ChangeConsoleTitle(const char* title) {
  consoleTitle = title;
  trace.push_back("set title " + consoleTitle);
}

OsHandle SimulatedOs::FindTopLevelWindow(const char* title) {
  trace.push_back("find window " + std::string(title));
  // The console window bears the console's title.
  auto it = windows.find(title);
  if (it != windows.end() && consoleTitle == title) return it->second;
  return 0;
}

void SimulatedOs::ShowWindowMinimized(OsHandle window) {
  trace.push_back("minimize " + std::to_string(window));
  minimized.push_back(window);
}

void SimulatedOs::Pause(uint32_t milliseconds) {
  trace.push_back("pause " + std::to_string(milliseconds));
  pauses.push_back(milliseconds);
}

LocalTime SimulatedOs::ReadLocalTime() {
  const size_t i = std::min(clockReadings_, clock.size() - 1);
  ++clockReadings_;
  return clock[i];
}

bool SimulatedOs::SystemFolder(char* buffer, size_t capacity) {
  if (!systemFolder || systemFolder->size() >= capacity) return false;
  std::strcpy(buffer, systemFolder->c_str());
  return true;
}

void SimulatedOs::JoinPath(char* buffer, const char* name) {
  std::string joined = buffer;
  if (!joined.empty() && joined.back() != '\\') joined += '\\';
  joined += name;
  if (joined.size() < 260) std::strcpy(buffer, joined.c_str());
}

RedirectionResult SimulatedOs::DisableFsRedirection(OsHandle& saved) {
  trace.push_back("disable redirection");
  if (disableAnswer == RedirectionResult::kDone) {
    redirectionOff = true;
    saved = 0x5AFE;
  } else {
    lastError_ = redirectionError;
  }
  return disableAnswer;
}

RedirectionResult SimulatedOs::RevertFsRedirection(OsHandle saved) {
  trace.push_back("revert redirection");
  EXPECT_EQ(saved, OsHandle{0x5AFE}) << "revert must get the value the disable call saved";
  if (revertAnswer == RedirectionResult::kDone) redirectionOff = false;
  return revertAnswer;
}

bool SimulatedOs::StartProcess(const char* application, char* childCommandLine, OsHandle& process,
                               OsHandle& thread) {
  starts.push_back(SimStart{application, childCommandLine, redirectionOff});
  trace.push_back("start " + std::string(application));
  process = 0;
  thread = 0;
  auto it = programs.find(Lower(application));
  if (it == programs.end() || std::string(application).empty()) {
    lastError_ = kErrorFileNotFound;
    return false;
  }
  if (it->second.startError != kErrorSuccess) {
    lastError_ = it->second.startError;
    return false;
  }
  process = Hand(Kind::kProcess, Lower(application));
  thread = Hand(Kind::kThread, Lower(application));
  return true;
}

void SimulatedOs::WaitForProcess(OsHandle process) {
  Held(process, Kind::kProcess);
  trace.push_back("wait");
}

bool SimulatedOs::ReadExitCode(OsHandle process, uint32_t& code) {
  const SimProgram& program = programs[Held(process, Kind::kProcess).name];
  trace.push_back("read exit code");
  if (!program.exitCodeReadable) return false;
  code = program.exitCode;
  return true;
}

void SimulatedOs::CloseHandle(OsHandle handle) {
  auto it = openHandles_.find(handle);
  if (it == openHandles_.end()) {
    ADD_FAILURE() << "closing handle " << handle << " that is not open";
    return;
  }
  trace.push_back(it->second.kind == Kind::kProcess ? "close process" : "close thread");
  openHandles_.erase(it);
}

uint32_t SimulatedOs::LastError() { return lastError_; }

bool SimulatedOs::ErrorText(uint32_t error, char* buffer, size_t capacity) {
  auto it = errorTexts.find(error);
  if (it == errorTexts.end() || capacity == 0) return false;
  const size_t n = std::min(it->second.size(), capacity - 1);
  std::memcpy(buffer, it->second.data(), n);
  buffer[n] = '\0';
  return true;
}

}  // namespace zv::test
