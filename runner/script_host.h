// ScriptControl: the runner's host for the test script. It owns the script
// engine (the script control, class "MSScriptControl.ScriptControl"), the
// runtime object that scripts call as `Quorvane`, and the local proxy
// server's object; it starts the guard program, hands the run parameters to
// the runtime object, loads the support scripts from the resource package,
// and runs the test script wrapped in the function `quorvaneRun`.
//
// The script control is called late-bound, by member name through its
// IDispatch (the interface IScriptControl), and so is its error object
// (IScriptError). Every failing call on one of the three objects throws
// _com_error with the failure code (and the callee's description).
//
// Threads: everything runs on the runner's main thread, except StopProxy,
// which the console handler may call from its own thread.
#ifndef QUORVANE_RUNNER_SCRIPT_HOST_H_
#define QUORVANE_RUNNER_SCRIPT_HOST_H_

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "common/configuration.h"
#include "common/logger.h"
#include "common/script_injector.h"
#include "platform/com/com.h"
#include "proxy/velmora_proxy.h"
#include "runner/host_slot.h"
#include "runtime/velmora_script.h"

namespace Tavrin::Runner {

// The script control's class and interface, and its error object's.
constexpr CLSID CLSID_ScriptControl = Platform::Com::make_guid("{0E59F1D5-1FBE-11D0-8FF2-00A0D10038BC}");
constexpr IID IID_IScriptControl = Platform::Com::make_guid("{0E59F1D3-1FBE-11D0-8FF2-00A0D10038BC}");

// The wrapper that makes the test script the body of `quorvaneRun`. The
// head stands on the script's first line, so its line numbers stay its own.
extern const wchar_t kWrapperHead[];
extern const wchar_t kWrapperTail[];

class ScriptControl final : public StoppableHost {
 public:
  // A failure of the script host itself: an object that cannot be created,
  // a test script that cannot be loaded.
  class ScriptControlError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };

  // Creates nothing yet.
  explicit ScriptControl(std::shared_ptr<Logger::ConsoleLogger> logger);
  // Releases the proxy object, the runtime object, the script control, then
  // the resource package.
  ~ScriptControl() override;

  // Creates the script control, the runtime object and the proxy object, in
  // this order, and checks them in the same order (ScriptControlError
  // "Unable to create COM object ScriptControl" / "... Quorvane" /
  // "... Proxy" for the first missing); starts the guard program without
  // waiting for it (boost::system::system_error when it cannot be started);
  // opens the resource package named by "common"/`resource`; sets the
  // engine to JScript with AllowUI on, adds the runtime object as
  // "Quorvane" (members not global) and a timeout of one hour; hands
  // `file`, `server`, `port`, `browser`, `suite`, `log` and
  // `default_browser` to the runtime object, in this order; and checks the
  // Firefox profile when the run's browser is Firefox. A missing parameter
  // throws the configuration store's error.
  void Init(const std::shared_ptr<Configuration>& config);

  // Adds "api.js" and then "host.js" from the resource package to the
  // engine (a file missing from the package adds empty code). Does nothing
  // before Init has opened the package.
  void LoadSupportScripts();

  // Runs the test script at `path` (UTF-8; a byte-order mark is kept) as
  // the body of `quorvaneRun` and returns the run's integer result. Throws
  // ScriptControlError "Unable to load file" for a missing or empty file,
  // and _com_error for a script error or a result that is no integer.
  int RunFile(const std::wstring& path);

  // The script control's error object (IScriptError), or empty without a
  // script control. Throws _com_error when the engine refuses it.
  Platform::Com::ComPtr<IDispatch> GetError() const;
  bool has_script_control() const { return static_cast<bool>(script_control_); }

  // Reports the Firefox profile through the runtime object's LogNode (an
  // "error" event named "browser") when it does not take the system's proxy
  // settings.
  void CheckFirefoxConfiguration();

  // SetStop(false) / SetStop(true) on the proxy object: whether this run
  // holds the local proxy server running. Safe to call from the console
  // handler's thread while the main thread runs the script; does nothing
  // without a proxy object. Throws _com_error when the call fails.
  // StopProxy first has the proxy write the run's HAR when the run asked
  // for one (--har): at the end of the run, after a failure or a signal
  // alike; a HAR that cannot be written is reported on the console.
  void StartProxy();
  void StopProxy() override;

 private:
  void SetProxyStop(bool stop);
  void StartGuard();
  void PutParameter(const std::wstring& key, const std::wstring& value);
  void AddCode(const std::wstring& code);

  std::shared_ptr<Logger::ConsoleLogger> logger_;
  Platform::Com::ComPtr<IDispatch> script_control_;
  Platform::Com::ComPtr<IVelmoraScript> runtime_;
  Platform::Com::ComPtr<IVelmoraProxy> proxy_;
  std::unique_ptr<ScriptInjector> injector_;
  std::mutex proxy_mutex_;  // serialises the two threads' SetStop calls
  // The run's id and the HAR file it asked for (empty: none), from Init.
  std::wstring run_;
  std::wstring har_;
};

// The console line of a script error, from the script control's error
// object: "script error (line L, char C) Description Text (Number)".
// Throws _com_error when a property cannot be read.
std::wstring ScriptErrorText(IDispatch* error);

// The test script's text: UTF-8 decoded into characters, a byte-order mark
// kept as U+FEFF, ill-formed bytes as U+FFFD.
std::wstring DecodeScript(const std::string& bytes);

}  // namespace Tavrin::Runner

#endif  // QUORVANE_RUNNER_SCRIPT_HOST_H_
