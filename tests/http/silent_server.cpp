// winsock2.h must come before any windows.h.
#include "tests/http/silent_server.h"

#include <winsock2.h>

namespace winhttpx {
namespace testing_support {

SilentServer::SilentServer(int close_first) : close_first_(close_first), listener_(INVALID_SOCKET) {
  WSADATA data;
  winsock_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  if (!winsock_) return;
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof(address);
  if (listener == INVALID_SOCKET ||
      bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(listener, SOMAXCONN) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    if (listener != INVALID_SOCKET) closesocket(listener);
    return;
  }
  listener_ = listener;
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Accept(); });
}

SilentServer::~SilentServer() {
  if (listener_ != INVALID_SOCKET) {
    // Ends the blocked accept.
    closesocket(listener_);
    if (thread_.joinable()) thread_.join();
  }
  for (uintptr_t s : held_) closesocket(s);
  if (winsock_) WSACleanup();
}

void SilentServer::Accept() {
  for (;;) {
    const SOCKET s = accept(listener_, nullptr, nullptr);
    if (s == INVALID_SOCKET) return;
    if (++accepted_ <= close_first_) {
      closesocket(s);
      continue;
    }
    std::lock_guard<std::mutex> guard(lock_);
    held_.push_back(s);
  }
}

}  // namespace testing_support
}  // namespace winhttpx
