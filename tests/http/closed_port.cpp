// winsock2.h must come before any windows.h.
#include "tests/http/closed_port.h"

#include <winsock2.h>

namespace winhttpx {
namespace testing_support {

int ClosedPort() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int port = 1;
  int size = sizeof(address);
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  closesocket(s);
  WSACleanup();
  return port;
}

}  // namespace testing_support
}  // namespace winhttpx
