// This program links the build's theme_resource object, as the assistant
// does: its own THEME 129 resource must be the packed archive, laid out as the
// assistant looks its files up.
#include <windows.h>

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

#include "tools/brand/resource_branding.h"
#include "tools/brand/theme_archive.h"

namespace {

std::string OwnTheme() {
  HRSRC info = FindResourceW(nullptr, MAKEINTRESOURCEW(129), L"THEME");
  if (!info) return std::string();
  HGLOBAL handle = LoadResource(nullptr, info);
  return std::string(static_cast<const char*>(LockResource(handle)), SizeofResource(nullptr, info));
}

TEST(ThemeResource, IsThePackedArchive) {
  std::string zip;
  DWORD error = 0;
  std::wstring path;
  for (const char* c = THEME_ZIP; *c; ++c) path.push_back(*c == '/' ? L'\\' : *c);
  ASSERT_TRUE(brand::ReadWholeFile(path, &zip, &error)) << error;
  EXPECT_EQ(zip, OwnTheme());
}

TEST(ThemeResource, HoldsEveryFileTheAssistantLoads) {
  brand::ThemeArchiveCheck check = brand::CheckThemeArchive(OwnTheme());
  ASSERT_TRUE(check.ok) << check.problem;
  for (const char* member : {
           "resources/config.json",
           "resources/lang/zh_CN/gdstrings.ini",
           "resources/themes/default/global.xml",
           "resources/themes/default/basic/basic.xml",
           "resources/themes/default/toast/toast.xml",
           "resources/themes/default/images/header.png",
           "resources/themes/default/images/logo.png",
           "resources/themes/default/images/close_normal.png",
           "resources/themes/default/images/close_hover.png",
           "resources/themes/default/images/popup_close.png",
           "resources/themes/default/images/tutorial.png",
           "resources/themes/default/images/qq.png",
           "resources/themes/default/public/bk/bk_shadow.png",
       }) {
    EXPECT_NE(check.members.end(), std::find(check.members.begin(), check.members.end(), member))
        << member;
  }
}

}  // namespace
