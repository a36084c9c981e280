#include "runner/suite/suite_run.h"

#include <algorithm>
#include <deque>
#include <iomanip>
#include <memory>
#include <sstream>
#include <thread>

#include <boost/filesystem.hpp>

#include "common/directories.h"
#include "platform/console_terminal.h"
#include "platform/text.h"
#include "runner/suite/html_report.h"
#include "runner/suite/junit_xml.h"
#include "runner/suite/output_files.h"
#include "runner/suite/results_json.h"
#include "runner/suite/script_attempt.h"
#include "runner/suite/script_list.h"
#include "runner/suite/shard.h"

namespace Tavrin::Suite {

namespace {

using Clock = std::chrono::steady_clock;

std::wstring seconds_text(double seconds) {
  std::wostringstream text;
  text << std::fixed << std::setprecision(1) << seconds << L" s";
  return text.str();
}

std::wstring finished_line(const ScriptResult& script, std::size_t done, std::size_t total) {
  const Attempt& last = script.final_attempt();
  int failed = 0;
  for (const TestResult& t : last.tests)
    if (t.status == TestStatus::kFailed || t.status == TestStatus::kError) ++failed;
  std::wostringstream line;
  line << L"[" << done << L"/" << total << L"] " << std::left << std::setw(9) << status_word(script.status) << L" "
       << script.path << L"  " << seconds_text(script.seconds()) << L"  " << last.tests.size() << L" tests, "
       << failed << L" failed";
  if (script.attempts.size() > 1) line << L", " << script.attempts.size() << L" attempts";
  return line.str();
}

struct Running {
  std::unique_ptr<ScriptAttempt> attempt;
  std::vector<Attempt> earlier;
};

}  // namespace

SuiteResult run_scripts(const std::string& runner, const SuiteOptions& options, const std::string& out,
                        const std::vector<std::wstring>& scripts, std::wostream& console, bool live) {
  const Clock::time_point started = Clock::now();
  const int workers =
      options.workers > 0 ? options.workers : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  std::deque<std::wstring> waiting;
  for (const std::wstring& s : start_order(scripts, read_timings(out))) waiting.push_back(s);

  SuiteResult suite;
  std::vector<Running> running;
  std::size_t done = 0;
  std::size_t shown_running = 0;
  while (!waiting.empty() || !running.empty()) {
    while (!waiting.empty() && static_cast<int>(running.size()) < workers) {
      Running r;
      r.attempt = std::make_unique<ScriptAttempt>(runner, options, out, waiting.front(), 1);
      waiting.pop_front();
      running.push_back(std::move(r));
    }
    bool changed = false;
    for (std::size_t i = 0; i < running.size();) {
      Running& r = running[i];
      if (!r.attempt->Poll(options.timeout)) {
        ++i;
        continue;
      }
      changed = true;
      Attempt attempt = r.attempt->Finish();
      const bool passed = attempt_passed(attempt);
      r.earlier.push_back(std::move(attempt));
      const int number = r.attempt->number();
      if (!passed && number <= options.retries) {
        r.attempt = std::make_unique<ScriptAttempt>(runner, options, out, r.attempt->script(), number + 1);
        ++i;
        continue;
      }
      ScriptResult script;
      script.path = r.attempt->script();
      script.attempts = std::move(r.earlier);
      script.status = decide_status(script.attempts);
      ++done;
      if (live && shown_running) console << L"\r\x1b[K";
      console << finished_line(script, done, scripts.size()) << L"\n";
      suite.scripts.push_back(std::move(script));
      running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (live && (changed || shown_running != running.size()) && !running.empty()) {
      console << L"\r\x1b[K" << running.size() << L" running, " << done << L"/" << scripts.size() << L" done";
      shown_running = running.size();
    }
    console.flush();
    if (!running.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (live && shown_running) console << L"\r\x1b[K";
  std::sort(suite.scripts.begin(), suite.scripts.end(),
            [](const ScriptResult& a, const ScriptResult& b) { return a.path < b.path; });
  suite.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  return suite;
}

int suite_exit_status(const SuiteResult& suite) {
  int failed = 0;
  for (const ScriptResult& s : suite.scripts)
    if (!counts_as_passed(s.status)) ++failed;
  return std::min(failed, 255);
}

std::wstring summary_line(const SuiteResult& suite) {
  const SuiteCounts c = count(suite);
  std::wostringstream line;
  line << suite.scripts.size() << L" scripts: " << c.passed << L" passed, " << c.failed << L" failed, " << c.flaky
       << L" flaky, " << c.timed_out << L" timed out; " << c.tests << L" tests, " << c.tests_failed << L" failed; "
       << seconds_text(suite.seconds);
  return line.str();
}

void write_outputs(const SuiteResult& suite, const std::string& out) {
  write_bytes(out + "/junit.xml", junit_xml(suite));
  write_bytes(out + "/results.json", results_json(suite));
  write_bytes(out + "/index.html", html_report(suite));
}

int RunSuiteMode(const std::vector<std::wstring>& tokens, std::wostream& console) {
  const SuiteOptions options = parse_suite_options(tokens);
  std::vector<std::wstring> scripts = list_scripts(options.paths, options.grep);
  const std::string out = boost::filesystem::absolute(Platform::to_utf8(options.out)).lexically_normal().string();
  make_folder(out);
  if (options.shard) scripts = shard_scripts(scripts, *options.shard, read_timings(out));
  if (options.shard)
    console << L"shard " << options.shard->index << L"/" << options.shard->count << L": " << scripts.size()
            << L" scripts\n";

  const std::string runner = Platform::to_utf8(Windows::Filesystem::get_starting_dir_w()) + "/Quorvane";
  const SuiteResult suite =
      run_scripts(runner, options, out, scripts, console, Platform::standard_output_is_terminal());
  write_outputs(suite, out);
  console << summary_line(suite) << L"\n" << L"results: " << Platform::from_utf8(out) << L"/index.html\n";
  console.flush();
  return suite_exit_status(suite);
}

}  // namespace Tavrin::Suite
