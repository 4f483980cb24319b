// helper.exe: the sibling launcher that Zelvantorix starts on the systems
// that take the framework's redistributable package. It runs one package
// that lies beside it and passes the package's exit code on unchanged:
//
//   helper.exe /p <package.exe> /l <language id> [/v "<arguments>"]
//
// The launcher reaches Windows only through Os; all of its logic lives
// here so that the host tests drive it against the simulated Windows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os.h"

namespace zv {

// The launcher's own exit codes. They differ from Zelvantorix's own codes
// (-1 to -4) and from the codes installers use, so that whoever reads the
// exit code can tell the launcher's failures from the package's. Any other
// code is the package's own, passed on bit for bit.
constexpr int32_t kHelperUsageError = -10;        // the command line was not understood
constexpr int32_t kHelperStartFailed = -11;       // the package could not be started
constexpr int32_t kHelperExitCodeUnknown = -12;   // it ran, its exit code could not be read

// Capacities, counting the terminating zero. A package's full path must
// fit the 260 characters that Windows allows an application name.
constexpr size_t kHelperPathCapacity = 260;
constexpr size_t kHelperArgumentsCapacity = 1024;

enum class HelperParseError {
  kNone,
  kUnknownOption,     // a token starting with '/' that is not /p, /l or /v
  kRepeatedOption,    // an option given twice
  kMissingValue,      // an option at the end, or followed by another option
  kStrayToken,        // a token that is neither an option nor an option's value
  kUnclosedQuote,     // a quoted value without its closing quote
  kMissingPackage,    // no /p
  kMissingLanguage,   // no /l
  kBadPackage,        // /p is not a plain file name ending in .exe
  kBadLanguage,       // /l is not a decimal number from 1 to 65535
  kArgumentsTooLong,  // /v does not fit kHelperArgumentsCapacity
};

// What the command line asks for. On a parse error, problemOffset and
// problemLength point at the token at fault inside the parsed text
// (length 0 when the fault is something missing).
struct HelperRequest {
  char package[kHelperPathCapacity] = {};
  uint32_t language = 0;
  char arguments[kHelperArgumentsCapacity] = {};
  HelperParseError error = HelperParseError::kNone;
  size_t problemOffset = 0;
  size_t problemLength = 0;
};

// Parses the whole command line as the launcher receives it: with or
// without the program's name in front (a first token that does not start
// with '/' is the program's name). Options are case-insensitive; each
// value is one token, which may be enclosed in double quotes (removed; the
// text between them is kept exactly). A pure function: it reads the text
// up to its terminating zero (a null pointer reads as an empty text),
// writes only into request, and never allocates.
HelperParseError ParseHelperCommandLine(const char* commandLine, HelperRequest& request);

// A short description of a parse error, without the token at fault.
const char* DescribeHelperParseError(HelperParseError error);

// The whole launcher: parses this process's command line, starts the
// package from this program's own folder with the /v arguments, waits for
// it and returns its exit code, or one of the launcher's own codes above.
int32_t RunHelper(Os& os);

}  // namespace zv
