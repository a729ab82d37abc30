// winsock2.h must come before any windows.h.
#include "tests/http/silent_server.h"

#include <winsock2.h>

namespace winhttpx {
namespace testing_support {

SilentServer::SilentServer(int close_first)
    : close_first_(close_first), acceptor_([this](uintptr_t s) { Accepted(s); }) {}

SilentServer::~SilentServer() {
  acceptor_.Stop();
  for (uintptr_t s : held_) closesocket(s);
}

void SilentServer::Accepted(uintptr_t connection) {
  if (++accepted_ <= close_first_) {
    closesocket(connection);
    return;
  }
  std::lock_guard<std::mutex> guard(lock_);
  held_.push_back(connection);
}

}  // namespace testing_support
}  // namespace winhttpx
