// The activity log's lines over any message and depth, and the writer's
// depth over any sequence of calls.
//
// First the lines of one call, laid out as WriteLog lays them out, into a
// heap block of exactly kLogLinesCapacity bytes: an opening brace line or
// not, the entry line, a closing brace line or not, at any depth from 0 to
// 100, with any time and a message of up to 2047 bytes other than NUL.
// Then ActivityLog::WriteLog itself, over the rest of the input taken as
// a sequence of block deltas and messages, with an Os whose log file opens
// or refuses as the input says.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "log/activity_log.h"

namespace zv::fuzz {
namespace {

// Lines of "DD-MM-YY hh:mm:ss " after the indentation.
constexpr size_t kStampsLength = 18;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool HasStamps(const char* p) {
  static const char kShape[] = "99-99-99 99:99:99 ";
  for (size_t i = 0; i < kStampsLength; ++i) {
    if (kShape[i] == '9' ? !IsDigit(p[i]) : p[i] != kShape[i]) return false;
  }
  return true;
}

// Blanks at the start of data, which must be exactly depth of them.
bool IndentedBy(const char* data, size_t size, int depth) {
  const size_t blanks = static_cast<size_t>(depth);
  if (size <= blanks) return false;
  for (size_t i = 0; i < blanks; ++i) {
    if (data[i] != ' ') return false;
  }
  return data[blanks] != ' ';
}

// The text without its line breaks: what no line-break rule may change.
std::string Visible(const char* text, size_t size) {
  std::string visible;
  for (size_t i = 0; i < size; ++i) {
    if (text[i] != '\r' && text[i] != '\n') visible += text[i];
  }
  return visible;
}

void CheckOneCall(FuzzedDataProvider& in) {
  const int depth = in.ConsumeIntegralInRange<int>(0, kMaxLogDepth);
  const int delta = in.ConsumeIntegralInRange<int>(-1, 1);
  LocalTime time;
  time.year = in.ConsumeIntegral<uint16_t>();
  time.month = in.ConsumeIntegral<uint16_t>();
  time.day = in.ConsumeIntegral<uint16_t>();
  time.hour = in.ConsumeIntegral<uint16_t>();
  time.minute = in.ConsumeIntegral<uint16_t>();
  time.second = in.ConsumeIntegral<uint16_t>();
  std::string message = in.ConsumeRandomLengthString(kLogMessageCapacity - 1);
  message.erase(std::remove(message.begin(), message.end(), '\0'), message.end());
  std::unique_ptr<char[]> text(new char[message.size() + 1]);
  std::memcpy(text.get(), message.c_str(), message.size() + 1);

  std::unique_ptr<char[]> out(new char[kLogLinesCapacity]);
  size_t length = 0;
  out[0] = '\0';
  int entryDepth = depth;
  std::string opening;
  std::string closing;
  if (delta > 0) {
    length = AppendBraceLine(out.get(), kLogLinesCapacity, length, depth, '{');
    opening = std::string(static_cast<size_t>(depth), ' ') + "{";
    entryDepth = DepthAfterOpening(depth);
  }
  const size_t entryStart = length;
  length = AppendEntryLine(out.get(), kLogLinesCapacity, length, entryDepth, time, text.get());
  if (delta < 0) {
    const int closedDepth = DepthAfterClosing(entryDepth);
    length = AppendBraceLine(out.get(), kLogLinesCapacity, length, closedDepth, '}');
    closing = std::string(static_cast<size_t>(closedDepth), ' ') + "}";
  }

  ZV_FUZZ_CHECK(length < kLogLinesCapacity);
  ZV_FUZZ_CHECK(out[length] == '\0' && std::strlen(out.get()) == length);
  // The capacity holds the longest call whole: apart from line breaks,
  // every character of the lines and of the message is there.
  const std::string visible = Visible(out.get(), length);
  const std::string visibleMessage = Visible(message.data(), message.size());
  const size_t messageAt = opening.size() + static_cast<size_t>(entryDepth) + kStampsLength;
  ZV_FUZZ_CHECK(visible.size() == messageAt + visibleMessage.size() + closing.size());
  ZV_FUZZ_CHECK(visible.compare(0, opening.size(), opening) == 0);
  ZV_FUZZ_CHECK(visible.compare(messageAt, visibleMessage.size(), visibleMessage) == 0);
  ZV_FUZZ_CHECK(visible.compare(visible.size() - closing.size(), closing.size(), closing) == 0);
  ZV_FUZZ_CHECK(IndentedBy(out.get(), length, depth));
  ZV_FUZZ_CHECK(IndentedBy(out.get() + entryStart, length - entryStart, entryDepth));
  ZV_FUZZ_CHECK(HasStamps(out.get() + entryStart + entryDepth));
  ZV_FUZZ_CHECK(EndsWith(out.get(), "\r\n"));
  ZV_FUZZ_CHECK(LineEndsWellFormed(out.get(), length));
}

// A log file that opens, is held by another program or is out of reach,
// as the input says, and that records what one call writes.
class LogOs final : public StrictOs {
 public:
  explicit LogOs(FuzzedDataProvider& in) : in_(in) {}

  void StartCall() {
    opens_ = 0;
    writes_ = 0;
    written_.clear();
  }
  int Opens() const { return opens_; }
  int Writes() const { return writes_; }
  bool FileOpen() const { return fileOpen_; }
  const std::string& Written() const { return written_; }

  LocalTime ReadLocalTime() override {
    LocalTime time;
    time.year = 2011;
    time.month = 3;
    time.day = 14;
    time.hour = 9;
    time.minute = 5;
    time.second = 7;
    return time;
  }
  uint32_t OpenForAppend(const char* path, OsHandle& file) override {
    ZV_FUZZ_CHECK(std::strcmp(path, kLogPath) == 0);
    ZV_FUZZ_CHECK(!fileOpen_);
    ++opens_;
    switch (in_.ConsumeIntegralInRange<int>(0, 3)) {
      case 0:
        return kErrorSharingViolation;
      case 1:
        return kErrorPathNotFound;
      default:
        file = kFile;
        fileOpen_ = true;
        return kErrorSuccess;
    }
  }
  bool AppendBytes(OsHandle file, const char* data, size_t size) override {
    ZV_FUZZ_CHECK(fileOpen_ && file == kFile);
    ++writes_;
    written_.assign(data, size);
    return in_.ConsumeBool();
  }
  void CloseFile(OsHandle file) override {
    ZV_FUZZ_CHECK(fileOpen_ && file == kFile);
    fileOpen_ = false;
  }
  void Pause(uint32_t milliseconds) override {
    ZV_FUZZ_CHECK(milliseconds == kLogOpenRetryPauseMs);
  }

 private:
  static constexpr OsHandle kFile = 0x40;
  FuzzedDataProvider& in_;
  bool fileOpen_ = false;
  int opens_ = 0;
  int writes_ = 0;
  std::string written_;
};

void CheckCallSequence(FuzzedDataProvider& in) {
  LogOs os(in);
  ActivityLog log(os);
  for (int call = 0; call < 200 && in.remaining_bytes() > 0; ++call) {
    const int delta = in.ConsumeIntegral<int>();
    const std::string message = in.ConsumeRandomLengthString(kLogMessageCapacity - 1);
    const int before = log.Depth();
    os.StartCall();
    log.WriteLog(delta, "%s", message.c_str());

    const int depth = log.Depth();
    ZV_FUZZ_CHECK(depth >= 0 && depth <= kMaxLogDepth && depth % 2 == 0);
    ZV_FUZZ_CHECK(!os.FileOpen());
    ZV_FUZZ_CHECK(os.Opens() >= 1 && os.Opens() <= kLogOpenAttempts);
    ZV_FUZZ_CHECK(os.Writes() <= 1);
    if (os.Writes() == 0) {
      ZV_FUZZ_CHECK(depth == before);
      continue;
    }
    int expected = before;
    if (delta > 0) expected = std::min(before + kLogDepthStep, kMaxLogDepth);
    if (delta < 0) expected = std::max(before - kLogDepthStep, 0);
    ZV_FUZZ_CHECK(depth == expected);
    const std::string& written = os.Written();
    ZV_FUZZ_CHECK(IndentedBy(written.data(), written.size(), before));
    ZV_FUZZ_CHECK(written.size() >= 2 && written.compare(written.size() - 2, 2, "\r\n") == 0);
    ZV_FUZZ_CHECK(LineEndsWellFormed(written.data(), written.size()));
  }
}

}  // namespace
}  // namespace zv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  zv::fuzz::CheckOneCall(in);
  zv::fuzz::CheckCallSequence(in);
  return 0;
}
