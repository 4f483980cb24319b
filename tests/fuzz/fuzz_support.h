// What the fuzz targets share: a check that stops the run with a message
// (libFuzzer then keeps the input as a crash), and an Os that fails the run
// on every call a target does not expect. A target derives from StrictOs
// and answers the few calls the code under test makes from the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fuzzer/FuzzedDataProvider.h>

#include "platform/os.h"

namespace zv::fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::abort();
}

#define ZV_FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::zv::fuzz::Fail(__FILE__, __LINE__, #condition))

// The text is terminated somewhere inside its capacity.
inline bool TerminatedWithin(const char* text, size_t capacity) {
  return std::memchr(text, '\0', capacity) != nullptr;
}

inline bool EndsWith(const char* text, const char* tail) {
  const size_t length = std::strlen(text);
  const size_t tailLength = std::strlen(tail);
  return length >= tailLength && std::memcmp(text + length - tailLength, tail, tailLength) == 0;
}

// Every LF is preceded by CR, and no CR CR LF ends a line.
inline bool LineEndsWellFormed(const char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != '\n') continue;
    if (i == 0 || data[i - 1] != '\r') return false;
    if (i >= 2 && data[i - 2] == '\r') return false;
  }
  return true;
}

class StrictOs : public Os {
 public:
  bool QueryVersionExtended(VersionInfo&) override { Unexpected("QueryVersionExtended"); }
  bool QueryVersionBasic(VersionInfo&) override { Unexpected("QueryVersionBasic"); }
  bool QueryNativeArchitecture(uint16_t&) override { Unexpected("QueryNativeArchitecture"); }
  uint16_t QuerySystemArchitecture() override { Unexpected("QuerySystemArchitecture"); }
  bool LookUpProductType(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t&) override {
    Unexpected("LookUpProductType");
  }
  int QuerySystemMetric(int) override { Unexpected("QuerySystemMetric"); }
  bool IsNativeProcess64() override { Unexpected("IsNativeProcess64"); }
  uint32_t OpenMachineKey(const char*, uint32_t, OsHandle&) override {
    Unexpected("OpenMachineKey");
  }
  uint32_t ReadKeyValue(OsHandle, const char*, uint32_t&, void*, uint32_t&) override {
    Unexpected("ReadKeyValue");
  }
  void CloseKey(OsHandle) override { Unexpected("CloseKey"); }
  bool MakeDirectory(const char*) override { Unexpected("MakeDirectory"); }
  uint32_t OpenForAppend(const char*, OsHandle&) override { Unexpected("OpenForAppend"); }
  bool AppendBytes(OsHandle, const char*, size_t) override { Unexpected("AppendBytes"); }
  void CloseFile(OsHandle) override { Unexpected("CloseFile"); }
  bool ProgramPath(char*, size_t) override { Unexpected("ProgramPath"); }
  const char* CommandLineText() override { Unexpected("CommandLineText"); }
  void WriteStandardOutput(const char*, size_t) override { Unexpected("WriteStandardOutput"); }
  void WriteStandardError(const char*, size_t) override { Unexpected("WriteStandardError"); }
  bool ReadConsoleTitle(char*, size_t) override { Unexpected("ReadConsoleTitle"); }
  void ChangeConsoleTitle(const char*) override { Unexpected("ChangeConsoleTitle"); }
  OsHandle FindTopLevelWindow(const char*) override { Unexpected("FindTopLevelWindow"); }
  void ShowWindowMinimized(OsHandle) override { Unexpected("ShowWindowMinimized"); }
  void Pause(uint32_t) override { Unexpected("Pause"); }
  LocalTime ReadLocalTime() override { Unexpected("ReadLocalTime"); }
  bool SystemFolder(char*, size_t) override { Unexpected("SystemFolder"); }
  void JoinPath(char*, const char*) override { Unexpected("JoinPath"); }
  RedirectionResult DisableFsRedirection(OsHandle&) override {
    Unexpected("DisableFsRedirection");
  }
  RedirectionResult RevertFsRedirection(OsHandle) override { Unexpected("RevertFsRedirection"); }
  bool StartProcess(const char*, char*, OsHandle&, OsHandle&) override {
    Unexpected("StartProcess");
  }
  void WaitForProcess(OsHandle) override { Unexpected("WaitForProcess"); }
  bool ReadExitCode(OsHandle, uint32_t&) override { Unexpected("ReadExitCode"); }
  void CloseHandle(OsHandle) override { Unexpected("CloseHandle"); }
  uint32_t LastError() override { Unexpected("LastError"); }
  bool ErrorText(uint32_t, char*, size_t) override { Unexpected("ErrorText"); }

 private:
  [[noreturn]] static void Unexpected(const char* call) {
    std::fprintf(stderr, "unexpected call of Os::%s\n", call);
    std::abort();
  }
};

// The numbers of a version answer, in the order every target reads them.
inline void ConsumeVersionNumbers(FuzzedDataProvider& in, VersionInfo& v) {
  v.majorVersion = in.ConsumeIntegral<uint32_t>();
  v.minorVersion = in.ConsumeIntegral<uint32_t>();
  v.buildNumber = in.ConsumeIntegral<uint32_t>();
  v.platformId = in.ConsumeIntegral<uint32_t>();
  v.servicePackMajor = in.ConsumeIntegral<uint16_t>();
  v.servicePackMinor = in.ConsumeIntegral<uint16_t>();
  v.suiteMask = in.ConsumeIntegral<uint16_t>();
  v.productType = in.ConsumeIntegral<uint8_t>();
}

}  // namespace zv::fuzz
