#include "runtime/nested_suite.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <limits>
#include <stdexcept>
#include <system_error>

#include "common/directories.h"
#include "platform/process.h"
#include "platform/text.h"
#include "runtime/error_convention.h"
#include "runtime/script_object.h"

namespace Tavrin::Runtime {
namespace {

using Platform::Process::quote_argument;

// In quotation marks, as the runner's own command line writes the runner,
// the script and the log, escaped so that quotes inside the text and
// backslashes at its end stay part of the argument.
std::wstring quoted(const std::wstring& text) {
  const std::wstring argument = quote_argument(text);
  if (argument.front() == L'"') return argument;
  // Unchanged, so no blank and no quote: only backslashes at the end would
  // escape the closing quote.
  const std::size_t trailing = text.size() - (text.find_last_not_of(L'\\') + 1);
  return L"\"" + text + std::wstring(trailing, L'\\') + L"\"";
}

// The text of a run parameter of section "common", whatever its type.
// Throws ConfigurationError when it is missing.
const std::wstring& common_text(const Configuration& configuration, const wchar_t* id) {
  return configuration.Parameter(L"common", id).value;
}

// "suite" as a decimal 32-bit number, read by the integer reader's rules.
int suite_number(const Configuration& configuration) {
  Configuration::Element element;
  element.value = common_text(configuration, L"suite");
  element.type = ParameterType::Integer;
  return param_int(element);
}

void flush_console(Logger::ConsoleLogger& logger) {
  logger.stream().flush();
  std::cout.flush();
  std::fflush(stdout);
}

}  // namespace

std::wstring nested_command_line(const NestedRun& run) {
  if (run.suite == std::numeric_limits<int>::max()) throw std::overflow_error("suite level out of range");
  return quoted(run.runner) + L" " + quoted(run.script) + L" --suite " + std::to_wstring(run.suite + 1) + L" -s " +
         run.server + L" -p " + run.port + L" -b " + run.browser + L" --log " + quoted(run.log);
}

HRESULT CVelmoraScript::BenchExec(BSTR file_path, LONG* exit_code) {
  if (!file_path || !exit_code) return E_POINTER;
  try {
    NestedRun run;
    run.script = Platform::Com::bstr_text(file_path);
    run.runner = Windows::Filesystem::get_starting_dir_w() + L"/Quorvane";

    // The child inherits the folder, so a relative script is found beside
    // the parent script. A folder that cannot be entered is let be.
    std::error_code ignored;
    std::filesystem::current_path(std::filesystem::path(Platform::to_utf8(script_directory(script_full_name_))),
                                  ignored);

    echo().TestFileHeader(run.script);
    flush_console(*logger_);

    run.suite = suite_number(*configuration_);
    run.log = common_text(*configuration_, L"log");
    run.browser = common_text(*configuration_, L"browser");
    run.port = common_text(*configuration_, L"port");
    run.server = common_text(*configuration_, L"server");

    Platform::Process::StartOptions options;
    options.arguments = Platform::Process::split_command_line(nested_command_line(run));
    options.null_input = false;  // the nested run shares the console
    // A nested run never outlives this one, however this one ends.
    options.end_with_starter = true;
    Platform::Process::Child child = Platform::Process::start(options);
    *exit_code = child.Wait().windows_code();

    // The child wrote to the console: the parent's next page header says
    // again which test file it belongs to.
    echo_state_.reannounce_name = script_file_name(script_full_name_);
    echo_state_.reannounce_pending = true;
    return S_OK;
  } catch (...) {
    return method_failure();
  }
}

}  // namespace Tavrin::Runtime
