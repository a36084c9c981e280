#include "runner/startup.h"

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <system_error>

#include <boost/filesystem.hpp>
#include <boost/system/error_code.hpp>

#include "common/directories.h"
#include "platform/com/apartment.h"
#include "platform/com/dispatch_call.h"
#include "platform/com/error_info.h"
#include "platform/console_events.h"
#include "platform/display_on_demand.h"
#include "platform/process_watch.h"
#include "platform/text.h"
#include "runner/options.h"
#include "runner/report/convert.h"
#include "runner/run_identity.h"
#include "runner/script_host.h"
#include "runner/suite/merge.h"
#include "runner/suite/suite_options.h"
#include "runner/suite/suite_run.h"

namespace Tavrin::Runner {

namespace {

using Logger::ConsoleLogger;
namespace Channel = ScriptLogger;

constexpr int kFailureExitCode = 2;

void report(ConsoleLogger& logger, const wchar_t* text) { logger.channel(Channel::kMessage) << text; }

// A screen of the run's own, started when first needed, when there is none
// ($DISPLAY unset) and "runtime"/"headless" does not ask for headless
// browsers; nothing otherwise. Once started, $DISPLAY names it for the run
// and every program the run starts from then on (a nested run started
// before has its own when it needs one). A server that cannot be started
// leaves the run headless.
std::unique_ptr<Platform::DisplayOnDemand> DisplayFor(const Configuration& config) {
  const char* display = std::getenv("DISPLAY");
  if (display && *display) return nullptr;
  try {
    if (param_bool(config, L"runtime", L"headless")) return nullptr;
  } catch (const std::exception&) {
    // Without the key: a screen of its own.
  }
  return std::make_unique<Platform::DisplayOnDemand>(1280, 1024);
}

// A suite or merge run: its failures are one console line and exit code 2.
int run_suite_mode(const std::vector<std::wstring>& tokens,
                   int (*mode)(const std::vector<std::wstring>&, std::wostream&)) {
  try {
    return mode(tokens, std::wcout);
  } catch (const Suite::SuiteOptionsError& e) {
    std::wcout << Platform::from_utf8(e.what()) << L"\n" << Platform::from_utf8(Suite::suite_usage());
  } catch (const std::runtime_error& e) {
    std::wcout << L"suite: " << Platform::from_utf8(e.what()) << L"\n";
  }
  std::wcout.flush();
  return kFailureExitCode;
}

// The guarded part of the sequence: configuration, command line and the run
// itself. Returns the exit code of a run that did not fail.
int run_guarded(const std::shared_ptr<ConsoleLogger>& logger, const std::vector<std::wstring>& tokens) {
  auto config = std::make_shared<Configuration>();
  auto host = std::make_shared<ScriptControl>(logger);
  host_slot().Set(host);

  LoadConfiguration(*config, Windows::Filesystem::get_starting_dir_w());
  try {
    SetConsoleLevel(param_string(*config, L"runtime", L"console_log_level"), *logger);
  } catch (...) {
    // Without a readable level every channel stays on.
  }

  ProgramOptions options(logger, config, tokens);
  switch (options.ParseMode()) {
    case Normal: {
      const int suite = param_int(*config, L"common", L"suite");
      host_slot().set_suite(suite);
      config->InsertParameter(L"common", L"run",
                              Configuration::Element{TakeRunIdentity(suite), ParameterType::String});
      // Without a screen a run brings its own once a browser or a
      // screenshot needs it, so that browsers open real windows and
      // screenshots show them.
      const std::unique_ptr<Platform::DisplayOnDemand> display = DisplayFor(*config);
      host->Init(config);
      host->LoadSupportScripts();
      if (suite == 0) host->StartProxy();
      WriteRunHeader(*config, *logger, suite);
      std::wcout.flush();
      const int result = host->RunFile(param_string(*config, L"common", L"file"));
      ReleaseHost();
      return result;
    }
    case Convert:
      return Report::RunConvert(*config, *logger);
    case SuiteRun:
      return run_suite_mode(tokens, &Suite::RunSuiteMode);
    case MergeRun:
      return run_suite_mode(tokens, &Suite::RunMergeMode);
    case UnknownMode:
    case NoFile:
    case Help:
      options.PrintUsage();
      return 0;
  }
  return 0;
}

}  // namespace

std::wstring ComErrorText(const _com_error& error) {
  std::wostringstream text;
  text << L"COM error (" << std::hex << static_cast<std::uint32_t>(error.Error()) << L")";
  const std::wstring description = error.Description();
  if (!description.empty()) text << L" " << description;
  return text.str();
}

std::wstring FailureText(const _com_error& error, const std::shared_ptr<StoppableHost>& host) {
  const auto script_host = std::dynamic_pointer_cast<ScriptControl>(host);
  if (!script_host || !script_host->has_script_control()) return ComErrorText(error);
  try {
    const Platform::Com::ComPtr<IDispatch> script_error = script_host->GetError();
    // An engine without a recorded error did not cause this failure.
    if (script_error && Platform::Com::get_property(script_error.get(), L"Number").to_string() != L"0")
      return ScriptErrorText(script_error.get());
  } catch (const _com_error&) {
  } catch (const std::exception&) {
  }
  return ComErrorText(error);
}

HostSlot& host_slot() {
  static HostSlot slot;
  return slot;
}

void ReleaseHost() { host_slot().Release(); }

bool OnConsoleEvent(unsigned long event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      ReleaseHost();
      break;
    default:
      break;
  }
  return false;
}

void LoadConfiguration(Configuration& config, const std::wstring& directory) {
  const std::wstring path = directory + L"/config.xml";
  boost::system::error_code ignored;
  if (!boost::filesystem::is_regular_file(boost::filesystem::path(path), ignored))
    throw Configuration::ConfigurationError("File not found");
  config.Load(path, {L"common", L"runtime"});
}

void SetConsoleLevel(const std::wstring& level, ConsoleLogger& logger) {
  logger.set_level(Platform::narrow_low8(level));
}

void WriteRunHeader(const Configuration& config, ConsoleLogger& logger, int suite) {
  if (suite != 0) return;
  const std::wstring server = param_string(config, L"common", L"server");
  const std::wstring browser = param_string(config, L"common", L"browser");
  const std::wstring arg_file = param_string(config, L"common", L"argFile");
  std::wstring file = param_string(config, L"common", L"file");
  const std::wstring port = config.Parameter(L"common", L"port").value;

  auto suite_line = logger.channel(Channel::kSuite);
  suite_line << L"suite" << L": " << L"source=" << L"\"" << arg_file << L"\"" << L" " << L"browser=" << L"\""
             << browser << L"\"" << L" " << L"host=" << L"\"" << server;
  if (!port.empty()) suite_line << L":" << port;
  suite_line << L"\"" << L"\n";

  // Native form of the path: forward slashes are this platform's separator.
  auto info_line = logger.channel(Channel::kInfo);
  info_line << L"info" << L": " << L"path=" << L"\"" << file << L"\"" << L"\n";
}

int RunMain(const std::vector<std::wstring>& tokens) {
  SetConsoleCtrlHandler(&OnConsoleEvent, true);
  std::ios_base::sync_with_stdio(false);
  auto logger = std::make_shared<ConsoleLogger>(std::wcout);

  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    report(*logger, L"Fatal error, terminate program\n");
    return kFailureExitCode;
  }

  int exit_code = 0;
  try {
    exit_code = run_guarded(logger, tokens);
  } catch (const _com_error& e) {
    logger->channel(Channel::kMessage) << FailureText(e, host_slot().Get()) << L"\n";
    exit_code = kFailureExitCode;
  } catch (const Configuration::ConfigurationError&) {
    report(*logger, L"Configuration file error, terminate program\n");
    exit_code = kFailureExitCode;
  } catch (const ScriptControl::ScriptControlError&) {
    // A failure reported as such: a parent run or CI must not read success.
    report(*logger, L"Error in Script Engine, terminate program\n");
    exit_code = kFailureExitCode;
  } catch (const ProgramOptions::ProgramOptionsError&) {
    report(*logger, L"Error parsing commandline, terminate program\n");
    exit_code = kFailureExitCode;
  } catch (const std::exception&) {
    report(*logger, L"Internal error, terminate program\n");
    exit_code = kFailureExitCode;
  } catch (const std::error_code&) {
    report(*logger, L"Internal error, terminate program\n");
    exit_code = kFailureExitCode;
  } catch (const boost::system::error_code&) {
    report(*logger, L"Internal error, terminate program\n");
    exit_code = kFailureExitCode;
  } catch (...) {
    report(*logger, L"Fatal error, terminate program\n");
    exit_code = kFailureExitCode;
  }

  ReleaseHost();
  CoUninitialize();
  logger.reset();
  return ExitStatus(exit_code);
}

int ExitStatus(int exit_code) { return exit_code < 0 || exit_code > 255 ? 255 : exit_code; }

}  // namespace Tavrin::Runner
