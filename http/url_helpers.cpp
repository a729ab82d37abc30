#include "http/url_helpers.h"

#include <cstdio>
#include <regex>
#include <stdexcept>

#include "http/text_helpers.h"

namespace winhttpx {
namespace {

const wchar_t kDefaultFileName[] = L"download.exe";

bool IsUnreserved(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') ||
         c == L'-' || c == L'.' || c == L'_' || c == L'~';
}

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Compiled on first use and shared by every caller afterwards.
const std::wregex& AuthorityPattern() {
  static const std::wregex pattern(
      L"(?:([a-z]+):\\/\\/)?(?:\\[([\\d:]+)\\]|([^:/?#]+))(?::(\\d+))?",
      std::regex_constants::ECMAScript);
  return pattern;
}

}  // namespace

std::wstring UrlEncode(const std::wstring& text) {
  std::wstring result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (IsUnreserved(c)) {
      result += c;
    } else if (c == L' ') {
      result += L'+';
    } else {
      size_t count = 1;
      if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) count = 2;
      const std::string bytes = Utf16ToUtf8(text.substr(i, count));
      i += count - 1;
      for (unsigned char byte : bytes) {
        wchar_t escaped[4];
        std::swprintf(escaped, 4, L"%%%02X", static_cast<unsigned>(byte));
        result += escaped;
      }
    }
  }
  return result;
}

std::wstring BuildQuery(const std::map<std::wstring, std::wstring>& query) {
  if (query.empty()) return std::wstring();
  std::wstring text;
  bool first = true;
  for (const auto& entry : query) {
    if (!first) text += L'&';
    first = false;
    text += UrlEncode(entry.first);
    text += L'=';
    text += UrlEncode(entry.second);
  }
  return L"?" + text;
}

std::wstring FileNameFromUrl(const std::wstring& url) {
  const size_t slash = url.rfind(L'/');
  if (url.empty() || slash == std::wstring::npos) return kDefaultFileName;
  std::wstring name = url.substr(slash + 1);
  const size_t question = name.find(L'?');
  if (question != std::wstring::npos) name.erase(question);
  const size_t hash = name.find(L'#');
  if (hash != std::wstring::npos) name.erase(hash);
  return name.empty() ? std::wstring(kDefaultFileName) : name;
}

namespace {
// Position of the "/" that starts the path, or npos when the URL has none.
size_t PathStart(const std::wstring& url) {
  const size_t scheme_end = url.find(L"://");
  if (scheme_end == std::wstring::npos) return std::wstring::npos;
  return url.find(L'/', scheme_end + 3);
}
}  // namespace

std::wstring UrlBase(const std::wstring& url) {
  const size_t start = PathStart(url);
  return start == std::wstring::npos ? url : url.substr(0, start);
}

std::wstring UrlPath(const std::wstring& url) {
  const size_t start = PathStart(url);
  return start == std::wstring::npos ? std::wstring(L"/") : url.substr(start);
}

UrlAuthority ParseUrlAuthority(const std::wstring& base) {
  UrlAuthority authority;
  if (base.empty()) return authority;
  std::wsmatch match;
  if (!std::regex_match(base, match, AuthorityPattern())) {
    authority.host = base;
    return authority;
  }
  const std::wstring scheme = match[1].str();
  if (!scheme.empty() && scheme != L"http" && scheme != L"https") {
    throw std::invalid_argument("'" + Utf16ToUtf8(scheme) + "' scheme is not supported.");
  }
  authority.tls = scheme == L"https";
  authority.host = match[2].length() > 0 ? match[2].str() : match[3].str();
  if (match[4].length() > 0) {
    authority.port = std::stoi(match[4].str());  // std::out_of_range beyond int
  } else {
    authority.port = authority.tls ? 443 : 80;
  }
  return authority;
}

}  // namespace winhttpx
