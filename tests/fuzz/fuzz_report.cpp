// The nine report lines of a SystemInfo built from any answers of the
// system: either version query may fail, the service-pack field may fill
// its 128 bytes, the native architecture and GetProductInfo may be
// missing, and the registry may hold any "ProductType" value or none, and
// the Q246009 hotfix key or not.
#include <fuzzer/FuzzedDataProvider.h>
#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "sysinfo/classify.h"
#include "sysinfo/report.h"
#include "sysinfo/system_info.h"

namespace zv::fuzz {
namespace {

constexpr char kProductOptionsKey[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
constexpr char kHotfixKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

// Answers every question SystemInfo asks from the input, read once up
// front, and checks that it asks only what the answers call for and
// closes every key it opens.
class AnsweringOs final : public StrictOs {
 public:
  explicit AnsweringOs(FuzzedDataProvider& in) {
    extendedWorks_ = in.ConsumeBool();
    basicWorks_ = in.ConsumeBool();
    ConsumeVersionNumbers(in, answer_);
    nativePresent_ = in.ConsumeBool();
    nativeArchitecture_ = in.ConsumeIntegral<uint16_t>();
    systemArchitecture_ = in.ConsumeIntegral<uint16_t>();
    productInfoPresent_ = in.ConsumeBool();
    productInfoWrites_ = in.ConsumeBool();
    productInfo_ = in.ConsumeIntegral<uint32_t>();
    serverR2_ = in.ConsumeIntegral<int>();
    productOptionsPresent_ = in.ConsumeBool();
    valueAnswer_ = in.ConsumeIntegralInRange<int>(0, 2);
    hotfixPresent_ = in.ConsumeBool();
    const std::vector<uint8_t> csd = in.ConsumeBytes<uint8_t>(sizeof answer_.csdVersion);
    if (!csd.empty()) std::memcpy(answer_.csdVersion, csd.data(), csd.size());
    productTypeValue_ = in.ConsumeRemainingBytesAsString();
  }

  bool VersionKnown() const { return extendedWorks_ || basicWorks_; }
  uint32_t Build() const { return answer_.buildNumber; }
  size_t KeysOpen() const { return openKeys_.size(); }

  bool QueryVersionExtended(VersionInfo& info) override {
    if (extendedWorks_) info = answer_;
    return extendedWorks_;
  }
  bool QueryVersionBasic(VersionInfo& info) override {
    ZV_FUZZ_CHECK(!extendedWorks_);
    if (!basicWorks_) return false;
    info.majorVersion = answer_.majorVersion;
    info.minorVersion = answer_.minorVersion;
    info.buildNumber = answer_.buildNumber;
    info.platformId = answer_.platformId;
    std::memcpy(info.csdVersion, answer_.csdVersion, sizeof info.csdVersion);
    return true;
  }
  bool QueryNativeArchitecture(uint16_t& architecture) override {
    if (nativePresent_) architecture = nativeArchitecture_;
    return nativePresent_;
  }
  uint16_t QuerySystemArchitecture() override {
    ZV_FUZZ_CHECK(!nativePresent_);
    return systemArchitecture_;
  }
  bool LookUpProductType(uint32_t major, uint32_t minor, uint32_t spMajor, uint32_t spMinor,
                         uint32_t& productType) override {
    ZV_FUZZ_CHECK(extendedWorks_ && major == 6);
    ZV_FUZZ_CHECK(minor == answer_.minorVersion && spMajor == answer_.servicePackMajor &&
                  spMinor == answer_.servicePackMinor);
    if (productInfoPresent_ && productInfoWrites_) productType = productInfo_;
    return productInfoPresent_;
  }
  int QuerySystemMetric(int index) override {
    ZV_FUZZ_CHECK(index == kMetricServerR2);
    ZV_FUZZ_CHECK(extendedWorks_ && answer_.majorVersion == 5 && answer_.minorVersion == 2);
    return serverR2_;
  }
  uint32_t OpenMachineKey(const char* subkey, uint32_t access, OsHandle& key) override {
    ZV_FUZZ_CHECK((access & kKeyQueryValue) != 0);
    bool present = false;
    if (strcasecmp(subkey, kProductOptionsKey) == 0) {
      // Only a system without the extended answer needs the word.
      ZV_FUZZ_CHECK(!extendedWorks_ && basicWorks_);
      present = productOptionsPresent_;
    } else if (strcasecmp(subkey, kHotfixKey) == 0) {
      ZV_FUZZ_CHECK(answer_.majorVersion == 4);
      present = hotfixPresent_;
    } else {
      Fail(__FILE__, __LINE__, subkey);
    }
    if (!present) return kErrorFileNotFound;
    key = nextKey_++;
    openKeys_.insert(key);
    return kErrorSuccess;
  }
  uint32_t ReadKeyValue(OsHandle key, const char* name, uint32_t& type, void* data,
                        uint32_t& size) override {
    ZV_FUZZ_CHECK(openKeys_.count(key) == 1);
    ZV_FUZZ_CHECK(strcasecmp(name, "ProductType") == 0);
    const uint32_t capacity = size;
    const uint32_t length = static_cast<uint32_t>(productTypeValue_.size());
    switch (valueAnswer_) {
      case 0:  // no such value
        return kErrorFileNotFound;
      case 1:  // as the registry answers: the value, or its size when it does not fit
        size = length;
        if (length > capacity) return kErrorMoreData;
        break;
      default:  // success, but with a size larger than the buffer
        size = length > capacity ? length : capacity + 1;
        break;
    }
    type = kRegSz;
    std::memcpy(data, productTypeValue_.data(), length < capacity ? length : capacity);
    return kErrorSuccess;
  }
  void CloseKey(OsHandle key) override { ZV_FUZZ_CHECK(openKeys_.erase(key) == 1); }

 private:
  VersionInfo answer_;
  bool extendedWorks_ = false;
  bool basicWorks_ = false;
  bool nativePresent_ = false;
  uint16_t nativeArchitecture_ = 0;
  uint16_t systemArchitecture_ = 0;
  bool productInfoPresent_ = false;
  bool productInfoWrites_ = false;
  uint32_t productInfo_ = 0;
  int serverR2_ = 0;
  bool productOptionsPresent_ = false;
  int valueAnswer_ = 0;
  bool hotfixPresent_ = false;
  std::string productTypeValue_;
  std::set<OsHandle> openKeys_;
  OsHandle nextKey_ = 0x100;
};

bool IsNameOrEmpty(const char* line, const char* (*name)(int), int count) {
  if (line[0] == '\0') return true;
  for (int code = 0; code < count; ++code) {
    const char* n = name(code);
    if (n != nullptr && std::strcmp(line, n) == 0) return true;
  }
  return false;
}

void Run(FuzzedDataProvider& in) {
  AnsweringOs os(in);
  const SystemInfo info(os);
  ZV_FUZZ_CHECK(os.KeysOpen() == 0);
  ZV_FUZZ_CHECK(info.Is64Bit() != info.Is32Bit());
  if (!os.VersionKnown()) {
    ZV_FUZZ_CHECK(info.GetOsKind() == kOsUnknown && info.GetOsEdition() == kEditionUnknown);
  }
  info.GetServicePackText(nullptr);

  ReportLines lines;
  std::memset(&lines, 'X', sizeof lines);
  BuildReportLines(info, lines);
  for (const auto& line : lines.line) ZV_FUZZ_CHECK(TerminatedWithin(line, sizeof line));
  ZV_FUZZ_CHECK(IsNameOrEmpty(lines.line[0], OsKindName, kOsKindCount));
  ZV_FUZZ_CHECK(IsNameOrEmpty(lines.line[1], OsEditionName, kOsEditionCount));

  static const char* const kLabels[kReportLineCount] = {
      "", "", "Platform type    : ", "Architecture     : ", "Major version    : ",
      "Minor version    : ", "Build number     : ", "Service Pack info: ",
      "SP (major.minor) : "};
  for (size_t i = 2; i < kReportLineCount; ++i) {
    ZV_FUZZ_CHECK(std::strncmp(lines.line[i], kLabels[i], std::strlen(kLabels[i])) == 0);
  }
  if (os.VersionKnown()) {
    char build[32];
    std::snprintf(build, sizeof build, "(Build %u)", static_cast<unsigned>(os.Build() & 0xFFFFu));
    ZV_FUZZ_CHECK(EndsWith(lines.line[7], build));
  } else {
    ZV_FUZZ_CHECK(std::strcmp(lines.line[7], kLabels[7]) == 0);
  }
}

}  // namespace
}  // namespace zv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  zv::fuzz::Run(in);
  return 0;
}
