#include "tools/brand/theme_archive.h"

#include <gtest/gtest.h>

#include "tests/tools/test_zip.h"

namespace {

using brand::CheckThemeArchive;
using brand_test::MakeThemeZip;
using brand_test::MakeZip;

TEST(ThemeArchive, AcceptsAThemeAndListsItsMembers) {
  auto check = CheckThemeArchive(MakeThemeZip("fernwick"));
  EXPECT_TRUE(check.ok) << check.problem;
  EXPECT_EQ(
      (std::vector<std::string>{"resources/config.json", "resources/themes/default/global.xml",
                                "resources/themes/default/basic/basic.xml"}),
      check.members);
}

TEST(ThemeArchive, FindsTheEndRecordBehindACommentAndAfterAPrependedStub) {
  const std::string theme = MakeZip(
      {{"RESOURCES/Config.json", "{}"}, {"resources/themes/default/global.xml", "<Global/>"}},
      std::string(300, 'c'));
  // Member names match with ASCII case folded, as the assistant looks them up.
  EXPECT_TRUE(CheckThemeArchive(theme).ok);
  EXPECT_TRUE(CheckThemeArchive(std::string(100, 'M') + theme).ok);
}

TEST(ThemeArchive, NamesTheMissingMemberWhenTheFolderWasZippedWithoutItsRoot) {
  // Zipping the folder's contents instead of the folder drops "resources/".
  auto check = CheckThemeArchive(
      MakeZip({{"config.json", "{}"}, {"themes/default/global.xml", "<Global/>"}}));
  EXPECT_FALSE(check.ok);
  EXPECT_NE(std::string::npos, check.problem.find("resources/config.json")) << check.problem;

  check = CheckThemeArchive(MakeZip({{"resources/config.json", "{}"}}));
  EXPECT_FALSE(check.ok);
  EXPECT_NE(std::string::npos, check.problem.find("resources/themes/default/global.xml"));
}

TEST(ThemeArchive, RejectsWhatIsNotAWholeZip) {
  EXPECT_FALSE(CheckThemeArchive("").ok);
  EXPECT_FALSE(CheckThemeArchive(std::string(5000, '\x7f')).ok);

  const std::string theme = MakeThemeZip("fernwick");
  // Cut inside the end record: no end record is left.
  auto check = CheckThemeArchive(theme.substr(0, theme.size() - 4));
  EXPECT_FALSE(check.ok);
  EXPECT_NE(std::string::npos, check.problem.find("not a zip")) << check.problem;

  // An end record that claims more entries than the directory holds.
  std::string lying = theme;
  lying[lying.size() - 22 + 8] = 9;
  lying[lying.size() - 22 + 10] = 9;
  check = CheckThemeArchive(lying);
  EXPECT_FALSE(check.ok);
  EXPECT_NE(std::string::npos, check.problem.find("damaged")) << check.problem;

  // A directory offset beyond the end record.
  std::string past = theme;
  past[past.size() - 22 + 19] = 0x10;
  EXPECT_FALSE(CheckThemeArchive(past).ok);

  // Spanned archives.
  std::string spanned = theme;
  spanned[spanned.size() - 22 + 4] = 1;
  EXPECT_FALSE(CheckThemeArchive(spanned).ok);
}

TEST(ThemeArchive, RejectsAMemberTheAssistantCouldNotRead) {
  // The directory is intact but the first member's local header is not where
  // its record says: the assistant's reader would fail on it, so must the check.
  std::string theme = MakeThemeZip("fernwick");
  ASSERT_EQ(theme.compare(0, 4, "PK\x03\x04"), 0);
  theme[0] = 'X';
  auto check = CheckThemeArchive(theme);
  EXPECT_FALSE(check.ok);
  EXPECT_NE(std::string::npos, check.problem.find("entry 0")) << check.problem;
}

}  // namespace
