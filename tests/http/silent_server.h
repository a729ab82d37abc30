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
#include <thread>
#include <vector>

namespace winhttpx {
namespace testing_support {

class SilentServer {
 public:
  explicit SilentServer(int close_first = 0);
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  // 0 when no listener could be made.
  int port() const { return port_; }
  // Connections accepted so far, the closed ones included.
  int accepted() const { return accepted_.load(); }

 private:
  void Accept();

  const int close_first_;
  bool winsock_ = false;
  uintptr_t listener_;  // a SOCKET
  int port_ = 0;
  std::atomic<int> accepted_{0};
  std::mutex lock_;
  std::vector<uintptr_t> held_;
  std::thread thread_;
};

}  // namespace testing_support
}  // namespace winhttpx
