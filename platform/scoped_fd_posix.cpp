#include "platform/scoped_fd.h"

#include <unistd.h>

namespace Tavrin::Platform {

void ScopedFd::reset(int fd) noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

}  // namespace Tavrin::Platform
