// The runner's main sequence: console handler, console logger, component
// system, configuration, command line, then a normal run, a convert run or
// the usage text; every failure mapped to one console line and one exit
// code; and the fixed order of shutdown, also when the console is
// interrupted.
#ifndef QUORVANE_RUNNER_STARTUP_H_
#define QUORVANE_RUNNER_STARTUP_H_

#include <memory>
#include <string>
#include <vector>

#include "common/configuration.h"
#include "common/logger.h"
#include "platform/com/error_info.h"
#include "runner/host_slot.h"

namespace Tavrin::Runner {

// Runs the program on `tokens` (the whole command line, program path first)
// and returns its exit status:
//   0  usage text, a finished convert run, or the script's own result;
//   2  configuration, command-line, script-engine or internal failure;
//   otherwise the script's result, through ExitStatus.
int RunMain(const std::vector<std::wstring>& tokens);

// The process exit status of a run's result: only the low 8 bits of a
// status reach the parent, so a result outside 0 to 255 (a count of failed
// tests above 255, a negative number) becomes 255 and never reads as
// success.
int ExitStatus(int exit_code);

// The console line of a failed component call: the script error line of
// the host's script control when the engine recorded an error (see
// ScriptErrorText in runner/script_host.h), otherwise ComErrorText.
// Never throws.
std::wstring FailureText(const _com_error& error, const std::shared_ptr<StoppableHost>& host);

// The console line of a component failure that no script error explains:
// "COM error (" the code in lower-case hexadecimal ")", then a blank and the
// error object's description when it has one.
std::wstring ComErrorText(const _com_error& error);

// The process-wide script host slot, shared with the console handler.
HostSlot& host_slot();

// Console control handler: releases the host on interrupt, close, logoff
// and shutdown, then lets the default handling end the process.
bool OnConsoleEvent(unsigned long event);

// Tells the proxy that a top-level run is over and empties the host slot.
void ReleaseHost();

// Loads sections "common" and "runtime" of `directory`/config.xml.
// Throws Configuration::ConfigurationError ("File not found" when there is
// no such file).
void LoadConfiguration(Configuration& config, const std::wstring& directory);

// Switches on exactly the channels whose names occur in `level`.
void SetConsoleLevel(const std::wstring& level, Logger::ConsoleLogger& logger);

// For a top-level run (suite 0), writes the "suite" and "info" header lines.
// Throws the configuration store's errors for missing parameters.
void WriteRunHeader(const Configuration& config, Logger::ConsoleLogger& logger, int suite);

}  // namespace Tavrin::Runner

#endif  // QUORVANE_RUNNER_STARTUP_H_
