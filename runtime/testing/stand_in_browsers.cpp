#include "runtime/testing/stand_in_browsers.h"

#include <thread>

#include <boost/filesystem.hpp>

#include "common/registry.h"
#include "platform/text.h"

namespace Tavrin::Runtime::Testing {
namespace {

namespace Reg = Windows::Registry;
namespace fs = boost::filesystem;

void set_string(HKEY root, const std::wstring& subkey, const std::wstring& name, const std::wstring& value) {
  Reg::reg_set_string(Reg::reg_create_key(Reg::create_hkey_ptr(root), subkey, KEY_READ | KEY_WRITE), name, value);
}

}  // namespace

StandInBrowsers::StandInBrowsers() {
  fs::create_directories(dir_.file("machine"));
  fs::create_directories(dir_.file("config"));
  fs::create_directories(dir_.file("data"));
  machine_ = std::make_unique<quorvane_test::ScopedEnv>("QUORVANE_MACHINE_DIR", dir_.file("machine"));
  user_ = std::make_unique<quorvane_test::ScopedEnv>("XDG_CONFIG_HOME", dir_.file("config"));
  data_ = std::make_unique<quorvane_test::ScopedEnv>("XDG_DATA_HOME", dir_.file("data"));
}

StandInBrowsers::~StandInBrowsers() = default;

std::string StandInBrowsers::Make(const std::string& name) {
  const std::string path = dir_.file(name);
  quorvane_test::write_file(path,
                            "#!/bin/sh\n"
                            "if [ \"$1\" = --version ]; then echo \"" + name + " 12.16 Build 1860\"; exit 0; fi\n"
                            "out='" + dir_.file(name + ".args") + "'\n"
                            "printf '%s' $$ > '" + dir_.file(name + ".pid") + "'\n"
                            "printf '%s' \"$QUORVANE_BROWSER_OWNER\" > '" + dir_.file(name + ".owner") + "'\n"
                            "printf '%s' \"$DISPLAY\" > '" + dir_.file(name + ".display") + "'\n"
                            "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$out.tmp\"\n"
                            "mv \"$out.tmp\" \"$out\"\n"
                            "if [ -n \"$STAND_IN_SLEEP\" ]; then exec sleep \"$STAND_IN_SLEEP\"; fi\n");
  fs::permissions(path, fs::owner_all);
  return path;
}

std::optional<std::vector<std::string>> StandInBrowsers::Arguments(const std::string& name,
                                                                   std::chrono::milliseconds timeout) const {
  const std::string path = dir_.file(name + ".args");
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!fs::exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const std::string bytes = quorvane_test::read_file(path);
  std::vector<std::string> arguments;
  std::size_t start = 0;
  for (std::size_t nul = bytes.find('\0'); nul != std::string::npos; nul = bytes.find('\0', start)) {
    arguments.push_back(bytes.substr(start, nul - start));
    start = nul + 1;
  }
  return arguments;
}

int StandInBrowsers::Pid(const std::string& name) const {
  const std::string text = quorvane_test::read_file(dir_.file(name + ".pid"));
  return text.empty() ? -1 : std::stoi(text);
}

std::string StandInBrowsers::Owner(const std::string& name) const {
  return quorvane_test::read_file(dir_.file(name + ".owner"));
}

std::string StandInBrowsers::Display(const std::string& name) const {
  return quorvane_test::read_file(dir_.file(name + ".display"));
}

void StandInBrowsers::SetClassCommand(const std::wstring& prog_id, const std::wstring& command) {
  set_string(HKEY_CLASSES_ROOT, prog_id + L"\\shell\\open\\command", L"", command);
}

void StandInBrowsers::SetAppPath(const std::wstring& exe, const std::wstring& command) {
  set_string(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + exe, L"", command);
}

void StandInBrowsers::SetUserChoice(const std::wstring& prog_id) {
  set_string(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice",
             L"Progid", prog_id);
}

void StandInBrowsers::SetHttpCommand(const std::wstring& command) { SetClassCommand(L"http", command); }

std::wstring quoted(const std::string& path) { return L"\"" + Platform::from_utf8(path) + L"\""; }

}  // namespace Tavrin::Runtime::Testing
