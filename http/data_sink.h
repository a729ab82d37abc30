// DataSink: where a streamed request body is written, piece by piece, by the
// body provider that the request calls from its notification thread.
#pragma once

#include <cstddef>

namespace winhttpx {

class DataSink {
 public:
  // Hands one piece of the body to the transfer; false when nothing was sent.
  virtual bool Write(const char* bytes, size_t count) = 0;
  // Marks the end of a body of unknown length.
  virtual void Finish() = 0;

 protected:
  virtual ~DataSink() = default;
};

}  // namespace winhttpx
