#include "http/http_session.h"

#include "http/winhttp_error.h"

namespace winhttpx {

const wchar_t kUserAgent[] =
    L"Mozilla/5.0 (Macintosh; Intel Mac OS X 13_6_0) AppleWebKit/537.36 (KHTML, like Gecko) "
    L"Chrome/91.0.4472.114 Safari/537.36";

HttpSession::HttpSession() : HttpSession(ProxyChoice()) {}

HttpSession::HttpSession(const ProxyChoice& choice) {
  // Wine 8 routes by the session alone (it ignores WINHTTP_OPTION_PROXY on a
  // request), so the session carries the request's route too.
  if (choice.named) {
    handle_ = WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, choice.proxy.c_str(),
                          choice.bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : choice.bypass.c_str(),
                          WINHTTP_FLAG_ASYNC);
  } else {
    handle_ = WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                          WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
  }
  if (!handle_) ThrowLastError("WinHttpOpen");
}

HttpSession::HttpSession(AutomaticProxy)
    : HttpHandle(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC)) {
  if (!handle_) ThrowLastError("WinHttpOpen");
}

HttpSession::~HttpSession() {
  if (handle_) {
    WinHttpSetStatusCallback(handle_, nullptr, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS, 0);
  }
}

}  // namespace winhttpx
