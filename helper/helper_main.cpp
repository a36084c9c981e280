// QuorvaneHelper: registers the system's components and the ".jsk" file
// type (" /Install"), removes them (" /Uninstall"), opens the read-me
// (" /Readme"), or, started without these, guards the local proxy server
// for the length of a test run (helper_mode.h says how the mode is
// chosen). At most one instance runs at a time: the mutex
// "QuorvaneHelperGuard" is held for the whole life of the process. No
// message is shown in any mode; exit codes in helper_exit_codes.h.
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "common/directories.h"
#include "helper/guard.h"
#include "helper/helper_exit_codes.h"
#include "helper/helper_mode.h"
#include "helper/helper_paths.h"
#include "helper/install.h"
#include "helper/readme.h"
#include "platform/named_mutex.h"
#include "platform/text.h"

namespace {

using namespace Tavrin::Helper;

bool registers(HelperMode mode) { return mode == HelperMode::kInstall || mode == HelperMode::kUninstall; }

int run(HelperMode mode) {
  bool already_exists = false;
  std::optional<Tavrin::Platform::NamedMutex> mutex;
  try {
    mutex.emplace(Tavrin::Platform::NamedMutex::Create(kGuardMutexName, &already_exists));
  } catch (...) {
    return registers(mode) ? kExitNoMutex : kExitSuccess;
  }
  if (already_exists) return registers(mode) ? kExitAnotherInstance : kExitSuccess;

  const HelperPaths paths{Tavrin::Windows::Filesystem::get_starting_dir_w()};
  switch (mode) {
    case HelperMode::kReadme:
      open_readme(paths);
      return kExitSuccess;
    case HelperMode::kInstall:
      return run_install(paths);
    case HelperMode::kUninstall:
      return run_uninstall(paths);
    case HelperMode::kGuard:
      run_guard();
      return kExitSuccess;
  }
  return kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
  HelperMode mode = HelperMode::kGuard;
  try {
    std::vector<std::wstring> arguments;
    for (int i = 0; i < argc; ++i) arguments.push_back(Tavrin::Platform::from_utf8(argv[i]));
    mode = choose_mode(joined_command_line(arguments));
    return run(mode);
  } catch (...) {
    return registers(mode) ? kExitRegistrationFailed : kExitSuccess;
  }
}
