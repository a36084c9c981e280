// ScriptControl: the runner's host for the test script. It owns the script
// engine, the runtime object that scripts call as `Quorvane`, and the local
// proxy server's object, and runs the wrapped test script.
//
// The script engine (class "MSScriptControl.ScriptControl") is not part of
// this build yet, so Init fails at its first check with "Unable to create
// COM object ScriptControl", as it does on a machine without the script
// control.
#ifndef QUORVANE_RUNNER_SCRIPT_HOST_H_
#define QUORVANE_RUNNER_SCRIPT_HOST_H_

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "common/configuration.h"
#include "common/logger.h"
#include "platform/com/com.h"
#include "proxy/velmora_proxy.h"
#include "runner/host_slot.h"
#include "runtime/velmora_script.h"

namespace Tavrin::Runner {

// The script control's class and interface.
constexpr CLSID CLSID_ScriptControl = Platform::Com::make_guid("{0E59F1D5-1FBE-11D0-8FF2-00A0D10038BC}");
constexpr IID IID_IScriptControl = Platform::Com::make_guid("{0E59F1D3-1FBE-11D0-8FF2-00A0D10038BC}");

class ScriptControl final : public StoppableHost {
 public:
  // A failure of the script host itself (an object that cannot be created,
  // a test script that cannot be loaded).
  class ScriptControlError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };

  // Creates nothing yet.
  explicit ScriptControl(std::shared_ptr<Logger::ConsoleLogger> logger);
  // Releases the proxy object, the runtime object, then the script control.
  ~ScriptControl() override;

  // Creates the script control, the runtime object and the proxy object, in
  // this order, and checks them in the same order. Throws ScriptControlError
  // "Unable to create COM object ScriptControl" / "... Quorvane" /
  // "... Proxy" for the first that could not be created.
  void Init(const std::shared_ptr<Configuration>& config);
  // Adds "api.js" and "host.js" from the resource package to the engine.
  void LoadSupportScripts();
  // Runs the test script at `path` and returns its integer result.
  int RunFile(const std::wstring& path);

  // SetStop(false) / SetStop(true) on the proxy object: whether this run
  // holds the local proxy server running. Safe to call from the console
  // handler's thread while the main thread runs the script; does nothing
  // without a proxy object. Throws _com_error when the call fails.
  void StartProxy();
  void StopProxy() override;

 private:
  void SetProxyStop(bool stop);

  std::shared_ptr<Logger::ConsoleLogger> logger_;
  Platform::Com::ComPtr<IDispatch> script_control_;
  Platform::Com::ComPtr<IVelmoraScript> runtime_;
  Platform::Com::ComPtr<IVelmoraProxy> proxy_;
  std::mutex proxy_mutex_;  // serialises the two threads' SetStop calls
};

}  // namespace Tavrin::Runner

#endif  // QUORVANE_RUNNER_SCRIPT_HOST_H_
