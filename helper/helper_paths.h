// The names QuorvaneHelper uses, all relative to its own directory D (the
// starting directory): the programs and modules it registers, the runner
// that opens test scripts, and the installed read-me.
#ifndef QUORVANE_HELPER_HELPER_PATHS_H_
#define QUORVANE_HELPER_HELPER_PATHS_H_

#include <string>

namespace Tavrin::Helper {

// The single-instance mutex.
constexpr wchar_t kGuardMutexName[] = L"QuorvaneHelperGuard";
// The test-script file type.
constexpr wchar_t kScriptExtension[] = L".jsk";
constexpr wchar_t kScriptProgId[] = L"TavrinTechnologies.Quorvane";

struct HelperPaths {
  std::wstring dir;  // D, without a trailing separator

  std::wstring runtime_server() const { return dir + L"/QuorvaneRuntime.so"; }
  // The outside automation library; registered only when it lies in D.
  std::wstring automation_library() const { return dir + L"/AutoItX3.dll"; }
  std::wstring proxy_server() const { return dir + L"/QuorvaneProxy"; }
  std::wstring runner() const { return dir + L"/Quorvane"; }
  std::wstring readme() const { return dir + L"/README.md"; }
  // The ".jsk" open command: the runner in double quotes, a blank, "%1"
  // in double quotes.
  std::wstring open_command() const { return L"\"" + runner() + L"\" \"%1\""; }
};

// The registration tool: "regsvr32" in D when it is there, else the bare
// name, which the process layer looks up on the PATH.
std::wstring registration_tool(const HelperPaths& paths);

// Whether a file exists at `path`.
bool file_exists(const std::wstring& path);

}  // namespace Tavrin::Helper

#endif  // QUORVANE_HELPER_HELPER_PATHS_H_
