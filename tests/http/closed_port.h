// A loopback port on which nothing listens (bound once, then released).
#pragma once

namespace winhttpx {
namespace testing_support {

int ClosedPort();

}  // namespace testing_support
}  // namespace winhttpx
