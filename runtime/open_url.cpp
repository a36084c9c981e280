// OpenURL: opens a page in a named or the default browser (browser_launch.h)
// and keeps the browser with the run unless section "runtime" says
// keep_browsers_open. A run that has an identity (parameter "run") sends its
// browsers through a port of the local proxy of its own, so that runs at
// the same time never reach each other's pages.
#include <cstdint>
#include <optional>
#include <string>

#include <boost/filesystem/exception.hpp>
#include <boost/system/system_error.hpp>

#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/com_ptr.h"
#include "platform/com/error_info.h"
#include "platform/display_on_demand.h"
#include "platform/process_watch.h"
#include "platform/text.h"
#include "proxy/velmora_proxy.h"
#include "runtime/browser_launch.h"
#include "runtime/error_convention.h"
#include "runtime/script_object.h"

namespace Tavrin::Runtime {
namespace {

HRESULT fail(const wchar_t* description, HRESULT result) {
  set_error_description(description);
  return result;
}

// Why a run could not have a port of its own, or its browser could not be
// made known as the run's.
struct NoRunPort {
  std::wstring reason;
};

// A run's own port of the local proxy, and the proxy that serves it.
struct RunPort {
  std::wstring run;
  int port = 0;
  Platform::Com::ComPtr<IVelmoraProxy> proxy;
};

// What the proxy said of its failure `hr`: its description, else the
// code's text.
std::wstring failure_text(HRESULT hr) {
  Platform::Com::ComPtr<IErrorInfo> info;
  GetErrorInfo(0, info.put());
  const _com_error error(hr, info.get());
  const std::wstring description = error.Description();
  return description.empty() ? error.ErrorMessage() : description;
}

// The run's own port of the local proxy; none for a run without an
// identity, or when no proxy runs (the browser then goes through
// "proxy"/"port", as it always did). Throws NoRunPort when the proxy runs
// but refuses the run a port: its pages would otherwise mix with others'.
std::optional<RunPort> run_proxy_port(const Configuration& configuration) {
  RunPort out;
  try {
    out.run = configuration.Parameter(L"common", L"run").value;
  } catch (const Configuration::ConfigurationError&) {
    return std::nullopt;
  }
  if (out.run.empty()) return std::nullopt;
  if (FAILED(Platform::Com::create_running_object(CLSID_VelmoraProxy, Platform::Com::uuid_of<IVelmoraProxy>(),
                                                  out.proxy.put_void())))
    return std::nullopt;
  const Platform::Com::Bstr run(out.run);
  LONG port = 0;
  const HRESULT hr = out.proxy->RegisterRun(run.get(), &port);
  if (FAILED(hr)) throw NoRunPort{L"the proxy gave this run no port of its own: " + failure_text(hr)};
  if (port < 1 || port > 65535) throw NoRunPort{L"the proxy gave this run no port of its own: " + std::to_wstring(port)};
  out.port = static_cast<int>(port);
  return out;
}

// Tells the proxy that process `pid` (the launcher just started) and those
// under it are the run's browser: only they get the tokens that let the
// run drive its pages. The launcher takes far longer to start its browser
// than this call takes; and until the proxy knows the run's browser, its
// documents go without a token, not with a verdict kept for later.
void register_browser(const RunPort& run, int pid) {
  const Platform::Com::Bstr id(run.run);
  const HRESULT hr = run.proxy->RegisterBrowser(id.get(), pid);
  if (FAILED(hr)) throw NoRunPort{L"the proxy did not take the browser as the run's: " + failure_text(hr)};
}

}  // namespace

HRESULT CVelmoraScript::OpenURL(BSTR browser, BSTR url) {
  if (!browser || !url) return E_POINTER;
  try {
    const auto arguments =
        browser_arguments(Platform::Com::bstr_text(browser), Platform::Com::bstr_text(url), *configuration_);
    const bool keep_open = param_bool(*configuration_, L"runtime", L"keep_browsers_open", false).first;
    const std::optional<int> owner =
        keep_open ? std::nullopt : std::optional<int>(Platform::Process::current_process_id());
    const std::optional<RunPort> run = run_proxy_port(*configuration_);
    // A run without a screen gets its own now, so that the browser opens a
    // real window (headless only when none can be had).
    Platform::need_display();
    const int pid = start_browser(arguments, owner, run ? std::optional<int>(run->port) : std::nullopt);
    if (!keep_open) browsers_.Add(pid);
    if (run) register_browser(*run, pid);
    return S_OK;
  } catch (const NoRunPort& e) {
    logger_->channel(ScriptLogger::kError) << L"OpenURL: " << e.reason << L"\n";
    return fail(L"Unable to open URL", E_FAIL);
  } catch (const boost::system::error_code&) {
    return fail(L"Unable to open URL", E_FAIL);
  } catch (const Configuration::ConfigurationError&) {
    return fail(L"Unable to open URL", E_FAIL);
  } catch (const boost::filesystem::filesystem_error&) {
    return fail(L"Unknown error", E_UNEXPECTED);
  } catch (const boost::system::system_error&) {
    return fail(L"Unable to open URL", E_FAIL);
  } catch (const _com_error&) {
    return method_failure();
  } catch (...) {
    return fail(L"Unknown error", E_UNEXPECTED);
  }
}

}  // namespace Tavrin::Runtime
