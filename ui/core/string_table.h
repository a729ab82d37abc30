// StringTable: the language strings of the skin, read from a UTF-8 file of
// "id = text" lines.
//
// Lines are trimmed of blanks and control characters, lines that do not split
// into exactly two non-empty pieces around "=" are ignored, ids containing
// ";" are comments, and a later line wins over an earlier one with the same
// id. Texts keep "\r" and "\n" as written; GetText turns them into real line
// breaks. Owned by the GlobalManager; UI thread only.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace ui {

class StringTable {
 public:
  // Each load clears the table first. A file that cannot be opened, or one
  // without any line, answers false.
  bool LoadFromFile(const std::wstring& path);
  // The bytes are split at line feeds and NUL bytes.
  bool LoadFromMemory(const char* data, size_t size);
  // |lines| are UTF-8; an empty list answers false.
  bool LoadFromLines(const std::vector<std::string>& lines);

  // The text for |id| with the two-character sequences \r and \n replaced by
  // a carriage return and a line feed; "" for an empty or unknown id.
  std::wstring GetText(const std::wstring& id) const;

  void Clear() { strings_.clear(); }
  size_t size() const { return strings_.size(); }

 private:
  std::map<std::wstring, std::wstring> strings_;
};

}  // namespace ui
