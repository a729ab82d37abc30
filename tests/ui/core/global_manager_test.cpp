#include "ui/core/global_manager.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/check.h"
#include "tests/support/scoped_temp_dir.h"
#include "tests/support/stored_zip.h"

namespace ui {
namespace {

using testing_support::MakeStoredZip;
using testing_support::ScopedTempDir;
using testing_support::WriteBytes;

class GlobalManagerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    GlobalManager::Shutdown();
    GlobalManager::SetDisplayScale(100, false);
  }

  // The entry's bytes as text, "<none>" when there is no entry.
  static std::string Text(const std::optional<std::vector<unsigned char>>& bytes) {
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<none>";
  }

  static LOGFONTW Describe(HFONT font) {
    LOGFONTW logfont = {};
    EXPECT_EQ(static_cast<int>(sizeof(logfont)), ::GetObjectW(font, sizeof(logfont), &logfont));
    return logfont;
  }
};

TEST_F(GlobalManagerTest, ResourcePathEndsInASeparator) {
  GlobalManager::SetResourcePath(L"resources\\themes\\default");
  EXPECT_EQ(L"resources\\themes\\default\\", GlobalManager::GetResourcePath());
  GlobalManager::SetResourcePath(L"C:/skin/");
  EXPECT_EQ(L"C:/skin/", GlobalManager::GetResourcePath());
  GlobalManager::SetResourcePath(L"");
  EXPECT_EQ(L"", GlobalManager::GetResourcePath());
}

TEST_F(GlobalManagerTest, ArchiveDataByNormalisedPath) {
  const std::string zip = MakeStoredZip(
      {{"resources/themes/default/images/header.png", "PNG!"}, {"resources/empty.txt", ""}});
  EXPECT_FALSE(GlobalManager::IsArchiveOpen());
  EXPECT_EQ("<none>", Text(GlobalManager::GetArchiveData(L"resources\\empty.txt")));

  ASSERT_TRUE(GlobalManager::OpenResourceArchive(zip.data(), zip.size()));
  EXPECT_TRUE(GlobalManager::IsArchiveOpen());
  EXPECT_EQ("PNG!", Text(GlobalManager::GetArchiveData(
                        L"resources\\themes\\default\\basic\\..\\images\\header.png")));
  EXPECT_EQ("PNG!",
            Text(GlobalManager::GetArchiveData(L"./RESOURCES//themes/default/images/header.png")));
  // An empty entry is there, unlike a missing one.
  const std::optional<std::vector<unsigned char>> empty =
      GlobalManager::GetArchiveData(L"resources/empty.txt");
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());
  EXPECT_FALSE(GlobalManager::GetArchiveData(L"resources/missing.png"));
  EXPECT_FALSE(GlobalManager::GetArchiveData(L""));
  EXPECT_FALSE(GlobalManager::GetArchiveData(std::wstring(300, L'a')));

  GlobalManager::CloseResourceArchive();
  EXPECT_FALSE(GlobalManager::IsArchiveOpen());
  EXPECT_FALSE(GlobalManager::GetArchiveData(L"resources\\empty.txt"));

  const std::string junk = "not a zip archive at all";
  EXPECT_FALSE(GlobalManager::OpenResourceArchive(junk.data(), junk.size()));
  EXPECT_FALSE(GlobalManager::IsArchiveOpen());
}

TEST_F(GlobalManagerTest, FontsWithoutIdAreNumbered) {
  HFONT first = GlobalManager::AddFont(L"", L"Arial", 12, false, false, false, false, false);
  HFONT second = GlobalManager::AddFont(L"", L"Arial", 14, false, true, true, true, true);
  ASSERT_NE(nullptr, first);
  ASSERT_NE(nullptr, second);
  EXPECT_EQ(first, GlobalManager::GetFont(L"0"));
  EXPECT_EQ(second, GlobalManager::GetFont(L"1"));
  EXPECT_EQ(L"1", GlobalManager::GetDefaultFontId());
  EXPECT_EQ(second, GlobalManager::GetFont(L""));
  EXPECT_EQ(nullptr, GlobalManager::GetFont(L"missing"));

  const LOGFONTW logfont = Describe(second);
  EXPECT_EQ(-14, logfont.lfHeight);
  EXPECT_TRUE(logfont.lfUnderline && logfont.lfItalic && logfont.lfStrikeOut);
  EXPECT_EQ(DEFAULT_CHARSET, logfont.lfCharSet);
  const FontInfo* info = GlobalManager::GetFontInfo(L"1");
  ASSERT_NE(nullptr, info);
  EXPECT_EQ(14, info->size);
  EXPECT_TRUE(info->underline);
  EXPECT_EQ(0, info->metrics.tmHeight);

  // An explicit id replaces the earlier record under it.
  HFONT replaced = GlobalManager::AddFont(L"0", L"Arial", 20, false, false, false, false, false);
  EXPECT_EQ(replaced, GlobalManager::GetFont(L"0"));
  EXPECT_EQ(-20, Describe(replaced).lfHeight);

  GlobalManager::RemoveAllFonts();
  EXPECT_EQ(nullptr, GlobalManager::GetFont(L"1"));
  EXPECT_EQ(L"", GlobalManager::GetDefaultFontId());
  EXPECT_EQ(L"0", [] {
    GlobalManager::AddFont(L"", L"Arial", 12, false, false, false, false, false);
    return std::wstring(GlobalManager::GetFontInfo(L"0") ? L"0" : L"?");
  }());
}

TEST_F(GlobalManagerTest, SystemBoldFontAddsToTheStockWeight) {
  LOGFONTW stock = {};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(stock), &stock);
  HFONT font = GlobalManager::AddFont(L"title", L"system", 12, true, false, false, false, false);
  ASSERT_NE(nullptr, font);
  const LOGFONTW logfont = Describe(font);
  EXPECT_EQ(-12, logfont.lfHeight);
  EXPECT_EQ(stock.lfWeight + FW_BOLD, logfont.lfWeight);
  EXPECT_STREQ(L"\u5FAE\u8F6F\u96C5\u9ED1", logfont.lfFaceName);  // the Vista-and-later face
  EXPECT_EQ(L"\u5FAE\u8F6F\u96C5\u9ED1", GlobalManager::GetFontInfo(L"title")->face_name);
}

TEST_F(GlobalManagerTest, FontHeightFollowsTheDisplayScale) {
  GlobalManager::SetDisplayScale(150, true);
  HFONT font = GlobalManager::AddFont(L"", L"Arial", 12, false, false, false, false, false);
  EXPECT_EQ(-18, Describe(font).lfHeight);
}

TEST_F(GlobalManagerTest, TextColoursAndClasses) {
  GlobalManager::AddTextColor(L"dark", L"#ff333333");
  GlobalManager::AddTextColor(L"six", L"#333333");
  GlobalManager::AddTextColor(L"empty", L"");
  GlobalManager::AddTextColor(L"direct", 0x80FF0000);
  EXPECT_EQ(0xFF333333u, GlobalManager::GetTextColor(L"dark"));
  EXPECT_EQ(0x00333333u, GlobalManager::GetTextColor(L"six"));  // alpha 0
  EXPECT_EQ(0x80FF0000u, GlobalManager::GetTextColor(L"direct"));
  EXPECT_EQ(0u, GlobalManager::GetTextColor(L"empty"));
  EXPECT_EQ(0u, GlobalManager::GetTextColor(L"Dark"));

  GlobalManager::AddClass(L"btn", L"width=\"80\" height=\"30\"");
  EXPECT_EQ(L"width=\"80\" height=\"30\"", GlobalManager::GetClassAttributes(L"btn"));
  EXPECT_EQ(L"", GlobalManager::GetClassAttributes(L"missing"));
}

TEST_F(GlobalManagerTest, LanguageFromArchiveWithoutDiskFallback) {
  ScopedTempDir dir;
  const std::wstring disk = dir.Child(L"gdstrings.ini");
  ASSERT_TRUE(WriteBytes(disk, "STRING_OK=disk\n"));
  ASSERT_TRUE(GlobalManager::LoadStringTable(disk));
  EXPECT_EQ(L"disk", GlobalManager::GetText(L"STRING_OK"));

  const std::string zip = MakeStoredZip(
      {{"resources/lang/zh_CN/gdstrings.ini", "STRING_OK = archived\r\nSTRING_TWO = a\\nb\r\n"}});
  ASSERT_TRUE(GlobalManager::OpenResourceArchive(zip.data(), zip.size()));
  ASSERT_TRUE(GlobalManager::LoadStringTable(L"resources\\lang\\zh_CN\\gdstrings.ini"));
  EXPECT_EQ(L"archived", GlobalManager::GetText(L"STRING_OK"));
  EXPECT_EQ(L"a\nb", GlobalManager::GetText(L"STRING_TWO"));

  // The archive is open but lacks the member: no table at all.
  EXPECT_FALSE(GlobalManager::LoadStringTable(disk));
  EXPECT_EQ(L"", GlobalManager::GetText(L"STRING_OK"));
}

TEST_F(GlobalManagerTest, DisplayScale) {
  EXPECT_EQ(100, GlobalManager::GetDpiScale());
  EXPECT_FALSE(GlobalManager::IsAdaptDpi());
  GlobalManager::SetDisplayScale(125, false);
  EXPECT_EQ(10, GlobalManager::ScaleLength(10));  // the flag is off
  GlobalManager::SetDisplayScale(100, true);
  EXPECT_EQ(10, GlobalManager::ScaleLength(10));
  GlobalManager::SetDisplayScale(125, true);
  EXPECT_EQ(4, GlobalManager::ScaleLength(3));  // 3.75 rounds up
  EXPECT_EQ(3, GlobalManager::ScaleLength(2));  // 2.5 rounds away from zero
  EXPECT_EQ(-4, GlobalManager::ScaleLength(-3));
  RECT rect = {10, 20, 13, 22};  // 3 wide, 2 high
  GlobalManager::ScaleRect(rect);
  EXPECT_EQ(13, rect.left);
  EXPECT_EQ(25, rect.top);
  EXPECT_EQ(13 + 4, rect.right);
  EXPECT_EQ(25 + 3, rect.bottom);
}

#ifndef NDEBUG
int g_check_failures = 0;
void CountCheckFailure(const char*, const char*, int) { ++g_check_failures; }

TEST_F(GlobalManagerTest, TablesBelongToTheFirstThreadUntilShutdown) {
  GlobalManager::AddClass(L"owned", L"x=\"1\"");  // binds this thread
  const cbase::CheckFailureHandler previous = cbase::SetCheckFailureHandler(&CountCheckFailure);
  g_check_failures = 0;
  std::thread([] { GlobalManager::GetClassAttributes(L"owned"); }).join();
  EXPECT_EQ(1, g_check_failures);
  GlobalManager::GetDpiScale();  // the scale may be read anywhere
  std::thread([] { GlobalManager::ScaleLength(3); }).join();
  EXPECT_EQ(1, g_check_failures);
  cbase::SetCheckFailureHandler(previous);
}
#endif

}  // namespace
}  // namespace ui
