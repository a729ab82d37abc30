// Small helpers for the tools' tests: an in-memory zip writer (stored
// members, real CRC-32s) and whole-file writes. Test code only.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace brand_test {

using Members = std::vector<std::pair<std::string, std::string>>;  // name, content

std::string MakeZip(const Members& members, const std::string& comment = "");

// A zip the branding tool accepts: the two members the assistant needs.
std::string MakeThemeZip(const std::string& product);

bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

}  // namespace brand_test
