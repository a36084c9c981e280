#include "proxy/http/testing/proxy_process.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/process_watch.h"
#include "test_support/wait_until.h"

namespace Tavrin::Proxy::Http::Testing {

namespace Process = Platform::Process;

namespace {

Process::StartOptions start_options(const std::vector<std::string>& launcher, const std::vector<std::string>& options,
                                    const quorvane_test::TempDir& dir) {
  Process::StartOptions start;
  start.arguments = launcher;
  start.arguments.push_back(PROXY_HTTP_HOST);
  start.arguments.push_back("--owner");
  start.arguments.push_back(std::to_string(Process::current_process_id()));
  start.arguments.insert(start.arguments.end(), options.begin(), options.end());
  start.output_file = dir.file("proxy.out");
  start.error_file = dir.file("proxy.err");
  return start;
}

long status_kb(int pid, const std::string& key) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + key.size());
  }
  return -1;
}

}  // namespace

ProxyProcess::ProxyProcess(std::vector<std::string> launcher, std::vector<std::string> options)
    : child_(Process::start(start_options(launcher, options, dir_))) {
  // It prints "port N" once it listens; a loaded machine may take a while.
  quorvane_test::wait_until(
      [&] {
        std::istringstream text(quorvane_test::read_file(dir_.file("proxy.out")));
        std::string word;
        return static_cast<bool>(text >> word >> port_) && word == "port";
      },
      std::chrono::seconds(60));
}

bool ProxyProcess::running() { return !child_.WaitFor(std::chrono::milliseconds(0)).has_value(); }

std::string ProxyProcess::errors() const { return quorvane_test::read_file(dir_.file("proxy.err")); }

long resident_kb_of(int pid) { return status_kb(pid, "VmRSS:"); }
long peak_resident_kb_of(int pid) { return status_kb(pid, "VmHWM:"); }

int open_descriptors_of(int pid) {
  std::error_code ec;
  int count = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    ++count;
  }
  return count;
}

}  // namespace Tavrin::Proxy::Http::Testing
