#include "runtime/browser_launch.h"

#include "browser/run_owner.h"
#include "platform/process.h"
#include "platform/process_watch.h"
#include "runtime/browser_command.h"
#include "runtime/browser_fill.h"
#include "runtime/opera_settings.h"

namespace Tavrin::Runtime {

std::vector<std::string> browser_arguments(const std::wstring& browser, const std::wstring& url,
                                           const Configuration& configuration) {
  const std::wstring command = browser_command(browser, vista_or_later());
  const std::wstring prepared = prepare_command(command, [&] {
    return write_opera_settings(command, param_int(configuration, L"proxy", L"port"));
  });
  return fill_command(prepared, url);
}

int start_browser(const std::vector<std::string>& arguments, std::optional<int> owner,
                  std::optional<int> run_proxy_port) {
  namespace Process = Platform::Process;
  Process::StartOptions options;
  options.arguments = arguments;
  std::vector<std::pair<std::string, std::string>> variables;
  if (owner) variables.emplace_back(Browser::kRunOwnerVariable, std::to_string(*owner));
  if (run_proxy_port) variables.emplace_back(Browser::kRunProxyPortVariable, std::to_string(*run_proxy_port));
  if (!variables.empty()) options.environment = Process::environment_with(variables);
  return Process::start_detached(options);
}

}  // namespace Tavrin::Runtime
