#include "proxy/http/peer_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

namespace Tavrin::Proxy::Http {
namespace {

class Folder {
 public:
  explicit Folder(const std::string& path) : dir_(::opendir(path.c_str())) {}
  ~Folder() {
    if (dir_) ::closedir(dir_);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  // The next entry's name; null at the end.
  const char* next() {
    if (!dir_) return nullptr;
    const dirent* entry = ::readdir(dir_);
    return entry ? entry->d_name : nullptr;
  }

 private:
  DIR* dir_;
};

std::optional<pid_t> pid_of_name(const char* name) {
  char* end = nullptr;
  const long value = std::strtol(name, &end, 10);
  if (end == name || *end != '\0' || value <= 0) return std::nullopt;
  return static_cast<pid_t>(value);
}

struct Stat {
  pid_t parent = 0;
  std::uint64_t start_time = 0;
};

// Parent and start time from /proc/<pid>/stat. The command name (field 2)
// may hold spaces and parentheses, so the fields are counted from the last
// ')'.
std::optional<Stat> read_stat(pid_t pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/stat";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  char text[1024];
  const ssize_t size = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (size <= 0) return std::nullopt;
  text[size] = '\0';
  const char* at = std::strrchr(text, ')');
  if (!at) return std::nullopt;
  // After ')': state (3), ppid (4), ... starttime (22).
  Stat stat;
  char* cursor = const_cast<char*>(at + 1);
  for (int field = 3; field <= 22; ++field) {
    while (*cursor == ' ') ++cursor;
    if (!*cursor) return std::nullopt;
    char* end = cursor;
    if (field == 4) stat.parent = static_cast<pid_t>(std::strtol(cursor, &end, 10));
    if (field == 22) stat.start_time = std::strtoull(cursor, &end, 10);
    while (*end && *end != ' ') ++end;
    cursor = end;
  }
  return stat;
}

}  // namespace

std::optional<ProcessIdentity> process_identity(pid_t pid) {
  if (pid <= 0) return std::nullopt;
  const std::optional<Stat> stat = read_stat(pid);
  if (!stat) return std::nullopt;
  return ProcessIdentity{pid, stat->start_time};
}

std::vector<pid_t> process_trees(const std::vector<ProcessIdentity>& roots) {
  std::vector<pid_t> found;
  for (const ProcessIdentity& root : roots)
    if (process_identity(root.pid) == root) found.push_back(root.pid);
  if (found.empty()) return found;
  std::unordered_multimap<pid_t, pid_t> children;
  Folder proc("/proc");
  while (const char* name = proc.next()) {
    const std::optional<pid_t> pid = pid_of_name(name);
    if (!pid) continue;
    if (const std::optional<Stat> stat = read_stat(*pid)) children.emplace(stat->parent, *pid);
  }
  // Breadth first; `found` grows as it is walked. A root inside another's
  // tree is walked once.
  for (std::size_t i = 0; i < found.size(); ++i) {
    auto [from, to] = children.equal_range(found[i]);
    for (auto it = from; it != to; ++it) found.push_back(it->second);
  }
  std::vector<pid_t> unique;
  for (pid_t pid : found)
    if (std::find(unique.begin(), unique.end(), pid) == unique.end()) unique.push_back(pid);
  return unique;
}

bool process_holds_socket(pid_t pid, ino_t inode) {
  const std::string folder = "/proc/" + std::to_string(pid) + "/fd/";
  const std::string wanted = "socket:[" + std::to_string(inode) + "]";
  Folder fds(folder);
  char target[64];
  while (const char* name = fds.next()) {
    if (name[0] == '.') continue;
    const ssize_t size = ::readlinkat(AT_FDCWD, (folder + name).c_str(), target, sizeof target);
    if (size == static_cast<ssize_t>(wanted.size()) && std::memcmp(target, wanted.data(), wanted.size()) == 0)
      return true;
  }
  return false;
}

bool trees_hold_socket(const std::vector<ProcessIdentity>& roots, ino_t inode) {
  if (inode == 0) return false;
  for (pid_t pid : process_trees(roots))
    if (process_holds_socket(pid, inode)) return true;
  return false;
}

}  // namespace Tavrin::Proxy::Http
