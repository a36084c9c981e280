#include "runner/suite/script_attempt.h"

#include <fstream>
#include <iomanip>
#include <sstream>

#include <boost/filesystem.hpp>

#include "platform/text.h"
#include "runner/report/convert_stream.h"
#include "runner/suite/log_reader.h"
#include "runner/suite/output_files.h"
#include "runner/suite/script_list.h"

namespace Tavrin::Suite {

namespace {

std::string attempt_stem(const std::wstring& script, const SuiteOptions& options, int number) {
  return script_stem(output_name(script, options.paths)) + (number > 1 ? "." + std::to_string(number) : "");
}

}  // namespace

std::wstring runner_failure_line(const std::string& output) {
  std::istringstream lines(output);
  std::string found;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("script error (", 0) == 0 || line.find("terminate program") != std::string::npos ||
        line.rfind("COM error (", 0) == 0)
      found = line;
  }
  return Platform::from_utf8(found);
}

ScriptAttempt::ScriptAttempt(const std::string& runner, const SuiteOptions& options, const std::string& out,
                             const std::wstring& script, int number)
    : out_(out), script_(script), number_(number), stem_(attempt_stem(script, options, number)), har_(options.har) {
  make_folder(boost::filesystem::path(out_ + "/" + stem_).parent_path().string());
  const std::string log = out_ + "/" + stem_ + ".log";
  boost::system::error_code ignored;
  boost::filesystem::remove(log, ignored);
  if (har_) boost::filesystem::remove(out_ + "/" + stem_ + ".har", ignored);

  Platform::Process::StartOptions start;
  start.arguments = {runner, Platform::to_utf8(script), "--log", log};
  if (options.server) start.arguments.insert(start.arguments.end(), {"-s", Platform::to_utf8(*options.server)});
  if (options.port) start.arguments.insert(start.arguments.end(), {"-p", Platform::to_utf8(*options.port)});
  if (options.browser) start.arguments.insert(start.arguments.end(), {"-b", Platform::to_utf8(*options.browser)});
  if (har_) start.arguments.insert(start.arguments.end(), {"--har", out_ + "/" + stem_ + ".har"});
  start.output_file = out_ + "/" + stem_ + ".out";
  start.error_file = start.output_file;
  start.null_input = true;
  // However the suite ends (killed included), its scripts end with it, and
  // their browsers and screens with them.
  start.end_with_starter = true;
  started_ = Clock::now();
  child_ = Platform::Process::start(start);
}

bool ScriptAttempt::Poll(double timeout) {
  if (status_) return true;
  status_ = child_->WaitFor(std::chrono::milliseconds(0));
  if (!status_ && timeout > 0 && Clock::now() - started_ >= std::chrono::duration<double>(timeout)) {
    // Its browsers watch the run and close when it ends.
    child_->Kill();
    timed_out_ = true;
    status_ = Platform::Process::ExitStatus{false, 0, 9};
  }
  // A run ended by an interrupt of its own (a Ctrl-C to the whole group)
  // did not fail.
  if (status_ && status_->interrupted()) interrupted_ = true;
  if (status_) seconds_ = std::chrono::duration<double>(Clock::now() - started_).count();
  return status_.has_value();
}

void ScriptAttempt::Interrupt() {
  if (Poll(0)) return;
  child_->Kill();
  interrupted_ = true;
  status_ = Platform::Process::ExitStatus{false, 0, 9};
  seconds_ = std::chrono::duration<double>(Clock::now() - started_).count();
}

Attempt ScriptAttempt::Finish() {
  Attempt attempt;
  attempt.exit_code = status_->windows_code();
  attempt.timed_out = timed_out_;
  attempt.interrupted = interrupted_ && !timed_out_;
  attempt.seconds = seconds_;
  attempt.log = Platform::from_utf8(stem_ + ".log");
  attempt.report = Platform::from_utf8(stem_ + ".xml");
  attempt.output = Platform::from_utf8(stem_ + ".out");
  boost::system::error_code missing;
  if (har_ && boost::filesystem::is_regular_file(out_ + "/" + stem_ + ".har", missing))
    attempt.har = Platform::from_utf8(stem_ + ".har");

  const std::string log = out_ + "/" + stem_ + ".log";
  LogTests tests = read_log_tests_file(log, script_file_name(script_));
  attempt.tests = std::move(tests.tests);
  // Evidence files lie beside the log; the output folder's pages name them
  // relative to it.
  const std::wstring folder = Platform::from_utf8(out_) + L"/";
  for (TestResult& t : attempt.tests) {
    for (Evidence& e : t.evidence) {
      for (std::wstring* path : {&e.screenshot, &e.html})
        if (path->rfind(folder, 0) == 0) path->erase(0, folder.size());
    }
  }
  {
    std::ifstream in(log, std::ios::binary);
    std::ofstream report(out_ + "/" + stem_ + ".xml", std::ios::binary | std::ios::trunc);
    if (in) Report::ConvertStream(in, report);
  }

  attempt.script_error = tests.errors_outside;
  if (timed_out_ || attempt.interrupted) {
    std::wostringstream text;
    text << (timed_out_ ? L"timed out after " : L"interrupted after ") << std::fixed << std::setprecision(1)
         << seconds_ << L" s";
    attempt.script_error = text.str();
  } else if (attempt.exit_code != 0) {
    const std::wstring line = runner_failure_line(read_bytes(out_ + "/" + stem_ + ".out").value_or(""));
    if (!line.empty()) attempt.script_error += (attempt.script_error.empty() ? L"" : L"\n") + line;
  }
  explain_cut_tests(attempt);
  return attempt;
}

}  // namespace Tavrin::Suite
