// HttpSession: one asynchronous WinHTTP session with the assistant's fixed
// user agent and no proxy. Shared (std::shared_ptr) by whoever needs it to
// outlive a transfer; any thread.
#pragma once

#include "http/http_handle.h"

namespace winhttpx {

extern const wchar_t kUserAgent[];

class HttpSession : public HttpHandle {
 public:
  // Throws std::runtime_error "WinHttpOpen failed: <error>".
  HttpSession();
  ~HttpSession() override;
};

}  // namespace winhttpx
