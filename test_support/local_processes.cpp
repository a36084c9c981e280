#include "test_support/local_processes.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace quorvane_test {

int free_port() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(s);
  return ntohs(address.sin_port);
}

int processes_from(const std::string& folder) {
  namespace fs = std::filesystem;
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos || std::stoi(name) == ::getpid()) continue;
    // A process may end while it is read.
    try {
      std::ifstream in(entry.path() / "cmdline", std::ios::binary);
      std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (line.find(folder) != std::string::npos) ++count;
    } catch (const std::exception&) {
    }
  }
  return count;
}

}  // namespace quorvane_test
