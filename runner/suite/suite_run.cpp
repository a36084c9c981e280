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
#include "runner/suite/suite_interrupt.h"

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
       << script.path << L"  " << seconds_text(script.seconds()) << L"  " << last.tests.size()
       << (last.tests.size() == 1 ? L" test, " : L" tests, ")
       << failed << L" failed";
  if (script.attempts.size() > 1) line << L", " << script.attempts.size() << L" attempts";
  return line.str();
}

struct Running {
  std::unique_ptr<ScriptAttempt> attempt;
  std::vector<Attempt> earlier;
};

SuiteResult sorted(SuiteResult suite) {
  std::sort(suite.scripts.begin(), suite.scripts.end(),
            [](const ScriptResult& a, const ScriptResult& b) { return a.path < b.path; });
  return suite;
}

// The scripts of one suite run, `workers` at a time: started, polled,
// retried, recorded as they finish, and ended when the suite is
// interrupted.
class SuiteLoop {
 public:
  SuiteLoop(const std::string& runner, const SuiteOptions& options, const std::string& out,
            const std::vector<std::wstring>& scripts, std::wostream& console, bool live,
            const SuiteInterrupt* interrupt)
      : runner_(runner), options_(options), out_(out), total_(scripts.size()), console_(console), live_(live),
        interrupt_(interrupt) {
    for (const std::wstring& s : start_order(scripts, read_timings(out))) waiting_.push_back(s);
  }

  SuiteResult Run() {
    const int workers = options_.workers > 0 ? options_.workers
                                             : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    while (!waiting_.empty() || !running_.empty()) {
      if (interrupt_ && interrupt_->requested() && !stopping_) Stop();
      while (!waiting_.empty() && static_cast<int>(running_.size()) < workers) {
        Running r;
        r.attempt = std::make_unique<ScriptAttempt>(runner_, options_, out_, waiting_.front(), 1);
        waiting_.pop_front();
        running_.push_back(std::move(r));
      }
      const bool changed = PollRunning();
      if (live_ && (changed || shown_running_ != running_.size()) && !running_.empty()) {
        console_ << L"\r\x1b[K" << running_.size() << L" running, " << done_ << L"/" << total_ << L" done";
        shown_running_ = running_.size();
      }
      console_.flush();
      if (!running_.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ClearLiveLine();
    suite_.seconds = Seconds();
    return sorted(std::move(suite_));
  }

 private:
  // Polls every running script once; true when one finished.
  bool PollRunning() {
    bool changed = false;
    for (std::size_t i = 0; i < running_.size();) {
      Running& r = running_[i];
      if (!r.attempt->Poll(options_.timeout)) {
        ++i;
        continue;
      }
      changed = true;
      Attempt attempt = r.attempt->Finish();
      const bool again = !attempt_passed(attempt) && !attempt.interrupted && !stopping_ &&
                         r.attempt->number() <= options_.retries;
      r.earlier.push_back(std::move(attempt));
      if (again) {
        r.attempt = std::make_unique<ScriptAttempt>(runner_, options_, out_, r.attempt->script(),
                                                    r.attempt->number() + 1);
        ++i;
        continue;
      }
      Record(r);
      running_.erase(running_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return changed;
  }

  // A script's last attempt has ended: its line, and results.json with it,
  // so that a suite killed later keeps it.
  void Record(Running& r) {
    ScriptResult script;
    script.path = r.attempt->script();
    script.attempts = std::move(r.earlier);
    script.status = decide_status(script.attempts);
    ++done_;
    ClearLiveLine();
    console_ << finished_line(script, done_, total_) << L"\n";
    suite_.scripts.push_back(std::move(script));
    SuiteResult so_far = sorted(suite_);
    so_far.seconds = Seconds();
    try {
      write_bytes(out_ + "/results.json", results_json(so_far));
    } catch (const OutputError& e) {
      // The suite goes on; the closing write reports the failure if it
      // lasts.
      if (!write_failed_) console_ << L"suite: " << Platform::from_utf8(e.what()) << L"\n";
      write_failed_ = true;
    }
  }

  // No script starts any more; the running ones end as a time-out ends
  // them, with their browsers.
  void Stop() {
    stopping_ = true;
    ClearLiveLine();
    console_ << L"interrupted: ending " << running_.size()
             << (running_.size() == 1 ? L" running script" : L" running scripts") << L"...";
    if (!waiting_.empty()) console_ << L" (" << waiting_.size() << L" not started)";
    console_ << L"\n";
    console_.flush();
    waiting_.clear();
    for (Running& r : running_) r.attempt->Interrupt();
  }

  void ClearLiveLine() {
    if (live_ && shown_running_) console_ << L"\r\x1b[K";
    shown_running_ = 0;
  }

  double Seconds() const { return std::chrono::duration<double>(Clock::now() - started_).count(); }

  const std::string& runner_;
  const SuiteOptions& options_;
  const std::string& out_;
  const std::size_t total_;
  std::wostream& console_;
  const bool live_;
  const SuiteInterrupt* interrupt_;
  const Clock::time_point started_ = Clock::now();
  std::deque<std::wstring> waiting_;
  std::vector<Running> running_;
  SuiteResult suite_;
  std::size_t done_ = 0;
  std::size_t shown_running_ = 0;
  bool stopping_ = false;
  bool write_failed_ = false;
};

}  // namespace

SuiteResult run_scripts(const std::string& runner, const SuiteOptions& options, const std::string& out,
                        const std::vector<std::wstring>& scripts, std::wostream& console, bool live,
                        const SuiteInterrupt* interrupt) {
  return SuiteLoop(runner, options, out, scripts, console, live, interrupt).Run();
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
  line << suite.scripts.size() << (suite.scripts.size() == 1 ? L" script: " : L" scripts: ") << c.passed << L" passed, " << c.failed << L" failed, " << c.flaky
       << L" flaky, " << c.timed_out << L" timed out";
  if (c.interrupted > 0) line << L", " << c.interrupted << L" interrupted";
  line << L"; " << c.tests << (c.tests == 1 ? L" test, " : L" tests, ") << c.tests_failed << L" failed; "
       << seconds_text(suite.seconds);
  return line.str();
}

void write_outputs(const SuiteResult& suite, const std::string& out) {
  write_bytes(out + "/junit.xml", junit_xml(suite));
  write_bytes(out + "/results.json", results_json(suite));
  write_bytes(out + "/index.html", html_report(suite));
}

int RunSuiteMode(const std::vector<std::wstring>& tokens, std::wostream& console) {
  // From the start, so that an interrupt while the scripts are listed ends
  // the suite the same way.
  const SuiteInterrupt interrupt;
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
      run_scripts(runner, options, out, scripts, console, Platform::standard_output_is_terminal(), &interrupt);
  write_outputs(suite, out);
  console << summary_line(suite) << L"\n" << L"results: " << Platform::from_utf8(out) << L"/index.html\n";
  console.flush();
  return interrupt.requested() ? interrupt.exit_status() : suite_exit_status(suite);
}

}  // namespace Tavrin::Suite
