#include "archive/windows_file_name.h"

#include <gtest/gtest.h>
#include <string>

#include "archive/zip_names.h"

namespace archive {
namespace {

TEST(WindowsFileNameTest, NamesThatResolveToTheFolderOrItsParentFail) {
  for (const char16_t* name :
       {u"", u" ", u"  ", u".", u"..", u"...", u" ..", u".. ", u". .", u" . ", u". . ."}) {
    EXPECT_FALSE(IsValidWindowsFileName(name)) << EncodeUtf8(name);
  }
  // Dots and blanks with anything else in them name a file.
  for (const char16_t* name : {u".hidden", u"..config", u"a..b", u"x.", u"x ", u". x", u"...a"}) {
    EXPECT_TRUE(IsValidWindowsFileName(name)) << EncodeUtf8(name);
  }
}

TEST(WindowsFileNameTest, DeviceNamesFailInEveryCaseAndWithAnyExtension) {
  for (const char16_t* name :
       {u"CON",         u"con",       u"Prn",       u"aux",           u"NUL",      u"CONIN$",
        u"conout$",     u"COM0",      u"com1",      u"COM9",          u"LPT0",     u"lpt5",
        u"COM\u00b9",   u"com\u00b2", u"LPT\u00b3", u"nul.txt",       u"nul .txt", u"NUL  .tar.gz",
        u"COM1.tar.gz", u"aux.",      u"con ",      u"lpt\u00b9.log", u"conin$.x"}) {
    EXPECT_FALSE(IsValidWindowsFileName(name)) << EncodeUtf8(name);
  }
  // Longer, shorter or other digits are ordinary names.
  for (const char16_t* name :
       {u"console.txt", u"com10", u"lpt", u"COM", u"nul_", u"xnul", u"auxiliary", u"COM\u2074",
        u"LPT\u00b9x", u" con", u"c0n", u"con_out$"}) {
    EXPECT_TRUE(IsValidWindowsFileName(name)) << EncodeUtf8(name);
  }
}

TEST(WindowsFileNameTest, CharactersWindowsForbidsFail) {
  for (char16_t c : {u'<', u'>', u':', u'"', u'/', u'\\', u'|', u'?', u'*', char16_t(0),
                     char16_t(0x01), u'\t', char16_t(0x1f)}) {
    std::u16string name = u"a";
    name += c;
    name += u"b.txt";
    EXPECT_FALSE(IsValidWindowsFileName(name)) << static_cast<int>(c);
  }
  for (const char16_t* name : {u"readme.txt", u"caf\u00e9", u"a b", u"x\u007f", u"[1]{2}#%&'"}) {
    EXPECT_TRUE(IsValidWindowsFileName(name)) << EncodeUtf8(name);
  }
}

}  // namespace
}  // namespace archive
