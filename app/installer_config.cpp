#include "app/installer_config.h"

#include <utility>

#include "app/app_directories.h"
#include "app/json_file.h"
#include "app/utf8.h"
#include "http/text_helpers.h"

InstallerConfig::InstallerConfig() : path_(InstallerConfigPath()) {}

InstallerConfig::InstallerConfig(std::wstring path) : path_(std::move(path)) {}

std::wstring InstallerConfig::Get(const std::string& key) const {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  return Utf8ToUtf16(JsonString(ReadJsonFile(path_), key));
}

bool InstallerConfig::Set(const std::map<std::string, std::wstring>& values) const {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  JsonObject object;
  for (const auto& value : values) object[value.first] = winhttpx::Utf16ToUtf8(value.second);
  return MergeJsonFile(path_, object);
}
