// LoopbackAcceptor: what the test servers share. It starts Winsock, listens
// on a fresh loopback port and hands every connection it accepts, on a
// thread of its own, to the owner's callback, until Stop (or its end). An
// owner whose callback touches its other members calls Stop first in its
// destructor. (No Winsock types here: the header may follow windows.h.)
#pragma once

#include <cstdint>
#include <functional>
#include <thread>

namespace winhttpx {
namespace testing_support {

class LoopbackAcceptor {
 public:
  // |accepted| gets each connection (a SOCKET) and owns it from then on.
  explicit LoopbackAcceptor(std::function<void(uintptr_t connection)> accepted);
  ~LoopbackAcceptor();
  LoopbackAcceptor(const LoopbackAcceptor&) = delete;
  LoopbackAcceptor& operator=(const LoopbackAcceptor&) = delete;

  // 0 when no listener could be made.
  int port() const { return port_; }
  // Closes the listener and waits for the accepting thread to end.
  void Stop();

 private:
  bool winsock_ = false;
  uintptr_t listener_;  // a SOCKET
  int port_ = 0;
  std::thread thread_;
};

}  // namespace testing_support
}  // namespace winhttpx
