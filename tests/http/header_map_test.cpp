#include "http/header_map.h"

#include <gtest/gtest.h>
#include <vector>

namespace winhttpx {
namespace {

std::vector<std::wstring> Values(const HeaderMap& headers, const std::wstring& name) {
  std::vector<std::wstring> values;
  auto range = headers.equal_range(name);
  for (auto it = range.first; it != range.second; ++it) values.push_back(it->second);
  return values;
}

TEST(HeaderMapTest, NamesCompareCaseInsensitivelyAndKeepTheirCase) {
  HeaderMap headers;
  headers.emplace(L"X-Dup", L"first");
  headers.emplace(L"Accept", L"*/*");
  headers.emplace(L"x-dup", L"second");
  headers.emplace(L"X-DUP", L"third");
  EXPECT_EQ(Values(headers, L"x-DuP"), (std::vector<std::wstring>{L"first", L"second", L"third"}));
  ASSERT_NE(FindHeader(headers, L"X-DUP"), nullptr);
  EXPECT_EQ(*FindHeader(headers, L"X-DUP"), L"first");
  EXPECT_EQ(FindHeader(headers, L"Missing"), nullptr);
  EXPECT_EQ(headers.begin()->first, L"Accept");
  EXPECT_EQ(std::next(headers.begin(), 2)->first, L"x-dup");  // case kept
}

TEST(HeaderMapTest, ProperPrefixSortsFirst) {
  HeaderNameLess less;
  EXPECT_TRUE(less(L"Content", L"content-length"));
  EXPECT_FALSE(less(L"content-length", L"Content"));
  EXPECT_FALSE(less(L"ABC", L"abc"));
  EXPECT_FALSE(less(L"abc", L"ABC"));
  EXPECT_TRUE(less(L"a", L"B"));
}

TEST(HeaderMapTest, SetHeaderReplacesOnlyTheFirstEntry) {
  HeaderMap headers;
  headers.emplace(L"content-length", L"1");
  headers.emplace(L"Content-Length", L"2");
  SetHeader(headers, L"Content-Length", L"0");
  EXPECT_EQ(Values(headers, L"content-length"), (std::vector<std::wstring>{L"2", L"0"}));
  SetHeader(headers, L"X-New", L"v");
  EXPECT_EQ(*FindHeader(headers, L"x-new"), L"v");
}

}  // namespace
}  // namespace winhttpx
