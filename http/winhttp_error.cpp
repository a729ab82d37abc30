#include "http/winhttp_error.h"

#include <stdexcept>

namespace winhttpx {

std::string FailureText(const char* call, DWORD error) {
  return std::string(call) + " failed: " + std::to_string(static_cast<unsigned long>(error));
}

void ThrowLastError(const char* call) {
  throw std::runtime_error(FailureText(call, GetLastError()));
}

}  // namespace winhttpx
