#include "helper/registration_child.h"

#include <errno.h>

#include "platform/os_error.h"
#include "platform/process.h"

namespace Tavrin::Helper {

bool run_registration_child(const std::wstring& command_line, std::chrono::milliseconds timeout) {
  namespace Process = Platform::Process;
  Process::StartOptions options;
  options.arguments = Process::split_command_line(command_line);
  if (options.arguments.empty()) throw Platform::posix_error("empty command line", EINVAL);
  options.output = Process::StartOptions::Output::kDiscard;
  Process::Child child = Process::start(options);
  const auto status = child.WaitFor(timeout);
  if (!status) {
    child.Kill();
    return false;
  }
  return status->exited && status->code == 0;
}

}  // namespace Tavrin::Helper
