// Named mutexes in the local namespace: the stand-in for CreateMutexW with
// an initial owner. A mutex here is an exclusively locked (flock) file,
// named after the mutex, in a private folder of the user's runtime folder:
// "$XDG_RUNTIME_DIR/quorvane-mutex" when XDG_RUNTIME_DIR is an absolute
// path, else "/tmp/quorvane-mutex-<uid>" (created with mode 0700; a folder
// that belongs to someone else or is open to others is refused with
// EACCES). The lock goes with the process however it ends (a crash or
// SIGKILL too), and child processes do not inherit it.
//
// A mutex "exists" while some process holds it, so "it already existed" and
// "another process holds it" are the same answer here.
//
// Thread safety: one NamedMutex belongs to one thread at a time; different
// objects may be used from any threads.
#ifndef QUORVANE_PLATFORM_NAMED_MUTEX_H_
#define QUORVANE_PLATFORM_NAMED_MUTEX_H_

#include <string>

#include "platform/export.h"

namespace Tavrin::Platform {

class QUORVANE_PLATFORM_EXPORT NamedMutex {
 public:
  // Creates the mutex `name` owned by the caller. When another process (or
  // another NamedMutex of this process) holds it, the result owns nothing
  // and *already_exists is true. Throws boost::system::system_error (errno,
  // system category) when the mutex cannot be made: an unusable runtime
  // folder, or a name that is empty or holds a slash (EINVAL).
  static NamedMutex Create(const std::wstring& name, bool* already_exists);

  NamedMutex(NamedMutex&& other) noexcept;
  NamedMutex& operator=(NamedMutex&& other) noexcept;
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;
  // Releases the mutex when owned.
  ~NamedMutex();

  bool owned() const { return fd_ >= 0; }
  // Releases the mutex now (ReleaseMutex and CloseHandle); no effect when
  // not owned.
  void Release();

  // The file that stands for mutex `name` (for tests and tools).
  static std::string file_of(const std::wstring& name);

 private:
  explicit NamedMutex(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_NAMED_MUTEX_H_
