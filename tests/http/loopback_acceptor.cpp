// winsock2.h must come before any windows.h.
#include "tests/http/loopback_acceptor.h"

#include <winsock2.h>

#include <utility>

namespace winhttpx {
namespace testing_support {

LoopbackAcceptor::LoopbackAcceptor(std::function<void(uintptr_t connection)> accepted)
    : listener_(INVALID_SOCKET) {
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
  thread_ = std::thread([listener, accepted = std::move(accepted)] {
    for (;;) {
      const SOCKET s = accept(listener, nullptr, nullptr);
      if (s == INVALID_SOCKET) return;
      accepted(s);
    }
  });
}

LoopbackAcceptor::~LoopbackAcceptor() {
  Stop();
  if (winsock_) WSACleanup();
}

void LoopbackAcceptor::Stop() {
  if (listener_ == INVALID_SOCKET) return;
  // Ends the blocked accept.
  closesocket(listener_);
  listener_ = INVALID_SOCKET;
  if (thread_.joinable()) thread_.join();
}

}  // namespace testing_support
}  // namespace winhttpx
