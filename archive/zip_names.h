// Entry names: decoding the stored bytes, the sanitising rules that keep a
// name from climbing above the folder it is extracted into, the final
// containment test the extraction code applies before writing, and the
// name comparison of FindEntry. Pure functions, no platform calls.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace archive {

// Longest entry name kept, in UTF-16 code units (a path of 260 with its
// terminator).
constexpr size_t kMaxEntryNameUnits = 259;

// Decodes a stored name from UTF-8 into UTF-16. Invalid sequences become
// U+FFFD; the name ends at the first NUL byte (so every later check sees what
// the file system would see) and after kMaxEntryNameUnits units.
std::u16string DecodeEntryName(std::string_view stored);

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string EncodeUtf8(std::u16string_view text);

// Applies, until none applies: skip a drive prefix (any character followed
// by ':'); skip one leading separator; skip a leading "..\" or "../"; skip
// past the first "\..\", "\../", "/../" or "/..\".
std::u16string SanitizeEntryName(std::u16string name);

// The test applied to a (sanitised) name before anything is written under
// a target folder: false when the name has no segment other than empty ones
// and ".", or when any other segment fails IsValidWindowsFileName (dots and
// blanks only, a device, a colon for a drive or stream, ...). Such an entry
// is skipped.
bool IsContainedEntryName(std::u16string_view name);

// FindEntry's comparison: equal bytes, with ASCII letters folded to one case.
// Other bytes (all of non-ASCII UTF-8) must match exactly.
bool NameEqualsFoldingAscii(std::string_view stored, std::string_view wanted);

}  // namespace archive
