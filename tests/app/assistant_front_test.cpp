// Start-up helpers of the assistant that need no window: the module's own
// path, the "{product}" substitution and the clipboard copy.
#include <windows.h>

#include <gtest/gtest.h>
#include <string>

#include "app/basic_form.h"
#include "app/module_path.h"

namespace {

TEST(ModulePathTest, IsTheRunningExecutableAndItsFolder) {
  wchar_t expected[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, expected, MAX_PATH);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(ModuleFilePath(), std::wstring(expected, length));
  const std::wstring directory = ModuleDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_TRUE(directory.back() == L'\\' || directory.back() == L'/');
  EXPECT_EQ(ModuleFilePath().compare(0, directory.size(), directory), 0);
  EXPECT_EQ(ModuleFilePath().find_first_of(L"\\/", directory.size()), std::wstring::npos);
}

TEST(ReplaceProductTest, ReplacesEveryOccurrenceOnce) {
  EXPECT_EQ(
      ReplaceProduct(L"点击启动 {product} 安装程序，将 {product} 安装到您的电脑。", L"Fernwick"),
      L"点击启动 Fernwick 安装程序，将 Fernwick 安装到您的电脑。");
  EXPECT_EQ(ReplaceProduct(L"{product}{product}", L"A"), L"AA");
  // A name that itself holds the placeholder is not expanded again.
  EXPECT_EQ(ReplaceProduct(L"x {product} y", L"{product}"), L"x {product} y");
  EXPECT_EQ(ReplaceProduct(L"{product}", L""), L"");
  EXPECT_EQ(ReplaceProduct(L"no placeholder {prod}", L"A"), L"no placeholder {prod}");
}

TEST(ClipboardTest, CopiesUnicodeTextWithTerminator) {
  const std::wstring number = L"800800202 客服";
  ASSERT_TRUE(CopyTextToClipboard(number));
  ASSERT_TRUE(::OpenClipboard(nullptr));
  HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(data, nullptr);
  const auto* text = static_cast<const wchar_t*>(::GlobalLock(data));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::wstring(text), number);
  ::GlobalUnlock(data);
  ::CloseClipboard();
  // An empty number still replaces what was there.
  ASSERT_TRUE(CopyTextToClipboard(L""));
  ASSERT_TRUE(::OpenClipboard(nullptr));
  data = ::GetClipboardData(CF_UNICODETEXT);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(::GlobalLock(data))), L"");
  ::GlobalUnlock(data);
  ::CloseClipboard();
}

}  // namespace
