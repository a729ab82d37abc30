#include "app/attribution.h"

#include <windows.h>

#include <memory>
#include <utility>
#include <vector>

#include "app/app_directories.h"
#include "app/installer_config.h"
#include "app/json_value.h"
#include "app/product_config.h"
#include "app/service_request.h"
#include "base/utf8.h"

namespace {

constexpr size_t kMaxIdLength = 128;

bool IsUsableId(const std::wstring& id) {
  if (id.empty() || id.size() > kMaxIdLength) return false;
  for (wchar_t c : id) {
    if (c < 0x20 || c > 0x7E) return false;
    if (c == L'"' || c == L'\'' || c == L'/' || c == L'\\') return false;
  }
  return true;
}

std::wstring ThisModuleFileName() {
  HMODULE module = nullptr;
  // The module holding this code, which is the executable unless the code is
  // ever moved into a library.
  ::GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ThisModuleFileName), &module);
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

void StoreId(const std::wstring& config_path, const std::wstring& id) {
  InstallerConfig(config_path).Set({{InstallerConfig::kAttributionId, id}});
}

}  // namespace

std::wstring AttributionIdFromFileName(const std::wstring& file_name) {
  std::vector<std::wstring> pieces;
  size_t start = 0;
  while (start <= file_name.size()) {
    size_t end = file_name.find(L'_', start);
    if (end == std::wstring::npos) end = file_name.size();
    if (end > start) pieces.push_back(file_name.substr(start, end - start));
    start = end + 1;
  }
  if (pieces.size() != 3 || !IsUsableId(pieces[1])) return std::wstring();
  return pieces[1];
}

AttributionSources AttributionSources::ForThisProcess() {
  AttributionSources sources;
  sources.executable_name = ThisModuleFileName();
  sources.config_path = InstallerConfigPath();
  sources.request_url = ServiceAddress(ProductConfig::Instance().service_url(), L"/api/get-bdvid");
  return sources;
}

void ResolveAttribution(const AttributionSources& sources, const PostToUIFunction& post,
                        AttributionCallback found, std::function<void()> ended) {
  const std::wstring from_name = AttributionIdFromFileName(sources.executable_name);
  if (!from_name.empty()) {
    StoreId(sources.config_path, from_name);
    if (found) found(from_name);
  }

  const std::wstring stored =
      InstallerConfig(sources.config_path).Get(InstallerConfig::kAttributionId);
  if (!stored.empty()) {
    if (found) found(stored);
    if (ended) ended();
    return;
  }

  FetchOnUI(sources.request_url, post,
            [config_path = sources.config_path, found = std::move(found),
             ended = std::move(ended)](const ServiceReply& reply) {
              HandleAttributionReply(reply.body, config_path, found);
              if (ended) ended();
            });
}

void HandleAttributionReply(const std::string& body, const std::wstring& config_path,
                            const AttributionCallback& found) {
  const Json reply = ParseJson(body);
  const Json& success = JsonMember(reply, "success");
  const Json& id = JsonMember(reply, "bdvid");
  if (!success.is_boolean() || !success.get<bool>() || !id.is_string()) return;
  const std::wstring wide = cbase::Utf8ToUtf16(id.get<std::string>());
  StoreId(config_path, wide);
  if (found) found(wide);
}
