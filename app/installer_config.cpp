#include "app/installer_config.h"

#include <utility>

#include "app/app_directories.h"
#include "app/json_file.h"
#include "base/utf8.h"

InstallerConfig::InstallerConfig() : path_(InstallerConfigPath()) {}

InstallerConfig::InstallerConfig(std::wstring path) : path_(std::move(path)) {}

std::wstring InstallerConfig::Get(const std::string& key) const {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  return cbase::Utf8ToUtf16(JsonString(ReadJsonFile(path_), key));
}

namespace {

JsonObject Utf8Values(const std::map<std::string, std::wstring>& values) {
  JsonObject object;
  for (const auto& value : values) object[value.first] = cbase::Utf16ToUtf8(value.second);
  return object;
}

}  // namespace

bool InstallerConfig::Set(const std::map<std::string, std::wstring>& values) const {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  return MergeJsonFile(path_, Utf8Values(values));
}

std::unique_ptr<PendingJsonMerge> InstallerConfig::Prepare(
    const std::map<std::string, std::wstring>& values) const {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  return std::make_unique<PendingJsonMerge>(path_, Utf8Values(values));
}
