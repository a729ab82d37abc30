// AnsweringServer: a loopback HTTP/1.1 server for tests that watch
// connections rather than requests. Every request on a connection gets the
// same short answer ("ok", kept-alive framing: a length, no close), and the
// server counts the connections it accepted and those the client ended, so a
// test can tell whether a client kept its connection or let it go. A fresh
// port also means no client has a cached connection to it. Owned by one
// test; the counts may be read from any thread. (No Winsock types here: the
// header may follow windows.h.)
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/http/loopback_acceptor.h"

namespace winhttpx {
namespace testing_support {

class AnsweringServer {
 public:
  static constexpr char kBody[] = "ok";

  AnsweringServer();
  ~AnsweringServer();
  AnsweringServer(const AnsweringServer&) = delete;
  AnsweringServer& operator=(const AnsweringServer&) = delete;

  // 0 when no listener could be made.
  int port() const { return acceptor_.port(); }
  int accepted() const { return accepted_.load(); }
  // Connections accepted and not ended by the client.
  int open() const { return accepted_.load() - ended_.load(); }
  // Whether open() comes to |count| within |ms|.
  bool WaitForOpen(int count, int ms) const;

 private:
  void Serve(uintptr_t connection);

  std::atomic<int> accepted_{0};
  std::atomic<int> ended_{0};
  std::atomic<bool> stopping_{false};
  std::mutex lock_;
  std::vector<uintptr_t> connections_;
  std::vector<std::thread> servers_;
  LoopbackAcceptor acceptor_;
};

}  // namespace testing_support
}  // namespace winhttpx
