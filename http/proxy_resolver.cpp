#include "http/proxy_resolver.h"

#include <cwctype>
#include <exception>
#include <utility>

#include "http/http_session.h"
#include "http/url_helpers.h"

namespace winhttpx {
namespace {

// A proxy script that cannot be fetched within this long is given up on.
constexpr int kScriptTimeoutMs = 10000;

bool RunningOnWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::wstring TakeString(LPWSTR text) {
  if (!text) return std::wstring();
  std::wstring copy(text);
  GlobalFree(text);
  return copy;
}

// Scheme, host and port: the part of a URL the cached answers are kept by.
std::wstring HostKey(const std::wstring& url) {
  const UrlAuthority authority = ParseUrlAuthority(UrlBase(url));
  std::wstring host = authority.host;
  for (wchar_t& c : host) c = static_cast<wchar_t>(std::towlower(c));
  return (authority.tls ? L"https://" : L"http://") + host + L":" + std::to_wstring(authority.port);
}

}  // namespace

ProxyResolver& ProxyResolver::ForProcess() {
  // Never destroyed: requests may still resolve while the process exits.
  static ProxyResolver* resolver = new ProxyResolver(ReadSystemSettings());
  return *resolver;
}

ProxyResolver::Settings ProxyResolver::ReadSystemSettings() {
  Settings settings;
  // Windows 8.1 and later resolve the user's proxy inside WinHTTP; earlier
  // systems refuse the access type with ERROR_INVALID_PARAMETER and leave
  // it to us. Wine 8 accepts it but then ignores the user's settings and
  // goes direct, so there we take the older road as well.
  if (!RunningOnWine()) {
    HINTERNET probe = WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                  WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (probe) {
      WinHttpCloseHandle(probe);
      settings.automatic = true;
      return settings;
    }
  }
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
  if (WinHttpGetIEProxyConfigForCurrentUser(&config)) {
    settings.auto_detect = config.fAutoDetect != FALSE;
    settings.pac_url = TakeString(config.lpszAutoConfigUrl);
    settings.proxy = TakeString(config.lpszProxy);
    settings.bypass = TakeString(config.lpszProxyBypass);
  }
  return settings;
}

ProxyResolver::ProxyResolver(Settings settings) : settings_(std::move(settings)) {}

ProxyResolver::~ProxyResolver() {
  if (script_session_) WinHttpCloseHandle(script_session_);
}

ProxyChoice ProxyResolver::Fixed() const {
  ProxyChoice choice;
  choice.named = !settings_.proxy.empty();
  if (choice.named) {
    choice.proxy = settings_.proxy;
    choice.bypass = settings_.bypass;
  }
  return choice;
}

bool ProxyResolver::Lookup(const std::wstring& url, ProxyChoice* choice) {
  if (automatic() || !NeedsScript()) {
    *choice = Fixed();
    return true;
  }
  std::wstring key;
  try {
    key = HostKey(url);
  } catch (const std::exception&) {
    return false;
  }
  std::lock_guard<std::mutex> lock(lock_);
  const auto found = by_host_.find(key);
  if (found == by_host_.end()) return false;
  *choice = found->second;
  return true;
}

ProxyChoice ProxyResolver::Resolve(const std::wstring& url) {
  ProxyChoice choice;
  if (Lookup(url, &choice)) return choice;
  std::wstring key;
  try {
    key = HostKey(url);
  } catch (const std::exception&) {
    return Fixed();  // the request itself will refuse the address
  }
  // One search at a time: requests started together (at start-up, a few to
  // the same service) wait for the first one's answer instead of each
  // searching the network, and learn at once when there is nothing to find.
  std::lock_guard<std::mutex> searching(search_lock_);
  if (Lookup(url, &choice)) return choice;
  bool try_detection;
  {
    std::lock_guard<std::mutex> lock(lock_);
    try_detection = settings_.auto_detect && !detection_failed_;
    if (!script_session_) {
      script_session_ = WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
      if (script_session_) {
        WinHttpSetTimeouts(script_session_, kScriptTimeoutMs, kScriptTimeoutMs, kScriptTimeoutMs,
                           kScriptTimeoutMs);
      }
    }
  }
  // Like the system: detection first, then the configured script, then the
  // fixed proxy, else direct.
  bool found = false;
  if (try_detection) {
    found = RunScript(url, WINHTTP_AUTOPROXY_AUTO_DETECT, &choice);
    if (!found && GetLastError() == ERROR_WINHTTP_AUTODETECTION_FAILED) {
      // No script on this network: do not search again for every host.
      std::lock_guard<std::mutex> lock(lock_);
      detection_failed_ = true;
    }
  }
  if (!found && !settings_.pac_url.empty()) {
    found = RunScript(url, WINHTTP_AUTOPROXY_CONFIG_URL, &choice);
  }
  if (!found) choice = Fixed();
  std::lock_guard<std::mutex> lock(lock_);
  by_host_[key] = choice;
  return choice;
}

bool ProxyResolver::RunScript(const std::wstring& url, DWORD flags, ProxyChoice* choice) {
  if (!script_session_) return false;
  WINHTTP_AUTOPROXY_OPTIONS options = {};
  options.dwFlags = flags;
  if (flags & WINHTTP_AUTOPROXY_AUTO_DETECT) {
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  }
  if (flags & WINHTTP_AUTOPROXY_CONFIG_URL) options.lpszAutoConfigUrl = settings_.pac_url.c_str();
  WINHTTP_PROXY_INFO info = {};
  // As documented: ask without credentials first, and send the user's own
  // only when the script's server insists.
  BOOL ok = WinHttpGetProxyForUrl(script_session_, url.c_str(), &options, &info);
  if (!ok && GetLastError() == ERROR_WINHTTP_LOGIN_FAILURE) {
    options.fAutoLogonIfChallenged = TRUE;
    ok = WinHttpGetProxyForUrl(script_session_, url.c_str(), &options, &info);
  }
  if (!ok) return false;
  *choice = ProxyChoice();
  const std::wstring proxy = TakeString(info.lpszProxy);
  const std::wstring bypass = TakeString(info.lpszProxyBypass);
  if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !proxy.empty()) {
    choice->named = true;
    choice->proxy = proxy;
    choice->bypass = bypass;
  }
  return true;
}

std::wstring ProxyResolver::Describe() const {
  if (automatic()) return L"automatic";
  std::wstring text;
  auto add = [&text](const std::wstring& part) {
    if (!text.empty()) text += L", ";
    text += part;
  };
  if (settings_.auto_detect) add(L"auto-detect");
  if (!settings_.pac_url.empty()) add(L"pac " + settings_.pac_url);
  if (!settings_.proxy.empty()) {
    add(L"proxy " + settings_.proxy);
    if (!settings_.bypass.empty()) text += L" bypass " + settings_.bypass;
  }
  return text.empty() ? L"direct" : text;
}

}  // namespace winhttpx
