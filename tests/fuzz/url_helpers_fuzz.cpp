// Robustness harness for the URL helpers (http/url_helpers.h); see
// fuzz_driver.h for how it runs. The input is read as UTF-8 leniently
// (lenient_utf8.h), so every wchar_t holds a UTF-16 unit as on Windows. Per
// input, for the whole text and for its base:
// - ParseUrlAuthority returns or throws std::invalid_argument or
//   std::out_of_range, and agrees with the pattern it is defined by (an
//   optional lower-case scheme and "://", then a bracketed literal of digits
//   and colons or a host without ":/?#", then an optional ":" and digits, all
//   of the text), read here in the pattern's own order of alternatives;
//   a base longer than kMaxUrlLength is refused;
// - UrlBase and UrlPath split the text where a "/" follows "://";
// - FileNameFromUrl is a piece of the last segment, or the default name;
// - UrlEncode writes only unreserved characters, "+" and "%XX" escapes,
//   which decode to the text's UTF-8 (an unpaired surrogate as U+FFFD);
// - BuildQuery of the text's lines taken as key, value, key, ... decodes
//   back to the same map in key order;
// - TrimBlanks leaves a piece of the text without blanks at either end.
#include <climits>
#include <map>
#include <stdexcept>
#include <string>

#include "http/text_helpers.h"
#include "http/url_helpers.h"
#include "tests/fuzz/fuzz_driver.h"
#include "tests/fuzz/lenient_utf8.h"

namespace {

using fuzz::FuzzCheck;
using winhttpx::UrlAuthority;

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool IsUnreserved(wchar_t c) {
  return IsDigit(c) || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'-' ||
         c == L'.' || c == L'_' || c == L'~';
}

int HexDigit(wchar_t c) {
  if (IsDigit(c)) return c - L'0';
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;  // lower case is not what UrlEncode writes
}

// The bytes UrlEncode's output stands for; fails the run on anything else.
std::string DecodeForm(const std::wstring& encoded) {
  std::string bytes;
  for (size_t i = 0; i < encoded.size(); ++i) {
    const wchar_t c = encoded[i];
    if (c == L'%') {
      FuzzCheck(i + 2 < encoded.size(), "a cut escape");
      const int high = HexDigit(encoded[i + 1]), low = HexDigit(encoded[i + 2]);
      FuzzCheck(high >= 0 && low >= 0, "an escape that is not two upper-case hex digits");
      bytes += static_cast<char>(high * 16 + low);
      i += 2;
    } else if (c == L'+') {
      bytes += ' ';
    } else {
      FuzzCheck(IsUnreserved(c), "UrlEncode left a reserved character");
      bytes += static_cast<char>(c);
    }
  }
  return bytes;
}

// The authority pattern, alternatives in the pattern's order; false when the
// whole text does not match.
bool MatchAuthorityAt(const std::wstring& s, size_t from, std::wstring* host, std::wstring* port) {
  auto port_to_end = [&](size_t at) {
    if (at == s.size()) {
      port->clear();
      return true;
    }
    if (s[at] != L':' || at + 1 == s.size()) return false;
    for (size_t i = at + 1; i < s.size(); ++i) {
      if (!IsDigit(s[i])) return false;
    }
    *port = s.substr(at + 1);
    return true;
  };
  // \[([\d:]+)\] : the run of digits and colons must be followed by "]".
  if (from < s.size() && s[from] == L'[') {
    size_t end = from + 1;
    while (end < s.size() && (IsDigit(s[end]) || s[end] == L':')) ++end;
    if (end > from + 1 && end < s.size() && s[end] == L']' && port_to_end(end + 1)) {
      *host = s.substr(from + 1, end - from - 1);
      return true;
    }
  }
  // ([^:/?#]+) : shortening the run cannot help, what follows it is ":" or
  // the end.
  size_t end = from;
  while (end < s.size() && s[end] != L':' && s[end] != L'/' && s[end] != L'?' && s[end] != L'#') {
    ++end;
  }
  if (end == from || !port_to_end(end)) return false;
  *host = s.substr(from, end - from);
  return true;
}

enum class Outcome { kValue, kBadArgument, kOutOfRange };

struct Expected {
  Outcome outcome = Outcome::kValue;
  UrlAuthority authority;
  std::string message;
};

Expected ExpectedAuthority(const std::wstring& base) {
  Expected e;
  if (base.empty()) return e;
  if (base.size() > winhttpx::kMaxUrlLength) {
    e.outcome = Outcome::kBadArgument;
    return e;
  }
  size_t letters = 0;
  while (letters < base.size() && base[letters] >= L'a' && base[letters] <= L'z') ++letters;
  std::wstring scheme, host, port;
  bool matched = false;
  if (letters > 0 && base.compare(letters, 3, L"://") == 0 &&
      MatchAuthorityAt(base, letters + 3, &host, &port)) {
    scheme = base.substr(0, letters);
    matched = true;
  } else {
    matched = MatchAuthorityAt(base, 0, &host, &port);
  }
  if (!matched) {
    e.authority.host = base;
    return e;
  }
  if (!scheme.empty() && scheme != L"http" && scheme != L"https") {
    e.outcome = Outcome::kBadArgument;
    e.message = "'" + std::string(scheme.begin(), scheme.end()) + "' scheme is not supported.";
    return e;
  }
  e.authority.tls = scheme == L"https";
  e.authority.host = host;
  if (port.empty()) {
    e.authority.port = e.authority.tls ? 443 : 80;
    return e;
  }
  long long value = 0;
  for (wchar_t digit : port) {
    value = value * 10 + (digit - L'0');
    if (value > INT_MAX) {
      e.outcome = Outcome::kOutOfRange;
      return e;
    }
  }
  e.authority.port = static_cast<int>(value);
  return e;
}

void CheckAuthority(const std::wstring& base) {
  const Expected expected = ExpectedAuthority(base);
  try {
    const UrlAuthority got = winhttpx::ParseUrlAuthority(base);
    FuzzCheck(expected.outcome == Outcome::kValue, "ParseUrlAuthority took a base it must refuse");
    FuzzCheck(got.port >= 0, "a negative port");
    FuzzCheck(got.host == expected.authority.host, "ParseUrlAuthority read another host");
    FuzzCheck(got.port == expected.authority.port, "ParseUrlAuthority read another port");
    FuzzCheck(got.tls == expected.authority.tls, "ParseUrlAuthority read another scheme");
  } catch (const std::out_of_range&) {
    FuzzCheck(expected.outcome == Outcome::kOutOfRange, "an unexpected out-of-range error");
  } catch (const std::invalid_argument& e) {
    FuzzCheck(expected.outcome == Outcome::kBadArgument, "an unexpected invalid-argument error");
    FuzzCheck(expected.message.empty() || expected.message == e.what(),
              "the scheme error does not name the scheme");
  } catch (...) {
    FuzzCheck(false, "ParseUrlAuthority threw something else");
  }
}

void CheckSplit(const std::wstring& url) {
  const std::wstring base = winhttpx::UrlBase(url);
  const std::wstring path = winhttpx::UrlPath(url);
  const size_t scheme_end = url.find(L"://");
  const size_t slash =
      scheme_end == std::wstring::npos ? scheme_end : url.find(L'/', scheme_end + 3);
  if (slash == std::wstring::npos) {
    FuzzCheck(base == url && path == L"/", "a URL without a path is not its own base");
  } else {
    FuzzCheck(base + path == url, "base and path do not make the URL");
    FuzzCheck(base.size() == slash, "the path does not start at the first slash after ://");
  }
}

void CheckFileName(const std::wstring& url) {
  const std::wstring name = winhttpx::FileNameFromUrl(url);
  FuzzCheck(!name.empty(), "an empty file name");
  FuzzCheck(name.find_first_of(L"/?#") == std::wstring::npos, "a file name with / ? or #");
  const size_t slash = url.rfind(L'/');
  const std::wstring last = slash == std::wstring::npos ? L"" : url.substr(slash + 1);
  const std::wstring cut = last.substr(0, last.find_first_of(L"?#"));
  FuzzCheck(name == (cut.empty() ? std::wstring(L"download.exe") : cut),
            "the file name is not the last segment before ? and #");
}

void CheckEncoding(const std::wstring& text) {
  const std::wstring encoded = winhttpx::UrlEncode(text);
  FuzzCheck(encoded.size() <= 9 * text.size(), "UrlEncode grew the text too much");
  FuzzCheck(DecodeForm(encoded) == fuzz::EncodeUtf8(text), "UrlEncode does not decode to the text");
}

void CheckQuery(const std::wstring& text) {
  std::map<std::wstring, std::wstring> query;
  size_t start = 0;
  std::wstring key;
  bool have_key = false;
  while (start <= text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring line = text.substr(start, end - start);
    if (have_key) query.emplace(key, line);
    key = line;
    have_key = !have_key;
    start = end + 1;
  }
  const std::wstring built = winhttpx::BuildQuery(query);
  if (query.empty()) {
    FuzzCheck(built.empty(), "an empty query is not empty");
    return;
  }
  FuzzCheck(!built.empty() && built[0] == L'?', "a query without ?");
  size_t at = 1;
  for (const auto& entry : query) {
    FuzzCheck(at <= built.size(), "the query ends early");
    size_t end = built.find(L'&', at);
    if (end == std::wstring::npos) end = built.size();
    const std::wstring pair = built.substr(at, end - at);
    const size_t equals = pair.find(L'=');
    FuzzCheck(equals != std::wstring::npos, "a query pair without =");
    FuzzCheck(DecodeForm(pair.substr(0, equals)) == fuzz::EncodeUtf8(entry.first), "a key changed");
    FuzzCheck(DecodeForm(pair.substr(equals + 1)) == fuzz::EncodeUtf8(entry.second),
              "a value changed");
    at = end + 1;
  }
  FuzzCheck(at == built.size() + 1, "the query has more pairs than the map");
}

void CheckTrim(const std::wstring& text) {
  const std::wstring trimmed = winhttpx::TrimBlanks(text);
  const std::wstring blanks = L" \t\r\n";
  if (trimmed.empty()) {
    FuzzCheck(text.find_first_not_of(blanks) == std::wstring::npos, "TrimBlanks lost the text");
    return;
  }
  const size_t first = text.find_first_not_of(blanks);
  FuzzCheck(text.compare(first, trimmed.size(), trimmed) == 0, "TrimBlanks changed the text");
  FuzzCheck(blanks.find(trimmed.back()) == std::wstring::npos, "TrimBlanks left a blank");
  FuzzCheck(text.find_last_not_of(blanks) == first + trimmed.size() - 1, "TrimBlanks cut too much");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring text = fuzz::DecodeLeniently<std::wstring>(data, size);
  CheckAuthority(text);
  CheckAuthority(winhttpx::UrlBase(text));
  CheckSplit(text);
  CheckFileName(text);
  CheckEncoding(text);
  CheckQuery(text);
  CheckTrim(text);
  return 0;
}
