// Robustness harness for the Windows file-name rule
// (archive/windows_file_name.h); see fuzz_driver.h for how it runs. The
// input is one segment, UTF-8 read leniently (lenient_utf8.h). The rule is
// about what a name resolves to, so names that Windows resolves alike must
// get the same verdict:
// - trailing dots and blanks, which Windows drops, never change it;
// - neither does the case of ASCII letters;
// - nor an extension after a name without dots that has more than blanks;
// - a letter that starts no device name, put in front, leaves only the
//   forbidden characters to decide;
// and directly: an accepted name holds no forbidden character and more than
// dots and blanks, and every device name, in the case pattern the input
// gives, with blanks and the input as an extension, is refused.
#include <string>

#include "archive/windows_file_name.h"
#include "tests/fuzz/fuzz_driver.h"
#include "tests/fuzz/lenient_utf8.h"

namespace {

using archive::IsValidWindowsFileName;
using fuzz::FuzzCheck;

bool IsForbidden(char16_t c) {
  return c < 0x20 || std::u16string_view(u"<>:\"/\\|?*").find(c) != std::u16string_view::npos;
}

bool HasForbidden(const std::u16string& s) {
  for (char16_t c : s) {
    if (IsForbidden(c)) return true;
  }
  return false;
}

std::u16string WithCase(std::u16string s, bool upper) {
  for (char16_t& c : s) {
    if (upper && c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (!upper && c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return s;
}

void CheckSegment(const std::u16string& s) {
  const bool valid = IsValidWindowsFileName(s);
  if (valid) {
    FuzzCheck(!HasForbidden(s), "a name with a forbidden character passes");
    FuzzCheck(s.find_first_not_of(u". ") != std::u16string::npos,
              "a name of dots and blanks only passes");
  }
  for (const char16_t* tail : {u".", u" ", u". .", u" . "}) {
    FuzzCheck(IsValidWindowsFileName(s + tail) == valid,
              "trailing dots or blanks change the verdict");
  }
  const size_t kept = s.find_last_not_of(u". ");
  if (kept != std::u16string::npos) {
    FuzzCheck(IsValidWindowsFileName(s.substr(0, kept + 1)) == valid,
              "dropping trailing dots and blanks changes the verdict");
  }
  FuzzCheck(IsValidWindowsFileName(WithCase(s, true)) == valid, "upper case changes the verdict");
  FuzzCheck(IsValidWindowsFileName(WithCase(s, false)) == valid, "lower case changes the verdict");
  if (s.find(u'.') == std::u16string::npos && s.find_first_not_of(u' ') != std::u16string::npos) {
    FuzzCheck(IsValidWindowsFileName(s + u".txt") == valid, "an extension changes the verdict");
    FuzzCheck(IsValidWindowsFileName(s + u"  .tar.gz") == valid,
              "blanks and an extension change the verdict");
  }
  FuzzCheck(IsValidWindowsFileName(u"x" + s) == !HasForbidden(s),
            "a name that starts with x is judged by more than its characters");
}

// Every device, cased by the input's bits, followed by blanks and the input
// (without forbidden characters) as an extension.
void CheckDevices(const std::u16string& input, const uint8_t* data, size_t size) {
  std::u16string extension;
  for (char16_t c : input) {
    if (!IsForbidden(c)) extension += c;
  }
  const unsigned bits = size > 0 ? data[0] | (size > 1 ? data[size - 1] << 8 : 0) : 0x5A5A;
  for (const char16_t* device :
       {u"con", u"prn", u"aux", u"nul", u"conin$", u"conout$", u"com0", u"com5", u"com9",
        u"com\u00b9", u"com\u00b2", u"com\u00b3", u"lpt0", u"lpt1", u"lpt9", u"lpt\u00b9",
        u"lpt\u00b2", u"lpt\u00b3"}) {
    std::u16string name = device;
    for (size_t i = 0; i < name.size(); ++i) {
      if (((bits >> (i % 16)) & 1) != 0)
        name = WithCase(name.substr(0, i + 1), true) + name.substr(i + 1);
    }
    FuzzCheck(!IsValidWindowsFileName(name), "a device name passes");
    name.append(bits % 3, u' ');
    FuzzCheck(!IsValidWindowsFileName(name + u"." + extension),
              "a device with an extension passes");
    // One more character before the extension makes an ordinary name, also
    // after blanks.
    FuzzCheck(IsValidWindowsFileName(name + u"7." + extension),
              "a longer name is taken for a device");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string segment = fuzz::DecodeLeniently<std::u16string>(data, size);
  CheckSegment(segment);
  CheckDevices(segment, data, size);
  return 0;
}
