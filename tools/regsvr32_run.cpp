#include "tools/regsvr32_run.h"

#include <cstdio>
#include <exception>

#include <boost/filesystem.hpp>
#include <boost/system/error_code.hpp>

#include "platform/com/hresult.h"
#include "platform/loaded_module.h"
#include "platform/text.h"
#include "platform/win32/types.h"

namespace Tavrin::Regsvr32 {
namespace {

using Platform::to_utf8;
using RegisterEntry = HRESULT (*)();
using InstallEntry = HRESULT (*)(BOOL install, const wchar_t* command_line);

std::string hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

// The failure code with the system's text when it carries an error number.
std::string describe(HRESULT hr) {
  if (HRESULT_FACILITY(hr) == FACILITY_WIN32)
    return hex(hr) + " (" + boost::system::system_category().message(HRESULT_CODE(hr)) + ")";
  if (hr == DISP_E_EXCEPTION) return hex(hr) + " (the module's registry script is not valid)";
  return hex(hr);
}

class ModuleRun {
 public:
  ModuleRun(const Options& options, const std::wstring& path, std::ostream& err)
      : options_(options), path_(to_utf8(path)), err_(err) {}

  int Run(const Platform::LoadedModule& module, std::string* done) {
    const char* main_entry = options_.unregister ? "DllUnregisterServer" : "DllRegisterServer";
    RegisterEntry registration = nullptr;
    InstallEntry install = nullptr;
    if (!options_.install_only && !(registration = module.entry<RegisterEntry>(main_entry)))
      return missing(main_entry);
    if (options_.install && !(install = module.entry<InstallEntry>("DllInstall"))) return missing("DllInstall");
    const wchar_t* command_line = options_.install_command_line ? options_.install_command_line->c_str() : nullptr;
    if (options_.unregister && install) {
      if (const int code = call("DllInstall", install(0, command_line))) return code;
    }
    if (registration) {
      if (const int code = call(main_entry, registration())) return code;
    }
    if (!options_.unregister && install) {
      if (const int code = call("DllInstall", install(1, command_line))) return code;
    }
    *done = std::string(registration ? main_entry : "") + (registration && install ? " and " : "") +
            (install ? "DllInstall" : "");
    return kExitSuccess;
  }

 private:
  int missing(const char* entry) {
    if (!options_.silent)
      err_ << "regsvr32: the module \"" << path_ << "\" was loaded, but the entry point " << entry
           << " was not found.\n";
    return kExitNoEntryPoint;
  }

  int call(const char* entry, HRESULT hr) {
    if (SUCCEEDED(hr)) return kExitSuccess;
    if (!options_.silent)
      err_ << "regsvr32: " << entry << " in \"" << path_ << "\" failed with error code " << describe(hr) << ".\n";
    return kExitCallFailed;
  }

  const Options& options_;
  std::string path_;
  std::ostream& err_;
};

int run_module(const Options& options, const std::wstring& given, std::ostream& out, std::ostream& err) {
  const std::wstring path = module_full_path(given);
  std::string why;
  const auto module = Platform::LoadedModule::Load(path, &why);
  if (!module) {
    if (!options.silent)
      err << "regsvr32: the module \"" << to_utf8(path) << "\" failed to load: " << why << "\n";
    return kExitLoadFailed;
  }
  std::string done;
  const int code = ModuleRun(options, path, err).Run(*module, &done);
  if (code == kExitSuccess && !options.silent) out << done << " in \"" << to_utf8(path) << "\" succeeded.\n";
  return code;
}

}  // namespace

std::wstring module_full_path(const std::wstring& path) {
  namespace fs = boost::filesystem;
  boost::system::error_code error;
  const fs::path full = fs::absolute(fs::path(to_utf8(path)), fs::current_path(error)).lexically_normal();
  return Platform::from_utf8(full.string());
}

int run(const Options& options, std::ostream& out, std::ostream& err) {
  try {
    for (const std::wstring& module : options.modules) {
      const int code = run_module(options, module, out, err);
      if (code != kExitSuccess) return code;
    }
    return kExitSuccess;
  } catch (const std::exception& e) {
    if (!options.silent) err << "regsvr32: " << e.what() << "\n";
    return kExitCallFailed;
  }
}

}  // namespace Tavrin::Regsvr32
