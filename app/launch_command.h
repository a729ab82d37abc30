// Launch commands: turning the service's "launch_cmd" template into what is
// actually started. The template comes from the operator's service and the
// substituted paths from the user's profile, so neither may split the
// command: every substituted path is quoted, a command for the command
// processor is wrapped so that its own quotes survive, and a path the
// command processor cannot carry inside quotes is replaced by its short form
// or refused.
// Pure functions but for ShortPathForCommandProcessor (file system); any
// thread.
#pragma once

#include <string>

// Replaces every "{installer}" of |command| with |path|, in quotes unless
// the placeholder already stands inside quotes.
std::wstring SubstituteInstaller(const std::wstring& command, const std::wstring& path);
// Replaces every "{target_dir}" of |command| with |target|, in quotes unless
// the placeholder already stands inside quotes.
std::wstring SubstituteTargetDir(const std::wstring& command, const std::wstring& target);

// A command split into the program and the rest of the line, by the rules
// Windows programs read their command line with: blanks and tabs outside
// quotes end the program, quotes group and are dropped. The arguments are
// kept as written (after the blanks that separate them from the program).
struct ProgramAndArguments {
  std::wstring program;
  std::wstring arguments;
};
ProgramAndArguments SplitProgramAndArguments(const std::wstring& command);

// Whether |path| can stand inside quotes on a command-processor line as it
// is: "%" and "!" would still be expanded there, a quote would end the
// quoting, and control characters end or change the line.
bool IsSafeForCommandProcessor(const std::wstring& path);

// |path| itself when it is safe for the command processor, else its short
// (8.3) form when that one is; "" when neither is.
std::wstring ShortPathForCommandProcessor(const std::wstring& path);

// The parameters of the command processor for |command|: "/S /C " and the
// command in one more pair of quotes, which the processor strips before it
// reads the command, so quotes inside the command stay as written.
std::wstring CommandProcessorParameters(const std::wstring& command);

// The file-name extension of |path| (from the last "." of its last segment,
// in lower case), "" when the name has none.
std::wstring LowerCaseExtension(const std::wstring& path);
