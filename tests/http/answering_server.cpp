// winsock2.h must come before any windows.h.
#include "tests/http/answering_server.h"

#include <winsock2.h>

#include <string>

namespace winhttpx {
namespace testing_support {

AnsweringServer::AnsweringServer()
    : acceptor_([this](uintptr_t s) {
        ++accepted_;
        std::lock_guard<std::mutex> guard(lock_);
        connections_.push_back(s);
        servers_.emplace_back([this, s] { Serve(s); });
      }) {}

AnsweringServer::~AnsweringServer() {
  acceptor_.Stop();
  // A receive blocked in another thread is not always woken by closing the
  // socket; each one looks at the flag between short waits instead.
  stopping_ = true;
  for (std::thread& server : servers_) server.join();
  for (uintptr_t s : connections_) closesocket(s);
}

bool AnsweringServer::WaitForOpen(int count, int ms) const {
  for (int waited = 0;; waited += 20) {
    if (open() == count) return true;
    if (waited >= ms) return false;
    Sleep(20);
  }
}

void AnsweringServer::Serve(uintptr_t connection) {
  const SOCKET s = connection;
  const std::string answer = std::string("HTTP/1.1 200 OK\r\nContent-Length: ") +
                             std::to_string(sizeof(kBody) - 1) + "\r\n\r\n" + kBody;
  const DWORD wait_ms = 50;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait_ms), sizeof(wait_ms));
  std::string received;
  char buffer[4096];
  for (;;) {
    const int got = recv(s, buffer, sizeof(buffer), 0);
    if (got == SOCKET_ERROR && WSAGetLastError() == WSAETIMEDOUT) {
      if (stopping_) return;  // not ended by the client
      continue;
    }
    if (got <= 0) break;  // the client ended the connection
    received.append(buffer, static_cast<size_t>(got));
    // Requests without bodies: one answer per header block.
    for (size_t end = received.find("\r\n\r\n"); end != std::string::npos;
         end = received.find("\r\n\r\n")) {
      received.erase(0, end + 4);
      if (send(s, answer.data(), static_cast<int>(answer.size()), 0) <= 0) break;
    }
  }
  ++ended_;
}

}  // namespace testing_support
}  // namespace winhttpx
