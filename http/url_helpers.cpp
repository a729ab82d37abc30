#include "http/url_helpers.h"

#include <climits>
#include <cstdio>
#include <stdexcept>

#include "base/utf8.h"
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

bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Where the authority "host[:port]" of |base| starting at |from| is well
// formed up to the end: sets the host and the port digits (empty when none).
// The host is either an IPv6 literal of digits and colons in brackets, or a
// run of characters other than ":/?#"; a literal that does not close is read
// as a plain host instead.
bool ReadAuthority(const std::wstring& base, size_t from, std::wstring& host, std::wstring& port) {
  // The port, if any, runs from |at| to the end.
  auto read_port = [&](size_t at) {
    if (at == base.size()) {
      port.clear();
      return true;
    }
    if (base[at] != L':' || at + 1 == base.size()) return false;
    for (size_t i = at + 1; i < base.size(); ++i) {
      if (!IsAsciiDigit(base[i])) return false;
    }
    port = base.substr(at + 1);
    return true;
  };
  if (from < base.size() && base[from] == L'[') {
    size_t close = from + 1;
    while (close < base.size() && (IsAsciiDigit(base[close]) || base[close] == L':')) ++close;
    if (close > from + 1 && close < base.size() && base[close] == L']' && read_port(close + 1)) {
      host = base.substr(from + 1, close - from - 1);
      return true;
    }
  }
  const size_t end = base.find_first_of(L":/?#", from);
  const size_t host_end = end == std::wstring::npos ? base.size() : end;
  if (host_end == from || !read_port(host_end)) return false;
  host = base.substr(from, host_end - from);
  return true;
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
      const std::string bytes = cbase::Utf16ToUtf8(std::wstring_view(text).substr(i, count));
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

bool IsWebAddress(const std::wstring& url) {
  if (url.size() > kMaxUrlLength) return false;
  size_t scheme_end = 0;
  for (const wchar_t* scheme : {L"http://", L"https://"}) {
    const size_t length = std::char_traits<wchar_t>::length(scheme);
    if (url.size() < length) continue;
    bool same = true;
    for (size_t i = 0; i < length && same; ++i) {
      wchar_t c = url[i];
      if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
      same = c == scheme[i];
    }
    if (same) scheme_end = length;
  }
  if (scheme_end == 0 || scheme_end == url.size()) return false;
  // The host must follow at once: "http:///x" or "http://@x" name none.
  const wchar_t first = url[scheme_end];
  if (first == L'/' || first == L'?' || first == L'#' || first == L'@' || first == L':') {
    return false;
  }
  for (wchar_t c : url) {
    if (c <= 0x20 || c == 0x7F || c == L'"' || c == L'\\' || c == L'<' || c == L'>' || c == L'^' ||
        c == L'`' || c == L'{' || c == L'|' || c == L'}') {
      return false;
    }
  }
  return true;
}

UrlAuthority ParseUrlAuthority(const std::wstring& base) {
  UrlAuthority authority;
  if (base.empty()) return authority;
  if (base.size() > kMaxUrlLength) throw std::invalid_argument("The URL is too long.");
  // An optional lower-case scheme followed by "://"; when what follows it is
  // not an authority, the whole base is tried as one.
  size_t scheme_length = 0;
  while (scheme_length < base.size() && base[scheme_length] >= L'a' &&
         base[scheme_length] <= L'z') {
    ++scheme_length;
  }
  std::wstring scheme;
  std::wstring port;
  if (scheme_length > 0 && base.compare(scheme_length, 3, L"://") == 0 &&
      ReadAuthority(base, scheme_length + 3, authority.host, port)) {
    scheme = base.substr(0, scheme_length);
  } else if (!ReadAuthority(base, 0, authority.host, port)) {
    authority.host = base;
    return authority;
  }
  if (!scheme.empty() && scheme != L"http" && scheme != L"https") {
    throw std::invalid_argument("'" + cbase::Utf16ToUtf8(scheme) + "' scheme is not supported.");
  }
  authority.tls = scheme == L"https";
  if (port.empty()) {
    authority.port = authority.tls ? 443 : 80;
    return authority;
  }
  long long value = 0;
  for (wchar_t digit : port) {
    value = value * 10 + (digit - L'0');
    if (value > INT_MAX) throw std::out_of_range("The port is out of range.");
  }
  authority.port = static_cast<int>(value);
  return authority;
}

}  // namespace winhttpx
