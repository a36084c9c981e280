#include "test_support/run_program.h"

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/text.h"
#include "test_support/temp_dir.h"

extern char** environ;

namespace quorvane_test {
namespace {

namespace Process = Tavrin::Platform::Process;

// The caller's environment with `changes` applied.
std::vector<std::string> environment_with(const std::vector<std::string>& changes) {
  std::vector<std::string> result;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) result.emplace_back(*entry);
  for (const std::string& change : changes) {
    const std::string name = change.substr(0, change.find('=') + 1);
    std::erase_if(result, [&](const std::string& entry) { return entry.rfind(name, 0) == 0; });
    result.push_back(change);
  }
  return result;
}

}  // namespace

ProgramRun run_program(const std::vector<std::string>& arguments, const RunOptions& options) {
  TempDir files;
  Process::StartOptions start;
  start.arguments = arguments;
  start.working_directory = options.working_directory;
  if (!options.environment.empty()) start.environment = environment_with(options.environment);
  write_file(files.file("in"), options.input);
  start.input_file = files.file("in");
  start.output_file = files.file("out");
  start.error_file = options.merge_error ? start.output_file : files.file("err");
  ProgramRun run;
  try {
    const Process::ExitStatus status = Process::run(start);
    run.exit = status.exited ? status.code : -1;
  } catch (const boost::system::system_error& e) {
    ADD_FAILURE() << "cannot run " << (arguments.empty() ? "" : arguments.front()) << ": " << e.what();
    run.err = e.what();
    return run;
  }
  run.out = read_file(files.file("out"));
  if (!options.merge_error) run.err = read_file(files.file("err"));
  return run;
}

std::vector<std::string> windows_arguments(const std::string& command_line) {
  return Process::split_command_line(Tavrin::Platform::from_utf8(command_line));
}

}  // namespace quorvane_test
