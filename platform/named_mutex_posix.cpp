#include "platform/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/os_error.h"
#include "platform/text.h"

namespace Tavrin::Platform {
namespace {

[[noreturn]] void throw_errno(int code, const std::string& context) { throw posix_error(context, code); }

std::string mutex_folder() {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/quorvane-mutex";
  return "/tmp/quorvane-mutex-" + std::to_string(::geteuid());
}

void ensure_private_folder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) throw_errno(errno, "mkdir " + path);
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) throw_errno(errno, "lstat " + path);
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0)
    throw_errno(EACCES, "unsafe mutex folder " + path);
}

}  // namespace

std::string NamedMutex::file_of(const std::wstring& name) { return mutex_folder() + "/" + to_utf8(name); }

NamedMutex NamedMutex::Create(const std::wstring& name, bool* already_exists) {
  *already_exists = false;
  if (name.empty() || name.find(L'/') != std::wstring::npos || name == L"." || name == L"..")
    throw_errno(EINVAL, "mutex name");
  ensure_private_folder(mutex_folder());
  const std::string path = file_of(name);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) throw_errno(errno, "open " + path);
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int code = errno;
    if (code == EINTR) continue;
    ::close(fd);
    if (code == EWOULDBLOCK) {
      *already_exists = true;
      return NamedMutex(-1);
    }
    throw_errno(code, "flock " + path);
  }
  return NamedMutex(fd);
}

NamedMutex::NamedMutex(NamedMutex&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

NamedMutex& NamedMutex::operator=(NamedMutex&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

NamedMutex::~NamedMutex() { Release(); }

void NamedMutex::Release() {
  if (fd_ < 0) return;
  ::close(fd_);  // closing the only descriptor drops the lock
  fd_ = -1;
}

}  // namespace Tavrin::Platform
