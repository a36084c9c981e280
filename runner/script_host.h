// ScriptControl: the runner's host for the test script. It owns the script
// engine, the runtime object that scripts call as `Quorvane`, and the local
// proxy server's object, and runs the wrapped test script.
//
// The script engine host is not part of this build yet: Init reports that
// the script control cannot be created, which ends a normal run the way a
// machine without the script control would.
#ifndef QUORVANE_RUNNER_SCRIPT_HOST_H_
#define QUORVANE_RUNNER_SCRIPT_HOST_H_

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "common/configuration.h"
#include "common/logger.h"
#include "runner/host_slot.h"

namespace Tavrin::Runner {

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
  ~ScriptControl() override;

  // Creates the script control, the runtime object and the proxy object and
  // configures them. Throws ScriptControlError.
  void Init(const std::shared_ptr<Configuration>& config);
  // Adds "api.js" and "host.js" from the resource package to the engine.
  void LoadSupportScripts();
  // Runs the test script at `path` and returns its integer result.
  int RunFile(const std::wstring& path);

  // Tells the local proxy server whether a run holds it (SetStop). Safe to
  // call from the console handler's thread while the main thread runs the
  // script; does nothing without a proxy object.
  void StopProxy() override;
  void StartProxy();

 private:
  std::shared_ptr<Logger::ConsoleLogger> logger_;
  std::mutex proxy_mutex_;  // serialises SetStop calls of the two threads
};

}  // namespace Tavrin::Runner

#endif  // QUORVANE_RUNNER_SCRIPT_HOST_H_
