// The one rule for a single file or folder name (a path segment, no
// separators) that is to name exactly itself in a folder on Windows. Both
// names that come from outside go through it: the entry names of a package
// (each segment, IsContainedEntryName) and the local name of a downloaded
// package (PackageFileName).
//
// Pure function without platform calls, so it also builds natively for the
// sanitizer and fuzzing harnesses. Any thread.
#pragma once

#include <string_view>

namespace archive {

// False for a segment that:
// - is empty or resolves to "." or ".." once Windows drops trailing dots
//   and blanks (" ", "...", " ..", ".. ", ". .");
// - names a device: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-COM9 and
//   LPT0-LPT9, also with the superscript digits 1, 2 and 3 (U+00B9, U+00B2,
//   U+00B3), in any case of the ASCII letters, alone or followed by blanks
//   and an extension ("nul", "nul .txt", "COM1.tar.gz");
// - holds a character Windows forbids in names: U+0000-U+001F and
//   < > : " / \ | ? *.
bool IsValidWindowsFileName(std::u16string_view segment);

}  // namespace archive
