#include "platform/scoped_fd.h"

#include <unistd.h>

namespace Tavrin::Platform {

void close_fd(int fd) noexcept { ::close(fd); }

}  // namespace Tavrin::Platform
