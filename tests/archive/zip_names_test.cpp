#include "archive/zip_names.h"

#include <gtest/gtest.h>
#include <string>

namespace archive {
namespace {

TEST(ZipNamesTest, SanitisingStripsEveryWayOfClimbingOut) {
  struct Case {
    const char16_t* stored;
    const char16_t* expected;
  } cases[] = {
      {u"../../x.txt", u"x.txt"},
      {u"\\x.txt", u"x.txt"},
      {u"C:x.txt", u"x.txt"},
      {u"a/../../b.txt", u"b.txt"},
      {u"C:\\..\\..\\w.txt", u"w.txt"},
      {u"//server/share/f", u"server/share/f"},
      {u"..\\..\\../y", u"y"},
      {u"a/b\\..\\c", u"c"},
      {u"ok/name.txt", u"ok/name.txt"},
      {u"..name/x", u"..name/x"},  // a name that starts with dots is no climb
      {u"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SanitizeEntryName(c.stored), std::u16string(c.expected)) << EncodeUtf8(c.stored);
  }
}

TEST(ZipNamesTest, ContainmentRefusesWhatSanitisingLeavesUnsafe) {
  for (const char16_t* name : {u"x.txt", u"a/b/c.txt", u"dir/", u"./x", u"a..b", u".hidden",
                               u"..config/x", u"com10", u"console.txt", u"caf\u00e9"}) {
    EXPECT_TRUE(IsContainedEntryName(name)) << EncodeUtf8(name);
  }
  for (const char16_t* name : {u"", u"/", u".", u"./", u"..", u"a/..", u"....", u"dir/. ./y",
                               u"a/.. /b", u" ", u"x.txt:stream", u"x:y", u"aux", u"AUX.txt",
                               u"com1", u"lpt9.log", u"sub/nul", u"Con .txt"}) {
    EXPECT_FALSE(IsContainedEntryName(name)) << EncodeUtf8(name);
  }
  // Every segment, first, middle or last, gets the whole file-name rule.
  for (const char16_t* name :
       {u" ../x", u"a/ ../b", u"a/.. /b", u"a\\. .\\b", u"a/ /b", u"COM\u00b9/x.txt",
        u"x/lpt\u00b2.log", u"a/COM0.tar.gz/b", u"a/nul .txt", u"a/conin$", u"d/x?.txt", u"d/a<b",
        u"d/a|b/c", u"d/tab\there", u"d\\x\"y"}) {
    EXPECT_FALSE(IsContainedEntryName(name)) << EncodeUtf8(name);
  }
  for (const char16_t* name : {u"a/./b", u"a//b", u"a\\b\\", u"d/x./y", u"com10/lpt10"}) {
    EXPECT_TRUE(IsContainedEntryName(name)) << EncodeUtf8(name);
  }
}

TEST(ZipNamesTest, DecodingReplacesInvalidUtf8AndNeverMakesSeparators) {
  EXPECT_EQ(DecodeEntryName("caf\xc3\xa9"), u"caf\u00e9");
  EXPECT_EQ(DecodeEntryName("\xf0\x9f\x98\x80"), u"\U0001F600");
  EXPECT_EQ(DecodeEntryName("a\xff"
                            "b"),
            u"a\uFFFDb");
  // An overlong "/" must stay two replacement characters.
  EXPECT_EQ(DecodeEntryName("..\xc0\xaf"
                            "x"),
            u"..\uFFFD\uFFFDx");
  // Encoded surrogates are invalid too.
  EXPECT_EQ(DecodeEntryName("\xed\xa0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(DecodeEntryName("\xe6\x95"), u"\uFFFD\uFFFD");  // cut short
}

TEST(ZipNamesTest, DecodingEndsAtNulAndAtTheLengthLimit) {
  EXPECT_EQ(DecodeEntryName(std::string("ab\0/../cd", 9)), u"ab");
  EXPECT_EQ(DecodeEntryName(std::string(300, 'n')).size(), kMaxEntryNameUnits);
  // A pair that does not fit whole is left out rather than split.
  std::string name(258, 'n');
  name += "\xf0\x9f\x98\x80";
  EXPECT_EQ(DecodeEntryName(name), std::u16string(258, u'n'));
}

TEST(ZipNamesTest, EncodingRoundTripsAndReplacesLoneSurrogates) {
  EXPECT_EQ(EncodeUtf8(u"caf\u00e9 \U0001F600"), "caf\xc3\xa9 \xf0\x9f\x98\x80");
  EXPECT_EQ(EncodeUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xef\xbf\xbdx");
}

TEST(ZipNamesTest, FindComparisonFoldsOnlyAsciiLetters) {
  EXPECT_TRUE(NameEqualsFoldingAscii("readme.txt", "README.TXT"));
  EXPECT_TRUE(NameEqualsFoldingAscii("docs/caf\xc3\xa9", "DOCS/CAF\xc3\xa9"));
  EXPECT_FALSE(NameEqualsFoldingAscii("caf\xc3\xa9", "CAF\xc3\x89"));  // é against É
  EXPECT_FALSE(NameEqualsFoldingAscii("[", "{"));  // 0x20 apart, but not letters
  EXPECT_FALSE(NameEqualsFoldingAscii("a", "ab"));
}

}  // namespace
}  // namespace archive
