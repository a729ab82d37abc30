// SilentServer: a loopback TCP listener for tests of servers that go quiet.
// It accepts every connection; the first |close_first| are closed at once
// (a refused attempt), the rest are held open without a byte being sent (a
// server, or a TLS handshake with it, that never answers). Everything is
// closed when the object goes away. Owned by one test; port() and
// accepted() may be read from any thread. (No Winsock types here: the
// header may follow windows.h.)
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "tests/http/loopback_acceptor.h"

namespace winhttpx {
namespace testing_support {

class SilentServer {
 public:
  explicit SilentServer(int close_first = 0);
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  // 0 when no listener could be made.
  int port() const { return acceptor_.port(); }
  // Connections accepted so far, the closed ones included.
  int accepted() const { return accepted_.load(); }

 private:
  void Accepted(uintptr_t connection);

  const int close_first_;
  std::atomic<int> accepted_{0};
  std::mutex lock_;
  std::vector<uintptr_t> held_;
  LoopbackAcceptor acceptor_;
};

}  // namespace testing_support
}  // namespace winhttpx
