// The service-pack text from any service-pack string the version answer
// can carry (up to 127 characters and its terminator, in a heap block of
// exactly its size), any major version and build number, and either
// answer about the Q246009 hotfix key.
#include <fuzzer/FuzzedDataProvider.h>
#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "sysinfo/classify.h"

namespace zv::fuzz {
namespace {

void Run(FuzzedDataProvider& in) {
  const uint32_t major = in.ConsumeIntegral<uint32_t>();
  const uint32_t build = in.ConsumeIntegral<uint32_t>();
  const bool hotfixPresent = in.ConsumeBool();
  std::string csd = in.ConsumeBytesAsString(kServicePackTextCapacity - 1);
  csd.resize(std::strlen(csd.c_str()));
  std::unique_ptr<char[]> csdVersion(new char[csd.size() + 1]);
  std::memcpy(csdVersion.get(), csd.c_str(), csd.size() + 1);

  char text[kServicePackTextCapacity];
  std::memset(text, 'X', sizeof text);
  bool hotfixAsked = false;
  BuildServicePackText(
      major, csdVersion.get(), build,
      [&] {
        hotfixAsked = true;
        return hotfixPresent;
      },
      text);

  ZV_FUZZ_CHECK(TerminatedWithin(text, sizeof text));
  char suffix[32];
  const size_t suffixLength = static_cast<size_t>(
      std::snprintf(suffix, sizeof suffix, " (Build %u)", static_cast<unsigned>(build & 0xFFFFu)));
  ZV_FUZZ_CHECK(EndsWith(text, suffix));

  // The hotfix key is asked about for Windows NT 4.0 "Service Pack 6" only.
  const bool sp6 = major == 4 && strcasecmp(csd.c_str(), "Service Pack 6") == 0;
  ZV_FUZZ_CHECK(hotfixAsked == sp6);
  if (sp6 && hotfixPresent) {
    char expected[kServicePackTextCapacity];
    std::snprintf(expected, sizeof expected, "Service Pack 6a%s", suffix);
    ZV_FUZZ_CHECK(std::strcmp(text, expected) == 0);
    return;
  }
  // Otherwise the string itself, cut only as far as the build number needs.
  const size_t kept = std::strlen(text) - suffixLength;
  const size_t room = sizeof text - 1 - suffixLength;
  ZV_FUZZ_CHECK(kept == (csd.size() < room ? csd.size() : room));
  ZV_FUZZ_CHECK(std::memcmp(text, csd.data(), kept) == 0);
}

}  // namespace
}  // namespace zv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  zv::fuzz::Run(in);
  return 0;
}
