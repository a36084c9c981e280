// The runner's command line: the option groups, the choice between the
// normal and the convert mode, the usage text, and the merge of the given
// values into section "common" of the configuration, over those that
// config.xml holds.
#ifndef QUORVANE_RUNNER_OPTIONS_H_
#define QUORVANE_RUNNER_OPTIONS_H_

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/program_options/options_description.hpp>
#include <boost/program_options/variables_map.hpp>

#include "common/configuration.h"
#include "common/logger.h"

namespace Tavrin::Runner {

// What the runner is asked to do.
enum RunKind {
  UnknownMode = 0,  // mode is none of "normal", "convert", "suite", "merge": usage text
  NoFile = 1,       // normal mode without a test script: usage text
  Help = 2,         // help was asked for: usage text
  Normal = 3,       // run the test script
  Convert = 4,      // convert a test log into a report
  SuiteRun = 5,     // run a folder of test scripts (runner/suite/)
  MergeRun = 6,     // merge the output folders of a suite's shards
};

class ProgramOptions {
 public:
  // Any failure while parsing, reading values or merging, with the message
  // of the failure that caused it.
  class ProgramOptionsError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };

  // `tokens` is the whole command line, the program's own path first.
  // Nothing is parsed here.
  ProgramOptions(std::shared_ptr<Logger::ConsoleLogger> logger, std::shared_ptr<Configuration> config,
                 std::vector<std::wstring> tokens);

  // Decides the run kind and, for Normal and Convert, merges the values.
  // Throws ProgramOptionsError.
  RunKind ParseMode();
  // Returns NoFile or Normal; merges argFile, file, log, suite and the given
  // server, browser and port. Throws ProgramOptionsError.
  RunKind ParseNormal(const std::vector<std::wstring>& tokens);
  // Returns Convert after merging input and output. Throws ProgramOptionsError.
  RunKind ParseConvert(const std::vector<std::wstring>& tokens);

  // Writes the usage line and the option groups to standard output: those
  // of the mode, normal and convert groups, then suite mode's.
  void PrintUsage() const;

  // The clock behind the default log name; tests replace it.
  void set_clock(boost::posix_time::ptime (*clock)()) { clock_ = clock; }

 private:
  void MergeNormal(const boost::program_options::variables_map& values);

  std::shared_ptr<Logger::ConsoleLogger> logger_;
  std::shared_ptr<Configuration> config_;
  std::vector<std::wstring> tokens_;
  boost::program_options::options_description mode_group_;
  boost::program_options::options_description normal_group_;
  boost::program_options::options_description hidden_group_;
  boost::program_options::options_description convert_group_;
  boost::program_options::options_description suite_group_;  // shown only
  boost::posix_time::ptime (*clock_)();
};

// The log name that a normal run uses when none is given: the script's file
// name without its last extension, "_", the local time in ISO basic form
// (with ".ffffff" microseconds when they are not zero) and ".log".
std::wstring default_log_name(const std::wstring& absolute_script_path, const boost::posix_time::ptime& now);

}  // namespace Tavrin::Runner

#endif  // QUORVANE_RUNNER_OPTIONS_H_
