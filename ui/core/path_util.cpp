#include "ui/core/path_util.h"

namespace ui {
namespace {

void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to) {
  std::wstring::size_type pos = 0;
  while ((pos = text.find(from, pos)) != std::wstring::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
}

}  // namespace

bool IsAbsolutePath(const std::wstring& path) {
  if (path.empty()) return false;
  return path[0] == L'\\' || path[0] == L'/' || (path.size() > 1 && path[1] == L':');
}

std::wstring NormalizeArchivePath(const std::wstring& path) {
  std::wstring text = path;
  for (wchar_t& c : text) {
    if (c == L'\\') c = L'/';
  }
  ReplaceAll(text, L"//", L"/");

  std::wstring out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const bool segment_start = out.empty() || out.back() == L'/';
    if (segment_start) {
      if (text[i] == L'/') {
        ++i;
        continue;
      }
      if (text.compare(i, 2, L"./") == 0) {
        i += 2;
        continue;
      }
      if (text.compare(i, 3, L"../") == 0) {
        // Drop the segment before, with its separator.
        if (!out.empty()) out.pop_back();
        const auto slash = out.find_last_of(L'/');
        out.erase(slash == std::wstring::npos ? 0 : slash + 1);
        i += 3;
        continue;
      }
    }
    out.push_back(text[i++]);
  }
  return out;
}

std::wstring NormalizeDiskPath(const std::wstring& path) {
  std::wstring text = path;
  for (wchar_t& c : text) {
    if (c == L'/') c = L'\\';
  }
  ReplaceAll(text, L"\\\\", L"\\");
  return text;
}

}  // namespace ui
