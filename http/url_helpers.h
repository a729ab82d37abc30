// URL helpers of the HTTP client: splitting a URL into base and path, parsing
// the base into host, port and TLS flag, percent-encoding and query building,
// and the local file name of a download. Pure functions, callable from any
// thread.
#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace winhttpx {

// Percent-encodes text the way query strings are written
// (application/x-www-form-urlencoded): unreserved characters stay, a space
// becomes "+", every other character becomes its UTF-8 bytes as "%XX".
std::wstring UrlEncode(const std::wstring& text);

// "?" + key=value pairs joined by "&", keys in map (ordinal) order, keys and
// values encoded with UrlEncode; "" for an empty map.
std::wstring BuildQuery(const std::map<std::wstring, std::wstring>& query);

// The last path segment of a URL without query and fragment, or
// "download.exe" when there is none.
std::wstring FileNameFromUrl(const std::wstring& url);

// Scheme and authority ("https://host:8443"); the whole URL when it has no
// "://" followed by a "/".
std::wstring UrlBase(const std::wstring& url);

// Path with query and fragment ("/api/channel?a=1"); "/" when UrlBase took
// the whole URL.
std::wstring UrlPath(const std::wstring& url);

// Longest URL the helpers take apart; no address the assistant is given
// comes near it, and a longer one is refused rather than parsed.
constexpr size_t kMaxUrlLength = 8192;

// Whether |url| is an absolute http or https address with a host, and holds
// nothing a command line would read differently (blanks, quotes, control
// characters, backslashes). Addresses that come from a service and go to the
// shell are opened only then: anything else could name a local program, a
// file share or another protocol's handler.
bool IsWebAddress(const std::wstring& url);

struct UrlAuthority {
  std::wstring host;
  int port = 80;
  bool tls = false;
};

// Parses a URL base into host, port and TLS flag. Throws
// std::invalid_argument for a scheme other than http and https or a base
// longer than kMaxUrlLength, and
// std::out_of_range for a port beyond the 32-bit signed range. A base that
// does not have the expected form is taken whole as the host, port 80.
UrlAuthority ParseUrlAuthority(const std::wstring& base);

}  // namespace winhttpx
