// The mode of QuorvaneHelper, chosen from its whole command line: the
// program path and the arguments joined by blanks, searched case-sensitively
// for " /Readme", " /Install" and " /Uninstall" in this order (note the
// leading blank); the first found decides, none means guard mode. So
// "/Install" glued to the program path is not found, and a line holding
// both " /Readme" and " /Install" opens the read-me only.
#ifndef QUORVANE_HELPER_HELPER_MODE_H_
#define QUORVANE_HELPER_HELPER_MODE_H_

#include <string>
#include <vector>

namespace Tavrin::Helper {

enum class HelperMode { kReadme, kInstall, kUninstall, kGuard };

// The process's command line as the system would report it: `arguments`
// (program path first) joined by single blanks.
std::wstring joined_command_line(const std::vector<std::wstring>& arguments);

HelperMode choose_mode(const std::wstring& command_line);

}  // namespace Tavrin::Helper

#endif  // QUORVANE_HELPER_HELPER_MODE_H_
