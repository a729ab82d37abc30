#include "ui/core/string_table.h"

#include <windows.h>

#include <cstdio>

#include "base/utf8.h"

namespace ui {
namespace {

// Blanks and the control characters 0 to 29 (carriage return, tab, ...).
bool IsTrimmed(wchar_t c) { return c == L' ' || c <= 29; }

std::wstring Trim(const std::wstring& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsTrimmed(text[begin])) ++begin;
  while (end > begin && IsTrimmed(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// The non-empty runs between "=" signs.
std::vector<std::wstring> SplitAtEquals(const std::wstring& line) {
  std::vector<std::wstring> pieces;
  size_t start = 0;
  while (start <= line.size()) {
    size_t stop = line.find(L'=', start);
    if (stop == std::wstring::npos) stop = line.size();
    if (stop > start) pieces.push_back(line.substr(start, stop - start));
    start = stop + 1;
  }
  return pieces;
}

void ReplaceAll(std::wstring& text, const wchar_t* from, const wchar_t* to) {
  const std::wstring needle = from;
  const std::wstring replacement = to;
  size_t pos = 0;
  while ((pos = text.find(needle, pos)) != std::wstring::npos) {
    text.replace(pos, needle.size(), replacement);
    pos += replacement.size();
  }
}

}  // namespace

bool StringTable::LoadFromFile(const std::wstring& path) {
  strings_.clear();
  FILE* file = nullptr;
  if (_wfopen_s(&file, path.c_str(), L"r") != 0 || file == nullptr) return false;
  std::vector<std::string> lines;
  char buffer[4096];
  while (std::fgets(buffer, sizeof(buffer), file) != nullptr) lines.emplace_back(buffer);
  std::fclose(file);
  return LoadFromLines(lines);
}

bool StringTable::LoadFromMemory(const char* data, size_t size) {
  strings_.clear();
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i <= size; ++i) {
    // A line feed is implied after the last byte.
    const char c = i < size ? data[i] : '\n';
    if (c == '\n' || c == '\0') {
      lines.push_back(line);
      line.clear();
    } else {
      line.push_back(c);
    }
  }
  return LoadFromLines(lines);
}

bool StringTable::LoadFromLines(const std::vector<std::string>& lines) {
  strings_.clear();
  if (lines.empty()) return false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& raw = lines[i];
    // A UTF-8 byte-order mark opening the file is not part of the first id.
    const bool mark = i == 0 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0;
    const std::wstring line = Trim(cbase::Utf8ToUtf16Lenient(mark ? raw.substr(3) : raw));
    if (line.empty()) continue;
    const std::vector<std::wstring> pieces = SplitAtEquals(line);
    if (pieces.size() != 2) continue;
    const std::wstring id = Trim(pieces[0]);
    if (id.find(L';') != std::wstring::npos) continue;
    strings_[id] = Trim(pieces[1]);
  }
  return true;
}

std::wstring StringTable::GetText(const std::wstring& id) const {
  if (id.empty()) return std::wstring();
  const auto it = strings_.find(id);
  if (it == strings_.end()) return std::wstring();
  std::wstring text = it->second;
  ReplaceAll(text, L"\\r", L"\r");
  ReplaceAll(text, L"\\n", L"\n");
  return text;
}

}  // namespace ui
