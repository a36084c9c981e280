#include "platform/com/remote/transport_socket_internal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include <boost/system/system_error.hpp>

#include "platform/os_error.h"

namespace Tavrin::Platform::Com::Transport {
namespace {

using Clock = std::chrono::steady_clock;

std::string runtime_folder() {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/quorvane-com";
  return "/tmp/quorvane-com-" + std::to_string(::geteuid());
}

// Creates the folder when missing and refuses one that another user could
// reach into.
void ensure_private_folder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) throw posix_error("mkdir " + path, errno);
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) throw posix_error("lstat " + path, errno);
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0)
    throw posix_error("unsafe runtime folder " + path, EACCES);
}

// Calls `op` with the socket address of `path`. A path too long for
// sockaddr_un is reached through its folder's descriptor in /proc.
int with_address(const std::string& path, const std::function<int(const sockaddr_un&)>& op) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string reachable = path;
  ScopedFd folder;
  if (path.size() >= sizeof(address.sun_path)) {
    const auto slash = path.rfind('/');
    folder.reset(::open(path.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) return -1;
    reachable = "/proc/self/fd/" + std::to_string(folder.get()) + path.substr(slash);
    if (reachable.size() >= sizeof(address.sun_path)) {
      errno = ENAMETOOLONG;
      return -1;
    }
  }
  std::memcpy(address.sun_path, reachable.c_str(), reachable.size() + 1);
  return op(address);
}

ScopedFd new_socket() {
  ScopedFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) throw posix_error("socket", errno);
  return fd;
}

// Waits until `fd` is readable or `deadline` passes (no deadline: forever).
void wait_readable(int fd, std::optional<Clock::time_point> deadline) {
  for (;;) {
    int wait_ms = -1;
    if (deadline) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
      if (left.count() <= 0) throw posix_error("receive", ETIMEDOUT);
      wait_ms = static_cast<int>(left.count());
    }
    pollfd entry{fd, POLLIN, 0};
    const int ready = ::poll(&entry, 1, wait_ms);
    if (ready > 0) return;
    if (ready < 0 && errno != EINTR) throw posix_error("poll", errno);
  }
}

// Reads exactly `size` bytes. False when the peer closed before the first.
bool read_exact(int fd, char* data, std::size_t size, std::optional<Clock::time_point> deadline) {
  std::size_t done = 0;
  while (done < size) {
    wait_readable(fd, deadline);
    const ssize_t got = ::recv(fd, data + done, size - done, 0);
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      throw posix_error("recv", errno);
    }
    if (got == 0) {
      if (done == 0) return false;
      throw posix_error("recv", ECONNRESET);
    }
    done += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

Endpoint endpoint_for(const std::string& name) {
  const std::string folder = runtime_folder();
  ensure_private_folder(folder);
  const std::string base = folder + "/" + name;
  return Endpoint{base, base + ".lock", base + ".start"};
}

ScopedFd listen_on(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) throw posix_error("unlink " + path, errno);
  ScopedFd fd = new_socket();
  const int bound = with_address(path, [&](const sockaddr_un& address) {
    return ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  });
  if (bound != 0) throw posix_error("bind " + path, errno);
  if (::listen(fd.get(), SOMAXCONN) != 0) throw posix_error("listen " + path, errno);
  if (::fcntl(fd.get(), F_SETFL, O_NONBLOCK) != 0) throw posix_error("fcntl", errno);
  return fd;
}

ScopedFd accept_from(int listener) {
  for (;;) {
    ScopedFd fd(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    if (fd.valid()) return fd;
    if (errno == EINTR || errno == ECONNABORTED) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return ScopedFd();
    throw posix_error("accept", errno);
  }
}

ScopedFd connect_to(const std::string& path) {
  ScopedFd fd = new_socket();
  const int connected = with_address(path, [&](const sockaddr_un& address) {
    int result;
    do {
      result = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    } while (result != 0 && errno == EINTR);
    return result;
  });
  if (connected == 0) return fd;
  if (errno == ENOENT || errno == ECONNREFUSED) return ScopedFd();
  throw posix_error("connect " + path, errno);
}

void send_frame(int fd, const std::string& bytes) {
  if (bytes.size() > kMaxFrameBytes) throw posix_error("send", EMSGSIZE);
  std::string frame(4, '\0');
  for (int i = 0; i < 4; ++i) frame[i] = static_cast<char>((bytes.size() >> (8 * i)) & 0xFF);
  frame += bytes;
  std::size_t done = 0;
  while (done < frame.size()) {
    const ssize_t sent = ::send(fd, frame.data() + done, frame.size() - done, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      throw posix_error("send", errno);
    }
    done += static_cast<std::size_t>(sent);
  }
}

bool receive_frame(int fd, std::string& bytes, std::optional<std::chrono::milliseconds> timeout) {
  std::optional<Clock::time_point> deadline;
  if (timeout) deadline = Clock::now() + *timeout;
  unsigned char prefix[4];
  if (!read_exact(fd, reinterpret_cast<char*>(prefix), 4, deadline)) return false;
  std::size_t size = 0;
  for (int i = 0; i < 4; ++i) size |= static_cast<std::size_t>(prefix[i]) << (8 * i);
  if (size > kMaxFrameBytes) throw posix_error("receive", EPROTO);
  bytes.assign(size, '\0');
  if (size > 0 && !read_exact(fd, bytes.data(), size, deadline)) throw posix_error("recv", ECONNRESET);
  return true;
}

std::optional<FileLock> FileLock::acquire(const std::string& path,
                                          std::chrono::milliseconds timeout) {
  ScopedFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd.valid()) throw posix_error("open " + path, errno);
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) return FileLock(std::move(fd));
    if (errno != EWOULDBLOCK && errno != EINTR) throw posix_error("flock " + path, errno);
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void FileLock::write_text(const std::string& text) {
  if (::ftruncate(fd_.get(), 0) != 0) throw posix_error("ftruncate", errno);
  if (::pwrite(fd_.get(), text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
    throw posix_error("pwrite", errno);
}

bool lock_is_held(const std::string& path) {
  ScopedFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.valid()) {
    if (errno == ENOENT) return false;
    throw posix_error("open " + path, errno);
  }
  if (::flock(fd.get(), LOCK_SH | LOCK_NB) == 0) return false;
  if (errno != EWOULDBLOCK) throw posix_error("flock " + path, errno);
  return true;
}

std::optional<std::string> lock_holder_text(const std::string& path) {
  if (!lock_is_held(path)) return std::nullopt;
  ScopedFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.valid()) return std::nullopt;
  std::string text(64, '\0');
  const ssize_t got = ::pread(fd.get(), text.data(), text.size(), 0);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

}  // namespace Tavrin::Platform::Com::Transport
