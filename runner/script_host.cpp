#include "runner/script_host.h"

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <iostream>
#include <new>
#include <sstream>

#include <boost/filesystem/path.hpp>
#include <boost/system/error_code.hpp>

#include "common/directories.h"
#include "platform/com/dispatch_call.h"
#include "platform/process.h"
#include "platform/text.h"
#include "runner/browser_env.h"

namespace Tavrin::Runner {

const wchar_t kWrapperHead[] = L"function quorvaneRun() { ";
const wchar_t kWrapperTail[] = L"return quorvaneFinal() }";

namespace {

using Platform::Com::ComPtr;
using Platform::Com::Variant;

constexpr wchar_t kLanguage[] = L"JScript";
constexpr int kTimeoutMilliseconds = 3600000;
constexpr wchar_t kRuntimeName[] = L"Quorvane";
constexpr wchar_t kGuardProgram[] = L"QuorvaneHelper";
constexpr const char* kSupportScripts[] = {"api.js", "host.js"};
constexpr wchar_t kRunFunction[] = L"quorvaneRun";
// The run parameters handed to the runtime object, in this order, before
// "default_browser".
constexpr const wchar_t* kRunParameters[] = {L"file", L"server", L"port", L"browser", L"suite", L"log"};

// The object's interface `iid`, or empty when it cannot be created.
template <class Interface>
ComPtr<Interface> create_running(REFCLSID clsid, REFIID iid) {
  ComPtr<Interface> result;
  Platform::Com::create_running_object(clsid, iid, result.put_void());
  return result;
}

std::wstring join_path(const std::wstring& directory, const std::wstring& name) {
  return (boost::filesystem::path(directory) / boost::filesystem::path(name)).wstring();
}

// The default browser's command, or empty when the machine has none
// registered at all: a run that opens no browser needs none.
std::wstring default_browser_or_none() {
  try {
    return DefaultBrowserCommand();
  } catch (const boost::system::error_code& e) {
    if (e.value() == ENOENT) return {};
    throw;
  }
}

// The parameters of Run: a one-dimensional array of VARIANTs with no
// elements, lower bound 0. Through IDispatch a single array argument is the
// whole argument list of the procedure.
Variant empty_parameter_list() {
  Variant list;
  list.parray = SafeArrayCreateVector(VT_VARIANT, 0, 0);
  if (!list.parray) throw std::bad_alloc();
  list.vt = VT_ARRAY | VT_VARIANT;
  return list;
}

// The bytes of the file at `path`; empty when it cannot be read.
std::string read_bytes(const std::wstring& path) {
  std::ifstream in(Platform::to_utf8(path), std::ios::binary);
  if (!in) return {};
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

std::wstring DecodeScript(const std::string& bytes) { return Platform::from_utf8(bytes); }

std::wstring ScriptErrorText(IDispatch* error) {
  auto text_of = [error](const wchar_t* name) {
    Variant value = Platform::Com::get_property(error, name);
    if (value.vt == VT_EMPTY || value.vt == VT_NULL) return std::wstring();
    return value.to_string();
  };
  // The number is an HRESULT: signed 32-bit, as scripts see it.
  Variant number = Platform::Com::get_property(error, L"Number");
  number.change_type(VT_I8);
  std::wostringstream line;
  line << L"script error " << L"(line " << text_of(L"Line") << L", char " << text_of(L"Column") << L")" << L" "
       << text_of(L"Description") << L" " << text_of(L"Text") << L" " << L"(" << static_cast<std::int32_t>(number.llVal)
       << L")";
  return line.str();
}

ScriptControl::ScriptControl(std::shared_ptr<Logger::ConsoleLogger> logger) : logger_(std::move(logger)) {}

ScriptControl::~ScriptControl() {
  {
    std::lock_guard<std::mutex> lock(proxy_mutex_);
    proxy_.reset();
  }
  runtime_.reset();
  script_control_.reset();
  injector_.reset();
}

void ScriptControl::Init(const std::shared_ptr<Configuration>& config) {
  script_control_ = create_running<IDispatch>(CLSID_ScriptControl, IID_IScriptControl);
  runtime_ = create_running<IVelmoraScript>(CLSID_VelmoraScript, IID_IVelmoraScript);
  {
    std::lock_guard<std::mutex> lock(proxy_mutex_);
    proxy_ = create_running<IVelmoraProxy>(CLSID_VelmoraProxy, IID_IVelmoraProxy);
  }
  if (!script_control_) throw ScriptControlError("Unable to create COM object ScriptControl");
  if (!runtime_) throw ScriptControlError("Unable to create COM object Quorvane");
  if (!proxy_) throw ScriptControlError("Unable to create COM object Proxy");
  run_ = param_string(*config, L"common", L"run", L"").first;
  har_ = param_string(*config, L"common", L"har", L"").first;

  StartGuard();

  const std::wstring starting_dir = Windows::Filesystem::get_starting_dir_w();
  injector_ = std::make_unique<ScriptInjector>(
      join_path(starting_dir, param_string(*config, L"common", L"resource")));

  IDispatch* engine = script_control_.get();
  Platform::Com::put_property(engine, L"Language", Variant(kLanguage));
  Platform::Com::put_property(engine, L"AllowUI", Variant(true));
  Platform::Com::invoke_method(
      engine, L"AddObject",
      {Variant(kRuntimeName), Variant(static_cast<IDispatch*>(runtime_.get())), Variant(false)});
  Platform::Com::put_property(engine, L"Timeout", Variant(kTimeoutMilliseconds));

  for (const wchar_t* name : kRunParameters) PutParameter(name, config->Parameter(L"common", name).value);
  const std::wstring default_browser = default_browser_or_none();
  PutParameter(L"default_browser", default_browser);
  // The run's identity (runner/run_identity.h), when the start-up made one.
  try {
    PutParameter(L"run", config->Parameter(L"common", L"run").value);
  } catch (const Configuration::ParameterNotFoundError&) {
  }

  if (NeedsFirefoxCheck(param_string(*config, L"common", L"browser"), default_browser))
    CheckFirefoxConfiguration();
}

void ScriptControl::StartGuard() {
  Platform::Process::StartOptions guard;
  guard.arguments = {Platform::to_utf8(join_path(Windows::Filesystem::get_starting_dir_w(), kGuardProgram))};
  // The guard outlives the run: it must not hold the runner's output open.
  guard.output = Platform::Process::StartOptions::Output::kDiscard;
  Platform::Process::start_detached(guard);
}

void ScriptControl::PutParameter(const std::wstring& key, const std::wstring& value) {
  Platform::Com::Bstr k(key), v(value);
  const HRESULT hr = runtime_->PutParameter(k.get(), v.get());
  if (FAILED(hr)) _com_issue_errorex(hr, runtime_.get(), IID_IVelmoraScript);
}

void ScriptControl::AddCode(const std::wstring& code) {
  Platform::Com::invoke_method(script_control_.get(), L"AddCode", {Variant(code)});
}

void ScriptControl::LoadSupportScripts() {
  if (!injector_) return;
  for (const char* name : kSupportScripts) {
    const std::string data = injector_->GetFile(name).Data();
    // The text ends at its first zero byte.
    AddCode(Platform::from_utf8(data.substr(0, data.find('\0'))));
  }
}

int ScriptControl::RunFile(const std::wstring& path) {
  const std::wstring text = DecodeScript(read_bytes(path));
  if (text.empty()) throw ScriptControlError("Unable to load file");

  Platform::Com::Bstr full_name(path);
  const HRESULT hr = runtime_->put_scriptFullName(full_name.get());
  if (FAILED(hr)) _com_issue_errorex(hr, runtime_.get(), IID_IVelmoraScript);

  AddCode(kWrapperHead + text + L"\n" + kWrapperTail + L"\n");
  Variant result = Platform::Com::invoke_method(script_control_.get(), L"Run",
                                                {Variant(kRunFunction), empty_parameter_list()});
  if (result.vt != VT_I4) result.change_type(VT_I4);
  return result.lVal;
}

ComPtr<IDispatch> ScriptControl::GetError() const {
  if (!script_control_) return {};
  Variant error = Platform::Com::get_property(script_control_.get(), L"Error");
  if (error.vt != VT_DISPATCH) return {};
  return ComPtr<IDispatch>(error.pdispVal);
}

void ScriptControl::CheckFirefoxConfiguration() {
  if (CheckFirefoxProfiles(FirefoxProfilesFolder()) != ProfileFinding::kNotInOrder) return;
  Platform::Com::Bstr uuid(L""), type(L"error"), name(L"browser"), value(kFirefoxConfigurationError);
  const HRESULT hr = runtime_->LogNode(uuid.get(), type.get(), name.get(), value.get());
  if (FAILED(hr)) _com_issue_errorex(hr, runtime_.get(), IID_IVelmoraScript);
}

void ScriptControl::StartProxy() { SetProxyStop(false); }

void ScriptControl::StopProxy() {
  {
    std::lock_guard<std::mutex> lock(proxy_mutex_);
    if (proxy_ && !har_.empty() && !run_.empty()) {
      Platform::Com::Bstr run(run_), file(har_);
      const HRESULT hr = proxy_->WriteHar(run.get(), file.get());
      if (FAILED(hr)) {
        IErrorInfo* raw = nullptr;
        GetErrorInfo(0, &raw);
        const _com_error error(hr, raw);
        if (raw) raw->Release();
        const std::wstring why = error.Description().empty() ? error.ErrorMessage() : error.Description();
        std::wcerr << L"The HAR " << har_ << L" could not be written: " << why << std::endl;
      }
      har_.clear();
    }
  }
  SetProxyStop(true);
}

void ScriptControl::SetProxyStop(bool stop) {
  std::lock_guard<std::mutex> lock(proxy_mutex_);
  if (!proxy_) return;
  const HRESULT hr = proxy_->SetStop(stop ? VARIANT_TRUE : VARIANT_FALSE);
  if (FAILED(hr)) _com_issue_errorex(hr, proxy_.get(), IID_IVelmoraProxy);
}

}  // namespace Tavrin::Runner
