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

namespace {

// Reads `path` whole (a small /proc file); empty when it cannot.
std::string read_small_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string();
  std::string text;
  char chunk[4096];
  ssize_t size;
  while ((size = ::read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<std::size_t>(size));
  ::close(fd);
  return text;
}

// The children of `pid`, from the children list of each of its threads;
// std::nullopt when the kernel keeps no such lists.
std::optional<std::vector<pid_t>> children_by_threads(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task/";
  Folder folder(tasks);
  std::vector<pid_t> children;
  bool listed = false;
  while (const char* name = folder.next()) {
    if (!pid_of_name(name)) continue;
    const std::string path = tasks + name + "/children";
    if (!listed && ::access(path.c_str(), F_OK) != 0) return std::nullopt;
    listed = true;
    const std::string text = read_small_file(path);
    char* cursor = const_cast<char*>(text.c_str());
    for (;;) {
      char* end = nullptr;
      const long child = std::strtol(cursor, &end, 10);
      if (end == cursor) break;
      children.push_back(static_cast<pid_t>(child));
      cursor = end;
    }
  }
  return children;  // none for a process gone meanwhile
}

// Every process by its parent, from the stat file of each.
std::unordered_multimap<pid_t, pid_t> all_children() {
  std::unordered_multimap<pid_t, pid_t> children;
  Folder proc("/proc");
  while (const char* name = proc.next()) {
    const std::optional<pid_t> pid = pid_of_name(name);
    if (!pid) continue;
    if (const std::optional<Stat> stat = read_stat(*pid)) children.emplace(stat->parent, *pid);
  }
  return children;
}

// The roots that still are the processes they were, each once.
std::vector<pid_t> live_roots(const std::vector<ProcessIdentity>& roots) {
  std::vector<pid_t> found;
  for (const ProcessIdentity& root : roots)
    if (process_identity(root.pid) == root && std::find(found.begin(), found.end(), root.pid) == found.end())
      found.push_back(root.pid);
  return found;
}

// Breadth first from `found`, which grows as it is walked, until `stop`
// says so for a process (before its children are looked for).
template <class Children, class Stop>
std::vector<pid_t> walk(std::vector<pid_t> found, Children&& children_of, Stop&& stop) {
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (stop(found[i])) break;
    for (pid_t child : children_of(found[i]))
      if (std::find(found.begin(), found.end(), child) == found.end()) found.push_back(child);
  }
  return found;
}

bool never(pid_t) { return false; }

}  // namespace

std::optional<std::vector<pid_t>> process_trees_by_threads(const std::vector<ProcessIdentity>& roots) {
  bool listed = true;
  std::vector<pid_t> found = walk(live_roots(roots), [&](pid_t pid) {
    std::optional<std::vector<pid_t>> children = children_by_threads(pid);
    listed = listed && children.has_value();
    return children.value_or(std::vector<pid_t>());
  }, never);
  if (!listed) return std::nullopt;
  return found;
}

std::vector<pid_t> process_trees_from_stat(const std::vector<ProcessIdentity>& roots) {
  std::vector<pid_t> found = live_roots(roots);
  if (found.empty()) return found;
  const std::unordered_multimap<pid_t, pid_t> everyone = all_children();
  return walk(std::move(found), [&](pid_t pid) {
    std::vector<pid_t> children;
    auto [from, to] = everyone.equal_range(pid);
    for (auto it = from; it != to; ++it) children.push_back(it->second);
    return children;
  }, never);
}

std::vector<pid_t> process_trees(const std::vector<ProcessIdentity>& roots) {
  // The threads' children lists name only the tree's processes: far fewer
  // reads than every process's parent.
  if (std::optional<std::vector<pid_t>> found = process_trees_by_threads(roots)) return *found;
  return process_trees_from_stat(roots);
}

bool process_holds_socket(pid_t pid, ino_t inode) {
  const std::string wanted = "socket:[" + std::to_string(inode) + "]";
  const int folder = ::open(("/proc/" + std::to_string(pid) + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return false;
  DIR* entries = ::fdopendir(folder);
  if (!entries) {
    ::close(folder);
    return false;
  }
  // Each link read relative to the open folder: the folder's own path is
  // not looked up again for every descriptor.
  bool held = false;
  char target[64];
  while (const dirent* entry = ::readdir(entries)) {
    if (entry->d_name[0] == '.') continue;
    const ssize_t size = ::readlinkat(folder, entry->d_name, target, sizeof target);
    if (size == static_cast<ssize_t>(wanted.size()) && std::memcmp(target, wanted.data(), wanted.size()) == 0) {
      held = true;
      break;
    }
  }
  ::closedir(entries);  // closes `folder` too
  return held;
}

bool trees_hold_socket(const std::vector<ProcessIdentity>& roots, ino_t inode) {
  if (inode == 0) return false;
  // Each process is looked into as the walk reaches it, so that the walk
  // ends at the holder (a browser's main process is near the root).
  bool held = false;
  auto holds = [&](pid_t pid) { return held = process_holds_socket(pid, inode); };
  std::optional<std::unordered_multimap<pid_t, pid_t>> everyone;
  auto children_of = [&](pid_t pid) {
    if (!everyone) {
      if (std::optional<std::vector<pid_t>> children = children_by_threads(pid)) return *children;
      everyone = all_children();
    }
    std::vector<pid_t> children;
    auto [from, to] = everyone->equal_range(pid);
    for (auto it = from; it != to; ++it) children.push_back(it->second);
    return children;
  };
  walk(live_roots(roots), children_of, holds);
  if (held || everyone) return held;
  // The threads' lists may leave out a child while a sibling before it
  // exits (the kernel does not promise them whole then, and a browser
  // starts and ends helpers all the time): a "no" is only given once every
  // process's own parent says so too.
  everyone = all_children();
  walk(live_roots(roots), children_of, holds);
  return held;
}

}  // namespace Tavrin::Proxy::Http
