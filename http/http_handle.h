// HttpHandle: owner of one WinHTTP handle (session, connection or request);
// closes it when destroyed. Not copyable. The owning object decides which
// thread may use it.
#pragma once

#include <windows.h>

#include <winhttp.h>

namespace winhttpx {

class HttpHandle {
 public:
  explicit HttpHandle(HINTERNET handle = nullptr) : handle_(handle) {}
  virtual ~HttpHandle();
  HttpHandle(const HttpHandle&) = delete;
  HttpHandle& operator=(const HttpHandle&) = delete;

  HINTERNET handle() const { return handle_; }

 protected:
  void Close();

  HINTERNET handle_;
};

}  // namespace winhttpx
