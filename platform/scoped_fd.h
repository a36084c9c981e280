// Owning a POSIX file descriptor: the one owner that the POSIX backend's
// sockets, pipes, lock files and child processes keep their descriptors in.
#ifndef QUORVANE_PLATFORM_SCOPED_FD_H_
#define QUORVANE_PLATFORM_SCOPED_FD_H_

#include "platform/export.h"

namespace Tavrin::Platform {

// Owns one file descriptor and closes it when it goes. Move-only.
class QUORVANE_PLATFORM_EXPORT ScopedFd {
 public:
  ScopedFd() = default;
  explicit ScopedFd(int fd) noexcept : fd_(fd) {}
  ~ScopedFd() { reset(); }
  ScopedFd(ScopedFd&& other) noexcept : fd_(other.release()) {}
  ScopedFd& operator=(ScopedFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Gives up ownership; the descriptor is -1 afterwards.
  int release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the held descriptor and holds `fd` instead.
  void reset(int fd = -1) noexcept;

 private:
  int fd_ = -1;
};

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_SCOPED_FD_H_
