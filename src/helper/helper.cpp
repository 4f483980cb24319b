#include "helper/helper.h"

#include <cstring>

#include "common/text.h"
#include "platform/handles.h"
#include "platform/system_error.h"

namespace zv {

namespace {

constexpr char kEndOfLine[] = "\r\n";
constexpr char kUsage[] =
    "usage: helper.exe /p <package.exe> /l <language id> [/v \"<arguments>\"]\r\n"
    "  Runs the package that lies beside helper.exe and exits with its exit code.\r\n";

// The child's command line: the quoted full path, a blank, the arguments.
constexpr size_t kCommandLineCapacity = kHelperPathCapacity + 3 + kHelperArgumentsCapacity;
constexpr size_t kMessageCapacity = 512;
constexpr size_t kProgressCapacity = kHelperPathCapacity + kHelperArgumentsCapacity + 64;
constexpr size_t kErrorTextCapacity = 160;
// At most this much of a token at fault is shown in a usage error.
constexpr size_t kShownTokenLength = 60;

static_assert(kHelperArgumentsCapacity == 1024, "the usage error text names the limit");

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// One token of the command line. A quoted token runs from its opening
// quote to the first quote that is followed by a blank or the end, so a
// value may itself hold quotes; its value is the text between the two.
struct Token {
  size_t start = 0;        // offset of the token's first character
  size_t rawLength = 0;    // length including the quotes
  size_t valueStart = 0;   // offset of the value
  size_t valueLength = 0;  // length of the value
  bool quoted = false;
};

enum class TokenRead { kToken, kEnd, kUnclosedQuote };

TokenRead ReadToken(const char* text, size_t& position, Token& token) {
  while (IsBlank(text[position])) ++position;
  if (text[position] == '\0') return TokenRead::kEnd;
  token = Token{};
  token.start = position;
  if (text[position] == '"') {
    token.quoted = true;
    size_t end = position + 1;
    while (text[end] != '\0' && !(text[end] == '"' && (text[end + 1] == '\0' ||
                                                       IsBlank(text[end + 1])))) {
      ++end;
    }
    if (text[end] == '\0') {
      token.rawLength = end - position;
      position = end;
      return TokenRead::kUnclosedQuote;
    }
    token.valueStart = position + 1;
    token.valueLength = end - token.valueStart;
    position = end + 1;
  } else {
    size_t end = position;
    while (text[end] != '\0' && !IsBlank(text[end])) ++end;
    token.valueStart = position;
    token.valueLength = end - position;
    position = end;
  }
  token.rawLength = position - token.start;
  return TokenRead::kToken;
}

bool IsOption(const char* text, const Token& token) {
  return !token.quoted && text[token.start] == '/';
}

// Skips the program's name when the line starts with one: the first token,
// unless it is an option. A quoted name ends at its closing quote, as
// Windows reads a program's name.
void SkipProgramName(const char* text, size_t& position) {
  while (IsBlank(text[position])) ++position;
  if (text[position] == '"') {
    ++position;
    while (text[position] != '\0' && text[position] != '"') ++position;
    if (text[position] == '"') ++position;
    return;
  }
  if (text[position] == '/') return;
  while (text[position] != '\0' && !IsBlank(text[position])) ++position;
}

bool IsPlainPackageName(const char* name, size_t length) {
  static constexpr char kExtension[] = ".exe";
  constexpr size_t kExtensionLength = sizeof kExtension - 1;
  if (length <= kExtensionLength || length >= kHelperPathCapacity) return false;
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    // No folder, no drive, no stream, nothing Windows refuses in a name.
    if (c < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr) return false;
    if (c == '.' && i + 1 < length && name[i + 1] == '.') return false;
  }
  for (size_t i = 0; i < kExtensionLength; ++i) {
    if (Lower(name[length - kExtensionLength + i]) != kExtension[i]) return false;
  }
  return true;
}

bool ParseLanguage(const char* text, size_t length, uint32_t& language) {
  if (length == 0) return false;
  uint32_t value = 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + static_cast<uint32_t>(text[i] - '0');
    if (value > 65535) return false;
  }
  if (value == 0) return false;
  language = value;
  return true;
}

HelperParseError Fail(HelperRequest& request, HelperParseError error, size_t offset,
                      size_t length) {
  request.error = error;
  request.problemOffset = offset;
  request.problemLength = length;
  return error;
}

void WriteLine(Os& os, void (Os::*write)(const char*, size_t), const char* text) {
  (os.*write)(text, std::strlen(text));
  (os.*write)(kEndOfLine, sizeof kEndOfLine - 1);
}

void ReportUsageError(Os& os, const char* commandLine, const HelperRequest& request) {
  char token[kShownTokenLength + 4] = {};
  size_t length = request.problemLength;
  const bool cut = length > kShownTokenLength;
  if (cut) length = kShownTokenLength;
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(commandLine[request.problemOffset + i]);
    token[i] = c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
  }
  if (cut) std::memcpy(token + length, "...", 3);

  char message[kMessageCapacity] = {};
  if (request.problemLength == 0) {
    FormatText(message, sizeof message, "helper: %s", DescribeHelperParseError(request.error));
  } else {
    FormatText(message, sizeof message, "helper: %s: %s", DescribeHelperParseError(request.error),
               token);
  }
  WriteLine(os, &Os::WriteStandardError, message);
  os.WriteStandardError(kUsage, sizeof kUsage - 1);
}

}  // namespace

HelperParseError ParseHelperCommandLine(const char* commandLine, HelperRequest& request) {
  request = HelperRequest{};
  const char* text = commandLine != nullptr ? commandLine : "";
  size_t position = 0;
  SkipProgramName(text, position);

  bool havePackage = false;
  bool haveLanguage = false;
  bool haveArguments = false;
  Token option;
  for (;;) {
    TokenRead read = ReadToken(text, position, option);
    if (read == TokenRead::kEnd) break;
    if (read == TokenRead::kUnclosedQuote) {
      return Fail(request, HelperParseError::kUnclosedQuote, option.start, option.rawLength);
    }
    if (!IsOption(text, option)) {
      return Fail(request, HelperParseError::kStrayToken, option.start, option.rawLength);
    }
    bool* seen = nullptr;
    if (option.rawLength == 2) {
      switch (Lower(text[option.start + 1])) {
        case 'p': seen = &havePackage; break;
        case 'l': seen = &haveLanguage; break;
        case 'v': seen = &haveArguments; break;
        default: break;
      }
    }
    if (seen == nullptr) {
      return Fail(request, HelperParseError::kUnknownOption, option.start, option.rawLength);
    }
    if (*seen) {
      return Fail(request, HelperParseError::kRepeatedOption, option.start, option.rawLength);
    }
    *seen = true;

    // The value: the next token, unless the line ends or another option
    // follows (a value that starts with '/' must be quoted).
    Token value;
    read = ReadToken(text, position, value);
    if (read == TokenRead::kEnd || (read == TokenRead::kToken && IsOption(text, value))) {
      return Fail(request, HelperParseError::kMissingValue, option.start, option.rawLength);
    }
    if (read == TokenRead::kUnclosedQuote) {
      return Fail(request, HelperParseError::kUnclosedQuote, value.start, value.rawLength);
    }
    const char* valueText = text + value.valueStart;
    if (seen == &havePackage) {
      if (!IsPlainPackageName(valueText, value.valueLength)) {
        return Fail(request, HelperParseError::kBadPackage, value.start, value.rawLength);
      }
      std::memcpy(request.package, valueText, value.valueLength);
      request.package[value.valueLength] = '\0';
    } else if (seen == &haveLanguage) {
      if (!ParseLanguage(valueText, value.valueLength, request.language)) {
        return Fail(request, HelperParseError::kBadLanguage, value.start, value.rawLength);
      }
    } else {
      if (value.valueLength >= sizeof request.arguments) {
        return Fail(request, HelperParseError::kArgumentsTooLong, value.start, value.rawLength);
      }
      std::memcpy(request.arguments, valueText, value.valueLength);
      request.arguments[value.valueLength] = '\0';
    }
  }
  if (!havePackage) return Fail(request, HelperParseError::kMissingPackage, position, 0);
  if (!haveLanguage) return Fail(request, HelperParseError::kMissingLanguage, position, 0);
  return HelperParseError::kNone;
}

const char* DescribeHelperParseError(HelperParseError error) {
  switch (error) {
    case HelperParseError::kNone: return "no error";
    case HelperParseError::kUnknownOption: return "unknown option";
    case HelperParseError::kRepeatedOption: return "option given more than once";
    case HelperParseError::kMissingValue: return "option without its value";
    case HelperParseError::kStrayToken: return "unexpected text";
    case HelperParseError::kUnclosedQuote: return "quoted value without its closing quote";
    case HelperParseError::kMissingPackage: return "the package (/p) is missing";
    case HelperParseError::kMissingLanguage: return "the language id (/l) is missing";
    case HelperParseError::kBadPackage:
      return "the package must be a plain file name ending in .exe";
    case HelperParseError::kBadLanguage:
      return "the language id must be a decimal number from 1 to 65535";
    case HelperParseError::kArgumentsTooLong:
      return "the arguments (/v) are longer than 1023 characters";
  }
  return "unknown error";
}

int32_t RunHelper(Os& os) {
  const char* commandLine = os.CommandLineText();
  if (commandLine == nullptr) commandLine = "";
  HelperRequest request;
  if (ParseHelperCommandLine(commandLine, request) != HelperParseError::kNone) {
    ReportUsageError(os, commandLine, request);
    return kHelperUsageError;
  }

  // The package lies beside this program, never in the current folder.
  char message[kMessageCapacity] = {};
  char path[kHelperPathCapacity] = {};
  char* separator = nullptr;
  if (os.ProgramPath(path, sizeof path)) {
    separator = std::strrchr(path, '\\');
    char* slash = std::strrchr(path, '/');
    if (slash != nullptr && (separator == nullptr || slash > separator)) separator = slash;
  }
  if (separator == nullptr) {
    WriteLine(os, &Os::WriteStandardError, "helper: cannot tell the folder helper.exe lies in");
    return kHelperStartFailed;
  }
  const size_t folderLength = static_cast<size_t>(separator - path);
  const size_t packageLength = std::strlen(request.package);
  if (folderLength + 1 + packageLength >= sizeof path) {
    separator[1] = '\0';
    FormatText(message, sizeof message, "helper: the path of %s in %s is too long",
               request.package, path);
    WriteLine(os, &Os::WriteStandardError, message);
    return kHelperStartFailed;
  }
  separator[0] = '\\';
  std::memcpy(separator + 1, request.package, packageLength + 1);

  char childCommandLine[kCommandLineCapacity] = {};
  if (request.arguments[0] == '\0') {
    FormatText(childCommandLine, sizeof childCommandLine, "\"%s\"", path);
  } else {
    FormatText(childCommandLine, sizeof childCommandLine, "\"%s\" %s", path, request.arguments);
  }

  char progress[kProgressCapacity] = {};
  FormatText(progress, sizeof progress, "helper: running %s%s%s (language %u)", request.package,
             request.arguments[0] == '\0' ? "" : " ", request.arguments,
             static_cast<unsigned>(request.language));
  WriteLine(os, &Os::WriteStandardOutput, progress);

  // Declared thread first so that the process handle is closed first.
  UniqueKernelHandle thread(os);
  UniqueKernelHandle process(os);
  if (!os.StartProcess(path, childCommandLine, process.Receive(), thread.Receive())) {
    const uint32_t error = os.LastError();
    char reason[kErrorTextCapacity] = {};
    DescribeSystemError(os, error, reason, sizeof reason);
    FormatText(message, sizeof message, "helper: cannot start %s: %s", path, reason);
    WriteLine(os, &Os::WriteStandardError, message);
    return kHelperStartFailed;
  }
  os.WaitForProcess(process.Get());
  uint32_t exitCode = 0;
  if (!os.ReadExitCode(process.Get(), exitCode)) {
    FormatText(message, sizeof message, "helper: %s ended, but its exit code could not be read",
               request.package);
    WriteLine(os, &Os::WriteStandardError, message);
    return kHelperExitCodeUnknown;
  }
  // Bit for bit: a code with its top bit set comes back as a negative one.
  return static_cast<int32_t>(exitCode);
}

}  // namespace zv
