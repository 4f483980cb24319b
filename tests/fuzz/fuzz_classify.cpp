// Product and edition codes from any extended version answer, with any
// architecture and any answers of the SM_SERVERR2 metric and of
// GetProductInfo.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "sysinfo/classify.h"

namespace zv::fuzz {
namespace {

bool IsRuleEdition(int code) { return (code >= 0 && code <= 29) || code == kEditionProfessional; }

void CheckProductFitsPlatform(const VersionInfo& v, int kind) {
  switch (v.platformId) {
    case kPlatformWin32s:
      ZV_FUZZ_CHECK(kind == kWin32s);
      break;
    case kPlatformWindows:
      ZV_FUZZ_CHECK(kind == kOsUnknown || (kind >= kWin95 && kind <= kWinMe));
      break;
    case kPlatformNt:
      ZV_FUZZ_CHECK(kind == kOsUnknown || (kind >= kWinNt351 && kind <= kWin7));
      break;
    default:
      ZV_FUZZ_CHECK(kind == kOsUnknown);
  }
}

void Run(FuzzedDataProvider& in) {
  VersionInfo v;
  ConsumeVersionNumbers(in, v);
  const uint16_t architecture = in.ConsumeIntegral<uint16_t>();
  const int serverR2 = in.ConsumeIntegral<int>();
  const uint32_t productInfo = in.ConsumeIntegral<uint32_t>();
  const int current = in.ConsumeIntegral<int>();
  // The system may fill the whole field; the record terminates it.
  const std::vector<uint8_t> csd = in.ConsumeBytes<uint8_t>(sizeof v.csdVersion);
  if (!csd.empty()) std::memcpy(v.csdVersion, csd.data(), csd.size());
  v.csdVersion[sizeof v.csdVersion - 1] = '\0';

  ZV_FUZZ_CHECK(ServicePackLetter(v.csdVersion) != ' ');

  int serverR2Asked = 0;
  const int kind = ClassifyProductExtended(v, architecture, [&] {
    ++serverR2Asked;
    return serverR2;
  });
  ZV_FUZZ_CHECK(kind >= 0 && kind < kOsKindCount);
  ZV_FUZZ_CHECK(OsKindName(kind) != nullptr);
  CheckProductFitsPlatform(v, kind);
  // The metric is asked at most once, and only for a 5.2 NT system.
  ZV_FUZZ_CHECK(serverR2Asked <= 1);
  if (serverR2Asked > 0) {
    ZV_FUZZ_CHECK(v.platformId == kPlatformNt && v.majorVersion == 5 && v.minorVersion == 2);
  }
  if (kind == kWinServer2003R2) ZV_FUZZ_CHECK(serverR2Asked == 1 && serverR2 != 0);

  int productInfoAsked = 0;
  const int edition = ClassifyEditionExtended(v, current, [&] {
    ++productInfoAsked;
    return productInfo;
  });
  ZV_FUZZ_CHECK(edition == current || IsRuleEdition(edition));
  if (IsRuleEdition(edition)) ZV_FUZZ_CHECK(OsEditionName(edition) != nullptr);
  // GetProductInfo is asked at most once, and only for version 6.
  ZV_FUZZ_CHECK(productInfoAsked <= 1);
  if (productInfoAsked > 0) ZV_FUZZ_CHECK(v.majorVersion == 6);
}

}  // namespace
}  // namespace zv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  zv::fuzz::Run(in);
  return 0;
}
