#include "http/http_handle.h"

namespace winhttpx {

HttpHandle::~HttpHandle() { Close(); }

void HttpHandle::Close() {
  if (handle_) {
    WinHttpCloseHandle(handle_);
    handle_ = nullptr;
  }
}

}  // namespace winhttpx
