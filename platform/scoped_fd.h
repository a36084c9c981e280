// Owning a POSIX file descriptor: the one owner that the POSIX backend's
// sockets, pipes, lock files and child processes keep their descriptors in.
#ifndef QUORVANE_PLATFORM_SCOPED_FD_H_
#define QUORVANE_PLATFORM_SCOPED_FD_H_

#include "platform/export.h"
#include "platform/scoped_handle.h"

namespace Tavrin::Platform {

// close(2), retried never (the descriptor is gone whatever it answers).
QUORVANE_PLATFORM_EXPORT void close_fd(int fd) noexcept;

struct FdTraits {
  using Handle = int;
  static int empty() noexcept { return -1; }
  static void close(int fd) noexcept { close_fd(fd); }
};

// Owns one file descriptor (-1: none) and closes it when it goes.
// Move-only.
using ScopedFd = ScopedHandle<FdTraits>;

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_SCOPED_FD_H_
