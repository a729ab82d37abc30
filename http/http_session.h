// HttpSession: one asynchronous WinHTTP session with the assistant's fixed
// user agent, direct or through the proxy it was made with. Shared
// (std::shared_ptr) by whoever needs it to outlive a transfer; any thread.
#pragma once

#include "http/http_handle.h"
#include "http/proxy_resolver.h"

namespace winhttpx {

extern const wchar_t kUserAgent[];

class HttpSession : public HttpHandle {
 public:
  // Marks the session whose requests WinHTTP routes by the system's
  // settings itself (Windows 8.1 and later).
  struct AutomaticProxy {};

  // Each throws std::runtime_error "WinHttpOpen failed: <error>".
  // Direct.
  HttpSession();
  // Through choice.proxy unless choice.bypass names the host; direct when
  // nothing is named. The requests may still set their own.
  explicit HttpSession(const ProxyChoice& choice);
  explicit HttpSession(AutomaticProxy);
  ~HttpSession() override;
};

}  // namespace winhttpx
