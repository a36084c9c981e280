#include "runner/script_host.h"

namespace Tavrin::Runner {

namespace {

// The object's interface `iid`, or empty when it cannot be created.
template <class Interface>
Platform::Com::ComPtr<Interface> create_running(REFCLSID clsid, REFIID iid) {
  Platform::Com::ComPtr<Interface> result;
  Platform::Com::create_running_object(clsid, iid, result.put_void());
  return result;
}

}  // namespace

ScriptControl::ScriptControl(std::shared_ptr<Logger::ConsoleLogger> logger) : logger_(std::move(logger)) {}

ScriptControl::~ScriptControl() {
  proxy_.reset();
  runtime_.reset();
  script_control_.reset();
}

void ScriptControl::Init(const std::shared_ptr<Configuration>& /*config*/) {
  // The script control is reached through IDispatch until the engine host
  // defines IScriptControl.
  script_control_ = create_running<IDispatch>(CLSID_ScriptControl, IDispatch::kIid);
  runtime_ = create_running<IVelmoraScript>(CLSID_VelmoraScript, IID_IVelmoraScript);
  {
    std::lock_guard<std::mutex> lock(proxy_mutex_);
    proxy_ = create_running<IVelmoraProxy>(CLSID_VelmoraProxy, IID_IVelmoraProxy);
  }
  if (!script_control_) throw ScriptControlError("Unable to create COM object ScriptControl");
  if (!runtime_) throw ScriptControlError("Unable to create COM object Quorvane");
  if (!proxy_) throw ScriptControlError("Unable to create COM object Proxy");
  // Configuring the engine and running scripts come with the script engine
  // host; a build without it never gets here.
  throw ScriptControlError("Unable to create COM object ScriptControl");
}

void ScriptControl::LoadSupportScripts() {}

int ScriptControl::RunFile(const std::wstring& /*path*/) { throw ScriptControlError("Unable to load file"); }

void ScriptControl::StartProxy() { SetProxyStop(false); }

void ScriptControl::StopProxy() { SetProxyStop(true); }

void ScriptControl::SetProxyStop(bool stop) {
  std::lock_guard<std::mutex> lock(proxy_mutex_);
  if (!proxy_) return;
  const HRESULT hr = proxy_->SetStop(stop ? VARIANT_TRUE : VARIANT_FALSE);
  if (FAILED(hr)) _com_issue_errorex(hr, proxy_.get(), IID_IVelmoraProxy);
}

}  // namespace Tavrin::Runner
