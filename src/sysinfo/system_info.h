// The facts of the running Windows, asked once when the record is built
// and only read afterwards: no accessor asks the system again.
#pragma once

#include <cstdint>

#include "platform/os.h"
#include "sysinfo/classify.h"

namespace zv {

class SystemInfo {
 public:
  // Asks every question and classifies the answers; never fails. Whatever
  // the system answers, a usable record results.
  explicit SystemInfo(Os& os);
  virtual ~SystemInfo() = default;

  int GetOsKind() const { return osKind; }
  int GetOsEdition() const { return osEdition; }
  bool IsPlatformNt() const { return versionInfo.platformId == kPlatformNt; }
  bool IsPlatformWindows() const { return versionInfo.platformId == kPlatformWindows; }
  bool IsPlatformWin32s() const { return versionInfo.platformId == kPlatformWin32s; }
  uint32_t GetMajorVersion() const { return versionInfo.majorVersion; }
  uint32_t GetMinorVersion() const { return versionInfo.minorVersion; }
  // All 32 bits, as the system gave them.
  uint32_t GetBuildNumber() const { return versionInfo.buildNumber; }
  unsigned GetServicePackMajor() const {
    return hasExtendedVersion ? versionInfo.servicePackMajor : 0u;
  }
  unsigned GetServicePackMinor() const {
    return hasExtendedVersion ? versionInfo.servicePackMinor : 0u;
  }
  // Copies the text, terminator included, into a buffer of at least
  // kServicePackTextCapacity characters; does nothing for a null buffer.
  void GetServicePackText(char* destination) const;
  bool Is64Bit() const { return IsArchitecture64Bit(processorArchitecture); }
  bool Is32Bit() const { return !Is64Bit(); }

 private:
  void ClassifyProduct();
  void ClassifyEdition();
  uint32_t QueryProductInfo();
  void BuildServicePackText();

  Os& os_;
  int osKind = kOsUnknown;
  int osEdition = kEditionUnknown;
  char servicePackText[kServicePackTextCapacity] = {};
  VersionInfo versionInfo;
  uint16_t processorArchitecture = 0;  // of the native system information
  bool hasExtendedVersion = false;
};

}  // namespace zv
