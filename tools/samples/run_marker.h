// RunMarker: the file in which a sample program (Fernwick.exe,
// fernwick-setup.exe) records how it was started, so that a person or a test
// can tell from outside that a launch happened and with what.
//
// The file is UTF-8 text, one "key=value" per line:
//   program=<variant name>         "product" or "setup"
//   command_line=<whole command line as the process received it>
//   arg=<argument>                 one line per argument after the program name
//   module=<full path of the executable>
//   cwd=<current directory at start>
// plus any lines the caller adds. It is written beside the executable under
// a default name, or to the path in the environment variable FERNWICK_MARKER
// when that is set (tests). It appears whole: written aside, then renamed.
//
// A plain value type; any thread, used on the program's only thread here.
#pragma once

#include <string>
#include <vector>

class RunMarker {
 public:
  // variant: "product" or "setup"; arguments: those after the program name.
  RunMarker(std::wstring variant, std::vector<std::wstring> arguments);

  void Add(const std::wstring& key, const std::wstring& value);

  // The marker's path: FERNWICK_MARKER, else default_name beside the module.
  static std::wstring PathFor(const std::wstring& default_name);

  // Writes the file; false when it could not be written.
  bool Write(const std::wstring& path) const;

  // The UTF-8 text Write puts in the file.
  std::string Text() const;

 private:
  std::vector<std::pair<std::wstring, std::wstring>> lines_;
};

// The full path of this process's executable, and its folder.
std::wstring ModulePath();
std::wstring ModuleFolder();
