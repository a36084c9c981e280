#include "runtime/browser_fill.h"

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/algorithm/string/find.hpp>
#include <boost/algorithm/string/predicate.hpp>

#include "browser/browser_table.h"
#include "platform/process.h"
#include "platform/text.h"

namespace Tavrin::Runtime {
namespace {

const wchar_t kQuotedUrl[] = L"\"%1\"";

// The file name of a path: after the last backslash, else the last slash.
std::wstring file_name_of(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(path.find(L'\\') != std::wstring::npos ? L"\\" : L"/");
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

}  // namespace

std::wstring command_program(const std::wstring& command) {
  const std::vector<std::string> arguments = Platform::Process::split_command_line(command);
  return arguments.empty() ? std::wstring() : Platform::from_utf8(arguments.front());
}

bool is_opera_command(const std::wstring& command) {
  if (boost::algorithm::icontains(command, Browsers::kOpera.windows_program, std::locale())) return true;
  return Browsers::is_program_of(Browsers::kOpera, file_name_of(command_program(command)));
}

std::wstring prepare_command(std::wstring command, const std::function<std::wstring()>& write_settings) {
  if (is_opera_command(command)) {
    const std::wstring settings = write_settings();
    if (command.find(L"%1") == std::wstring::npos) command += std::wstring(L" ") + kQuotedUrl;
    const std::size_t at = command.find(kQuotedUrl);
    if (at != std::wstring::npos)
      command.replace(at, 4, L"/Settings \"" + settings + L"\" " + kQuotedUrl);
  }
  if (command.find(L"%1") == std::wstring::npos) command += std::wstring(L" ") + kQuotedUrl;
  return command;
}

std::vector<std::string> fill_command(const std::wstring& prepared, const std::wstring& url) {
  std::vector<std::string> arguments = Platform::Process::split_command_line(prepared);
  for (std::string& argument : arguments) {
    const std::size_t at = argument.find("%1");
    if (at == std::string::npos) continue;
    argument.replace(at, 2, Platform::to_utf8(url));
    break;
  }
  return arguments;
}

}  // namespace Tavrin::Runtime
