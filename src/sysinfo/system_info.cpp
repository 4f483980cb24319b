#include "sysinfo/system_info.h"

#include <cstring>

#include "platform/handles.h"

namespace zv {

namespace {
constexpr char kProductOptionsKey[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
constexpr char kHotfixQ246009Key[] =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";
}  // namespace

SystemInfo::SystemInfo(Os& os) : os_(os) {
  hasExtendedVersion = os_.QueryVersionExtended(versionInfo);
  bool versionKnown = hasExtendedVersion;
  if (!hasExtendedVersion) versionKnown = os_.QueryVersionBasic(versionInfo);
  // The string is the system's; make sure it ends inside its field.
  versionInfo.csdVersion[sizeof versionInfo.csdVersion - 1] = '\0';

  uint16_t architecture = 0;
  processorArchitecture =
      os_.QueryNativeArchitecture(architecture) ? architecture : os_.QuerySystemArchitecture();

  if (versionKnown) {
    ClassifyProduct();
    ClassifyEdition();
    BuildServicePackText();
  }
}

void SystemInfo::GetServicePackText(char* destination) const {
  if (destination == nullptr) return;
  std::memcpy(destination, servicePackText, sizeof servicePackText);
}

void SystemInfo::ClassifyProduct() {
  if (hasExtendedVersion) {
    osKind = ClassifyProductExtended(versionInfo, processorArchitecture,
                                     [this] { return os_.QuerySystemMetric(kMetricServerR2); });
    return;
  }
  UniqueKey key(os_);
  if (os_.OpenMachineKey(kProductOptionsKey, kKeyQueryValue, key.Receive()) != kErrorSuccess)
    return;
  char productType[kProductTypeCapacity] = {};
  uint32_t type = 0;
  uint32_t size = sizeof productType;
  const uint32_t status = os_.ReadKeyValue(key.Get(), "ProductType", type, productType, size);
  key.Reset();
  if (status != kErrorSuccess || size > sizeof productType) return;
  ClassifyProductLegacy(productType, versionInfo.majorVersion, versionInfo.minorVersion, osKind,
                        osEdition);
}

void SystemInfo::ClassifyEdition() {
  if (!hasExtendedVersion) return;
  osEdition = ClassifyEditionExtended(versionInfo, osEdition, [this] { return QueryProductInfo(); });
}

uint32_t SystemInfo::QueryProductInfo() {
  uint32_t productType = 0;
  if (versionInfo.majorVersion < 6) return 0;
  if (!os_.LookUpProductType(versionInfo.majorVersion, versionInfo.minorVersion,
                             versionInfo.servicePackMajor, versionInfo.servicePackMinor,
                             productType))
    return 0;
  return productType;
}

void SystemInfo::BuildServicePackText() {
  zv::BuildServicePackText(
      versionInfo.majorVersion, versionInfo.csdVersion, versionInfo.buildNumber,
      [this] {
        UniqueKey key(os_);
        return os_.OpenMachineKey(kHotfixQ246009Key, kKeyQueryValue, key.Receive()) ==
               kErrorSuccess;
      },
      servicePackText);
}

}  // namespace zv
