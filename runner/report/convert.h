// The runner's convert mode: turns the test log named on the command line
// into the XML report (see convert_stream.h for the conversion itself).
#ifndef QUORVANE_RUNNER_REPORT_CONVERT_H_
#define QUORVANE_RUNNER_REPORT_CONVERT_H_

#include "common/configuration.h"
#include "common/logger.h"

namespace Tavrin::Report {

// Converts the test log named by parameter "input" of section "common" into
// the XML report named by "output" (created or truncated; UTF-8 without a
// byte-order mark). Returns the exit code: 0, or 2 after one line on channel
// "message" naming the file when the log cannot be opened or read, or the
// report cannot be created or written. A log that cannot be opened or read
// at all leaves an existing report untouched. Configuration failures (a
// missing parameter) propagate as Configuration's exceptions.
int RunConvert(const Tavrin::Configuration& config, Tavrin::Logger::ConsoleLogger& logger);

}  // namespace Tavrin::Report

#endif  // QUORVANE_RUNNER_REPORT_CONVERT_H_
