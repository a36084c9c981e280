// For end-to-end tests: the built programs copied into a private folder,
// their proxy on a free port of its own, registered in the test's own
// registry; runs of test scripts against the bundled example site; and the
// end of every process started from the folder.
#ifndef QUORVANE_SCRIPTS_TESTING_INSTALLED_PROGRAMS_H_
#define QUORVANE_SCRIPTS_TESTING_INSTALLED_PROGRAMS_H_

#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support/local_processes.h"
#include "test_support/run_leftovers.h"
#include "test_support/run_program.h"
#include "test_support/temp_dir.h"

namespace quorvane_test {

// The records of a run's output that failed, each after the two lines
// before it (the action or assertion, and what it acted on); the first 20.
inline std::string failed_records(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::string failed;
  int shown = 0;
  for (std::size_t i = 0; i < lines.size() && shown < 20; ++i) {
    const bool failure = lines[i].find("status=\"failed\"") != std::string::npos || lines[i].rfind("error:", 0) == 0;
    if (!failure) continue;
    for (std::size_t j = i >= 2 ? i - 2 : 0; j <= i; ++j) failed += "  " + lines[j] + "\n";
    ++shown;
  }
  return failed;
}

class InstalledPrograms {
 public:
  // Copies and installs into dir/bin; fails the test when it cannot.
  void Install(const TempDir& dir) {
    dir_ = dir.path();
    bin_ = dir.file("bin");
    std::filesystem::copy(QUORVANE_BIN_DIR, bin_, std::filesystem::copy_options::recursive);
    SetConfig("<parameter id=\"port\" type=\"integer\"><value>8888</value>",
              "<parameter id=\"port\" type=\"integer\"><value>" + std::to_string(free_port()) + "</value>");
    ASSERT_EQ(run_program({bin_ + "/QuorvaneHelper", "/Install"}).exit, 0);
  }

  // Replaces `from` in config.xml by `to`; fails the test when it is not there.
  void SetConfig(const std::string& from, const std::string& to) {
    std::string config = read_file(bin_ + "/config.xml");
    const std::size_t at = config.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    config.replace(at, from.size(), to);
    write_file(bin_ + "/config.xml", config);
  }

  // Runs `script` (a path) against the example site in `browser`, logging to
  // `log`, with `more` options; standard error merged into the output.
  ProgramRun Run(const std::string& script, const std::string& browser, const std::string& log,
                 const std::vector<std::string>& more = {}) const {
    RunOptions options;
    options.working_directory = dir_;
    options.merge_error = true;
    std::vector<std::string> arguments = {bin_ + "/Quorvane", script, "-s", "login.example.test", "-b", browser,
                                          "--log", log};
    arguments.insert(arguments.end(), more.begin(), more.end());
    ProgramRun run = run_program(arguments, options);
    // A failing end-to-end test prints the whole run, often hundreds of
    // lines, and a CI log keeps only its head and tail: the records that
    // failed come first, so the cause survives the cut.
    if (run.exit != 0) std::cerr << "run of " << script << " ended " << run.exit << ":\n" << failed_records(run.out);
    return run;
  }

  // Converts `log` into `xml`; returns the report's text.
  std::string Convert(const std::string& log, const std::string& xml) const {
    EXPECT_EQ(run_program({bin_ + "/Quorvane", "--mode=convert", "-i", log, "-o", xml}).exit, 0);
    return read_file(xml);
  }

  // Once the last run is over: waits up to 90 s for the runs' processes
  // (runners, launchers, browsers) to end by themselves, then ends the
  // proxy and its guard (test_support/run_leftovers.h). The command lines
  // of whatever is still running from the folder; empty when nothing is.
  std::vector<std::string> EndAll() const { return end_runs_then_server(dir_); }

  const std::string& bin() const { return bin_; }
  bool installed() const { return !bin_.empty(); }

 private:
  std::string dir_;
  std::string bin_;
};

}  // namespace quorvane_test

#endif  // QUORVANE_SCRIPTS_TESTING_INSTALLED_PROGRAMS_H_
