// The launcher's command line: the forms callers really use, each kind of
// usage error with the token it blames, and robustness against any bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <random>
#include <string>

#include "helper/helper.h"

namespace zv {
namespace {

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& tested) {
  return tested.param.name;
}

struct ValidCase {
  const char* name;
  std::string commandLine;
  const char* package;
  uint32_t language;
  const char* arguments;
};
// Test listings name the case instead of dumping its bytes.
void PrintTo(const ValidCase& c, std::ostream* out) { *out << c.name; }

class HelperParseValid : public ::testing::TestWithParam<ValidCase> {};

TEST_P(HelperParseValid, YieldsTheRequest) {
  const ValidCase& c = GetParam();
  HelperRequest request;
  ASSERT_EQ(ParseHelperCommandLine(c.commandLine.c_str(), request), HelperParseError::kNone)
      << DescribeHelperParseError(request.error) << " at " << request.problemOffset;
  EXPECT_EQ(request.error, HelperParseError::kNone);
  EXPECT_STREQ(request.package, c.package);
  EXPECT_EQ(request.language, c.language);
  EXPECT_STREQ(request.arguments, c.arguments);
}

const std::string kLongestArguments(kHelperArgumentsCapacity - 1, 'a');

INSTANTIATE_TEST_SUITE_P(
    Forms, HelperParseValid,
    ::testing::Values(
        // Zelvantorix hands over the arguments alone, after a blank.
        ValidCase{"FromZelvantorix", " /p dotnetfx35.exe /l 1033 /v \"/qb /norestart\"",
                  "dotnetfx35.exe", 1033, "/qb /norestart"},
        ValidCase{"ProgramName", "helper.exe /p dotnetfx35.exe /l 1033 /v \"/qb /norestart\"",
                  "dotnetfx35.exe", 1033, "/qb /norestart"},
        ValidCase{"QuotedProgramPath", "\"C:\\some dir\\helper.exe\" /p x.exe /l 1031", "x.exe",
                  1031, ""},
        ValidCase{"QuotedProgramPathTouchingOption", "\"C:\\a b\\helper.exe\"/p x.exe /l 7",
                  "x.exe", 7, ""},
        ValidCase{"NoNameNoLeadingBlank", "/p x.exe /l 1", "x.exe", 1, ""},
        ValidCase{"OptionsInAnyCase", "HELPER.EXE /P DotNetFx35.EXE /L 1036 /V \"/QB\"",
                  "DotNetFx35.EXE", 1036, "/QB"},
        ValidCase{"AnyOrder", " /v \"/q\" /l 65535 /p a.exe", "a.exe", 65535, "/q"},
        ValidCase{"OddBlanks", "\t /p\tx.exe  \t/l\r\n1033 \v\f /v   \"a  b\"  \t", "x.exe", 1033,
                  "a  b"},
        ValidCase{"QuotedTextKeptExactly", " /p a.exe /l 1 /v \"  /qb\t TARGET=C:\\x  \"", "a.exe",
                  1, "  /qb\t TARGET=C:\\x  "},
        // A quote closes only before a blank or the end, so the arguments
        // can quote a value of their own.
        ValidCase{"QuotesInsideArguments", " /p a.exe /l 1 /v \"/qb DIR=\"C:\\x y\"\"", "a.exe", 1,
                  "/qb DIR=\"C:\\x y\""},
        ValidCase{"EmptyQuotedArguments", " /p a.exe /l 1 /v \"\"", "a.exe", 1, ""},
        ValidCase{"BareArguments", " /p a.exe /l 1 /v REBOOT=ReallySuppress", "a.exe", 1,
                  "REBOOT=ReallySuppress"},
        ValidCase{"QuotedPackageAndLanguage", " /p \"my setup.exe\" /l \"1033\"", "my setup.exe",
                  1033, ""},
        ValidCase{"LeadingZeros", " /p a.exe /l 0001033", "a.exe", 1033, ""},
        ValidCase{"LongestArguments", " /p a.exe /l 1 /v \"" + kLongestArguments + "\"", "a.exe",
                  1, kLongestArguments.c_str()}),
    CaseName<ValidCase>);

struct ErrorCase {
  const char* name;
  std::string commandLine;
  HelperParseError error;
  std::string blamed;  // the token the error points at; empty when something is missing
};
void PrintTo(const ErrorCase& c, std::ostream* out) { *out << c.name; }

class HelperParseUsage : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(HelperParseUsage, BlamesTheToken) {
  const ErrorCase& c = GetParam();
  HelperRequest request;
  EXPECT_EQ(ParseHelperCommandLine(c.commandLine.c_str(), request), c.error);
  EXPECT_EQ(request.error, c.error);
  ASSERT_LE(request.problemOffset + request.problemLength, c.commandLine.size());
  EXPECT_EQ(c.commandLine.substr(request.problemOffset, request.problemLength), c.blamed);
}

const std::string kPackageTooLong = std::string(kHelperPathCapacity, 'a') + ".exe";
const std::string kArgumentsTooLong(kHelperArgumentsCapacity, 'a');

INSTANTIATE_TEST_SUITE_P(
    Usage, HelperParseUsage,
    ::testing::Values(
        ErrorCase{"Empty", "", HelperParseError::kMissingPackage, ""},
        ErrorCase{"NameOnly", "helper.exe", HelperParseError::kMissingPackage, ""},
        ErrorCase{"NoPackage", " /l 1033 /v \"/qb\"", HelperParseError::kMissingPackage, ""},
        ErrorCase{"NoLanguage", " /p a.exe /v \"/qb\"", HelperParseError::kMissingLanguage, ""},
        ErrorCase{"UnknownOption", " /p a.exe /l 1033 /x 1", HelperParseError::kUnknownOption,
                  "/x"},
        ErrorCase{"LongerOption", " /pp a.exe /l 1", HelperParseError::kUnknownOption, "/pp"},
        ErrorCase{"BareSlash", " / /p a.exe /l 1", HelperParseError::kUnknownOption, "/"},
        ErrorCase{"RepeatedOption", " /p a.exe /l 1033 /p b.exe",
                  HelperParseError::kRepeatedOption, "/p"},
        ErrorCase{"RepeatedInOtherCase", " /v x /l 1 /V y", HelperParseError::kRepeatedOption,
                  "/V"},
        ErrorCase{"ValueAtEnd", " /p a.exe /l", HelperParseError::kMissingValue, "/l"},
        ErrorCase{"OptionInsteadOfValue", " /p /l 1033", HelperParseError::kMissingValue, "/p"},
        ErrorCase{"BareSlashValue", " /p a.exe /l 1 /v /qb", HelperParseError::kMissingValue,
                  "/v"},
        ErrorCase{"StrayToken", " /p a.exe /l 1033 extra", HelperParseError::kStrayToken,
                  "extra"},
        ErrorCase{"DashOption", "helper.exe -p a.exe /l 1", HelperParseError::kStrayToken, "-p"},
        ErrorCase{"StrayQuoted", " /p a.exe /l 1 \"x y\"", HelperParseError::kStrayToken,
                  "\"x y\""},
        ErrorCase{"UnclosedQuote", " /p a.exe /l 1033 /v \"/qb /norestart",
                  HelperParseError::kUnclosedQuote, "\"/qb /norestart"},
        ErrorCase{"QuoteNotBeforeBlank", " /p a.exe /l 1 /v \"a\"b",
                  HelperParseError::kUnclosedQuote, "\"a\"b"},
        ErrorCase{"LoneQuote", " /p a.exe /l 1 \"", HelperParseError::kUnclosedQuote, "\""},
        ErrorCase{"PackageInParentFolder", " /p ..\\a.exe /l 1", HelperParseError::kBadPackage,
                  "..\\a.exe"},
        ErrorCase{"PackageWithPath", " /p \"C:\\x\\a.exe\" /l 1", HelperParseError::kBadPackage,
                  "\"C:\\x\\a.exe\""},
        ErrorCase{"PackageWithSlash", " /p dir/a.exe /l 1", HelperParseError::kBadPackage,
                  "dir/a.exe"},
        ErrorCase{"PackageOnDrive", " /p C:a.exe /l 1", HelperParseError::kBadPackage, "C:a.exe"},
        ErrorCase{"PackageDots", " /p a..exe /l 1", HelperParseError::kBadPackage, "a..exe"},
        ErrorCase{"PackageNotProgram", " /p netfx.msi /l 1", HelperParseError::kBadPackage,
                  "netfx.msi"},
        ErrorCase{"PackageExtensionOnly", " /p .EXE /l 1", HelperParseError::kBadPackage, ".EXE"},
        ErrorCase{"PackageEmpty", " /p \"\" /l 1", HelperParseError::kBadPackage, "\"\""},
        ErrorCase{"PackageWildcard", " /p *.exe /l 1", HelperParseError::kBadPackage, "*.exe"},
        ErrorCase{"PackageControl", " /p a\x01.exe /l 1", HelperParseError::kBadPackage,
                  "a\x01.exe"},
        ErrorCase{"PackageTooLong", " /p " + kPackageTooLong + " /l 1",
                  HelperParseError::kBadPackage, kPackageTooLong},
        ErrorCase{"LanguageZero", " /p a.exe /l 0", HelperParseError::kBadLanguage, "0"},
        ErrorCase{"LanguageTooBig", " /p a.exe /l 65536", HelperParseError::kBadLanguage,
                  "65536"},
        ErrorCase{"LanguageHuge", " /p a.exe /l 99999999999999999999999",
                  HelperParseError::kBadLanguage, "99999999999999999999999"},
        ErrorCase{"LanguageNegative", " /p a.exe /l -1", HelperParseError::kBadLanguage, "-1"},
        ErrorCase{"LanguageSigned", " /p a.exe /l +1", HelperParseError::kBadLanguage, "+1"},
        ErrorCase{"LanguageHex", " /p a.exe /l 0x409", HelperParseError::kBadLanguage, "0x409"},
        ErrorCase{"LanguageText", " /p a.exe /l ENU", HelperParseError::kBadLanguage, "ENU"},
        ErrorCase{"LanguageEmpty", " /p a.exe /l \"\"", HelperParseError::kBadLanguage, "\"\""},
        ErrorCase{"ArgumentsTooLong", " /p a.exe /l 1 /v \"" + kArgumentsTooLong + "\"",
                  HelperParseError::kArgumentsTooLong, "\"" + kArgumentsTooLong + "\""}),
    CaseName<ErrorCase>);

TEST(HelperParse, NullReadsAsEmpty) {
  HelperRequest request;
  EXPECT_EQ(ParseHelperCommandLine(nullptr, request), HelperParseError::kMissingPackage);
}

TEST(HelperParse, ForgetsAnEarlierRequest) {
  HelperRequest request;
  ASSERT_EQ(ParseHelperCommandLine(" /p a.exe /l 1 /v x", request), HelperParseError::kNone);
  ASSERT_EQ(ParseHelperCommandLine(" /p b.exe /l 2", request), HelperParseError::kNone);
  EXPECT_STREQ(request.package, "b.exe");
  EXPECT_STREQ(request.arguments, "");
}

// Random command lines made of the characters that steer the parser:
// under the sanitizers any read or write out of bounds fails the test, and
// every answer must be one the caller can use safely.
TEST(HelperParse, AnyBytesGiveAUsableAnswer) {
  static const char kAlphabet[] = "/pPlLvVx\" \t\r.exE019\\:-\x01\xff";
  std::mt19937 random(20110314);
  std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 2);
  std::uniform_int_distribution<size_t> length(0, 40);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const size_t n = length(random);
    for (size_t i = 0; i < n; ++i) text += kAlphabet[pick(random)];
    if (round % 3 == 0) text = " /p a.exe /l 1 " + text;
    HelperRequest request;
    const HelperParseError error = ParseHelperCommandLine(text.c_str(), request);
    ASSERT_EQ(error, request.error) << text;
    if (error == HelperParseError::kNone) {
      ASSERT_GT(std::strlen(request.package), 4u) << text;
      ASSERT_EQ(std::strpbrk(request.package, "\\/:\""), nullptr) << text;
      ASSERT_GE(request.language, 1u) << text;
      ASSERT_LE(request.language, 65535u) << text;
    } else {
      ASSERT_LE(request.problemOffset + request.problemLength, text.size()) << text;
    }
  }
}

}  // namespace
}  // namespace zv
