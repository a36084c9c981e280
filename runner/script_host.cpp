#include "runner/script_host.h"

namespace Tavrin::Runner {

ScriptControl::ScriptControl(std::shared_ptr<Logger::ConsoleLogger> logger) : logger_(std::move(logger)) {}

ScriptControl::~ScriptControl() = default;

void ScriptControl::Init(const std::shared_ptr<Configuration>& /*config*/) {
  // No script engine is available to this build, so the first object of the
  // three cannot be created.
  throw ScriptControlError("Unable to create COM object ScriptControl");
}

void ScriptControl::LoadSupportScripts() {}

int ScriptControl::RunFile(const std::wstring& /*path*/) {
  throw ScriptControlError("Unable to load file");
}

void ScriptControl::StopProxy() {
  std::lock_guard<std::mutex> lock(proxy_mutex_);
  // No proxy object exists before Init has created one.
}

void ScriptControl::StartProxy() {
  std::lock_guard<std::mutex> lock(proxy_mutex_);
}

}  // namespace Tavrin::Runner
