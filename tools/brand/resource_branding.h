// BrandExecutable: writes a copy of a built assistant whose embedded branding
// archive (resource type "THEME", id 129) is replaced by another zip, so one
// build serves many products and channels without a compiler.
//
// Plain functions over files; no state. Any thread, but two calls must not
// write the same output at once.
#pragma once

#include <windows.h>

#include <string>

namespace brand {

constexpr const wchar_t* kThemeResourceType = L"THEME";
constexpr WORD kThemeResourceId = 129;

struct BrandResult {
  bool ok = false;
  std::wstring message;  // what was written, or why nothing was
};

// Copies `assistant` to `output` and replaces its THEME/129 resource (in every
// language it exists in) with the bytes of `theme_zip`, then reads the output
// back to confirm. Refuses, writing nothing, when the zip is not a branding
// archive, when `assistant` is not an executable with a THEME/129 resource, or
// when `output` names `assistant` itself. A failure after the copy removes the
// half-made output.
BrandResult BrandExecutable(const std::wstring& assistant, const std::wstring& theme_zip,
                            const std::wstring& output);

// Reads the whole file; false (with the system's error in `error`) when it
// cannot be read.
bool ReadWholeFile(const std::wstring& path, std::string* bytes, DWORD* error);

// The THEME/129 resource of an executable file, in the first language found;
// false when the file cannot be loaded or has no such resource.
bool ReadThemeResource(const std::wstring& executable, std::string* bytes);

}  // namespace brand
