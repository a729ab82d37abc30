// The runtime errors of the HTTP client: "<call> failed: <error number>".
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

namespace winhttpx {

// Text for a failed call: name + " failed: " + error as unsigned decimal.
std::string FailureText(const char* call, DWORD error);

// Throws std::runtime_error with FailureText(call, GetLastError()).
[[noreturn]] void ThrowLastError(const char* call);

}  // namespace winhttpx

namespace winhttpx {

// A failure while a notification is handled: it ends the transfer as
// Failed with this error instead of leaving the notification callback.
class TransferError : public std::runtime_error {
 public:
  TransferError(const char* call, DWORD error)
      : std::runtime_error(FailureText(call, error)), error_(error) {}
  DWORD error() const { return error_; }

 private:
  DWORD error_;
};

}  // namespace winhttpx
