// OpenURL's work: select the browser's command template, prepare it (Opera's
// preferences file, "%1"), fill in the URL and start the browser detached,
// without waiting for it.
//
// Failures, as thrown (OpenURL maps them to its results):
//  - registry and version failures: boost::system::error_code;
//  - a missing or non-integer "proxy"/"port" (read for Opera only):
//    Configuration::ConfigurationError;
//  - the browser process cannot be started: boost::system::system_error;
//  - the product home folder: what get_product_home_directory throws.
#ifndef QUORVANE_RUNTIME_BROWSER_LAUNCH_H_
#define QUORVANE_RUNTIME_BROWSER_LAUNCH_H_

#include <optional>
#include <string>
#include <vector>

#include "common/configuration.h"

namespace Tavrin::Runtime {

// The arguments that open `url` in `browser`, Opera's preferences file
// written on the way.
std::vector<std::string> browser_arguments(const std::wstring& browser, const std::wstring& url,
                                           const Configuration& configuration);

// Starts `arguments` detached, in the caller's environment and folder; with
// `owner`, the browser is told to end with process `owner` (see
// browser/run_owner.h); with `run_proxy_port`, it goes through that port of
// the local proxy (the run's own). Returns the started process's id.
int start_browser(const std::vector<std::string>& arguments, std::optional<int> owner,
                  std::optional<int> run_proxy_port = std::nullopt);

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_BROWSER_LAUNCH_H_
