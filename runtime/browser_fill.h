// Turning a browser's command template and a URL into the arguments of the
// browser process.
//
// The template is a Windows command line in which "%1" stands for the URL.
// Opera (a template that names "opera.exe", or whose program's file name is
// "opera", both without regard to case) is first given its preferences
// file: "%1" in quotation marks becomes /Settings "<file>" "%1", and a
// template without "%1" gets " \"%1\"" appended before that. Any template
// without "%1" then gets " \"%1\"" appended. The template is split into
// arguments by the Windows rules, and the first "%1" of the first argument
// that holds one is replaced by the URL, unchanged. So a URL reaches the
// browser as one argument whatever quotes or blanks it holds; later "%1"s
// stay as they are.
#ifndef QUORVANE_RUNTIME_BROWSER_FILL_H_
#define QUORVANE_RUNTIME_BROWSER_FILL_H_

#include <functional>
#include <string>
#include <vector>

namespace Tavrin::Runtime {

// Whether `command` starts Opera (see above).
bool is_opera_command(const std::wstring& command);

// The first argument of `command` by the Windows rules, quotes removed;
// empty for a blank command.
std::wstring command_program(const std::wstring& command);

// The template with the Opera settings argument and "%1" in place, still
// one command line. `write_settings` is called for an Opera template only,
// and returns the full path of the preferences file it wrote.
std::wstring prepare_command(std::wstring command, const std::function<std::wstring()>& write_settings);

// The arguments (UTF-8) of prepare_command's result with the URL filled in.
std::vector<std::string> fill_command(const std::wstring& prepared, const std::wstring& url);

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_BROWSER_FILL_H_
