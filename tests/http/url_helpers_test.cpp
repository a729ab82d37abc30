#include "http/url_helpers.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace winhttpx {
namespace {

TEST(UrlEncodeTest, EncodesLikeAFormQuery) {
  struct Case {
    std::wstring in, out;
  } cases[] = {
      {L"", L""},
      {L"AZaz09-._~", L"AZaz09-._~"},
      {L"a b", L"a+b"},
      {L"*", L"%2A"},
      {L"/", L"%2F"},
      {L"+", L"%2B"},
      {L"%", L"%25"},
      {L"\u00e9", L"%C3%A9"},
      {L"\u5b89", L"%E5%AE%89"},
      {L"\xD83D\xDE00", L"%F0%9F%98%80"},  // a surrogate pair is one character
      {std::wstring(1, wchar_t(0xD800)), L"%EF%BF%BD"},
      {L"k=v&x", L"k%3Dv%26x"},
  };
  for (const Case& c : cases) EXPECT_EQ(UrlEncode(c.in), c.out) << c.in.size();
}

TEST(BuildQueryTest, SortsKeysAndEncodes) {
  EXPECT_EQ(BuildQuery({}), L"");
  EXPECT_EQ(BuildQuery({{L"product", L"fernwick"}, {L"channel", L"web"}}),
            L"?channel=web&product=fernwick");
  EXPECT_EQ(BuildQuery({{L"", L""}}), L"?=");
  EXPECT_EQ(BuildQuery({{L"", L""}, {L"a", L"1"}}), L"?=&a=1");
  EXPECT_EQ(BuildQuery({{L"q", L"a b/c"}}), L"?q=a+b%2Fc");
  // Ordinal order: upper case sorts before lower case.
  EXPECT_EQ(BuildQuery({{L"b", L"1"}, {L"B", L"2"}}), L"?B=2&b=1");
}

TEST(FileNameFromUrlTest, TakesTheLastSegment) {
  struct Case {
    std::wstring in, out;
  } cases[] = {
      {L"", L"download.exe"},
      {L"setup.exe", L"download.exe"},
      {L"https://h/pkg/setup.zip?sig=1", L"setup.zip"},
      {L"https://h/pkg/", L"download.exe"},
      {L"https://h/a?x=/b", L"b"},
      {L"https://h/file.zip#frag", L"file.zip"},
      {L"https://h/?x", L"download.exe"},
      {L"https://h/f.exe#a?b", L"f.exe"},
      {L"https://h", L"h"},
  };
  for (const Case& c : cases) EXPECT_EQ(FileNameFromUrl(c.in), c.out) << c.in.c_str();
}

TEST(UrlBaseAndPathTest, SplitAtTheFirstSlashAfterTheScheme) {
  struct Case {
    std::wstring url, base, path;
  } cases[] = {
      {L"https://host:8443/api/channel?a=1", L"https://host:8443", L"/api/channel?a=1"},
      {L"https://h", L"https://h", L"/"},
      {L"https://h/", L"https://h", L"/"},
      {L"host/path", L"host/path", L"/"},
      {L"", L"", L"/"},
      {L"http://h/a#f://x/y", L"http://h", L"/a#f://x/y"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UrlBase(c.url), c.base) << c.url.c_str();
    EXPECT_EQ(UrlPath(c.url), c.path) << c.url.c_str();
  }
}

TEST(ParseUrlAuthorityTest, MatchesHostPortAndScheme) {
  struct Case {
    std::wstring base, host;
    int port;
    bool tls;
  } cases[] = {
      {L"", L"", 80, false},
      {L"https://h", L"h", 443, true},
      {L"http://h:8080", L"h", 8080, false},
      {L"h", L"h", 80, false},
      {L"h:81", L"h", 81, false},
      {L"https://[::1]:9000", L"::1", 9000, true},
      {L"http://[::1]", L"::1", 80, false},
      // Not a match: hex letters in brackets, an upper-case scheme, a path.
      {L"https://[fe80::1]", L"https://[fe80::1]", 80, false},
      {L"HTTPS://h", L"HTTPS://h", 80, false},
      {L"http://h/x", L"http://h/x", 80, false},
      {L"http://h:", L"http://h:", 80, false},
      // A bracket that does not hold a literal is part of a plain host.
      {L"[1]x", L"[1]x", 80, false},
      {L"http://[1]:x", L"http://[1]:x", 80, false},
      {L"http://h:80:90", L"http://h:80:90", 80, false},
      {L"http://h:0080", L"h", 80, false},
  };
  for (const Case& c : cases) {
    const UrlAuthority a = ParseUrlAuthority(c.base);
    EXPECT_EQ(a.host, c.host) << c.base.c_str();
    EXPECT_EQ(a.port, c.port) << c.base.c_str();
    EXPECT_EQ(a.tls, c.tls) << c.base.c_str();
  }
}

TEST(ParseUrlAuthorityTest, RejectsOtherSchemesAndHugePorts) {
  try {
    ParseUrlAuthority(L"ftp://h");
    FAIL() << "no error";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "'ftp' scheme is not supported.");
  }
  EXPECT_THROW(ParseUrlAuthority(L"http://h:2147483648"), std::out_of_range);
  EXPECT_THROW(ParseUrlAuthority(L"http://h:99999999999999999999"), std::out_of_range);
  EXPECT_EQ(ParseUrlAuthority(L"http://h:2147483647").port, 2147483647);
}

// A hostile service may hand out an address of any length: the authority is
// read in one pass, and one beyond the limit is refused.
TEST(ParseUrlAuthorityTest, LongAddressesAreLinearAndBounded) {
  const std::wstring host(kMaxUrlLength - 8, L'a');
  const UrlAuthority a = ParseUrlAuthority(L"https://" + host);
  EXPECT_EQ(a.host, host);
  EXPECT_EQ(a.port, 443);
  const std::wstring url = L"https://" + std::wstring(10000, L'a') + L"/setup.exe";
  EXPECT_THROW(ParseUrlAuthority(UrlBase(url)), std::invalid_argument);
  EXPECT_THROW(ParseUrlAuthority(L"http://h:" + std::wstring(kMaxUrlLength, L'1')),
               std::invalid_argument);
  EXPECT_THROW(ParseUrlAuthority(L"http://h:" + std::wstring(100, L'9')), std::out_of_range);
}

TEST(IsWebAddressTest, OnlyAbsoluteHttpAddressesWithAHost) {
  for (const wchar_t* url :
       {L"https://example.test/tutorial?auto_open=1", L"http://example.test", L"HTTPS://h/x",
        L"http://[::1]:8080/", L"https://h/\u6559\u7A0B", L"https://user@h/"}) {
    EXPECT_TRUE(IsWebAddress(url)) << url;
  }
  for (const wchar_t* url :
       {L"", L"http://", L"https:///x", L"http://@h", L"http:h/x",
        L"file:///C:/Windows/notepad.exe", L"C:\\Windows\\System32\\calc.exe",
        L"\\\\server\\share\\setup.exe", L"calc", L"ms-settings:privacy", L"javascript:alert(1)",
        L" https://h/", L"https://h/a b", L"https://h/\"--flag", L"https://h\\..\\x",
        L"https://h/\n", L"httpx://h", L"ftp://h/x", L"mailto:a@h"}) {
    EXPECT_FALSE(IsWebAddress(url)) << url;
  }
  EXPECT_FALSE(IsWebAddress(L"https://h/" + std::wstring(kMaxUrlLength, L'a')));
}

}  // namespace
}  // namespace winhttpx
