#include "test_support/local_processes.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>

namespace quorvane_test {

namespace {

// Whether a listener could bind `port` on 127.0.0.1 now (0: any port);
// the port it got, or 0.
int bindable(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  int got = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    socklen_t length = sizeof address;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) got = ntohs(address.sin_port);
  }
  ::close(s);
  return got;
}

// The lowest port the kernel hands out for outgoing connections.
int ephemeral_low() {
  std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
  int low = 0;
  return range >> low ? low : 32768;
}

}  // namespace

// The port is taken below the kernel's range for outgoing connections: a
// port of that range, free now, may be any connection's own end (a
// browser's, say) by the time the caller's server listens on it, while
// tests run side by side. Chosen at random, so that tests started at once
// do not pick the same one.
int free_port() {
  thread_local std::mt19937 pick(std::random_device{}());
  const int low = 10000, high = ephemeral_low() - 1;
  for (int attempt = 0; high > low && attempt < 100; ++attempt) {
    const int port = std::uniform_int_distribution<int>(low, high)(pick);
    if (bindable(port) == port) return port;
  }
  return bindable(0);
}

std::string read_proc(int pid, const std::string& what) {
  // A process may end while it is read (the read then throws): its file
  // reads empty.
  try {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + what, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  } catch (const std::exception&) {
    return std::string();
  }
}

namespace {

// Every process but this one.
std::vector<int> other_processes() {
  std::vector<int> pids;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    const int pid = std::stoi(name);
    if (pid != ::getpid()) pids.push_back(pid);
  }
  return pids;
}

// The parent named in /proc/PID/stat, after the program's name in
// parentheses (which may hold blanks and parentheses itself); 0 if gone.
int parent_of(int pid) {
  const std::string stat = read_proc(pid, "stat");
  const std::size_t closing = stat.rfind(')');
  if (closing == std::string::npos) return 0;
  int parent = 0;
  char state = 0;
  std::sscanf(stat.c_str() + closing + 1, " %c %d", &state, &parent);
  return parent;
}

}  // namespace

int processes_from(const std::string& folder) { return static_cast<int>(command_lines_from(folder).size()); }

std::map<int, std::string> command_lines_from(const std::string& folder) {
  std::map<int, std::string> found;
  for (int pid : other_processes()) {
    std::string line = read_proc(pid, "cmdline");
    if (line.find(folder) == std::string::npos) continue;
    if (!line.empty() && line.back() == '\0') line.pop_back();
    for (char& c : line)
      if (c == '\0') c = ' ';
    found.emplace(pid, line);
  }
  return found;
}

std::vector<int> processes_running(const std::string& program) {
  std::vector<int> found;
  for (int pid : other_processes()) {
    const std::string line = read_proc(pid, "cmdline");
    if (line.substr(0, line.find('\0')) == program) found.push_back(pid);
  }
  return found;
}

std::vector<int> processes_watched_by(int pid) {
  namespace fs = std::filesystem;
  std::vector<int> watched;
  // The process may end while its descriptors are read: what was read counts.
  std::error_code error;
  for (fs::directory_iterator fd("/proc/" + std::to_string(pid) + "/fd", error), end; !error && fd != end;
       fd.increment(error)) {
    std::error_code unreadable;
    if (fs::read_symlink(fd->path(), unreadable) != "anon_inode:[pidfd]") continue;
    const std::string info = read_proc(pid, "fdinfo/" + fd->path().filename().string());
    const std::size_t at = info.find("\nPid:");
    // A process that has ended reads as -1, one of another namespace as 0.
    const int watched_pid = at == std::string::npos ? 0 : std::atoi(info.c_str() + at + 5);
    if (watched_pid > 0) watched.push_back(watched_pid);
  }
  return watched;
}

std::vector<int> descendants_of(int pid) {
  std::multimap<int, int> children;
  for (int child : other_processes()) children.emplace(parent_of(child), child);
  std::vector<int> found;
  std::vector<int> parents{pid};
  while (!parents.empty()) {
    const int parent = parents.back();
    parents.pop_back();
    for (auto [it, end] = children.equal_range(parent); it != end; ++it) {
      found.push_back(it->second);
      parents.push_back(it->second);
    }
  }
  return found;
}

}  // namespace quorvane_test
