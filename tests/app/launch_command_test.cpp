#include "app/launch_command.h"

#include <gtest/gtest.h>

namespace {

TEST(LaunchCommandTest, SubstitutedPathsAreQuotedUnlessTheTemplateQuotesThem) {
  EXPECT_EQ(L"\"C:\\a b\\x.exe\" /S", SubstituteInstaller(L"{installer} /S", L"C:\\a b\\x.exe"));
  EXPECT_EQ(L"\"C:\\a b\\x.exe\" /S",
            SubstituteInstaller(L"\"{installer}\" /S", L"C:\\a b\\x.exe"));
  // Quoted even without a blank: "&", "(" or "^" in a profile folder would
  // split or change the line as well.
  EXPECT_EQ(L"\"C:\\A&B\\x.exe\" /D=\"C:\\A&B\\x.exe\"",
            SubstituteInstaller(L"{installer} /D={installer}", L"C:\\A&B\\x.exe"));
  EXPECT_EQ(L"run \"C:\\a b\" and \"C:\\a b\"",
            SubstituteInstaller(L"run {installer} and {installer}", L"C:\\a b"));
  // Inside a quoted stretch that merely starts earlier, no second quotes.
  EXPECT_EQ(L"x \"/log=C:\\a b\\log.txt\" \"C:\\a b\"",
            SubstituteInstaller(L"x \"/log={installer}\\log.txt\" {installer}", L"C:\\a b"));
  EXPECT_EQ(L"plain", SubstituteInstaller(L"plain", L"C:\\a b"));
  EXPECT_EQ(L"\"D:\\x\"\\y\\run.exe --from \"D:\\x\"",
            SubstituteTargetDir(L"{target_dir}\\y\\run.exe --from {target_dir}", L"D:\\x"));
}

TEST(LaunchCommandTest, ProgramAndArgumentsSplitByTheCommandLineRules) {
  struct Case {
    const wchar_t* command;
    const wchar_t* program;
    const wchar_t* arguments;
  } cases[] = {
      {L"C:\\app\\run.exe", L"C:\\app\\run.exe", L""},
      {L"  C:\\app\\run.exe  --flag \"two words\"", L"C:\\app\\run.exe", L"--flag \"two words\""},
      {L"\"C:\\a b\"\\bin\\app.exe --x", L"C:\\a b\\bin\\app.exe", L"--x"},
      {L"\"C:\\a b\\app.exe\"\t/S", L"C:\\a b\\app.exe", L"/S"},
      {L"C:\\a\"b c\"d.exe e", L"C:\\ab cd.exe", L"e"},
      {L"\"C:\\unclosed quote\\x.exe", L"C:\\unclosed quote\\x.exe", L""},
      {L"", L"", L""},
      {L"   ", L"", L""},
  };
  for (const Case& c : cases) {
    const ProgramAndArguments split = SplitProgramAndArguments(c.command);
    EXPECT_EQ(c.program, split.program) << c.command;
    EXPECT_EQ(c.arguments, split.arguments) << c.command;
  }
  const ProgramAndArguments substituted = SplitProgramAndArguments(
      SubstituteTargetDir(L"{target_dir}\\bin\\app.exe --dir {target_dir}", L"C:\\Users\\A B"));
  EXPECT_EQ(L"C:\\Users\\A B\\bin\\app.exe", substituted.program);
  EXPECT_EQ(L"--dir \"C:\\Users\\A B\"", substituted.arguments);
}

TEST(LaunchCommandTest, CommandProcessorLinesKeepTheirQuotes) {
  EXPECT_EQ(L"/S /C \"\"C:\\a b\\x.exe\" /S\"",
            CommandProcessorParameters(L"\"C:\\a b\\x.exe\" /S"));
  for (const wchar_t* path : {L"C:\\Users\\\u5F20 \u4E09&A\\x.exe", L"C:\\a^b\\(x)\\y.exe"}) {
    EXPECT_TRUE(IsSafeForCommandProcessor(path)) << path;
    EXPECT_EQ(path, ShortPathForCommandProcessor(path));
  }
  for (const wchar_t* path :
       {L"C:\\50%off\\x.exe", L"C:\\wow!\\x.exe", L"C:\\a\"b\\x.exe", L"C:\\a\nb\\x.exe", L""}) {
    EXPECT_FALSE(IsSafeForCommandProcessor(path)) << path;
  }
  // A path that does not exist has no short form to fall back to.
  EXPECT_EQ(L"", ShortPathForCommandProcessor(L"C:\\no such folder %x%\\setup.exe"));
}

TEST(LaunchCommandTest, ExtensionsComeFromTheFileNameInLowerCase) {
  EXPECT_EQ(L".exe", LowerCaseExtension(L"C:\\a\\SETUP.EXE"));
  EXPECT_EQ(L".zip", LowerCaseExtension(L"C:\\a\\pkg.tar.Zip"));
  EXPECT_EQ(L"", LowerCaseExtension(L"C:\\v1.2\\setup"));
  EXPECT_EQ(L"", LowerCaseExtension(L"C:/v1.2/setup"));
  EXPECT_EQ(L".", LowerCaseExtension(L"C:\\a\\setup."));
  EXPECT_EQ(L"", LowerCaseExtension(L""));
}

}  // namespace
