// helper.exe's command line: any bytes, up to the first NUL, in a heap
// block of exactly their size and the terminator.
#include <strings.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "helper/helper.h"

namespace zv::fuzz {
namespace {

std::unique_ptr<char[]> TerminatedCopy(const char* data, size_t size) {
  std::unique_ptr<char[]> text(new char[size + 1]);
  std::memcpy(text.get(), data, size);
  text[size] = '\0';
  return text;
}

bool StartsWithOption(const char* text) {
  while (*text != '\0' && std::strchr(" \t\r\n\v\f", *text) != nullptr) ++text;
  return *text == '/';
}

void CheckRequest(const char* text, HelperParseError error, const HelperRequest& request) {
  const size_t length = std::strlen(text);
  ZV_FUZZ_CHECK(error == request.error);
  ZV_FUZZ_CHECK(DescribeHelperParseError(error) != nullptr);
  ZV_FUZZ_CHECK(TerminatedWithin(request.package, sizeof request.package));
  ZV_FUZZ_CHECK(TerminatedWithin(request.arguments, sizeof request.arguments));
  if (error == HelperParseError::kNone) {
    const size_t packageLength = std::strlen(request.package);
    ZV_FUZZ_CHECK(packageLength > 4);
    ZV_FUZZ_CHECK(strcasecmp(request.package + packageLength - 4, ".exe") == 0);
    ZV_FUZZ_CHECK(std::strpbrk(request.package, "\\/:") == nullptr);
    ZV_FUZZ_CHECK(request.language >= 1 && request.language <= 65535);
    // Both values are taken from the text as they stand there.
    ZV_FUZZ_CHECK(std::strstr(text, request.package) != nullptr);
    ZV_FUZZ_CHECK(std::strstr(text, request.arguments) != nullptr);
    ZV_FUZZ_CHECK(request.problemOffset == 0 && request.problemLength == 0);
    return;
  }
  ZV_FUZZ_CHECK(request.problemOffset <= length);
  ZV_FUZZ_CHECK(request.problemLength <= length - request.problemOffset);
  // Something missing points at nothing; a token at fault is never empty.
  const bool missing = error == HelperParseError::kMissingPackage ||
                       error == HelperParseError::kMissingLanguage;
  ZV_FUZZ_CHECK(missing == (request.problemLength == 0));
}

void Run(const char* data, size_t size) {
  if (size == 0) {
    HelperRequest none;
    CheckRequest("", ParseHelperCommandLine(nullptr, none), none);
  }
  const std::unique_ptr<char[]> text = TerminatedCopy(data, size);
  HelperRequest request;
  const HelperParseError error = ParseHelperCommandLine(text.get(), request);
  CheckRequest(text.get(), error, request);

  // A line that starts with an option means the same with the program's
  // name in front of it, its problem only moved by the name.
  if (!StartsWithOption(text.get())) return;
  static const char kName[] = "helper.exe ";
  const std::string prefixed = kName + std::string(text.get());
  const std::unique_ptr<char[]> named = TerminatedCopy(prefixed.data(), prefixed.size());
  HelperRequest again;
  const HelperParseError againError = ParseHelperCommandLine(named.get(), again);
  CheckRequest(named.get(), againError, again);
  ZV_FUZZ_CHECK(againError == error);
  ZV_FUZZ_CHECK(std::strcmp(again.package, request.package) == 0);
  ZV_FUZZ_CHECK(again.language == request.language);
  ZV_FUZZ_CHECK(std::strcmp(again.arguments, request.arguments) == 0);
  if (error != HelperParseError::kNone) {
    ZV_FUZZ_CHECK(again.problemOffset == request.problemOffset + sizeof kName - 1);
    ZV_FUZZ_CHECK(again.problemLength == request.problemLength);
  }
}

}  // namespace
}  // namespace zv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zv::fuzz::Run(reinterpret_cast<const char*>(data), size);
  return 0;
}
