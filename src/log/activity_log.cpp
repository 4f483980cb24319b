#include "log/activity_log.h"

#include "common/text.h"

namespace zv {

int NormalizeBlockDelta(int blockDelta) {
  if (blockDelta > 0) return 1;
  if (blockDelta < 0) return -1;
  return 0;
}

int DepthAfterOpening(int depth) {
  return depth + kLogDepthStep > kMaxLogDepth ? kMaxLogDepth : depth + kLogDepthStep;
}

int DepthAfterClosing(int depth) {
  return depth - kLogDepthStep < 0 ? 0 : depth - kLogDepthStep;
}

namespace {

void TwoDigits(char* out, unsigned value) {
  out[0] = static_cast<char>('0' + (value / 10) % 10);
  out[1] = static_cast<char>('0' + value % 10);
}

void ThreePairs(char (&stamp)[9], unsigned a, unsigned b, unsigned c, char separator) {
  TwoDigits(stamp, a);
  stamp[2] = separator;
  TwoDigits(stamp + 3, b);
  stamp[5] = separator;
  TwoDigits(stamp + 6, c);
  stamp[8] = '\0';
}

// Appends count copies of c, or as many as fit.
size_t AppendRepeated(char* out, size_t capacity, size_t length, char c, size_t count) {
  while (count-- > 0 && length + 1 < capacity) out[length++] = c;
  out[length] = '\0';
  return length;
}

size_t AppendText(char* out, size_t capacity, size_t length, const char* text) {
  while (*text != '\0' && length + 1 < capacity) out[length++] = *text++;
  out[length] = '\0';
  return length;
}

size_t Indent(char* out, size_t capacity, size_t length, int depth) {
  return AppendRepeated(out, capacity, length, ' ', depth > 0 ? static_cast<size_t>(depth) : 0);
}

}  // namespace

void FormatDateStamp(const LocalTime& time, char (&stamp)[9]) {
  ThreePairs(stamp, time.day, time.month, time.year % 100u, '-');
}

void FormatTimeStamp(const LocalTime& time, char (&stamp)[9]) {
  ThreePairs(stamp, time.hour, time.minute, time.second, ':');
}

size_t AppendEntryLine(char* out, size_t capacity, size_t length, int depth,
                       const LocalTime& time, const char* message) {
  char date[9];
  char clock[9];
  FormatDateStamp(time, date);
  FormatTimeStamp(time, clock);
  length = Indent(out, capacity, length, depth);
  length = AppendText(out, capacity, length, date);
  length = AppendText(out, capacity, length, " ");
  length = AppendText(out, capacity, length, clock);
  length = AppendText(out, capacity, length, " ");
  for (const char* p = message; *p != '\0' && length + 1 < capacity; ++p) {
    if (*p == '\n' && (p == message || p[-1] != '\r')) {
      if (length + 2 >= capacity) break;
      out[length++] = '\r';
    }
    out[length++] = *p;
    // A CR that no LF follows would stand alone, or double the CR of the
    // line end: it ends a line as well.
    if (*p == '\r' && p[1] != '\n') {
      if (length + 1 >= capacity) break;
      out[length++] = '\n';
    }
  }
  out[length] = '\0';
  return AppendText(out, capacity, length, "\r\n");
}

size_t AppendBraceLine(char* out, size_t capacity, size_t length, int depth, char brace) {
  length = Indent(out, capacity, length, depth);
  length = AppendRepeated(out, capacity, length, brace, 1);
  return AppendText(out, capacity, length, "\r\n");
}

void ActivityLog::WriteLog(int blockDelta, const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLogV(blockDelta, format, args);
  va_end(args);
}

bool ActivityLog::Open(UniqueFile& file) {
  for (int attempt = 1;; ++attempt) {
    uint32_t error = os_.OpenForAppend(path_, file.Receive());
    if (error == kErrorSuccess && file.IsOpen()) return true;
    // Only another program's handle is worth waiting for; a missing folder
    // or a refused right stays as it is.
    if (error != kErrorSharingViolation || attempt >= kLogOpenAttempts) return false;
    os_.Pause(kLogOpenRetryPauseMs);
  }
}

void ActivityLog::WriteLogV(int blockDelta, const char* format, va_list args) {
  int delta = NormalizeBlockDelta(blockDelta);
  char message[kLogMessageCapacity];
  FormatTextV(message, sizeof message, format, args);
  // One reading of the clock for both stamps, so that a line written as
  // the day turns never pairs one day's time with the next day's date.
  LocalTime now = os_.ReadLocalTime();

  UniqueFile file(os_);
  if (!Open(file)) return;

  char lines[kLogLinesCapacity];
  size_t length = 0;
  lines[0] = '\0';
  if (delta > 0) {
    length = AppendBraceLine(lines, sizeof lines, length, depth_, '{');
    depth_ = DepthAfterOpening(depth_);
  }
  length = AppendEntryLine(lines, sizeof lines, length, depth_, now, message);
  if (delta < 0) {
    depth_ = DepthAfterClosing(depth_);
    length = AppendBraceLine(lines, sizeof lines, length, depth_, '}');
  }
  // A failed write changes nothing for the run: the depth moves as though
  // the lines had been written.
  os_.AppendBytes(file.Get(), lines, length);
}

}  // namespace zv
