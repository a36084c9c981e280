#include "runner/options.h"

#include <iostream>
#include <sstream>
#include <stdexcept>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/filesystem.hpp>
#include <boost/program_options.hpp>

#include "runner/suite/suite_options.h"

namespace po = boost::program_options;

namespace Tavrin::Runner {

namespace {

constexpr unsigned kLineLength = 80;
constexpr unsigned kDescriptionColumn = 40;

boost::posix_time::ptime local_now() { return boost::posix_time::microsec_clock::local_time(); }

Configuration::Element element(const std::wstring& value, ParameterType type) {
  Configuration::Element e;
  e.value = value;
  e.type = type;
  return e;
}

// The system's full path of `typed`, resolved against the current
// directory, with forward slashes.
std::wstring absolute_path(const std::wstring& typed) {
  boost::filesystem::path p(typed);
  std::wstring full = boost::filesystem::absolute(p).lexically_normal().wstring();
  for (auto& c : full)
    if (c == L'\\') c = L'/';
  return full;
}

// An unsigned 32-bit decimal number: digits only. The option library's own
// conversion would take "-1" and wrap it round to 4294967295.
unsigned parse_unsigned(const std::wstring& text, const char* option) {
  const bool digits_only =
      !text.empty() && text.size() <= 10 && text.find_first_not_of(L"0123456789") == std::wstring::npos;
  if (!digits_only || std::stoull(text) > 0xFFFFFFFFull)
    throw std::invalid_argument(std::string("the argument for option '--") + option + "' is invalid");
  return static_cast<unsigned>(std::stoull(text));
}

}  // namespace

std::wstring default_log_name(const std::wstring& absolute_script_path, const boost::posix_time::ptime& now) {
  std::wstring name = absolute_script_path;
  const auto slash = name.find_last_of(L"/\\");
  if (slash != std::wstring::npos) name.erase(0, slash + 1);
  const auto dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  const std::string stamp = boost::posix_time::to_iso_string(now);
  return name + L"_" + std::wstring(stamp.begin(), stamp.end()) + L".log";
}

ProgramOptions::ProgramOptions(std::shared_ptr<Logger::ConsoleLogger> logger,
                               std::shared_ptr<Configuration> config, std::vector<std::wstring> tokens)
    : logger_(std::move(logger)),
      config_(std::move(config)),
      tokens_(std::move(tokens)),
      mode_group_("Mode options", kLineLength, kDescriptionColumn),
      normal_group_("Normal mode options", kLineLength, kDescriptionColumn),
      hidden_group_("Normal mode hidden options", kLineLength, kDescriptionColumn),
      convert_group_("Convert mode options", kLineLength, kDescriptionColumn),
      suite_group_("Suite mode options (--mode=suite PATH...)", kLineLength, kDescriptionColumn),
      clock_(&local_now) {
  mode_group_.add_options()
      ("help,h", "print help")
      ("mode,m", po::wvalue<std::wstring>()->default_value(L"normal", "normal"), "working mode");
  normal_group_.add_options()
      ("file,f", po::wvalue<std::wstring>(), "test script filename")
      ("server,s", po::wvalue<std::wstring>(), "webserver hostname")
      ("port,p", po::wvalue<std::wstring>(), "webserver port")
      ("browser,b", po::wvalue<std::wstring>(), "testing browser")
      ("har", po::wvalue<std::wstring>(), "write the run's requests as HAR to this file");
  hidden_group_.add_options()
      ("exec", po::wvalue<std::wstring>(), "Executable name")
      ("suite", po::wvalue<std::wstring>(), "Suite recursive number")
      ("log", po::wvalue<std::wstring>(), "Log file name");
  convert_group_.add_options()
      ("input,i", po::wvalue<std::wstring>(), "input filename")
      ("output,o", po::wvalue<std::wstring>(), "output filename");
  Suite::add_suite_options(suite_group_);
}

RunKind ProgramOptions::ParseMode() {
  std::wstring mode;
  try {
    po::variables_map values;
    po::store(po::wcommand_line_parser(tokens_).options(mode_group_).allow_unregistered().run(), values);
    po::notify(values);
    if (values.count("help")) return Help;
    mode = values["mode"].as<std::wstring>();
  } catch (const std::exception& e) {
    throw ProgramOptionsError(e.what());
  }
  if (mode == L"normal") return ParseNormal(tokens_);
  if (mode == L"convert") return ParseConvert(tokens_);
  // The suite and merge modes read their own command lines.
  if (mode == L"suite") return SuiteRun;
  if (mode == L"merge") return MergeRun;
  return UnknownMode;
}

RunKind ProgramOptions::ParseNormal(const std::vector<std::wstring>& tokens) {
  try {
    po::options_description allowed("Allowed options");
    allowed.add(normal_group_).add(hidden_group_);
    po::positional_options_description positional;
    positional.add("exec", 1).add("file", 1);
    po::variables_map values;
    po::store(po::wcommand_line_parser(tokens).options(allowed).positional(positional).allow_unregistered().run(),
              values);
    po::notify(values);
    // Port and suite are numbers whether or not a file is given.
    if (values.count("port")) parse_unsigned(values["port"].as<std::wstring>(), "port");
    if (values.count("suite")) parse_unsigned(values["suite"].as<std::wstring>(), "suite");
    if (!values.count("file")) return NoFile;
    MergeNormal(values);
    return Normal;
  } catch (const ProgramOptionsError&) {
    throw;
  } catch (const std::exception& e) {
    throw ProgramOptionsError(e.what());
  }
}

void ProgramOptions::MergeNormal(const po::variables_map& values) {
  const std::wstring typed = values["file"].as<std::wstring>();
  const std::wstring full = absolute_path(typed);
  config_->InsertParameter(L"common", L"argFile", element(typed, ParameterType::String));
  config_->InsertParameter(L"common", L"file", element(full, ParameterType::String));

  const std::wstring log =
      values.count("log") ? values["log"].as<std::wstring>() : default_log_name(full, clock_());
  config_->InsertParameter(L"common", L"log", element(log, ParameterType::String));

  const unsigned suite = values.count("suite") ? parse_unsigned(values["suite"].as<std::wstring>(), "suite") : 0;
  config_->InsertParameter(L"common", L"suite", element(std::to_wstring(suite), ParameterType::Integer));

  if (values.count("server"))
    config_->InsertParameter(L"common", L"server",
                             element(values["server"].as<std::wstring>(), ParameterType::String));
  if (values.count("har"))
    config_->InsertParameter(L"common", L"har",
                             element(absolute_path(values["har"].as<std::wstring>()), ParameterType::String));
  if (values.count("browser"))
    config_->InsertParameter(L"common", L"browser",
                             element(values["browser"].as<std::wstring>(), ParameterType::String));
  if (values.count("port"))
    config_->InsertParameter(L"common", L"port",
                             element(std::to_wstring(parse_unsigned(values["port"].as<std::wstring>(), "port")),
                                     ParameterType::Integer));
}

RunKind ProgramOptions::ParseConvert(const std::vector<std::wstring>& tokens) {
  try {
    po::variables_map values;
    po::store(po::wcommand_line_parser(tokens).options(convert_group_).allow_unregistered().run(), values);
    po::notify(values);
    // Both files are required; a missing one is a failed value read.
    if (!values.count("input") || !values.count("output")) throw ProgramOptionsError("bad cast");
    config_->InsertParameter(L"common", L"input",
                             element(values["input"].as<std::wstring>(), ParameterType::String));
    config_->InsertParameter(L"common", L"output",
                             element(values["output"].as<std::wstring>(), ParameterType::String));
    return Convert;
  } catch (const ProgramOptionsError&) {
    throw;
  } catch (const std::exception& e) {
    throw ProgramOptionsError(e.what());
  }
}

void ProgramOptions::PrintUsage() const {
  po::options_description shown(kLineLength, kDescriptionColumn);
  shown.add(mode_group_).add(normal_group_).add(convert_group_).add(suite_group_);
  std::ostringstream text;
  text << "Usage: Quorvane.exe [mode] [options]" << "\n" << shown;
  std::cout << text.str();
  std::cout.flush();
}

}  // namespace Tavrin::Runner
