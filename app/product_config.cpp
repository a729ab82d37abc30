#include "app/product_config.h"

#include <windows.h>

#include "app/json_value.h"
#include "app/utf8.h"
#include "ui/core/global_manager.h"

namespace {

const wchar_t kConfigMember[] = L"resources\\config.json";

std::string ReadArchiveMember(const std::wstring& name) {
  HGLOBAL block = ui::GlobalManager::GetArchiveData(name);
  if (block == nullptr) return std::string();
  std::string text;
  const char* bytes = static_cast<const char*>(::GlobalLock(block));
  if (bytes != nullptr) {
    text.assign(bytes, ::GlobalSize(block));
    ::GlobalUnlock(block);
  }
  ::GlobalFree(block);
  return text;
}

// The size comes from a directory search, as the file may be held open for
// writing by someone else.
std::string ReadDiskFile(const std::wstring& path) {
  WIN32_FIND_DATAW found = {};
  HANDLE search = ::FindFirstFileW(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return std::string();
  ::FindClose(search);
  if (found.nFileSizeHigh != 0) return std::string();  // no configuration is that large

  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string text(found.nFileSizeLow, '\0');
  DWORD read = 0;
  if (text.empty() ||
      !::ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, nullptr)) {
    read = 0;
  }
  ::CloseHandle(file);
  text.resize(read);
  return text;
}

void StoreString(const Json& config, const char* key, std::wstring& field) {
  const Json& value = JsonMember(config, key);
  if (value.is_string()) field = Utf8ToUtf16(value.get<std::string>());
}

}  // namespace

ProductConfig& ProductConfig::Instance() {
  static ProductConfig config;
  return config;
}

std::string ProductConfig::ReadText() const {
  if (ui::GlobalManager::IsArchiveOpen()) return ReadArchiveMember(kConfigMember);
  return ReadDiskFile(directory_ + kConfigMember);
}

bool ProductConfig::Load(const std::wstring& directory) {
  directory_ = directory;
  const std::string text = ReadText();
  if (text.empty()) return false;
  const Json config = ParseJson(text);
  if (config.is_null()) return false;
  StoreString(config, "product", product_);
  StoreString(config, "channel", channel_);
  StoreString(config, "name", name_);
  StoreString(config, "intro", intro_);
  return true;
}
