// The activity log: an append-only text file of time-stamped entry lines,
// with "{" and "}" lines around blocks and the entries inside a block
// indented by two blanks per level.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "platform/handles.h"
#include "platform/os.h"

namespace zv {

constexpr char kTqvFolder[] = "C:\\TQV";
constexpr char kLogFolder[] = "C:\\TQV\\Logs";
constexpr char kLogPath[] = "C:\\TQV\\Logs\\Zelvantorix.log";

constexpr int kLogDepthStep = 2;
constexpr int kMaxLogDepth = 100;
// The expanded message, its terminator included.
constexpr size_t kLogMessageCapacity = 2048;
// Room for the lines of one call: at most two brace lines and one entry
// line whose every message character may be a line break that becomes
// CR LF.
constexpr size_t kLogLinesCapacity = 2 * (kMaxLogDepth + 3) + kMaxLogDepth + 18 +
                                     2 * (kLogMessageCapacity - 1) + 2 + 1;

// How often, and how far apart, an open that another program's handle
// refuses is tried again before the call gives up (a quarter second in all).
constexpr int kLogOpenAttempts = 6;
constexpr unsigned kLogOpenRetryPauseMs = 50;

// --- Decisions, as plain functions --------------------------------------

// The block delta by its sign: -1, 0 or +1.
int NormalizeBlockDelta(int blockDelta);
int DepthAfterOpening(int depth);
int DepthAfterClosing(int depth);

// "DD-MM-YY" and "hh:mm:ss" of a local time; each buffer holds 9 characters.
void FormatDateStamp(const LocalTime& time, char (&stamp)[9]);
void FormatTimeStamp(const LocalTime& time, char (&stamp)[9]);

// Appends one line to out (capacity counts the terminator) and returns the
// new length. Entry line: depth blanks, the stamps, the message, CR LF,
// where every line break of the message (LF, CR or CR LF) is written as
// CR LF. Brace line: depth blanks, the brace, CR LF.
size_t AppendEntryLine(char* out, size_t capacity, size_t length, int depth,
                       const LocalTime& time, const char* message);
size_t AppendBraceLine(char* out, size_t capacity, size_t length, int depth, char brace);

// --- The writer ----------------------------------------------------------

class ActivityLog {
 public:
  explicit ActivityLog(Os& os, const char* path = kLogPath) : os_(os), path_(path) {}

  // Appends one entry line, opening a block before it (blockDelta > 0) or
  // closing one after it (blockDelta < 0). All lines of one call go to the
  // end of the file in a single write. When the file cannot be opened
  // nothing is written and the depth keeps its value.
  void WriteLog(int blockDelta, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;
  void WriteLogV(int blockDelta, const char* format, va_list args);

  int Depth() const { return depth_; }

 private:
  bool Open(UniqueFile& file);

  Os& os_;
  const char* path_;
  int depth_ = 0;
};

}  // namespace zv
