#include "helper/helper_mode.h"

namespace Tavrin::Helper {

std::wstring joined_command_line(const std::vector<std::wstring>& arguments) {
  std::wstring line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) line += L' ';
    line += arguments[i];
  }
  return line;
}

HelperMode choose_mode(const std::wstring& command_line) {
  if (command_line.find(L" /Readme") != std::wstring::npos) return HelperMode::kReadme;
  if (command_line.find(L" /Install") != std::wstring::npos) return HelperMode::kInstall;
  if (command_line.find(L" /Uninstall") != std::wstring::npos) return HelperMode::kUninstall;
  return HelperMode::kGuard;
}

}  // namespace Tavrin::Helper
