// Internal to the proxy's HTTP side: which process holds the other end of
// a loopback connection. A run's browser is the process tree under the
// process its launcher registered (its pid and start time, so that a pid
// used again by another program is not taken for it); a connection comes
// from the browser when its peer socket (by inode, peer_owner.h) is open
// in one of the tree's processes. The kernel tells through /proc: the
// children each thread started in /proc/<pid>/task/<tid>/children (or
// else the parent of every process in /proc/<pid>/stat), the open files of
// a process as links in /proc/<pid>/fd ("socket:[inode]").
//
// Reading another process's fd folder takes the right to read its memory
// map; a process of this user that made itself undumpable cannot be seen
// into, and counts as not holding the socket.
//
// Safe for concurrent use by multiple threads; never throws.
#ifndef QUORVANE_PROXY_HTTP_PEER_PROCESS_H_
#define QUORVANE_PROXY_HTTP_PEER_PROCESS_H_

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace Tavrin::Proxy::Http {

struct ProcessIdentity {
  pid_t pid = 0;
  // In clock ticks after boot, as /proc/<pid>/stat gives it.
  std::uint64_t start_time = 0;
  bool operator==(const ProcessIdentity&) const = default;
};

// The process `pid` as it is now; std::nullopt when there is none.
std::optional<ProcessIdentity> process_identity(pid_t pid);

// `roots` that still are the processes they were, and every descendant of
// them, each once.
std::vector<pid_t> process_trees(const std::vector<ProcessIdentity>& roots);

// The two sources on their own, for tests: each thread's list of the
// children it started (std::nullopt: the kernel keeps none), and the
// parent in every process's stat file.
std::optional<std::vector<pid_t>> process_trees_by_threads(const std::vector<ProcessIdentity>& roots);
std::vector<pid_t> process_trees_from_stat(const std::vector<ProcessIdentity>& roots);

// Whether `pid` has the socket `inode` open.
bool process_holds_socket(pid_t pid, ino_t inode);

// Whether a process of the trees under `roots` has the socket `inode` open.
// A "no" from the threads' children lists is checked against every
// process's parent before it is given.
bool trees_hold_socket(const std::vector<ProcessIdentity>& roots, ino_t inode);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_PEER_PROCESS_H_
