// The byte transport under out-of-process objects: a Unix-domain stream
// socket per class, named after the class id, in a private folder of the
// user's runtime folder, carrying length-prefixed frames. Also the lock
// files beside the socket: one that the running server holds for its whole
// life (so at most one server per class runs, and a socket left behind by a
// server that died is recognised as stale) and one that clients hold while
// they start a server.
//
// The folder is "$XDG_RUNTIME_DIR/quorvane-com" when XDG_RUNTIME_DIR is an
// absolute path, else "/tmp/quorvane-com-<uid>"; it is created with mode
// 0700, and a folder that belongs to someone else or is open to others is
// refused (EACCES), so no other user can reach or impersonate a server.
//
// Failures throw boost::system::system_error with the errno value in
// boost::system::system_category(). Every function may be called from any
// thread; one descriptor must not be read (or written) by two threads at once.
#ifndef QUORVANE_PLATFORM_COM_REMOTE_TRANSPORT_SOCKET_INTERNAL_H_
#define QUORVANE_PLATFORM_COM_REMOTE_TRANSPORT_SOCKET_INTERNAL_H_

#include <chrono>
#include <optional>
#include <string>

#include "platform/export.h"
#include "platform/scoped_fd.h"

namespace Tavrin::Platform::Com::Transport {

using Platform::ScopedFd;

// Paths of one class's socket and lock files. `name` is the class id in
// its text form.
struct QUORVANE_PLATFORM_EXPORT Endpoint {
  std::string socket_path;      // "<folder>/<name>"
  std::string server_lock_path; // "<folder>/<name>.lock": held by the running server
  std::string start_lock_path;  // "<folder>/<name>.start": held by a client starting it
};

// The endpoint of `name`, creating the private folder when it is missing.
QUORVANE_PLATFORM_EXPORT Endpoint endpoint_for(const std::string& name);

// Binds and listens on `path`, replacing a socket file left there (the
// caller holds the server lock, so no live server owns it). The socket is
// close-on-exec.
QUORVANE_PLATFORM_EXPORT ScopedFd listen_on(const std::string& path);

// Accepts one pending connection; an invalid descriptor when none is
// pending (the listener is non-blocking).
QUORVANE_PLATFORM_EXPORT ScopedFd accept_from(int listener);

// Connects to `path`. An invalid descriptor when nobody listens there
// (no socket file, or a stale one); throws for other failures.
QUORVANE_PLATFORM_EXPORT ScopedFd connect_to(const std::string& path);

// Largest frame accepted; a longer length prefix is a protocol error.
constexpr std::size_t kMaxFrameBytes = 64u << 20;

// Writes one frame: a 32-bit little-endian length, then the bytes. Never
// raises SIGPIPE; a closed peer gives EPIPE.
QUORVANE_PLATFORM_EXPORT void send_frame(int fd, const std::string& bytes);

// Reads one frame into `bytes`. False when the peer closed the connection
// before the frame began. A frame cut off by the peer gives ECONNRESET, an
// oversized one EPROTO, no whole frame within `timeout` (when given)
// ETIMEDOUT.
QUORVANE_PLATFORM_EXPORT bool receive_frame(
    int fd, std::string& bytes,
    std::optional<std::chrono::milliseconds> timeout = std::nullopt);

// An exclusive advisory lock (flock) on a file, held until the object
// goes or the process ends, however it ends. Move-only.
class QUORVANE_PLATFORM_EXPORT FileLock {
 public:
  // Waits up to `timeout` for the lock on `path` (created when missing).
  // std::nullopt when another process still holds it then.
  static std::optional<FileLock> acquire(const std::string& path,
                                         std::chrono::milliseconds timeout);

  // Replaces the file's contents with `text` (the holder's process id, for
  // whoever wants to know which process holds it).
  void write_text(const std::string& text);

 private:
  explicit FileLock(ScopedFd fd) : fd_(std::move(fd)) {}
  ScopedFd fd_;
};

// Whether some process holds the lock on `path` now.
QUORVANE_PLATFORM_EXPORT bool lock_is_held(const std::string& path);

// The text written by the lock's holder, when some process holds it.
QUORVANE_PLATFORM_EXPORT std::optional<std::string> lock_holder_text(const std::string& path);

}  // namespace Tavrin::Platform::Com::Transport

#endif  // QUORVANE_PLATFORM_COM_REMOTE_TRANSPORT_SOCKET_INTERNAL_H_
