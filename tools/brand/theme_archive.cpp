#include "tools/brand/theme_archive.h"

#include <cstdint>
#include <cwchar>
#include <memory>
#include <string>

#include "archive/zip_names.h"
#include "archive/zip_reader.h"

namespace brand {

const char* const kRequiredThemeMembers[2] = {"resources/config.json",
                                              "resources/themes/default/global.xml"};

namespace {

using Reader = std::unique_ptr<ZipReader, ZipStatus (*)(ZipReader*)>;

ThemeArchiveCheck Fail(std::string problem) {
  ThemeArchiveCheck check;
  check.problem = std::move(problem);
  return check;
}

std::string ToUtf8(const wchar_t* name) {
  const std::u16string wide(name, name + std::wcslen(name));
  return archive::EncodeUtf8(wide);
}

}  // namespace

ThemeArchiveCheck CheckThemeArchive(const std::string& zip) {
  // The reader tells no cut end record from a lying one: both are "no usable
  // end of central directory".
  Reader reader(OpenArchive(zip.data(), zip.size(), ZipSourceKind::Memory), CloseArchive);
  if (!reader) {
    return Fail(
        "not a zip archive, or a damaged or multi-part one (no usable end of central "
        "directory)");
  }

  uint64_t count = 0;
  if (GetEntryCount(reader.get(), &count) != kZipOk || count > INT32_MAX)
    return Fail("damaged zip archive (entry count)");

  ThemeArchiveCheck check;
  for (int i = 0; i < static_cast<int>(count); ++i) {
    ZipEntry entry = {};
    if (GetEntry(reader.get(), i, &entry) != kZipOk)
      return Fail("damaged zip archive (central directory entry " + std::to_string(i) + ")");
    check.members.push_back(ToUtf8(entry.name));
  }

  // Found as the assistant finds them: ASCII letters folded.
  for (const char* required : kRequiredThemeMembers) {
    int index = -1;
    if (FindEntry(reader.get(), required, &index) != kZipOk) {
      check.problem = std::string("the archive has no member \"") + required +
                      "\" (members must be named resources/..., as tools/pack_resources.py "
                      "writes them)";
      return check;
    }
  }
  check.ok = true;
  return check;
}

}  // namespace brand
