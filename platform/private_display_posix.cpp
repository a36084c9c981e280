#include "platform/private_display.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/os_error.h"
#include "platform/process_watch.h"

namespace Tavrin::Platform {

namespace {

// How long the server may take to come up, and to end when asked.
constexpr std::chrono::seconds kStartLimit{10};
constexpr std::chrono::seconds kEndGrace{2};

// The server's display number from what it writes once it takes clients
// (-displayfd); empty when it does not within the limit or ends first.
std::string display_number(Process::Child& server) {
  const std::optional<std::string> line = server.ReadLine(kStartLimit);
  if (!line || line->empty() || line->find_first_not_of("0123456789") != std::string::npos) return {};
  return *line;
}

}  // namespace

PrivateDisplay::PrivateDisplay(int width, int height, int depth) {
  if (::access(kServer, X_OK) != 0) throw posix_error("Xvfb", ENOENT);
  Process::StartOptions options;
  options.arguments = {kServer, "-displayfd", "1", "-screen", "0",
                       std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth),
                       "-nolisten", "tcp", "-noreset"};
  options.output = Process::StartOptions::Output::kCapture;
  options.error_file = "/dev/null";
  options.own_process_group = true;
  // The server goes with the run, however the run ends: SIGKILL, which
  // nothing can hold up.
  options.end_with_starter = true;
  server_ = std::make_unique<Process::Child>(Process::start(options));
  const std::string number = display_number(*server_);
  if (number.empty()) {
    server_.reset();  // killed and reaped
    throw posix_error("Xvfb", ETIMEDOUT);
  }
  name_ = ":" + number;
}

PrivateDisplay::~PrivateDisplay() {
  // Asked first, so that the server removes its socket and lock file.
  Process::ask_process_to_end(server_->pid());
  if (!server_->WaitFor(kEndGrace)) server_->Kill();
}

int PrivateDisplay::server_pid() const { return server_->pid(); }

}  // namespace Tavrin::Platform
